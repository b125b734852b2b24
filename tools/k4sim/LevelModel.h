// The simulated S-meter: a noise floor with slow fading and a bounded random
// walk, now and then lifted by a signal burst. One step per poll; the nth "sm;"
// and the nth "smh;" of a connection read the same step, so the bar and the
// high-resolution reading of one poll agree however the client paces them.
#pragma once

#include "SimRandom.h"

#include <cstdint>
#include <deque>
#include <optional>

namespace k4sim {

struct Reading {
    int bar = 0;   // meter bar, 0..42 (or the fixed value)
    int high = 0;  // high-resolution reading, typically 120..200
};

class LevelModel {
public:
    // How far one kind of query may run ahead of the other before the
    // lagging one is pulled along (bounds the kept history).
    static constexpr std::size_t kMaxLag = 64;

    LevelModel(std::uint64_t seed, std::optional<int> fixedBar, std::optional<int> fixedHigh);

    int nextBar();
    int nextHigh();

    // The bar that goes with a high-resolution reading: monotone, 120 -> 0, 200 -> 42.
    static int barFor(int high);

private:
    Reading readingAt(std::uint64_t step);
    Reading generate();

    SimRandom m_random;
    std::optional<int> m_fixedBar;
    std::optional<int> m_fixedHigh;
    std::deque<Reading> m_history;  // readings from step m_firstStep on
    std::uint64_t m_firstStep = 0;
    std::uint64_t m_barCursor = 0;
    std::uint64_t m_highCursor = 0;
    std::uint64_t m_generated = 0;
    double m_walk = 0.0;
    int m_burstLeft = 0;
    int m_burstLength = 0;
    double m_burstAmplitude = 0.0;
};

}  // namespace k4sim
