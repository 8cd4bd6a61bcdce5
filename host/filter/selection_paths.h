#pragma once

#include "host/filter/selection_input.h"
#include "host/filter/selection_plan.h"
#include "host/storage/record_view.h"

namespace host::filter {

// The ways from a plan to its records, one for each SelectionPath but the memo's
// (SelectFromMemo) and exact ranges (the ranges themselves).

// FewFromBase: the previous view's records tested in its order.
RecordView SelectFewFromBase(const SelectionInput& input, SelectionPlan& plan);

// FewInRanges, ManyInRanges: the records of the ranges, listed when few, else picked
// out of the ranges by a bitmap.
RecordView SelectInRanges(const SelectionInput& input, SelectionPlan& plan);

// FewFoldedHits: the hits tested, then put into view order.
RecordView SelectFewFoldedHits(const SelectionInput& input, SelectionPlan& plan);

// RecordOrderScan: the checks in record order (sequential memory) over the candidates
// or every record, the matches read out of the order as rows are asked for.
RecordView SelectByScan(const SelectionInput& input, SelectionPlan& plan);

} // namespace host::filter
