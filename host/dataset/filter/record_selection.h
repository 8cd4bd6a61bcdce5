#pragma once

#include "host/dataset/filter/expression.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace host {
class Table;
}

namespace host::filter {

// What deciding the records of a filtered view needs.
struct SelectionInput {
    const Table* table = nullptr;
    const Node* root = nullptr;
    // The view's order; nullptr means record order.
    const std::vector<std::uint32_t>* order = nullptr;
    // rank[rec] = position of rec in order (with order only).
    const std::vector<std::uint32_t>* rank = nullptr;
    // Records that are known to hold every match, in view order: the previous view when
    // the new filter only narrows the previous one. nullptr when there is none.
    const std::vector<std::uint32_t>* narrowBase = nullptr;
    // The records of a text field sorted by its upper-cased text (built on demand).
    std::function<const std::vector<std::uint32_t>&(int field)> foldedOrder;
};

// Every record in view order for which the root is True, one at a time over the whole
// order: the reference the fast paths must agree with.
std::vector<std::uint32_t> SelectPlain(const SelectionInput& input);

// Same records, same order, by the quickest route: a range of a folded order for an
// upper-cased prefix search, the previous view when the filter only narrows it, column
// scans in record order for the rest.
std::vector<std::uint32_t> SelectFast(const SelectionInput& input);

// True when every record for which `newer` is True is also True under `older`: the
// same expression except LIKE patterns (outside NOT) that extend the older pattern,
// as each keystroke of a search does.
bool Narrows(const Node& newer, const Node& older);

} // namespace host::filter
