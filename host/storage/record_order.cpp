#include "host/storage/record_order.h"

#include "host/storage/text_sort.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace host {

namespace {

int CompareField(const Column& column, const SortField& key, std::uint32_t a, std::uint32_t b)
{
    const bool nullA = column.IsNull(a);
    const bool nullB = column.IsNull(b);
    if (nullA || nullB) {
        return nullA == nullB ? 0 : (nullA ? -1 : 1); // NULLs first, either direction
    }
    int c = 0;
    switch (column.Type()) {
    case FieldType::Text: {
        std::string_view x = column.Text(a);
        std::string_view y = column.Text(b);
        if (key.ignoreAccents) {
            // Kept between calls: sorts compare millions of pairs.
            thread_local std::string scratchA;
            thread_local std::string scratchB;
            x = column.SearchText(a, true, scratchA);
            y = column.SearchText(b, true, scratchB);
        }
        const int r = key.caseInsensitive && !column.FoldsToItself(key.ignoreAccents)
                          ? CompareFolded(x, y)
                          : x.compare(y);
        c = r < 0 ? -1 : (r > 0 ? 1 : 0);
        break;
    }
    case FieldType::Float: {
        const double x = column.Float(a);
        const double y = column.Float(b);
        c = x < y ? -1 : (y < x ? 1 : 0);
        break;
    }
    case FieldType::Integer:
    case FieldType::Boolean:
    case FieldType::Date: {
        const std::int64_t x = column.Int(a);
        const std::int64_t y = column.Int(b);
        c = x < y ? -1 : (y < x ? 1 : 0);
        break;
    }
    }
    return key.descending ? -c : c;
}

TextKey TextKeyOf(const Column& column, const SortField& key)
{
    const bool accents = key.ignoreAccents && column.HasFoldableAccents();
    return {key.caseInsensitive && !column.FoldsToItself(key.ignoreAccents), accents};
}

// An unsigned 64-bit key whose order agrees with the first field's order: ties may
// hide differences (text longer than 8 bytes) but a smaller key is a smaller value.
std::uint64_t LeadingKey(const Column& column, const SortField& key, std::uint32_t rec)
{
    std::uint64_t k = 0;
    switch (column.Type()) {
    case FieldType::Text: {
        k = LeadingTextChunk(column.Text(rec), TextKeyOf(column, key));
        break;
    }
    case FieldType::Float: {
        const double d = column.Float(rec) == 0.0 ? 0.0 : column.Float(rec); // -0 == +0
        const auto bits = std::bit_cast<std::uint64_t>(d);
        k = (bits & 0x8000000000000000ULL) ? ~bits : (bits | 0x8000000000000000ULL);
        break;
    }
    case FieldType::Integer:
    case FieldType::Boolean:
    case FieldType::Date:
        k = static_cast<std::uint64_t>(column.Int(rec)) ^ 0x8000000000000000ULL;
        break;
    }
    return key.descending ? ~k : k;
}

} // namespace

std::vector<std::uint32_t> SortRecords(const Table& table, const std::vector<SortField>& fields)
{
    const std::uint32_t n = table.RecordCount();
    std::vector<std::uint32_t> order(n);
    if (fields.empty()) {
        for (std::uint32_t i = 0; i < n; ++i) {
            order[i] = i;
        }
        return order;
    }
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        for (const SortField& f : fields) {
            const int c = CompareField(table.Col(f.field), f, a, b);
            if (c != 0) {
                return c < 0;
            }
        }
        return false;
    };
    const Column& lead = table.Col(fields[0].field);

    // NULLs of the first field come first, in record order.
    size_t nulls = 0;
    for (std::uint32_t rec = 0; rec < n; ++rec) {
        if (lead.IsNull(rec)) {
            order[nulls++] = rec;
        }
    }
    size_t out = nulls;
    if (lead.Type() == FieldType::Text && !fields[0].descending) {
        for (std::uint32_t rec = 0; rec < n; ++rec) {
            if (!lead.IsNull(rec)) {
                order[out++] = rec;
            }
        }
        SortTextRecords(lead, TextKeyOf(lead, fields[0]), order.data() + nulls, n - nulls);
    } else {
        // Numbers and dates: one sort of (order-preserving 64-bit key, record).
        std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed;
        keyed.reserve(n - nulls);
        for (std::uint32_t rec = 0; rec < n; ++rec) {
            if (!lead.IsNull(rec)) {
                keyed.emplace_back(LeadingKey(lead, fields[0], rec), rec);
            }
        }
        // (For descending text the leading key only narrows; runs are settled below.)
        std::sort(keyed.begin(), keyed.end());
        for (const auto& k : keyed) {
            order[out++] = k.second;
        }
    }
    // Records equal on the first field (or on its leading key, for descending text)
    // are settled by the full comparison; they are in record order, so this is stable.
    const bool exactLead = !(lead.Type() == FieldType::Text && fields[0].descending);
    if (fields.size() > 1 || !exactLead) {
        std::stable_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(nulls), less);
        const SortField& first = fields[0];
        size_t i = nulls;
        while (i < n) {
            size_t j = i + 1;
            const bool byKey = !exactLead;
            while (j < n &&
                   (byKey ? LeadingKey(lead, first, order[j]) == LeadingKey(lead, first, order[i])
                          : CompareField(lead, first, order[i], order[j]) == 0)) {
                ++j;
            }
            if (j - i > 1) {
                std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(i),
                                 order.begin() + static_cast<std::ptrdiff_t>(j), less);
            }
            i = j;
        }
    }
    return order;
}

bool RecordLess(const Table& table, const std::vector<SortField>& fields, std::uint32_t a,
                std::uint32_t b)
{
    for (const SortField& f : fields) {
        const int c = CompareField(table.Col(f.field), f, a, b);
        if (c != 0) {
            return c < 0;
        }
    }
    return a < b;
}

void SortIntoOrder(const Table& table, const std::vector<SortField>& fields,
                   std::vector<std::uint32_t>& records)
{
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        return RecordLess(table, fields, a, b);
    };
    const Column* lead = fields.empty() ? nullptr : &table.Col(fields[0].field);
    if (lead == nullptr || lead->Type() != FieldType::Text || !fields[0].ignoreAccents ||
        !lead->HasFoldableAccents()) {
        std::sort(records.begin(), records.end(), less);
        return;
    }
    struct Item {
        std::string text; // the search text, folded once
        bool null = false;
        std::uint32_t rec = 0;
    };
    const SortField& key = fields[0];
    const bool folded = key.caseInsensitive && !lead->FoldsToItself(true);
    std::vector<Item> items(records.size());
    std::string scratch;
    for (std::size_t i = 0; i < records.size(); ++i) {
        items[i].rec = records[i];
        items[i].null = lead->IsNull(records[i]);
        if (!items[i].null) {
            items[i].text.assign(lead->SearchText(records[i], true, scratch));
        }
    }
    const std::vector<SortField> rest(fields.begin() + 1, fields.end());
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.null || b.null) {
            if (a.null != b.null) {
                return a.null; // NULLs first, either direction
            }
        } else {
            int c = folded ? CompareFolded(a.text, b.text) : a.text.compare(b.text);
            c = key.descending ? -c : c;
            if (c != 0) {
                return c < 0;
            }
        }
        return RecordLess(table, rest, a.rec, b.rec);
    });
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i] = items[i].rec;
    }
}

} // namespace host
