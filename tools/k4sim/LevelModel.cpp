#include "LevelModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace k4sim {

namespace {
constexpr double kFloor = 138.0;
constexpr double kLowest = 100.0;
constexpr double kHighest = 230.0;
}  // namespace

LevelModel::LevelModel(std::uint64_t seed, std::optional<int> fixedBar, std::optional<int> fixedHigh)
    : m_random(seed), m_fixedBar(fixedBar), m_fixedHigh(fixedHigh)
{
}

int LevelModel::barFor(int high)
{
    const double scaled = std::round((high - 120) * 42.0 / 80.0);
    return static_cast<int>(std::clamp(scaled, 0.0, 42.0));
}

Reading LevelModel::generate()
{
    const double t = static_cast<double>(m_generated++);
    // Slow fading: two incommensurate swells of a few minutes and half a minute.
    const double fade
        = 7.0 * std::sin(2.0 * std::numbers::pi * t / 97.0) + 3.0 * std::sin(2.0 * std::numbers::pi * t / 23.0 + 1.3);
    m_walk = std::clamp(0.98 * m_walk + 0.7 * m_random.normal(), -10.0, 10.0);
    double burst = 0.0;
    if (m_burstLeft == 0 && m_random.chance(0.04)) {
        m_burstLength = m_burstLeft = m_random.between(2, 20);
        m_burstAmplitude = 10.0 + 45.0 * m_random.real();
    }
    if (m_burstLeft > 0) {
        // Rounded envelope so a signal rises and falls instead of switching.
        const double phase = static_cast<double>(m_burstLength - m_burstLeft + 1) / (m_burstLength + 1);
        burst = m_burstAmplitude * std::sin(std::numbers::pi * phase);
        --m_burstLeft;
    }
    const double level = kFloor + fade + m_walk + 1.2 * m_random.normal() + burst;
    const int high = static_cast<int>(std::round(std::clamp(level, kLowest, kHighest)));
    return {barFor(high), high};
}

Reading LevelModel::readingAt(std::uint64_t step)
{
    while (m_firstStep + m_history.size() <= step)
        m_history.push_back(generate());
    const Reading reading = m_history[static_cast<std::size_t>(step - m_firstStep)];
    // Drop what both cursors have passed; pull a cursor that lags too far.
    m_barCursor = std::max(m_barCursor,
                           m_firstStep + m_history.size() > kMaxLag ? m_firstStep + m_history.size() - kMaxLag : 0);
    m_highCursor = std::max(m_highCursor,
                            m_firstStep + m_history.size() > kMaxLag ? m_firstStep + m_history.size() - kMaxLag : 0);
    while (!m_history.empty() && m_firstStep < std::min(m_barCursor, m_highCursor)) {
        m_history.pop_front();
        ++m_firstStep;
    }
    return reading;
}

int LevelModel::nextBar()
{
    const Reading r = readingAt(m_barCursor++);
    if (m_fixedBar)
        return *m_fixedBar;
    return m_fixedHigh ? barFor(*m_fixedHigh) : r.bar;
}

int LevelModel::nextHigh()
{
    const Reading r = readingAt(m_highCursor++);
    return m_fixedHigh ? *m_fixedHigh : r.high;
}

}  // namespace k4sim
