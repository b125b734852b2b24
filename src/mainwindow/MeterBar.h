#pragma once

#include <QProgressBar>

// The 42-step S-meter bar. Readings from the radio may lie outside the bar's
// range ("180" stands for "no reading"); they are kept as set and shown at the
// nearer end instead of being dropped, which a plain QProgressBar would do.
class MeterBar : public QProgressBar {
    Q_OBJECT
public:
    static constexpr int kMinimum = 0;
    static constexpr int kMaximum = 42;

    explicit MeterBar(QWidget* parent = nullptr);

    // Stores the reading unchanged and shows it held to 0..42.
    void setPosition(int position);
    // The reading last given to setPosition() (0 at start), not held to the range.
    int position() const;

private:
    int m_position = 0;
};
