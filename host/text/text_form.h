#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace host {

// ASCII-only case mapping: every byte outside 'a'..'z' / 'A'..'Z' (UTF-8 sequences of
// "ç", "Ç" and the like among them) is left unchanged.
constexpr char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

constexpr char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Number of characters in UTF-8 text (continuation bytes do not count).
int Utf8Length(std::string_view text);

// True when the bytes are well-formed UTF-8: no stray continuation bytes, truncated or
// overlong sequences, surrogates or code points past U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Text forms of values, written into a caller's buffer of at least kTextFormBuffer bytes
// without allocating. These are the forms a number takes when it meets text in a filter
// and the forms whose longest length a numeric field reports as its size.
constexpr int kTextFormBuffer = 40;
std::string_view IntegerText(std::int64_t value, char* buffer);
std::string_view FloatText(double value, char* buffer);
std::string_view BooleanText(bool value);
// What a binary value shows instead of its bytes: "(binary, 2,048 bytes)".
std::string BinaryText(std::int64_t bytes);
std::string_view DateText(std::int64_t julianDay, char* buffer);

} // namespace host
