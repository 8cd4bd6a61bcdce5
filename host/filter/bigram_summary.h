#pragma once

#include "host/storage/record_view.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace host {
class Column;
}

namespace host::filter {

// For one text column, the records whose folded text holds each pair of adjacent bytes
// (and each byte that ends a value): what a contains search reads instead of the text.
// A needle of one or two bytes is answered exactly; a longer one gets the records that
// hold all of its pairs, which the search then checks against the text.
//
// Each pair keeps, for every block of 65,536 records, a bitmap of the block when at
// least one record in 16 holds it, else the records' 16-bit offsets in the block. It is
// built a block at a time in bitmaps that fit the cache, so building costs one pass over
// the text and never more memory than the result.
class BigramSummary {
public:
    // With ignoreAccents, of the text as a search reads it then (Column::SearchText); of
    // an integer column, of the values' text forms.
    explicit BigramSummary(const Column& column, bool ignoreAccents = false);

    // Records whose folded text may hold the (folded) needle; exact is set when they are
    // exactly the records that hold it.
    RecordBitmap Candidates(std::string_view foldedNeedle, bool& exact) const;

    std::uint32_t RecordCount() const { return m_records; }
    std::size_t MemoryBytes() const;

    // A pair's slot is first * kSecond + second, where the second byte kEnd stands for
    // "ends the value".
    static constexpr int kEnd = 256;
    static constexpr int kSecond = 257;

private:
    // One block of one pair: `size` words of a bitmap or `size` offsets, from `at`.
    struct Block {
        std::uint32_t block = 0;
        std::uint32_t at = 0;
        std::uint32_t size = 0;
        bool dense = false;
    };
    struct Postings {
        std::uint32_t count = 0;
        std::vector<Block> blocks; // ascending, only blocks that hold the pair
        std::vector<std::uint64_t> words;
        std::vector<std::uint16_t> lows;
    };
    const Postings* Find(unsigned first, unsigned second) const;
    void OrInto(const Postings& postings, RecordBitmap& out) const;
    void AndInto(const Postings& postings, RecordBitmap& out) const;

    std::uint32_t m_records = 0;
    std::vector<std::int32_t> m_slot; // first * kSecond + second -> index in m_postings
    std::vector<Postings> m_postings;
};

} // namespace host::filter
