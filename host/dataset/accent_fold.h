#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace host {

// Accent folding for searches that set accents aside: a letter whose canonical Unicode
// decomposition is a basic Latin letter followed by combining marks becomes that letter,
// in its own case ("ã" -> "a", "Ã" -> "A", "ç" -> "c", "É" -> "E"). Every other character
// stays as it is ("ß", "Æ", "Ø", "ª", "€", digits, punctuation).

// The base letter of a code point, or the code point itself.
char32_t AccentFolded(char32_t c);

// True when the text holds a character the fold changes.
bool HasFoldableAccent(std::string_view utf8);

// Appends the folded form of UTF-8 text. Bytes that are not well-formed UTF-8 are copied
// unchanged.
void AppendAccentFolded(std::string_view utf8, std::string& out);
std::string AccentFoldedText(std::string_view utf8);
QString AccentFoldedText(const QString& text);

// Every character the fold changes (from) and what it becomes (to), in code point order,
// one character each: the two arguments with which SQL's translate() spells the same
// fold on a server, so that the server and the in-memory dataset agree character for
// character.
struct AccentFoldPairs {
    QString from;
    QString to;
};
const AccentFoldPairs& AccentFoldTable();

} // namespace host
