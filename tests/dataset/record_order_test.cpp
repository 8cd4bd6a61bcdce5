#include "host/dataset/record_order.h"
#include "host/dataset/table.h"
#include "host/dataset/text_fold.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <string>

namespace {

// Names that share long beginnings (so the sort goes many 8-byte chunks deep), differ
// in case and length by a byte, hold UTF-8, and are NULL now and then (the first too).
host::Table ManyNames(std::uint32_t records)
{
    static const char* const words[] = {"MARIA", "Maria", "DA",    "da", "SILVA", "SILVEIRA",
                                        "JOÃO",  "joão",  "SOUZA", "A",  "",      "AAAAAAAA"};
    std::mt19937 rng(42);
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    host::Column& column = table.Col(0);
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        if (rec == 0 || rng() % 97 == 0) {
            column.AppendNull();
            continue;
        }
        std::string name;
        const int n = static_cast<int>(rng() % 6);
        for (int w = 0; w < n; ++w) {
            name += words[rng() % std::size(words)];
            name += rng() % 3 == 0 ? "" : " ";
        }
        column.AppendText(name);
    }
    table.AdoptAppendedColumns();
    return table;
}

} // namespace

// The radix and chunk-by-chunk text sort, with the second level on two threads from a
// quarter of a million records, gives the order of a plain stable comparison sort: NULLs
// first, then byte order (folded byte order for a case-insensitive key), ties in record
// order.
TEST(RecordOrder, TextSortMatchesAStableComparisonSort)
{
    const host::Table table = ManyNames(300'000);
    const host::Column& column = table.Col(0);
    for (const bool caseInsensitive : {false, true}) {
        const std::vector<std::uint32_t> sorted =
            host::SortRecords(table, {host::SortField{0, false, caseInsensitive}});
        std::vector<std::uint32_t> expected(table.RecordCount());
        std::iota(expected.begin(), expected.end(), 0u);
        std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
            if (column.IsNull(a) || column.IsNull(b)) {
                return column.IsNull(a) && !column.IsNull(b);
            }
            return caseInsensitive ? host::CompareFolded(column.Text(a), column.Text(b)) < 0
                                   : column.Text(a) < column.Text(b);
        });
        ASSERT_EQ(sorted, expected) << (caseInsensitive ? "case-insensitive" : "case-sensitive");
    }
}
