#pragma once

#include "host/filter/reach_terms.h"
#include "host/filter/selection_input.h"
#include "host/storage/record_view.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace host::filter {

// A search over several fields, or by words, ANDs groups of LIKE terms that OR fields
// and shapes: "(UPPER(A) LIKE 'w%' OR UPPER(A) LIKE '% w%' OR UPPER(B) LIKE 'w%' ...)".
// No one order answers such a group, so each is the union of what each term's own
// structure finds: a value prefix through the field's folded order (an integer field's
// through its text order), a word through the field's word index, a needle through its
// pair summary. The groups' records are intersected, smallest group first; a group far
// larger than the candidates left is tested on them instead, and so is the whole filter
// on the previous view when that is small. What is left (terms no structure answers,
// candidates a structure only narrowed) is tested record by record, and the records come
// out in view order.

// The records of a filter with some conjunct such a group; nothing for any other filter,
// which the planner's own paths answer.
std::optional<RecordView> SelectReach(const SelectionInput& input);

} // namespace host::filter
