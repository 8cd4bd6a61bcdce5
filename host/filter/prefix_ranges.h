#pragma once

#include "host/filter/expression.h"
#include "host/storage/record_order.h"
#include "host/storage/record_view.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace host {
class Column;
class Table;
} // namespace host

namespace host::filter {

// A conjunct "UPPER(text field) LIKE 'lit...'" or "text field LIKE 'lit...'".
struct PrefixSearch {
    const Node* term = nullptr;
    int field = -1;
    bool folded = false;     // on UPPER(field)
    bool accents = false;    // on the field's text with accents set aside
    std::string_view prefix; // the pattern's literal start, as written
    bool whole = false;      // the pattern is the prefix and one '%'
};

// Fills `out` and returns true when the node is such a prefix search.
bool AsPrefixSearch(const Node& node, PrefixSearch& out);

// Whether the order's first field (nullptr: record order) reads the search's text as
// the search does: its matches are then ranges of the order, found by binary search.
bool OnLeadOrder(const SortField* lead, const PrefixSearch& search);

// Whether the term is a prefix search that those ranges answer exactly, with nothing
// to check on the records.
bool AnsweredByRanges(const Table& table, const SortField* lead, const Node& term);

// The ranges of the order that a prefix search on its first field matches.
struct LeadRanges {
    std::vector<RecordView::Range> ranges;
    PrefixSearch search;
    bool exact = false; // the ranges hold exactly the search's matches
};

// The ranges of `order` (sorted by `lead`, on which OnLeadOrder holds) for the search.
LeadRanges RangesOnLeadOrder(const Column& column, const std::vector<std::uint32_t>& order,
                             const SortField& lead, const PrefixSearch& search);

// The ranges of an order sorted case-sensitively by the field whose records' text
// begins with one of the byte strings the prefix stands for: itself, or for
// UPPER(field) each string that folds to it. The ranges come in order; a NULL, which
// begins with nothing, is in none of them.
std::vector<RecordView::Range> PrefixRanges(const Column& column,
                                            const std::vector<std::uint32_t>& order,
                                            const PrefixSearch& search);

// The range of an order sorted by folded text whose folded text begins with the folded
// prefix.
RecordView::Range FoldedPrefixRange(const Column& column, const std::vector<std::uint32_t>& order,
                                    std::string_view foldedPrefix, bool accents);

std::size_t RangesSize(const std::vector<RecordView::Range>& ranges);

// The records of a prefix search on a text field that does not lead the order, from
// that field's folded order (so in folded order, not view order).
struct FoldedHits {
    std::vector<std::uint32_t> records;
    PrefixSearch search;
    bool exact = false; // the records are exactly the search's matches
};

FoldedHits HitsInFoldedOrder(const Column& column, const std::vector<std::uint32_t>& folded,
                             const PrefixSearch& search);

} // namespace host::filter
