#pragma once

#include <QString>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// Accent folding for searches that set accents aside: a letter whose canonical Unicode
// decomposition is a basic Latin letter followed by combining marks becomes that letter,
// in its own case ("ã" -> "a", "Ã" -> "A", "ç" -> "c", "É" -> "E"). Every other character
// stays as it is ("ß", "Æ", "Ø", "ª", "€", digits, punctuation).

// The base letter of a code point, or the code point itself.
char32_t AccentFolded(char32_t c);

// The position of the first byte from 0x80 on, the size when there is none: the fold
// keeps every byte before it. Inline, as searches call it for every record they read;
// eight bytes at a time, as most of that text is ASCII. The byte is found in its word
// without a loop, which would mispredict its exit once a text.
inline std::size_t FirstNonAscii(std::string_view text)
{
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    const std::size_t n = text.size();
    if constexpr (std::endian::native == std::endian::little) {
        const auto inWord = [](std::uint64_t high) {
            return static_cast<std::size_t>(std::countr_zero(high)) / 8;
        };
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + i, 8);
            if ((word & kHighBits) != 0) {
                return i + inWord(word & kHighBits);
            }
        }
        if (i == n) {
            return n;
        }
        if (n >= 8) {
            // The last bytes, in the word that ends the text (its first bytes are ASCII).
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + n - 8, 8);
            return (word & kHighBits) != 0 ? n - 8 + inWord(word & kHighBits) : n;
        }
    }
    std::size_t i = 0;
    while (i < n && static_cast<unsigned char>(text[i]) < 0x80) {
        ++i;
    }
    return i;
}

// True when the text holds a character the fold changes.
bool HasFoldableAccent(std::string_view utf8);

// The case a letter the fold produces takes: its own ("ã" -> "a", "Ã" -> "A"), or that
// of the UPPER or LOWER a literal meets ("ç" against UPPER(x) -> "C"). Letters the fold
// leaves alone keep their case either way.
enum class FoldedLetterCase { Own, Upper, Lower };

// Appends the folded form of UTF-8 text. Bytes that are not well-formed UTF-8 are copied
// unchanged.
void AppendAccentFolded(std::string_view utf8, std::string& out,
                        FoldedLetterCase letterCase = FoldedLetterCase::Own);
std::string AccentFoldedText(std::string_view utf8,
                             FoldedLetterCase letterCase = FoldedLetterCase::Own);
QString AccentFoldedText(const QString& text, FoldedLetterCase letterCase = FoldedLetterCase::Own);

// For searches, which fold stored text on the fly (no folded copy is kept): text without
// a foldable letter, ASCII text above all, costs one quick scan and no copy.
//
// The folded text: utf8 itself when the fold leaves it as it is, else its folded form
// written to scratch.
std::string_view AccentFoldedView(std::string_view utf8, std::string& scratch);
// The folded text's first `bytes` bytes, or all of it when it is shorter: the result may
// hold more, but is shorter than `bytes` only when it is the whole folded text. For
// sorting a few bytes at a time without folding whole values.
std::string_view AccentFoldedHead(std::string_view utf8, std::size_t bytes, std::string& scratch);
// The folded text's byte at `at` (0..255), or -1 past its end.
int AccentFoldedByteAt(std::string_view utf8, std::size_t at);

// What folding does to one text: whether it changes it, and whether a letter it produces
// is lower case (then upper-casing the folded text changes it, even where upper-casing
// the stored text would not: "JOãO").
struct AccentScan {
    bool foldable = false;
    bool lowerLetter = false;
};
AccentScan ScanAccents(std::string_view utf8);

// Every character the fold changes (from) and what it becomes (to), in code point order,
// one character each: the two arguments with which SQL's translate() spells the same
// fold on a server, so that the server and the in-memory dataset agree character for
// character.
struct AccentFoldPairs {
    QString from;
    QString to;
};
const AccentFoldPairs& AccentFoldTable();

// Code points first..last, all of which the fold changes into the same kind of letter.
struct AccentFoldRun {
    char32_t first = 0;
    char32_t last = 0;
};
// The characters the fold turns into `letter` (upper-cased: whose folded letter
// upper-cases to it), as runs of consecutive code points in ascending order.
std::vector<AccentFoldRun> AccentFoldRunsInto(char letter, bool upperCased);

} // namespace host
