#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace differential {

// The decisions of a random case. Built from bytes (a fuzzer's input), it answers from
// them one decision at a time and, once they run out, from a generator seeded by all of
// them, so a short input still makes a whole case and a change anywhere changes it.
// Built from a seed, it answers from the generator alone. Same bytes or seed, same case.
class Entropy {
public:
    Entropy(const std::uint8_t* data, std::size_t size);
    explicit Entropy(std::uint64_t seed);

    // 0 .. n-1 (n > 0).
    std::uint32_t Below(std::uint32_t n);
    // true with the given chance in percent.
    bool Chance(unsigned percent) { return Below(100) < percent; }
    // lo .. hi, both included.
    std::int64_t Between(std::int64_t lo, std::int64_t hi);
    template <class T, std::size_t N> const T& Pick(const T (&items)[N])
    {
        return items[Below(static_cast<std::uint32_t>(N))];
    }

private:
    std::uint64_t NextWord();

    std::vector<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
    std::uint64_t m_state = 0;
};

} // namespace differential
