#include "host/text/text_form.h"

#include <QDate>
#include <charconv>

namespace host {

int Utf8Length(std::string_view text)
{
    int length = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++length;
        }
    }
    return length;
}

bool IsValidUtf8(std::string_view text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        char32_t code = 0;
        char32_t least = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1F;
            least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
            least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07;
            least = 0x10000;
        } else {
            return false;
        }
        if (n - i <= static_cast<size_t>(extra)) {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            const unsigned char next = bytes[i + static_cast<size_t>(k)];
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

std::string_view IntegerText(std::int64_t value, char* buffer)
{
    const auto result = std::to_chars(buffer, buffer + kTextFormBuffer, value);
    return {buffer, static_cast<size_t>(result.ptr - buffer)};
}

std::string_view FloatText(double value, char* buffer)
{
    // Same form as the grid shows: up to 15 significant digits, no trailing zeros.
    // Negative zero is zero: "0", as SQL servers print it.
    const auto result = std::to_chars(buffer, buffer + kTextFormBuffer, value + 0.0,
                                      std::chars_format::general, 15);
    return {buffer, static_cast<size_t>(result.ptr - buffer)};
}

std::string_view BooleanText(bool value)
{
    return value ? std::string_view("True") : std::string_view("False");
}

std::string_view DateText(std::int64_t julianDay, char* buffer)
{
    int year = 0;
    int month = 0;
    int day = 0;
    QDate::fromJulianDay(julianDay).getDate(&year, &month, &day);
    char* p = buffer;
    if (year < 0) {
        *p++ = '-';
        year = -year;
    }
    p[0] = static_cast<char>('0' + (year / 1000) % 10);
    p[1] = static_cast<char>('0' + (year / 100) % 10);
    p[2] = static_cast<char>('0' + (year / 10) % 10);
    p[3] = static_cast<char>('0' + year % 10);
    p[4] = '-';
    p[5] = static_cast<char>('0' + month / 10);
    p[6] = static_cast<char>('0' + month % 10);
    p[7] = '-';
    p[8] = static_cast<char>('0' + day / 10);
    p[9] = static_cast<char>('0' + day % 10);
    return {buffer, static_cast<size_t>(p + 10 - buffer)};
}

std::string BinaryText(std::int64_t bytes)
{
    std::string digits = std::to_string(bytes);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    }
    return "(binary, " + digits + (bytes == 1 ? " byte)" : " bytes)");
}

} // namespace host
