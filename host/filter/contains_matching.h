#pragma once

#include "host/filter/contains_memo.h"
#include "host/filter/expression.h"
#include "host/storage/column.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace host::filter {

// A conjunct "<text field or its folded form> LIKE '%literal%'".
struct ContainsSearch {
    const Node* term = nullptr;
    const Column* column = nullptr;
    int field = -1;
    bool folded = false;
    bool accents = false;
    std::string_view needle;
    bool asciiNeedle = false;
};

// Fills `out` and returns true when the node is such a contains search.
bool AsContainsSearch(const Node& node, ContainsSearch& out);

// One record's match of a contains search, with what a memo keeps of it.
struct ContainsMatch {
    bool found = false;
    std::uint64_t tail = 0;
    std::uint8_t info = 0;
};

// The checks below run for every candidate: the common paths are defined here, where
// the loops over candidates can inline them; the accent paths are kept out of line,
// and hidden, so that the loops call them directly rather than through the library's
// symbol table.

// The text of a record as a search with accents set aside reads it. The folded text it
// returns can be read kShortTextSlack bytes past its end.
[[gnu::noinline, gnu::visibility("hidden")]] std::string_view
AccentFoldedTextOf(const ContainsSearch& search, std::uint32_t rec);

[[gnu::noinline, gnu::visibility("hidden")]] bool
ContainsIgnoringAccents(const ContainsSearch& search, std::uint32_t rec, std::string_view text);

// Whether one record's text holds the needle: the same answer as the LIKE term.
inline bool Holds(const ContainsSearch& search, std::string_view text)
{
    return search.folded ? FoldedContains(text, search.needle)
                         : text.find(search.needle) != std::string_view::npos;
}

inline bool Contains(const ContainsSearch& search, std::uint32_t rec)
{
    if (search.column->IsNull(rec)) {
        return false;
    }
    const std::string_view text = search.column->Text(rec);
    return search.accents ? ContainsIgnoringAccents(search, rec, text) : Holds(search, text);
}

// The memo's bytes for a match that ends at `after` in the text as the search reads it.
// With wordReadable, 8 bytes can be read from `after` whatever the text's length, and
// they are read as one word.
inline void NoteTail(const ContainsSearch& search, std::string_view text, std::size_t after,
                     ContainsMatch& match, bool wordReadable = false)
{
    const std::size_t left = text.size() - after;
    const std::size_t kept = std::min<std::size_t>(left, ContainsMemo::kTailBytes);
    if (wordReadable && std::endian::native == std::endian::little) {
        std::uint64_t tail = 0;
        std::memcpy(&tail, text.data() + after, sizeof tail);
        tail = search.folded ? FoldWord(tail) : tail;
        match.tail = kept == 8 ? tail : tail & ((std::uint64_t{1} << (8 * kept)) - 1);
    } else {
        for (std::size_t i = 0; i < kept; ++i) {
            const char c = text[after + i];
            match.tail |= std::uint64_t{static_cast<unsigned char>(search.folded ? FoldByte(c) : c)}
                          << (8 * i);
        }
    }
    match.info = static_cast<std::uint8_t>(match.info | kept);
    if (left > kept) {
        match.info |= ContainsMemo::kMore;
    }
}

// Where the match at the first of a short text's `starts` ends.
inline std::size_t FirstMatchEnd(const ContainsSearch& search, std::uint64_t starts)
{
    return static_cast<std::size_t>(std::countr_zero(starts)) + search.needle.size();
}

// The match at the first of `starts` in a short text as the search reads it, whose bytes
// past its end can be read.
inline ContainsMatch MatchAtFirst(const ContainsSearch& search, std::string_view text,
                                  std::uint64_t starts)
{
    ContainsMatch match;
    if (starts == 0) {
        return match;
    }
    match.found = true;
    NoteTail(search, text, FirstMatchEnd(search, starts), match, true);
    if ((starts & (starts - 1)) != 0) {
        match.info |= ContainsMemo::kAgain;
    }
    return match;
}

// A short text with a byte from 0x80 on, read with accents set aside.
[[gnu::noinline, gnu::visibility("hidden")]] ContainsMatch
MatchShortAccented(const ContainsSearch& search, std::uint32_t rec, std::string_view stored,
                   const ShortTextPlaces& places);

// Any text, as the search reads it.
[[gnu::visibility("hidden")]] ContainsMatch MatchText(const ContainsSearch& search,
                                                      std::string_view text);

// The record's match, with the bytes a memo keeps of it.
inline ContainsMatch MatchContains(const ContainsSearch& search, std::uint32_t rec)
{
    if (search.column->IsNull(rec)) {
        return {};
    }
    // The text as the search reads it (accents set aside when asked): the memo's bytes
    // are then those a longer needle is matched against. Most texts are short, and are
    // scanned once for the needle's every place and for bytes the fold may change.
    const std::string_view stored = search.column->Text(rec);
    if (stored.size() <= kShortText && search.column->ReadableAfter(rec, kShortTextSlack)) {
        const ShortTextPlaces places = FindInShortText(stored, search.needle, search.folded);
        if (!search.accents || places.nonAscii == 0) {
            return MatchAtFirst(search, stored, places.starts);
        }
        return MatchShortAccented(search, rec, stored, places);
    }
    return MatchText(search, search.accents ? AccentFoldedTextOf(search, rec) : stored);
}

} // namespace host::filter
