#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstddef>

namespace pesquisa {

// Code points of the Windows-1252 bytes 0x80..0x9F. The five bytes the code page
// leaves undefined map to the control code of the same value, as Windows does.
inline constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes a NUL-terminated Windows-1252 text; a null pointer is the empty text.
inline QString FromWindows1252(const char* text)
{
    QString result;
    if (text == nullptr) {
        return result;
    }
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte >= 0x80 && byte <= 0x9F) {
            result.append(QChar(kWindows1252High[byte - 0x80]));
        } else {
            result.append(QChar(byte)); // ASCII and 0xA0..0xFF are Latin-1
        }
    }
    return result;
}

// Encodes a text as Windows-1252; characters the code page lacks become '?', and
// a NUL (which would end the text early) becomes '?' too.
inline QByteArray ToWindows1252(const QString& text)
{
    QByteArray result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        char byte = '?';
        if (unit != 0 && (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))) {
            byte = static_cast<char>(unit);
        } else {
            for (std::size_t k = 0; k < kWindows1252High.size(); ++k) {
                if (kWindows1252High[k] == unit) {
                    byte = static_cast<char>(0x80 + k);
                    break;
                }
            }
        }
        // A surrogate pair is one character the code page lacks: one '?'.
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            ++i;
        }
        result.append(byte);
    }
    return result;
}

} // namespace pesquisa
