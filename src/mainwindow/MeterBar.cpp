#include "MeterBar.h"

#include <algorithm>

MeterBar::MeterBar(QWidget* parent) : QProgressBar(parent)
{
    setRange(kMinimum, kMaximum);
    setValue(kMinimum);
    setTextVisible(false);
    // The keyboard focus may rest on the bar while tabbing through the panel.
    setFocusPolicy(Qt::StrongFocus);
}

void MeterBar::setPosition(int position)
{
    m_position = position;
    setValue(std::clamp(position, kMinimum, kMaximum));
}

int MeterBar::position() const
{
    return m_position;
}
