#pragma once

#include "host/text/text_form.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace host {

// The fold under which text compares when case does not count: UPPER() of a text field,
// case-insensitive indexes, and the search's prefix and contains matching. Every folded
// comparison goes through these functions. It applies to text as a search reads it:
// with the option that sets accents aside, that is the accent-folded text
// (Column::SearchText), so the case fold stays byte for byte.
//
// The fold is ASCII upper-casing. It maps each byte to one byte, so folded text has the
// stored text's length and is computed on the fly: no folded copy is kept, and the fast
// paths (prefix ranges, pair summaries, memos, sort keys) fold byte by byte.

// The folded form of one byte.
constexpr char FoldByte(char c)
{
    return AsciiUpper(c);
}

// FoldByte on each of the eight bytes of a word at once.
constexpr std::uint64_t FoldWord(std::uint64_t word)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const std::uint64_t low7 = word & ~kHigh;
    const std::uint64_t fromA = low7 + (0x80 - 'a') * kOnes;     // high bit: at least 'a'
    const std::uint64_t pastZ = low7 + (0x80 - 'z' - 1) * kOnes; // high bit: past 'z'
    const std::uint64_t lower = fromA & ~pastZ & ~word & kHigh;
    return word ^ (lower >> 2); // 0x80 >> 2 is the case bit, 0x20
}

// Replaces out with the folded form of text.
void FoldText(std::string_view text, std::string& out);

// True when folding changes the text.
bool FoldChanges(std::string_view text);

// Three-way byte comparison of the folded forms of a and b.
int CompareFolded(std::string_view a, std::string_view b);

// Whether the folded form of text holds foldedNeedle (a needle already folded).
bool FoldedContains(std::string_view text, std::string_view foldedNeedle);
// Where foldedNeedle first begins in the folded form of text (a bytewise fold keeps
// places), npos when nowhere.
std::size_t FoldedFind(std::string_view text, std::string_view foldedNeedle);

// Of one short text, every place a needle begins and every byte from 0x80 on, as masks
// (bit i for the byte at i), found in one pass: what a contains check wants to know of
// each record (where the needle first begins, whether it begins elsewhere, whether the
// text is ASCII) without a search for each. The text is at most kShortText bytes long
// and its buffer can be read kShortTextSlack bytes past its end (bytes that are
// ignored). With foldCase the text is read folded; the needle is folded already.
constexpr std::size_t kShortText = 64;
constexpr std::size_t kShortTextSlack = 16;
struct ShortTextPlaces {
    std::uint64_t starts = 0;
    std::uint64_t nonAscii = 0;
};
ShortTextPlaces FindInShortText(std::string_view text, std::string_view needle, bool foldCase);

// The bytes whose fold is `folded`, ascending (a bytewise fold): for ASCII upper-casing
// "A" and "a" for 'A', none for 'a', the byte itself for anything else.
struct FoldSources {
    char bytes[2] = {};
    int count = 0;
};
FoldSources BytesFoldingTo(char folded);

} // namespace host
