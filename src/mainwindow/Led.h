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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LedColour m_colour = LedColour::White;
};
