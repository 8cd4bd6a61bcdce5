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
