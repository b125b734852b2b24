#pragma once

#include <QAbstractSpinBox>
#include <QString>

#include <optional>

// Whole-number edit box with up and down arrows for the integration period
// in seconds. Unlike QSpinBox it does not hold the text to the range while the
// user types: the value is whatever the text reads, and only stepping and
// leaving the box bring it back into 2..3600.
class HowLongSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    static constexpr int kMinimum = 2;
    static constexpr int kMaximum = 3600;
    static constexpr int kSingleStep = 1;
    static constexpr int kInitialValue = 15;

    explicit HowLongSpinEdit(QWidget* parent = nullptr);

    // The text read as a decimal whole number (optional sign, ASCII digits,
    // within the range of int), not held to 2..3600; kMinimum when the text is
    // not such a number.
    int value() const;
    // Writes the value held to 2..3600 as text.
    void setValue(int value);

    // Hides QAbstractSpinBox::text(), which returns the same line edit text.
    QString text() const;
    // Replaces the text as given; no check and no clamping.
    void setText(const QString& text);

    int minimum() const { return kMinimum; }
    int maximum() const { return kMaximum; }

    // Adds steps * 1 to value() and writes the result back held to 2..3600.
    void stepBy(int steps) override;
    // Everything typed, pasted or set is kept; the key filter decides what
    // may be typed, and focus-out decides what is corrected.
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

    // Parses a decimal whole number the way value() does.
    static std::optional<int> parseWholeNumber(const QString& text);

signals:
    // A typed character was refused (and the beep sounded).
    void characterRefused();

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // The period changes only by typing, the arrow keys and the arrow
    // buttons: a wheel turned over the window passes through, and the context
    // menu offers only the editing commands.
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool isAcceptedCharacter(QChar c) const;
    void refuse(QKeyEvent* event);
};
