#include "form/search_text.h"

#include <array>

namespace pesquisa {

namespace {

// Windows-1252 characters 0x80-0x9F that differ from Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

QString AsciiUpper(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) {
            c = QChar(c.unicode() - 'a' + 'A');
        }
    }
    return result;
}

const QByteArray& AllowedSearchChars()
{
    static const QByteArray chars = [] {
        QByteArray set(" ,./");
        for (char c = '0'; c <= '9'; ++c) {
            set.append(c);
        }
        for (char c = 'A'; c <= 'Z'; ++c) {
            set.append(c);
        }
        set.append("\\_");
        for (char c = 'a'; c <= 'z'; ++c) {
            set.append(c);
        }
        set.append(static_cast<char>(199)); // Ç
        set.append(static_cast<char>(231)); // ç
        return set;
    }();
    return chars;
}

bool IsAllowedSearchChar(char c)
{
    return AllowedSearchChars().contains(c);
}

CasedKey CaseForKey(char key, bool capsLock, bool shift)
{
    if (capsLock && shift) {
        return {AsciiLower(key), true};
    }
    if (capsLock) {
        return {AsciiUpper(key), false};
    }
    if (shift) {
        return {AsciiUpper(key), true};
    }
    return {AsciiLower(key), false};
}

QString JoinableBase(const QString& base)
{
    int depth = 0;
    bool quoted = false;
    const auto isWordChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    for (qsizetype i = 0; i < base.size(); ++i) {
        const QChar c = base.at(i);
        if (c == u'\'') {
            quoted = !quoted; // a doubled quote toggles twice
        } else if (quoted) {
            continue;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            --depth;
        } else if (depth == 0 && (c == u'O' || c == u'o') && i + 1 < base.size() &&
                   (base.at(i + 1) == u'R' || base.at(i + 1) == u'r') &&
                   (i == 0 || !isWordChar(base.at(i - 1))) &&
                   (i + 2 == base.size() || !isWordChar(base.at(i + 2)))) {
            return u'(' + base + u')';
        }
    }
    return base;
}

QString Condicao(bool Flag, const QString& SeVerdadeiro, const QString& SeFalso)
{
    return Flag ? SeVerdadeiro : SeFalso;
}

QChar CharFromByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F && kHighControls[byte - 0x80] != 0) {
        return QChar(kHighControls[byte - 0x80]);
    }
    return QChar(byte);
}

char ByteFromChar(QChar c)
{
    const char16_t code = c.unicode();
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
        return static_cast<char>(code);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == code) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

} // namespace pesquisa
