#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace host {

class Column;

// How a sort reads a text column: upper-cased (folded) or not, accents set aside or not.
struct TextKey {
    bool folded = false;
    bool accents = false; // accents set aside, and the column has some to set aside
};

// Sorts the records recs[0..count) (none NULL, in record order) by the column's text as
// the key reads it, byte by byte; stable. From a quarter of a million records on, on two
// threads.
void SortTextRecords(const Column& column, TextKey key, std::uint32_t* recs, std::size_t count);

// The large arrays such a sort frees as it ends, per record sorted: two of 16-byte items.
// Work that follows may take them again while a LargeArrayReuse of that size is alive.
constexpr std::size_t kTextSortBytesPerRecord = 32;

// The text's first 8 bytes as the key reads them, as a big-endian number: the numbers
// order like the texts, ties aside.
std::uint64_t LeadingTextChunk(std::string_view text, TextKey key);

} // namespace host
