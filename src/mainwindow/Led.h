#pragma once

#include <QColor>
#include <QWidget>

// A round status lamp: a circle centred in the widget's bounds with a
// one-pixel black outline, filled with the colour of its state.
class Led : public QWidget {
    Q_OBJECT
public:
    enum class LedColour { White, Red, Lime, Blue };

    explicit Led(QWidget* parent = nullptr);

    // Changes the fill and schedules a repaint; callers that wait
    // cooperatively (processing events) see the new colour on screen.
    void setColour(LedColour colour);
    LedColour colour() const;

    // The colour value painted for the current state.
    QColor fillColour() const;
    static QColor fillColour(LedColour colour);

    QSize sizeHint() const override;

    // What a screen reader hears: the lamp is named after the caption beside
    // it and describes its state in words, "Network Status: connected".
    // Lime and blue (a flash) read as activeWord, red and white as
    // inactiveWord; a change of the words is announced, a flash is not.
    void setAccessibleStates(const QString& caption, const QString& activeWord, const QString& inactiveWord);
    // The state in words, e.g. "Data: receiving"; empty until described.
    QString stateText() const;

signals:
    // The state in words changed (not on a flash, which keeps the words).
    void stateTextChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateAccessibleState();

    LedColour m_colour = LedColour::White;
    QString m_caption;
    QString m_activeWord;
    QString m_inactiveWord;
};
