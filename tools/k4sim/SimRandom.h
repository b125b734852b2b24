// Seeded random numbers whose sequence depends only on the seed: the standard
// distributions differ between library implementations, so the few shapes
// needed are derived from the engine's raw output here.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

namespace k4sim {

class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : m_engine(seed) {}

    // Uniform in [0, 1).
    double real() { return static_cast<double>(m_engine() >> 11) * 0x1.0p-53; }
    // Uniform integer in [low, high].
    int between(int low, int high)
    {
        const auto span = static_cast<std::uint64_t>(static_cast<std::int64_t>(high) - low) + 1;
        return static_cast<int>(low + static_cast<std::int64_t>(m_engine() % span));
    }
    bool chance(double probability) { return real() < probability; }
    // Standard normal (Box-Muller).
    double normal()
    {
        const double u1 = 1.0 - real();  // (0, 1]: keeps log() finite
        const double u2 = real();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    }

private:
    std::mt19937_64 m_engine;
};

}  // namespace k4sim
