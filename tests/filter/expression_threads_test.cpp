// A parsed filter holds no state while it evaluates: each thread brings its own
// EvalScratch, and any number of threads may evaluate one tree at once.
#include "tests/filter/filter_table.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using host::filter::EvalScratch;
using host::filter::Tri;

// Filters whose values pass through scratch: accents set aside, folding, LOWER, TRIM,
// and two texts computed side by side in one comparison.
const char* const kFilters[] = {
    "UPPER(NOME) LIKE '%MAR%' OR LOWER(TRIM(CIDADE)) = 'natal'",
    "UPPER(TRIM(CIDADE)) = UPPER(TRIM(NOME))",
    "LOWER(NOME) IN ('maria', 'joão silva', LOWER(TRIM(CIDADE)))",
    "NOME LIKE 'Jo%' AND NOT CIDADE LIKE '%Natal%' OR CODIGO * 2 > 1500",
    "TRIM(NOME) IS NULL OR UPPER(CIDADE) <> TRIM(UPPER(CIDADE))",
};

std::vector<Tri> Outcomes(const host::filter::Node& root, std::uint32_t records,
                          EvalScratch& scratch)
{
    std::vector<Tri> out(records);
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        out[rec] = root.Test(rec, scratch);
    }
    return out;
}

TEST(FilterThreads, OneTreeEvaluatedByTwoThreadsAtOnceAgreesWithOneThread)
{
    const host::Table table = filter_test::NamesTable(20000, 7);
    for (const host::FilterOptions options :
         {host::FilterOptions(), host::FilterOptions(host::FilterOption::IgnoreAccents),
          host::FilterOptions(host::FilterOption::IgnoreAccents) |
              host::FilterOption::CaseInsensitive}) {
        for (const char* filter : kFilters) {
            SCOPED_TRACE(filter);
            const host::filter::NodePtr root =
                filter_test::Parse(QString::fromUtf8(filter), table, options);
            EvalScratch scratch;
            const std::vector<Tri> expected = Outcomes(*root, table.RecordCount(), scratch);
            std::vector<Tri> first;
            std::vector<Tri> second;
            std::thread one([&] {
                EvalScratch own;
                first = Outcomes(*root, table.RecordCount(), own);
            });
            std::thread two([&] {
                EvalScratch own;
                second = Outcomes(*root, table.RecordCount(), own);
            });
            one.join();
            two.join();
            EXPECT_EQ(first, expected);
            EXPECT_EQ(second, expected);
        }
    }
}

TEST(FilterThreads, ConditionsGiveBackTheBuffersTheirValuesTook)
{
    const host::Table table = filter_test::NamesTable(500, 11);
    const host::filter::NodePtr root =
        filter_test::Parse(QStringLiteral("UPPER(TRIM(CIDADE)) = UPPER(TRIM(NOME)) OR "
                                          "LOWER(NOME) LIKE '%mar%'"),
                           table, host::FilterOption::IgnoreAccents);
    EvalScratch scratch;
    for (std::uint32_t rec = 0; rec < table.RecordCount(); ++rec) {
        root->Test(rec, scratch);
        ASSERT_EQ(scratch.InUse(), 0u) << rec;
    }
}

TEST(FilterThreads, TwoTextsComparedSideBySideKeepTheirOwnBuffers)
{
    host::Table table;
    table.AddField({QStringLiteral("A"), host::FieldType::Text, 0});
    table.AddField({QStringLiteral("B"), host::FieldType::Text, 0});
    table.Col(0).AppendText("  Ação ");
    table.Col(1).AppendText("acao");
    table.Col(0).AppendText(" José");
    table.Col(1).AppendText("JOSE ");
    table.Col(0).AppendText("Zé");
    table.Col(1).AppendText("ZA");
    table.AdoptAppendedColumns();
    // Each side's text is computed into a buffer of its own: were they one, both sides
    // would read the text computed last and every record would match.
    const host::filter::NodePtr root =
        filter_test::Parse(QStringLiteral("LOWER(TRIM(A)) = LOWER(TRIM(B))"), table,
                           host::FilterOption::IgnoreAccents);
    EXPECT_EQ(filter_test::PlainMatches(*root, table), (std::vector<std::uint32_t>{0, 1}));
}

} // namespace
