#pragma once

#include "host/filter/expression.h"
#include "host/filter/selection_input.h"
#include "host/storage/record_view.h"

namespace host::filter {

// Every record in view order for which the root is True, one at a time over the whole
// order: the reference the fast paths must agree with.
RecordView SelectPlain(const SelectionInput& input);

// Same records, same order, by the quickest route: ranges of the order for a prefix
// search on the order's first field, a pair summary for a contains search, bitmaps of
// matches already known, the previous view when the filter only narrows it, column
// scans in record order for the rest, a longer needle decided from the memo of the
// shorter one. Large results are read out of the order lazily.
RecordView SelectFast(const SelectionInput& input);

// True when every record for which `newer` is True is also True under `older`: the
// same expression except LIKE patterns (outside NOT) that extend the older pattern,
// as each keystroke of a search does.
bool Narrows(const Node& newer, const Node& older);

} // namespace host::filter
