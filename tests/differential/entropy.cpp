#include "tests/differential/entropy.h"

namespace differential {

Entropy::Entropy(const std::uint8_t* data, std::size_t size) : m_bytes(data, data + size)
{
    // FNV-1a over the bytes seeds what follows them.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const std::uint8_t b : m_bytes) {
        hash = (hash ^ b) * 0x100000001b3ULL;
    }
    m_state = hash;
}

Entropy::Entropy(std::uint64_t seed) : m_state(seed) {}

std::uint64_t Entropy::NextWord()
{
    // splitmix64
    std::uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::uint32_t Entropy::Below(std::uint32_t n)
{
    if (n <= 1) {
        return 0;
    }
    std::uint64_t value = 0;
    if (m_pos < m_bytes.size()) {
        // One byte a decision while they last (two for wide ranges), so that the fuzzer's
        // mutations map onto decisions.
        value = m_bytes[m_pos++];
        if (n > 256 && m_pos < m_bytes.size()) {
            value = (value << 8) | m_bytes[m_pos++];
        }
        if (n > 65536) {
            value = (value << 32) ^ NextWord();
        }
    } else {
        value = NextWord();
    }
    return static_cast<std::uint32_t>(value % n);
}

std::int64_t Entropy::Between(std::int64_t lo, std::int64_t hi)
{
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    if (span > 0xffffffffULL) {
        return lo + static_cast<std::int64_t>(NextWord() % span);
    }
    return lo + Below(static_cast<std::uint32_t>(span));
}

} // namespace differential
