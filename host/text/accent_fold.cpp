#include "host/text/accent_fold.h"

#include "host/text/text_form.h"

#include <QChar>
#include <QList>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace host {

namespace {

// Latin letters with canonical decompositions lie below U+2200 (the last is the Angstrom
// sign, U+212B); the table covers that range and everything above folds to itself.
constexpr char32_t kTableEnd = 0x2200;

bool IsCombiningMark(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

bool IsBasicLatinLetter(char32_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The base letter of c by full canonical decomposition, or 0 when c is not a Latin
// letter with marks.
char BaseLetterOf(char32_t c)
{
    bool marks = false;
    char32_t head = c;
    // Decompositions nest ("Ấ" is "Â" plus acute, "Â" is "A" plus circumflex); the head
    // of each step decomposes further while the tail must be marks.
    while (QChar::decompositionTag(head) == QChar::Canonical) {
        const QString parts = QChar::decomposition(head);
        const QList<uint> points = parts.toUcs4();
        if (points.isEmpty()) {
            return 0;
        }
        for (qsizetype i = 1; i < points.size(); ++i) {
            if (!IsCombiningMark(points[i])) {
                return 0;
            }
            marks = true;
        }
        head = points.front();
    }
    return marks && IsBasicLatinLetter(head) ? static_cast<char>(head) : 0;
}

struct FoldTable {
    std::array<char, kTableEnd> base{}; // base letter, 0 when the code point stays
    AccentFoldPairs pairs;

    // Out of line, so that Table() stays small enough to be inlined where text is folded.
    [[gnu::noinline]] FoldTable()
    {
        for (char32_t c = 0x80; c < kTableEnd; ++c) {
            base[c] = BaseLetterOf(c);
            if (base[c] != 0) {
                pairs.from += QString::fromUcs4(&c, 1);
                pairs.to += QLatin1Char(base[c]);
            }
        }
    }
};

inline const FoldTable& Table()
{
    static const FoldTable table;
    return table;
}

// Decodes one well-formed UTF-8 sequence at text[i]; returns its length, or 0 when the
// bytes there are not one.
int DecodeUtf8(std::string_view text, std::size_t i, char32_t& c)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    int length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (i + static_cast<std::size_t>(length) > text.size()) {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        const unsigned char next = byte(i + static_cast<std::size_t>(k));
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        c = (c << 6) | (next & 0x3F);
    }
    return length;
}

// Calls fold(base) for each character the fold changes and copy(from, to) for each run of
// bytes it keeps.
template <class Fold, class Copy> void Walk(std::string_view text, Fold fold, Copy copy)
{
    const FoldTable& table = Table();
    std::size_t kept = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t c = 0;
        const int length = DecodeUtf8(text, i, c);
        if (length == 0) {
            ++i;
            continue;
        }
        if (c < kTableEnd && table.base[c] != 0) {
            copy(kept, i);
            if (!fold(table.base[c])) {
                return;
            }
            kept = i + static_cast<std::size_t>(length);
        }
        i += static_cast<std::size_t>(length);
    }
    copy(kept, text.size());
}

char WithCase(char base, FoldedLetterCase letterCase)
{
    switch (letterCase) {
    case FoldedLetterCase::Upper:
        return AsciiUpper(base);
    case FoldedLetterCase::Lower:
        return AsciiLower(base);
    case FoldedLetterCase::Own:
        break;
    }
    return base;
}

// Folds text from position i on, one character at a time, handing each piece of the
// folded text to sink(bytes, size) until it returns false.
template <class Sink> void FoldFrom(std::string_view text, std::size_t i, Sink sink)
{
    const FoldTable& table = Table();
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            if (!sink(text.data() + i, 1)) {
                return;
            }
            ++i;
            continue;
        }
        char32_t c = 0;
        int length = DecodeUtf8(text, i, c);
        bool go = true;
        if (length != 0 && c < kTableEnd && table.base[c] != 0) {
            go = sink(&table.base[c], 1);
        } else {
            length = length == 0 ? 1 : length;
            go = sink(text.data() + i, static_cast<std::size_t>(length));
        }
        if (!go) {
            return;
        }
        i += static_cast<std::size_t>(length);
    }
}

// Copies len bytes a word at a time, the last word overlapping the one before, so that
// neither side is read or written past len.
void CopyRun(char* out, const char* in, std::size_t len)
{
    if (len >= 8) {
        for (std::size_t k = 0; k + 8 <= len; k += 8) {
            std::memcpy(out + k, in + k, 8);
        }
        std::memcpy(out + len - 8, in + len - 8, 8);
        return;
    }
    for (std::size_t k = 0; k < len; ++k) {
        out[k] = in[k];
    }
}

// Writes the folded form of text into out, the bytes before `first` (ASCII) as they are,
// until at least `limit` bytes are written or the text ends; returns how many. Searches
// call this for every value they read: it writes straight into the buffer. changed is
// set when a letter was folded. Between the characters it looks at, the runs of ASCII
// are found and copied a word at a time.
std::size_t FoldInto(std::string_view text, std::size_t first, std::size_t limit, char* out,
                     bool& changed)
{
    const std::size_t n = text.size();
    std::size_t i = std::min(first, n);
    CopyRun(out, text.data(), i);
    std::size_t o = i;
    const FoldTable& table = Table();
    while (o < limit && i < n) {
        // Here text[i] is a byte from 0x80 on.
        char32_t code = 0;
        int length = 0;
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead >= 0xC2 && lead <= 0xDF && i + 1 < n &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            // Two bytes, as every accented Latin letter of the table but a few: decoded
            // here, without the general loop.
            code = (static_cast<char32_t>(lead & 0x1F) << 6) |
                   (static_cast<unsigned char>(text[i + 1]) & 0x3F);
            length = 2;
        } else {
            length = DecodeUtf8(text, i, code);
        }
        if (length != 0 && code < kTableEnd && table.base[code] != 0) {
            out[o++] = table.base[code];
            i += static_cast<std::size_t>(length);
            changed = true;
        } else {
            const std::size_t kept = length != 0 ? static_cast<std::size_t>(length) : 1;
            std::memcpy(out + o, text.data() + i, kept);
            o += kept;
            i += kept;
        }
        if (o >= limit) {
            break;
        }
        const std::size_t run = FirstNonAscii(text.substr(i, limit - o));
        CopyRun(out + o, text.data() + i, run);
        i += run;
        o += run;
    }
    return o;
}

} // namespace

std::vector<AccentFoldRun> AccentFoldRunsInto(char letter, bool upperCased)
{
    const FoldTable& table = Table();
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    std::vector<AccentFoldRun> runs;
    for (char32_t c = 0x80; c < kTableEnd; ++c) {
        const char base = table.base[c];
        if (base == 0 || (upperCased ? upper(base) : base) != letter) {
            continue;
        }
        if (!runs.empty() && runs.back().last + 1 == c) {
            runs.back().last = c;
        } else {
            runs.push_back({c, c});
        }
    }
    return runs;
}

char32_t AccentFolded(char32_t c)
{
    if (c < 0x80 || c >= kTableEnd) {
        return c;
    }
    const char base = Table().base[c];
    return base != 0 ? static_cast<char32_t>(base) : c;
}

bool HasFoldableAccent(std::string_view utf8)
{
    bool found = false;
    const std::size_t first = FirstNonAscii(utf8);
    if (first == utf8.size()) {
        return false;
    }
    Walk(
        utf8.substr(first),
        [&](char) {
            found = true;
            return false;
        },
        [](std::size_t, std::size_t) {});
    return found;
}

void AppendAccentFolded(std::string_view utf8, std::string& out, FoldedLetterCase letterCase)
{
    Walk(
        utf8,
        [&](char base) {
            out.push_back(WithCase(base, letterCase));
            return true;
        },
        [&](std::size_t from, std::size_t to) { out.append(utf8.substr(from, to - from)); });
}

std::string AccentFoldedText(std::string_view utf8, FoldedLetterCase letterCase)
{
    std::string out;
    out.reserve(utf8.size());
    AppendAccentFolded(utf8, out, letterCase);
    return out;
}

QString AccentFoldedText(const QString& text, FoldedLetterCase letterCase)
{
    const QByteArray utf8 = text.toUtf8();
    const std::string folded = AccentFoldedText(
        std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), letterCase);
    return QString::fromUtf8(folded.data(), static_cast<qsizetype>(folded.size()));
}

std::string_view AccentFoldedView(std::string_view utf8, std::string& scratch)
{
    const std::size_t first = FirstNonAscii(utf8);
    if (first == utf8.size()) {
        return utf8;
    }
    // The folded text is never longer than the text.
    if (scratch.size() < utf8.size()) {
        scratch.resize(utf8.size());
    }
    bool changed = false;
    const std::size_t size = FoldInto(utf8, first, utf8.size(), scratch.data(), changed);
    return changed ? std::string_view(scratch.data(), size) : utf8;
}

std::string_view AccentFoldedHead(std::string_view utf8, std::size_t bytes, std::string& scratch)
{
    // Only the head is looked at: a sort asks for a few bytes of every record.
    const std::size_t first = FirstNonAscii(utf8.substr(0, bytes));
    if (first >= bytes || first == utf8.size()) {
        return utf8; // the first `bytes` bytes are ASCII, which the fold keeps
    }
    // Room for `bytes` and the longest character that may cross it.
    if (scratch.size() < bytes + 4) {
        scratch.resize(bytes + 4);
    }
    bool changed = false;
    const std::size_t size = FoldInto(utf8, first, bytes, scratch.data(), changed);
    return {scratch.data(), size};
}

int AccentFoldedByteAt(std::string_view utf8, std::size_t at)
{
    const std::size_t first = FirstNonAscii(utf8);
    if (at < first) {
        return static_cast<unsigned char>(utf8[at]);
    }
    std::size_t position = first;
    int found = -1;
    FoldFrom(utf8, first, [&](const char* piece, std::size_t size) {
        if (at < position + size) {
            found = static_cast<unsigned char>(piece[at - position]);
            return false;
        }
        position += size;
        return true;
    });
    return found;
}

AccentScan ScanAccents(std::string_view utf8)
{
    AccentScan scan;
    const std::size_t first = FirstNonAscii(utf8);
    if (first == utf8.size()) {
        return scan;
    }
    Walk(
        utf8.substr(first),
        [&](char base) {
            scan.foldable = true;
            scan.lowerLetter = scan.lowerLetter || (base >= 'a' && base <= 'z');
            return true;
        },
        [](std::size_t, std::size_t) {});
    return scan;
}

const AccentFoldPairs& AccentFoldTable()
{
    return Table().pairs;
}

} // namespace host
