// The path SelectFast takes for the filters a search form writes, decided by the
// planner alone; each path gives exactly the records of plain evaluation.
#include "host/filter/bigram_summary.h"
#include "host/filter/record_selection.h"
#include "host/filter/selection_plan.h"
#include "tests/filter/filter_table.h"

#include <gtest/gtest.h>
#include <map>
#include <numeric>

namespace {

using host::filter::SelectionPath;
using host::filter::SelectionPlan;

std::vector<std::uint32_t> Records(const host::RecordView& view)
{
    std::vector<std::uint32_t> out;
    view.ForEach([&](std::uint32_t rec) { out.push_back(rec); });
    return out;
}

// A table with its view order and the structures a dataset builds on demand.
class Selection {
public:
    explicit Selection(std::vector<host::SortField> orderFields = {})
        : m_table(filter_test::NamesTable(20000, 17)), m_orderFields(std::move(orderFields))
    {
        std::vector<std::uint32_t> order(m_table.RecordCount());
        std::iota(order.begin(), order.end(), 0u);
        if (!m_orderFields.empty()) {
            order = host::SortRecords(m_table, m_orderFields);
        }
        m_order = std::make_shared<const std::vector<std::uint32_t>>(std::move(order));
    }

    const host::Table& Table() const { return m_table; }

    host::filter::SelectionInput Input(const host::filter::Node& root)
    {
        host::filter::SelectionInput input;
        input.table = &m_table;
        input.root = &root;
        input.order = m_order;
        input.orderFields = m_orderFields;
        input.foldedOrder = [this](int field) -> const std::vector<std::uint32_t>& {
            auto& folded = m_folded[field];
            if (folded.empty()) {
                folded = host::SortRecords(m_table, {host::SortField{field, false, true, false}});
            }
            return folded;
        };
        input.summary = [this](int field) -> const host::filter::BigramSummary& {
            auto& summary = m_summaries[field];
            if (!summary) {
                summary = std::make_unique<host::filter::BigramSummary>(m_table.Col(field));
            }
            return *summary;
        };
        return input;
    }

    // The plan for the filter, after checking that SelectFast agrees with SelectPlain.
    SelectionPlan Plan(const QString& filter, const host::RecordView* base = nullptr,
                       const host::filter::ContainsMemo* memo = nullptr)
    {
        m_root = filter_test::Parse(filter, m_table);
        host::filter::SelectionInput input = Input(*m_root);
        input.narrowBase = base;
        input.narrowMemo = memo;
        host::filter::SelectionInput plain = input;
        if (base != nullptr) {
            plain.order = std::make_shared<const std::vector<std::uint32_t>>(Records(*base));
        }
        EXPECT_EQ(Records(host::filter::SelectFast(input)),
                  Records(host::filter::SelectPlain(plain)))
            << filter.toStdString();
        return host::filter::PlanSelection(input);
    }

    // The view of the filter, with the memo of its contains search.
    host::RecordView Select(const QString& filter,
                            std::shared_ptr<const host::filter::ContainsMemo>& memo)
    {
        m_root = filter_test::Parse(filter, m_table);
        host::filter::SelectionInput input = Input(*m_root);
        input.memoOut = &memo;
        return host::filter::SelectFast(input);
    }

    const host::filter::Node& Root() const { return *m_root; }

private:
    host::Table m_table;
    std::vector<host::SortField> m_orderFields;
    std::shared_ptr<const std::vector<std::uint32_t>> m_order;
    std::map<int, std::vector<std::uint32_t>> m_folded;
    std::map<int, std::unique_ptr<host::filter::BigramSummary>> m_summaries;
    host::filter::NodePtr m_root;
};

TEST(SelectionPlan, PrefixOnTheOrdersFieldIsItsRanges)
{
    Selection byName({host::SortField{0, false, false, false}});
    const SelectionPlan exact = byName.Plan(QStringLiteral("NOME LIKE 'Mar%'"));
    EXPECT_EQ(exact.path, SelectionPath::ExactRanges);
    ASSERT_TRUE(exact.ranges.has_value());
    EXPECT_TRUE(exact.ranges->exact);
    EXPECT_TRUE(exact.checks.Empty());

    const SelectionPlan many = byName.Plan(QStringLiteral("NOME LIKE 'Mar%' AND CODIGO = 7"));
    EXPECT_EQ(many.path, SelectionPath::ManyInRanges);
    EXPECT_EQ(many.checks.terms.size(), 1u);

    const SelectionPlan few =
        byName.Plan(QStringLiteral("NOME LIKE 'Conceição da%' AND CODIGO > 3"));
    EXPECT_EQ(few.path, SelectionPath::FewInRanges);
    EXPECT_LE(host::filter::RangesSize(few.ranges->ranges), few.few);
}

TEST(SelectionPlan, ContainsSearchNarrowedByThePairSummary)
{
    Selection inRecordOrder;
    const SelectionPlan longer = inRecordOrder.Plan(QStringLiteral("UPPER(NOME) LIKE '%SILVA%'"));
    EXPECT_EQ(longer.path, SelectionPath::RecordOrderScan);
    EXPECT_NE(longer.candidates.Bits(), nullptr);
    EXPECT_EQ(longer.checks.contains.size(), 1u); // the pairs do not settle five letters

    // Two letters: the summary is exact, nothing is left to read.
    const SelectionPlan pair = inRecordOrder.Plan(QStringLiteral("UPPER(NOME) LIKE '%SI%'"));
    EXPECT_EQ(pair.path, SelectionPath::RecordOrderScan);
    EXPECT_NE(pair.candidates.Bits(), nullptr);
    EXPECT_TRUE(pair.checks.Empty());

    const SelectionPlan value = inRecordOrder.Plan(QStringLiteral("CODIGO > 500"));
    EXPECT_EQ(value.path, SelectionPath::RecordOrderScan);
    EXPECT_EQ(value.candidates.Bits(), nullptr);
    EXPECT_EQ(value.checks.terms.size(), 1u);
}

TEST(SelectionPlan, PrefixOnAnotherFieldGoesThroughItsFoldedOrder)
{
    Selection inRecordOrder;
    const SelectionPlan few =
        inRecordOrder.Plan(QStringLiteral("UPPER(NOME) LIKE 'ANA JOAO%' AND CODIGO >= 0"));
    EXPECT_EQ(few.path, SelectionPath::FewFoldedHits);
    ASSERT_TRUE(few.foldedHits.has_value());
    EXPECT_TRUE(few.foldedHits->exact);

    const SelectionPlan many =
        inRecordOrder.Plan(QStringLiteral("UPPER(NOME) LIKE 'MA%' AND CODIGO >= 0"));
    EXPECT_EQ(many.path, SelectionPath::RecordOrderScan);
    EXPECT_GT(many.foldedHits->records.size(), many.few);
    EXPECT_NE(many.candidates.Bits(), nullptr); // narrowed to the hits
}

TEST(SelectionPlan, NarrowingASmallPreviousViewTestsItsRecords)
{
    Selection inRecordOrder;
    std::vector<std::uint32_t> some;
    for (std::uint32_t rec = 5; rec < 20000; rec += 97) {
        some.push_back(rec);
    }
    const host::RecordView base(std::make_shared<const std::vector<std::uint32_t>>(some));
    const SelectionPlan plan = inRecordOrder.Plan(QStringLiteral("CODIGO > 500"), &base);
    EXPECT_EQ(plan.path, SelectionPath::FewFromBase);
}

TEST(SelectionPlan, LongerNeedleIsDecidedFromThePreviousMemo)
{
    Selection inRecordOrder;
    std::shared_ptr<const host::filter::ContainsMemo> memo;
    const host::RecordView base =
        inRecordOrder.Select(QStringLiteral("UPPER(NOME) LIKE '%CONC%'"), memo);
    ASSERT_NE(memo, nullptr);
    const SelectionPlan plan =
        inRecordOrder.Plan(QStringLiteral("UPPER(NOME) LIKE '%CONCE%'"), &base, memo.get());
    EXPECT_EQ(plan.path, SelectionPath::FromMemo);
    EXPECT_EQ(plan.memoTerm, &inRecordOrder.Root());

    // The text as stored is not what the memo kept (folded): the text decides.
    const SelectionPlan other =
        inRecordOrder.Plan(QStringLiteral("NOME LIKE '%Conce%'"), &base, memo.get());
    EXPECT_NE(other.path, SelectionPath::FromMemo);
}

} // namespace
