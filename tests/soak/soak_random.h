#pragma once

#include <cstdint>

namespace soak {

// splitmix64: the same sequence for a seed on every platform and library, so a
// failing run can be replayed from its seed.
class SoakRandom {
public:
    explicit SoakRandom(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t Next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 .. n-1; n > 0.
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }

private:
    std::uint64_t m_state;
};

} // namespace soak
