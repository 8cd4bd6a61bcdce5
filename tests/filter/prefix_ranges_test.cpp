// A prefix search on the order's first field is answered by binary search: ranges of
// the order, which must hold exactly the positions a record-by-record check finds.
#include "host/filter/prefix_ranges.h"
#include "host/storage/record_order.h"
#include "host/text/text_fold.h"
#include "tests/filter/filter_table.h"

#include <gtest/gtest.h>

namespace {

using host::filter::PrefixSearch;
using Range = host::RecordView::Range;

std::vector<std::uint32_t> Positions(const std::vector<Range>& ranges)
{
    std::vector<std::uint32_t> out;
    for (const Range& range : ranges) {
        for (std::uint32_t pos = range.begin; pos < range.end; ++pos) {
            out.push_back(pos);
        }
    }
    return out;
}

// The positions of the order whose NOME begins with the prefix, folded or as stored.
std::vector<std::uint32_t> BeginningWith(const host::Table& table,
                                         const std::vector<std::uint32_t>& order,
                                         std::string_view prefix, bool folded)
{
    const host::Column& column = table.Col(0);
    std::vector<std::uint32_t> out;
    std::string text;
    for (std::uint32_t pos = 0; pos < order.size(); ++pos) {
        if (column.IsNull(order[pos])) {
            continue;
        }
        text = std::string(column.Text(order[pos]));
        if (folded) {
            host::FoldText(std::string(text), text);
        }
        if (std::string_view(text).substr(0, prefix.size()) == prefix) {
            out.push_back(pos);
        }
    }
    return out;
}

PrefixSearch SearchOf(const host::filter::Node& root)
{
    PrefixSearch search;
    EXPECT_TRUE(host::filter::AsPrefixSearch(root, search));
    return search;
}

std::uint32_t LeadingNulls(const host::Table& table, const std::vector<std::uint32_t>& order)
{
    std::uint32_t nulls = 0;
    while (nulls < order.size() && table.Col(0).IsNull(order[nulls])) {
        ++nulls;
    }
    return nulls;
}

TEST(PrefixRanges, PrefixOnAnOrderedColumnWithNullsFirst)
{
    const host::Table table = filter_test::NamesTable(3000, 3);
    const std::vector<std::uint32_t> order =
        host::SortRecords(table, {host::SortField{0, false, false, false}});
    const std::uint32_t nulls = LeadingNulls(table, order);
    ASSERT_GT(nulls, 1u); // the first record and others
    const host::filter::NodePtr root =
        filter_test::Parse(QStringLiteral("NOME LIKE 'Mar%'"), table);
    const PrefixSearch search = SearchOf(*root);
    EXPECT_TRUE(search.whole);
    EXPECT_FALSE(search.folded);
    const std::vector<Range> ranges = host::filter::PrefixRanges(table.Col(0), order, search);
    ASSERT_EQ(ranges.size(), 1u); // one spelling, one range
    EXPECT_GE(ranges[0].begin, nulls);
    EXPECT_EQ(Positions(ranges), BeginningWith(table, order, "Mar", false));
    EXPECT_EQ(host::filter::RangesSize(ranges), Positions(ranges).size());
}

TEST(PrefixRanges, FoldedPrefixOnACaseSensitiveOrderTakesARangePerSpelling)
{
    const host::Table table = filter_test::NamesTable(3000, 5);
    const std::vector<std::uint32_t> order =
        host::SortRecords(table, {host::SortField{0, false, false, false}});
    const host::filter::NodePtr root =
        filter_test::Parse(QStringLiteral("UPPER(NOME) LIKE 'MAR%'"), table);
    const PrefixSearch search = SearchOf(*root);
    EXPECT_TRUE(search.folded);
    const std::vector<Range> ranges = host::filter::PrefixRanges(table.Col(0), order, search);
    // "MARIA", "Maria" and "Marta", "maria": three spellings, in byte order.
    ASSERT_EQ(ranges.size(), 3u);
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        EXPECT_LT(ranges[i - 1].end, ranges[i].begin);
    }
    EXPECT_GE(ranges[0].begin, LeadingNulls(table, order));
    EXPECT_EQ(Positions(ranges), BeginningWith(table, order, "MAR", true));
}

TEST(PrefixRanges, CaseInsensitiveOrderGivesOneRangeExactOnlyForUpper)
{
    const host::Table table = filter_test::NamesTable(3000, 9);
    const host::SortField lead{0, false, true, false};
    const std::vector<std::uint32_t> order = host::SortRecords(table, {lead});
    const host::filter::NodePtr upper =
        filter_test::Parse(QStringLiteral("UPPER(NOME) LIKE 'MAR%'"), table);
    const host::filter::LeadRanges folded =
        host::filter::RangesOnLeadOrder(table.Col(0), order, lead, SearchOf(*upper));
    EXPECT_TRUE(folded.exact);
    ASSERT_EQ(folded.ranges.size(), 1u);
    EXPECT_GE(folded.ranges[0].begin, LeadingNulls(table, order));
    EXPECT_EQ(Positions(folded.ranges), BeginningWith(table, order, "MAR", true));
    EXPECT_TRUE(host::filter::AnsweredByRanges(table, &lead, *upper));

    // As stored, the folded order's range holds every spelling: the records are checked.
    const host::filter::NodePtr stored =
        filter_test::Parse(QStringLiteral("NOME LIKE 'Mar%'"), table);
    const host::filter::LeadRanges asStored =
        host::filter::RangesOnLeadOrder(table.Col(0), order, lead, SearchOf(*stored));
    EXPECT_FALSE(asStored.exact);
    EXPECT_EQ(Positions(asStored.ranges), Positions(folded.ranges));
    EXPECT_FALSE(host::filter::AnsweredByRanges(table, &lead, *stored));
}

TEST(PrefixRanges, OnlyTheOrdersFirstFieldAscendingAnswers)
{
    const host::Table table = filter_test::NamesTable(100, 1);
    const host::filter::NodePtr root = filter_test::Parse(QStringLiteral("NOME LIKE 'Ma%'"), table);
    const PrefixSearch search = SearchOf(*root);
    const host::SortField ascending{0, false, false, false};
    const host::SortField descending{0, true, false, false};
    const host::SortField other{2, false, false, false};
    const host::SortField accents{0, false, false, true};
    EXPECT_TRUE(host::filter::OnLeadOrder(&ascending, search));
    EXPECT_FALSE(host::filter::OnLeadOrder(nullptr, search));
    EXPECT_FALSE(host::filter::OnLeadOrder(&descending, search));
    EXPECT_FALSE(host::filter::OnLeadOrder(&other, search));
    EXPECT_FALSE(host::filter::OnLeadOrder(&accents, search));
}

TEST(PrefixRanges, FoldedOrderHitsAreTheFoldedMatches)
{
    const host::Table table = filter_test::NamesTable(2000, 13);
    const std::vector<std::uint32_t> folded =
        host::SortRecords(table, {host::SortField{0, false, true, false}});
    const host::filter::NodePtr root =
        filter_test::Parse(QStringLiteral("UPPER(NOME) LIKE 'JO%'"), table);
    host::filter::FoldedHits hits =
        host::filter::HitsInFoldedOrder(table.Col(0), folded, SearchOf(*root));
    EXPECT_TRUE(hits.exact);
    std::sort(hits.records.begin(), hits.records.end());
    EXPECT_EQ(hits.records, filter_test::PlainMatches(*root, table));
}

} // namespace
