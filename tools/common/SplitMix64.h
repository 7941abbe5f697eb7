#pragma once

// A fixed 64-bit generator (splitmix64) for made-up marks: small, fast and the same on
// every platform and library version, unlike the standard distributions, so a seed
// always gives the same reply.

#include <cstdint>

namespace tervane {

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t Next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // In [0, bound), for a positive bound.
    template <typename T> T Below(T bound) { return static_cast<T>(Next() % static_cast<std::uint64_t>(bound)); }
    // In [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    double Between(double low, double high) { return low + (high - low) * Unit(); }

private:
    std::uint64_t m_state;
};

} // namespace tervane
