#include "host/filter/selection_views.h"

#include "host/storage/table.h"

namespace host::filter {

using Rows = std::vector<std::uint32_t>;

RecordView Listed(Rows rows)
{
    return RecordView(std::make_shared<const Rows>(std::move(rows)));
}

RecordView ListedInViewOrder(Rows records, const SelectionInput& input)
{
    if (!input.orderFields.empty()) {
        SortIntoOrder(*input.table, input.orderFields, records);
    }
    return Listed(std::move(records));
}

RecordView FromAscending(Rows records, const SelectionInput& input)
{
    if (records.size() <= kListedResult) {
        return ListedInViewOrder(std::move(records), input);
    }
    auto picks = std::make_shared<RecordBitmap>(MakeRecordBitmap(input.table->RecordCount()));
    for (const std::uint32_t rec : records) {
        SetBit(*picks, rec);
    }
    const std::size_t count = records.size();
    return RecordView(input.order,
                      {RecordView::Range{0, static_cast<std::uint32_t>(input.order->size())}},
                      std::move(picks), count);
}

RecordView FromPicks(std::shared_ptr<const RecordBitmap> picks, std::size_t count,
                     const SelectionInput& input)
{
    if (count <= kListedResult) {
        Rows records(count + kListSlack);
        ListSetBits(*picks, records.data());
        records.resize(count);
        return ListedInViewOrder(std::move(records), input);
    }
    return RecordView(input.order,
                      {RecordView::Range{0, static_cast<std::uint32_t>(input.order->size())}},
                      std::move(picks), count);
}

} // namespace host::filter
