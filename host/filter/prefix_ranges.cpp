#include "host/filter/prefix_ranges.h"

#include "host/storage/table.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <string>

namespace host::filter {

namespace {

using Rows = std::vector<std::uint32_t>;
using Range = RecordView::Range;

// Records sharing their first `depth` bytes are contiguous and sorted by the next byte
// (shorter texts first), so each choice of byte narrows the range by two binary
// searches; the choices are tried in byte order, which keeps the ranges in order.
void NarrowByByte(const Column& column, const Rows& order, const PrefixSearch& search,
                  std::uint32_t lo, std::uint32_t hi, std::size_t depth, std::vector<Range>& out)
{
    if (lo >= hi) {
        return;
    }
    if (depth == search.prefix.size()) {
        out.push_back({lo, hi});
        return;
    }
    const auto byteAt = [&](std::uint32_t rec) {
        return column.SearchByteAt(rec, depth, search.accents);
    };
    FoldSources sources;
    if (search.folded) {
        sources = BytesFoldingTo(search.prefix[depth]);
    } else {
        sources.bytes[0] = search.prefix[depth];
        sources.count = 1;
    }
    const auto begin = order.begin();
    for (int i = 0; i < sources.count; ++i) {
        const int b = static_cast<unsigned char>(sources.bytes[i]);
        const auto first = std::partition_point(begin + lo, begin + hi,
                                                [&](std::uint32_t rec) { return byteAt(rec) < b; });
        const auto last = std::partition_point(first, begin + hi,
                                               [&](std::uint32_t rec) { return byteAt(rec) == b; });
        NarrowByByte(column, order, search, static_cast<std::uint32_t>(first - begin),
                     static_cast<std::uint32_t>(last - begin), depth + 1, out);
    }
}

} // namespace

bool AsPrefixSearch(const Node& node, PrefixSearch& out)
{
    if (node.Kind() != NodeKind::Like) {
        return false;
    }
    const auto& like = static_cast<const LikeNode&>(node);
    if (like.Negated() || like.Literal() == nullptr || like.Literal()->LiteralPrefix().empty()) {
        return false;
    }
    const ColumnNode* operand = AsTextColumn(like.Operand());
    if (operand == nullptr) {
        return false;
    }
    out.term = &node;
    out.field = operand->FieldIndex();
    out.folded = operand->Kind() == NodeKind::FoldedField;
    out.accents = operand->IgnoresAccents();
    out.prefix = like.Literal()->LiteralPrefix();
    const std::string& pattern = like.Literal()->Text();
    out.whole = pattern.size() == out.prefix.size() + 1 && pattern.back() == '%';
    return true;
}

bool OnLeadOrder(const SortField* lead, const PrefixSearch& search)
{
    return lead != nullptr && lead->field == search.field && !lead->descending &&
           lead->ignoreAccents == search.accents;
}

bool AnsweredByRanges(const Table& table, const SortField* lead, const Node& term)
{
    PrefixSearch search;
    if (!AsPrefixSearch(term, search) || !OnLeadOrder(lead, search) || !search.whole) {
        return false;
    }
    const bool foldedOrder =
        lead->caseInsensitive && !table.Col(search.field).FoldsToItself(search.accents);
    return !foldedOrder || search.folded;
}

LeadRanges RangesOnLeadOrder(const Column& column, const Rows& order, const SortField& lead,
                             const PrefixSearch& search)
{
    LeadRanges found;
    found.search = search;
    found.exact = search.whole;
    if (lead.caseInsensitive && !column.FoldsToItself(search.accents)) {
        // Sorted by folded text: one range, exact for UPPER(field).
        std::string target;
        FoldText(search.prefix, target);
        // A folded text never holds a byte folding changes: no range then.
        if (!search.folded || target == search.prefix) {
            const Range range = FoldedPrefixRange(column, order, target, search.accents);
            if (range.begin < range.end) {
                found.ranges.push_back(range);
            }
        }
        found.exact = found.exact && search.folded;
    } else {
        found.ranges = PrefixRanges(column, order, search);
    }
    return found;
}

std::vector<Range> PrefixRanges(const Column& column, const Rows& order, const PrefixSearch& search)
{
    std::vector<Range> out;
    NarrowByByte(column, order, search, 0, static_cast<std::uint32_t>(order.size()), 0, out);
    return out;
}

Range FoldedPrefixRange(const Column& column, const Rows& order, std::string_view foldedPrefix,
                        bool accents)
{
    std::string scratch;
    const auto head = [&](std::uint32_t rec) {
        return column.SearchText(rec, accents, scratch).substr(0, foldedPrefix.size());
    };
    const auto lo = std::partition_point(order.begin(), order.end(), [&](std::uint32_t rec) {
        return CompareFolded(head(rec), foldedPrefix) < 0;
    });
    const auto hi = std::partition_point(lo, order.end(), [&](std::uint32_t rec) {
        return CompareFolded(head(rec), foldedPrefix) == 0;
    });
    return {static_cast<std::uint32_t>(lo - order.begin()),
            static_cast<std::uint32_t>(hi - order.begin())};
}

std::size_t RangesSize(const std::vector<Range>& ranges)
{
    std::size_t size = 0;
    for (const Range& range : ranges) {
        size += range.end - range.begin;
    }
    return size;
}

FoldedHits HitsInFoldedOrder(const Column& column, const Rows& folded, const PrefixSearch& search)
{
    FoldedHits hits;
    std::string target;
    FoldText(search.prefix, target);
    // A folded text never holds a byte folding changes: no hits then.
    if (!(search.folded && target != search.prefix)) {
        const Range range = FoldedPrefixRange(column, folded, target, search.accents);
        hits.records.assign(folded.begin() + range.begin, folded.begin() + range.end);
    }
    hits.search = search;
    hits.exact = search.whole && search.folded;
    return hits;
}

} // namespace host::filter
