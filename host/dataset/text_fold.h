#pragma once

#include "host/dataset/text_form.h"

#include <string>
#include <string_view>

namespace host {

// The fold under which text compares when case does not count: UPPER() of a text field,
// case-insensitive indexes, and the search's prefix and contains matching. Every folded
// comparison goes through these functions. It applies to text as a search reads it:
// with the option that sets accents aside, that is the accent-folded text
// (Column::SearchText), so the case fold stays byte for byte.
//
// The fold today is ASCII upper-casing. It maps each byte to one byte, so folded text
// has the stored text's length and is computed on the fly: no folded copy is kept.
// Fast paths that rely on that ask FoldIsBytewise() and fall back to FoldText when not.
constexpr bool FoldIsBytewise()
{
    return true;
}

// The folded form of one byte (for a bytewise fold).
constexpr char FoldByte(char c)
{
    return AsciiUpper(c);
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

// The bytes whose fold is `folded`, ascending (a bytewise fold): for ASCII upper-casing
// "A" and "a" for 'A', none for 'a', the byte itself for anything else.
struct FoldSources {
    char bytes[2] = {};
    int count = 0;
};
FoldSources BytesFoldingTo(char folded);

} // namespace host
