#pragma once

#include "host/storage/large_array.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace host::filter {

// What a contains search learnt about every record of its result: the bytes that follow
// a place the needle occurs in the record's text (folded, for a folded search; the first
// place but where a search with accents set aside finds it in the stored text), and
// whether it may occur at another place. The next keystroke usually extends the needle,
// and most records are then decided from these bytes without their text being read
// again: at millions of records those scattered reads are what a keystroke costs.
struct ContainsMemo {
    static constexpr int kTailBytes = 8;
    static constexpr std::uint8_t kLengthMask = 0x0F; // bytes kept in the tail
    static constexpr std::uint8_t kMore = 0x10;       // the text goes on past them
    static constexpr std::uint8_t kAgain = 0x20;      // the needle may occur elsewhere
    // The record is in the result. A memo handed over from the checks whole also lists
    // the candidates that failed (without this flag) rather than copy the rest out.
    static constexpr std::uint8_t kKept = 0x40;

    int field = -1;
    bool folded = false;
    bool accents = false; // read with accents set aside
    std::string needle;   // as the search was written
    // Records in view order; else ascending record numbers.
    bool viewOrder = false;
    LargeVector<std::uint32_t> records;
    LargeVector<std::uint64_t> tails; // the byte after the needle lowest
    LargeVector<std::uint8_t> info;

    std::size_t MemoryBytes() const
    {
        return needle.size() + records.size() * sizeof(std::uint32_t) +
               tails.size() * sizeof(std::uint64_t) + info.size();
    }
};

} // namespace host::filter
