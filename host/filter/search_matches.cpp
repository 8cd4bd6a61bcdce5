// What a search matched in a value, for marking it on screen.
#include "host/text/accent_fold.h"
#include "host/text/text_form.h"

#include <algorithm>
#include <touchsearch/filter_text.h>
#include <vector>

namespace host {

namespace {

// One character of a text as the search compares it, and where it stands in the text.
struct Compared {
    char32_t point = 0;
    qsizetype at = 0;     // its first UTF-16 unit
    qsizetype length = 1; // 2 for a surrogate pair
};

// The text folded as the filter folds it: accents, then the ASCII case fold. Both keep
// one character for one, so every place maps back to the text as shown.
std::vector<Compared> Fold(const QString& text, bool ignoreAccents, bool foldCase)
{
    std::vector<Compared> out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size();) {
        Compared c;
        c.at = i;
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c.point = QChar::surrogateToUcs4(unit, text.at(i + 1));
            c.length = 2;
        } else {
            c.point = unit.unicode();
        }
        if (ignoreAccents) {
            c.point = AccentFolded(c.point);
        }
        if (foldCase && c.point < 0x80) {
            c.point = static_cast<unsigned char>(AsciiUpper(static_cast<char>(c.point)));
        }
        out.push_back(c);
        i += c.length;
    }
    return out;
}

bool MatchesAt(const std::vector<Compared>& value, std::size_t at,
               const std::vector<Compared>& piece)
{
    if (value.size() - at < piece.size()) {
        return false;
    }
    for (std::size_t k = 0; k < piece.size(); ++k) {
        if (piece[k].point != U'_' && piece[k].point != value[at + k].point) {
            return false;
        }
    }
    return true;
}

QList<TextSpan> Merged(std::vector<TextSpan> spans)
{
    std::sort(spans.begin(), spans.end(),
              [](const TextSpan& a, const TextSpan& b) { return a.start < b.start; });
    QList<TextSpan> out;
    for (const TextSpan& span : spans) {
        if (!out.isEmpty() && span.start <= out.back().start + out.back().length) {
            TextSpan& last = out.back();
            last.length = std::max(last.start + last.length, span.start + span.length) - last.start;
        } else {
            out.push_back(span);
        }
    }
    return out;
}

} // namespace

QList<TextSpan> SearchMatches(const QString& value, const QStringList& pieces, MatchPlace place,
                              FilterOptions options, bool upperValue)
{
    const bool ignoreAccents = options.testFlag(FilterOption::IgnoreAccents);
    const bool foldCase = upperValue || options.testFlag(FilterOption::CaseInsensitive);
    const std::vector<Compared> folded = Fold(value, ignoreAccents, foldCase);
    std::vector<TextSpan> spans;
    const auto mark = [&](std::size_t at, std::size_t count) {
        const Compared& last = folded[at + count - 1];
        spans.push_back({folded[at].at, last.at + last.length - folded[at].at});
    };
    for (const QString& text : pieces) {
        const std::vector<Compared> piece = Fold(text, ignoreAccents, foldCase);
        if (piece.empty()) {
            continue;
        }
        for (std::size_t at = 0; at < folded.size();) {
            const bool wordStart = at == 0 || folded[at - 1].point == U' ';
            const bool allowed = place == MatchPlace::Anywhere ||
                                 (place == MatchPlace::WordStarts && wordStart) ||
                                 (place == MatchPlace::Start && at == 0);
            if (allowed && MatchesAt(folded, at, piece)) {
                mark(at, piece.size());
                at += piece.size(); // places of one piece do not overlap
            } else if (place == MatchPlace::Start) {
                break;
            } else {
                ++at;
            }
        }
    }
    return Merged(std::move(spans));
}

} // namespace host
