// The path SelectFast takes for the filters a search form writes, decided by the
// planner alone; each path gives exactly the records of plain evaluation.
#include "host/filter/bigram_summary.h"
#include "host/filter/record_selection.h"
#include "host/filter/selection_plan.h"
#include "host/filter/word_index.h"
#include "host/storage/leading_order.h"
#include "tests/filter/filter_table.h"

#include <gtest/gtest.h>
#include <map>
#include <numeric>
#include <set>

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

// A word searched over names, a code and a phone reads only the structures of the fields
// that can hold it: a digit no name holds reads none of the names' (so it need not wait
// for their words while they are built), a word with a letter none of the phone's.
TEST(SelectionPlan, AWordReadsNothingOfAFieldWhoseBytesCannotHoldIt)
{
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    table.AddField({QStringLiteral("CODIGO"), host::FieldType::Integer, 0});
    table.AddField({QStringLiteral("FONE"), host::FieldType::Text, 0});
    const char* const names[] = {"MARIA DA SILVA", "ANA SOUZA", "JOSÉ 2 LIMA", "PEDRO"};
    for (int i = 0; i < 3000; ++i) {
        // The names hold a digit only in the record before last.
        const QString name = QString::fromUtf8(names[i == 2998 ? 2 : i % 4 == 2 ? 0 : i % 4]);
        table.AppendRecord({i % 13 == 0 ? QVariant() : QVariant(name), qlonglong{i * 7},
                            i % 11 == 0 ? QVariant() : QVariant(QString::number(7100 + i))});
    }
    constexpr int kName = 0;
    constexpr int kPhone = 2;
    std::vector<std::uint32_t> order(table.RecordCount());
    std::iota(order.begin(), order.end(), 0U);
    std::set<std::pair<std::string, int>> read;
    std::map<int, std::unique_ptr<host::filter::WordIndex>> words;
    std::map<int, std::unique_ptr<host::filter::WordIndex>> bytes;
    std::map<int, std::unique_ptr<const host::LargeVector<std::uint32_t>>> leading;
    host::filter::SelectionInput input;
    input.table = &table;
    input.order = std::make_shared<const std::vector<std::uint32_t>>(order);
    input.wordIndex = [&](int field) -> const host::filter::WordIndex& {
        read.insert({"words", field});
        auto& index = words[field];
        if (!index) {
            index = std::make_unique<host::filter::WordIndex>(table.Col(field), false);
        }
        return *index;
    };
    input.fieldBytes = [&](int field) -> const host::filter::WordIndex& {
        auto& index = bytes[field];
        if (!index) {
            index = std::make_unique<host::filter::WordIndex>(table.Col(field), false, false);
        }
        return *index;
    };
    input.leadingOrder = [&](int field) -> const host::LargeVector<std::uint32_t>& {
        read.insert({"leading", field});
        auto& built = leading[field];
        if (!built) {
            built = std::make_unique<const host::LargeVector<std::uint32_t>>(
                host::LeadingBytesOrder(table.Col(field), false));
        }
        return *built;
    };
    const auto word = [](const QString& w) {
        QStringList terms;
        for (const char* field : {"NOME", "CODIGO", "FONE"}) {
            const QString like = QStringLiteral("UPPER(%1) LIKE '").arg(QLatin1String(field));
            terms << like + w + QStringLiteral("%'") << like + QStringLiteral("% ") + w + u"%'"_qs;
        }
        return u'(' + terms.join(QStringLiteral(" OR ")) + u')';
    };
    for (const QString& typed :
         {QStringLiteral("71"), QStringLiteral("2"), QStringLiteral("SIL")}) {
        read.clear();
        const host::filter::NodePtr root = filter_test::Parse(word(typed), table);
        input.root = root.get();
        host::filter::SelectionInput plain = input;
        const std::vector<std::uint32_t> found = Records(host::filter::SelectFast(input));
        EXPECT_EQ(found, Records(host::filter::SelectPlain(plain))) << typed.toStdString();
        EXPECT_FALSE(found.empty()) << typed.toStdString();
        const bool digits = typed.front().isDigit();
        // "2" is a name's word: only the digit no name holds reads nothing of the names.
        EXPECT_EQ(read.count({"words", kName}), typed == u"71"_qs ? 0U : 1U) << typed.toStdString();
        EXPECT_EQ(read.count({"leading", kPhone}), digits ? 1U : 0U) << typed.toStdString();
    }
}

} // namespace
