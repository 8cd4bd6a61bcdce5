// Thousands of seeded random cases: client dataset with fast paths, without, and SQLite
// must select the same records in the same order.
#include "tests/differential/filter_check.h"

#include <QDate>
#include <gtest/gtest.h>

using namespace differential;

namespace {

// TS_DIFF_CASES overrides how many seeds run (the default keeps the suite to seconds).
int CaseCount()
{
    const QByteArray n = qgetenv("TS_DIFF_CASES");
    return n.isEmpty() ? 2000 : n.toInt();
}

TableShape SmallTable()
{
    TableShape t;
    t.fields = {{"ID", host::FieldType::Integer, 0},
                {"NOME", host::FieldType::Text, 0},
                {"VALOR", host::FieldType::Float, 0},
                {"ATIVO", host::FieldType::Boolean, 0},
                {"DIA", host::FieldType::Date, 0}};
    t.rows = {{qlonglong{0}, QVariant(), 10.0, QVariant(), QDate(1990, 1, 1)},
              {qlonglong{1}, "joão", 1.5, true, QVariant()},
              {qlonglong{2}, "10", QVariant(), false, QDate(1989, 12, 31)},
              {qlonglong{3}, "_A", -2.25, true, QVariant()}};
    return t;
}

} // namespace

TEST(FilterVsSqlite, SeededRandomCasesAgree)
{
    const int cases = CaseCount();
    int failures = 0;
    for (int seed = 1; seed <= cases && failures < 3; ++seed) {
        Entropy entropy(static_cast<std::uint64_t>(seed));
        const QString report = CheckRandomCase(entropy);
        if (!report.isEmpty()) {
            ++failures;
            ADD_FAILURE() << "seed " << seed << ":\n" << report.toStdString();
        }
    }
}

// The same seed or bytes give the same case, so that a failing seed or fuzz input
// replays; different ones give different cases.
TEST(FilterVsSqlite, CasesReplayFromTheirSeedOrBytes)
{
    const auto draw = [](Entropy e) {
        const TableShape t = RandomTable(e);
        return t.Describe() + RandomCondition(t, e).filter;
    };
    EXPECT_EQ(draw(Entropy(std::uint64_t{42})), draw(Entropy(std::uint64_t{42})));
    EXPECT_NE(draw(Entropy(std::uint64_t{42})), draw(Entropy(std::uint64_t{43})));
    const std::uint8_t bytes[] = {3, 1, 4, 1, 5, 9, 2, 6};
    EXPECT_EQ(draw(Entropy(bytes, sizeof bytes)), draw(Entropy(bytes, sizeof bytes)));
    EXPECT_NE(draw(Entropy(bytes, sizeof bytes)), draw(Entropy(bytes, 7)));
}

// The check reports a difference: a filter whose SQL means something else.
TEST(FilterVsSqlite, ADifferenceIsReportedWithTheCase)
{
    FilterCheck check(SmallTable());
    EXPECT_EQ(check.Apply({"ID = 1", "\"ID\" = 1"}), QString());
    const QString report = check.Apply({"ID = 1", "\"ID\" = 2"});
    EXPECT_TRUE(report.contains("fast paths [1]")) << report.toStdString();
    EXPECT_TRUE(report.contains("SQLite     [2]")) << report.toStdString();
    EXPECT_TRUE(report.contains("filter ID = 1")) << report.toStdString();
    EXPECT_TRUE(report.contains("\"joão\"")) << report.toStdString();
}

// The translations the generator relies on, on rows where SQLite's own reading would
// differ: numbers and booleans as text, real division, LIKE's case, NULLs first in
// either direction, the case rule of a case-insensitive index around "_".
TEST(FilterVsSqlite, TranslatedMeaningsAgreeOnTheEdges)
{
    FilterCheck check(SmallTable());
    const FilterPair pairs[] = {
        {"VALOR = '10'",
         "(CASE WHEN \"VALOR\" IS NULL THEN NULL ELSE printf('%.15g', \"VALOR\") END) = '10'"},
        {"NOME = 10", "\"NOME\" = CAST(10 AS TEXT)"},
        {"ATIVO = 'True'", "(CASE \"ATIVO\" WHEN 1 THEN 'True' WHEN 0 THEN 'False' END) = 'True'"},
        {"ID / 2 = 0.5", "CAST(\"ID\" AS REAL) / 2 = 0.5"},
        {"NOME LIKE 'J%'", "\"NOME\" LIKE 'J%'"},
        {"DIA < '1990'", "\"DIA\" < '1990'"},
        SearchTerm(check.Table(), 2, "1%", true),
    };
    for (const FilterPair& pair : pairs) {
        EXPECT_EQ(check.Apply(pair), QString()) << pair.filter.toStdString();
    }
    EXPECT_EQ(check.Apply({"ID IN (1, 2)", "\"ID\" IN (1, 2)"}), QString());
    // No number is NULL in both.
    EXPECT_EQ(check.Apply({"(1e300 * 1e300 - 1e300 * 1e300 * ID) IS NULL",
                           "((1e300 * 1e300) - ((1e300 * 1e300) * \"ID\")) IS NULL"}),
              QString());
    for (const bool descending : {false, true}) {
        IndexShape index;
        index.fields = {1};
        index.caseInsensitive = true;
        index.descending = descending;
        EXPECT_EQ(check.SetIndex(index), QString()) << descending;
        EXPECT_EQ(check.Apply({}), QString()) << descending;
    }
}
