#pragma once

#include "host/filter/contains_memo.h"
#include "host/filter/expression.h"
#include "host/filter/selection_input.h"
#include "host/storage/record_view.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace host::filter {

// The open term that searches the memo's field, as the memo's search read it, for a
// needle that begins with the memo's; nullptr when none does.
const Node* FindMemoTerm(const ContainsMemo& memo, const std::vector<const Node*>& open);

// The previous view's records decided from its contains memo (input.narrowMemo) for
// memoTerm: only records whose kept bytes cannot tell are read. Every other open term
// is checked as usual; bits, when not nullptr, holds the candidates.
RecordView SelectFromMemo(const SelectionInput& input, const std::vector<const Node*>& open,
                          const Node& memoTerm, const RecordBitmap* bits);

} // namespace host::filter
