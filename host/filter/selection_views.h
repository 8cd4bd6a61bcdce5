#pragma once

#include "host/filter/selection_input.h"
#include "host/storage/record_view.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace host::filter {

// Results up to this size are listed and sorted into view order; larger ones are a
// bitmap read out of the order as rows are asked for.
constexpr std::size_t kListedResult = 4096;

// Records in view order as a view.
RecordView Listed(std::vector<std::uint32_t> rows);

// Records in ascending record order put into view order.
RecordView ListedInViewOrder(std::vector<std::uint32_t> records, const SelectionInput& input);

// Records in ascending record order as a view: listed in view order when few, else a
// bitmap read out of the whole order.
RecordView FromAscending(std::vector<std::uint32_t> records, const SelectionInput& input);

// The `count` records set in picks as a view: listed in view order when few, else read
// out of the whole order as rows are asked for.
RecordView FromPicks(std::shared_ptr<const RecordBitmap> picks, std::size_t count,
                     const SelectionInput& input);

} // namespace host::filter
