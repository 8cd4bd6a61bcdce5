#pragma once

#include "host/filter/contains_memo.h"
#include "host/filter/expression.h"
#include "host/storage/large_array.h"
#include "host/storage/record_order.h"
#include "host/storage/record_view.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace host {
class Table;
}

namespace host::filter {

class BigramSummary;
class WordIndex;

// What deciding the records of a filtered view needs.
struct SelectionInput {
    const Table* table = nullptr;
    const Node* root = nullptr;
    // The view's order: every record once (for record order, 0, 1, 2, ...).
    std::shared_ptr<const std::vector<std::uint32_t>> order;
    // The fields the order sorts by; empty for record order.
    std::vector<SortField> orderFields;
    // A view known to hold every match: the previous view when the new filter only
    // narrows the previous one. nullptr when there is none.
    const RecordView* narrowBase = nullptr;
    // What the contains search of that previous view kept of its matches (it holds
    // exactly the view's records); nullptr when none.
    const ContainsMemo* narrowMemo = nullptr;
    // Where SelectFast leaves the memo of this selection's contains search, when it
    // checked one on the text; left empty otherwise. nullptr: no memo wanted.
    std::shared_ptr<const ContainsMemo>* memoOut = nullptr;
    // The exact matches of a condition, by its key, when an earlier filter computed them
    // (a base filter the search is joined to); nullptr when not known.
    std::function<std::shared_ptr<const RecordBitmap>(const std::string& key)> knownMatches;
    // The records of a text field sorted by folded text (built on demand).
    std::function<const std::vector<std::uint32_t>&(int field)> foldedOrder;
    // The pair summary of a text field (built on demand).
    std::function<const BigramSummary&(int field)> summary;
    // Whether the pair summary of a text field is built already.
    std::function<bool(int field)> summaryBuilt;
    // The words of a text field (built on demand).
    std::function<const WordIndex&(int field)> wordIndex;
    // What a text field's bytes tell (WordIndex::MayHold), without its words unless they
    // are built already.
    std::function<const WordIndex&(int field)> fieldBytes;
    // The records of a text or integer field by the first bytes of their folded text
    // (built on demand; leading_order.h).
    std::function<const LargeVector<std::uint32_t>&(int field)> leadingOrder;
    // Whether the order, the folded orders and the summaries read text with its accents
    // set aside: they serve only the terms that read it so.
    bool ignoreAccents = false;
};

} // namespace host::filter
