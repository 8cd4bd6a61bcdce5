// Faults the differential check against SQLite found, each with the records plain
// evaluation and SQLite select.
#include "tests/dataset/dataset_fixture.h"

#include <gtest/gtest.h>

using dataset_test::Filtered;

// An upper-cased field never begins with a lower-case letter: the folded-order range
// of "UPPER(F) LIKE 'a%'" holds the records beginning with "A", which must still be
// tested against the pattern rather than taken as its matches.
TEST(DifferentialFindings, UpperCasedPrefixWithLowerCaseLettersMatchesNothing)
{
    for (const bool fastPaths : {true, false}) {
        auto ds = dataset_test::MakeCustomers();
        ds->SetFastPaths(fastPaths);
        ds->GetIndexDefs().Add("NMCLIENTE", "NMCLIENTE");
        ds->SetIndexName("NMCLIENTE");
        EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'joao%'"), std::vector<qint64>{})
            << fastPaths;
        EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'Ana%'"), std::vector<qint64>{})
            << fastPaths;
        EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'ANA%'"), (std::vector<qint64>{8, 3}))
            << fastPaths;
        // Typing on from an upper-case prefix narrows to nothing, and back again.
        EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'JOAOs%'"), std::vector<qint64>{})
            << fastPaths;
        EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'JOAO%'"), (std::vector<qint64>{7, 10}))
            << fastPaths;
    }
}

// Arithmetic that gives no number (infinity minus infinity, infinity times zero) is
// NULL, as SQLite has it; before, the value compared equal to every number.
TEST(DifferentialFindings, NotANumberIsNullNotEqualToEverything)
{
    auto ds = dataset_test::MakeCustomers();
    const std::vector<qint64> all{1, 2, 3, 10, 12, 20, 7, 8};
    EXPECT_EQ(Filtered(*ds, "1e300 * 1e300 - 1e300 * 1e300 = 5"), std::vector<qint64>{});
    EXPECT_EQ(Filtered(*ds, "1e300 * 1e300 - 1e300 * 1e300 <= CODIGO"), std::vector<qint64>{});
    EXPECT_EQ(Filtered(*ds, "(1e300 * 1e300 - 1e300 * 1e300) IS NULL"), all);
    EXPECT_EQ(Filtered(*ds, "1e300 * 1e300 / (1e300 * 1e300) IS NULL"), all);
    // Infinity itself is a number, larger than any other.
    EXPECT_EQ(Filtered(*ds, "LIMITE * 1e300 * 1e300 > 1e308"),
              (std::vector<qint64>{1, 2, 12, 7, 8}));
    // Infinity times a zero limit is no number; a NULL limit stays NULL.
    EXPECT_EQ(Filtered(*ds, "LIMITE * (1e300 * 1e300) IS NULL"), (std::vector<qint64>{3, 10}));
}

// A filter's key names it for reusing and narrowing the previous result: a literal
// holding quotes and commas must not spell the key of two literals.
TEST(DifferentialFindings, LiteralsThatSpellOtherKeysAreNotTakenForThem)
{
    for (const bool fastPaths : {true, false}) {
        auto ds = dataset_test::MakeCustomers();
        ds->SetFastPaths(fastPaths);
        EXPECT_EQ(Filtered(*ds, "UF IN ('RN', 'SP')"), (std::vector<qint64>{1, 12, 8}));
        EXPECT_EQ(Filtered(*ds, "UF IN ('RN''5,''SP')"), std::vector<qint64>{}) << fastPaths;
        EXPECT_EQ(Filtered(*ds, "UF IN ('RN', 'SP')"), (std::vector<qint64>{1, 12, 8}));
        ds->SetFiltered(false);
        ds->SetFilter("UF IN ('RN''5,''SP')");
        ds->SetFiltered(true);
        EXPECT_EQ(dataset_test::Codes(*ds), std::vector<qint64>{}) << fastPaths;
    }
}
