// The chunked check of many candidates gives, on two threads, exactly what it gives on
// one: the same records, the same count, the same notes for the memo.
#include "host/filter/parallel_check.h"
#include "host/filter/selection_plan.h"
#include "tests/filter/filter_table.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace {

using host::LargeVector;
using host::filter::CandidateNotes;
using host::filter::Checks;

Checks ChecksOf(const host::filter::Node& root)
{
    Checks checks;
    for (const host::filter::Node* term : host::filter::Conjuncts(root)) {
        host::filter::ContainsSearch search;
        if (host::filter::AsContainsSearch(*term, search)) {
            checks.contains.push_back(search);
        } else {
            checks.terms.push_back(term);
        }
    }
    return checks;
}

// About `percent` of the records, ascending.
LargeVector<std::uint32_t> Candidates(std::uint32_t records, unsigned percent, unsigned seed)
{
    std::mt19937 rng(seed);
    LargeVector<std::uint32_t> out;
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        if (rng() % 100 < percent) {
            out.push_back(rec);
        }
    }
    return out;
}

struct Outcome {
    host::RecordBitmap pass;
    std::size_t count = 0;
    CandidateNotes notes;
};

Outcome Check(const Checks& checks, const LargeVector<std::uint32_t>& candidates,
              std::uint32_t records, bool noting, bool twoThreads)
{
    Outcome outcome;
    outcome.pass = host::MakeRecordBitmap(records);
    if (noting) {
        outcome.notes.tails = LargeVector<std::uint64_t>(candidates.size());
        outcome.notes.infos = LargeVector<std::uint8_t>(candidates.size());
    }
    outcome.count = host::filter::CheckCandidates(
        checks, candidates, noting ? &outcome.notes : nullptr, outcome.pass, twoThreads);
    return outcome;
}

std::vector<std::uint32_t> SetRecords(const host::RecordBitmap& bits, std::uint32_t records)
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        if (host::TestBit(bits, rec)) {
            out.push_back(rec);
        }
    }
    return out;
}

TEST(ParallelCheck, TwoThreadsGiveWhatOneGivesOnRandomData)
{
    const host::Table table = filter_test::NamesTable(150000, 21);
    const std::uint32_t n = table.RecordCount();
    const struct {
        const char* filter;
        host::FilterOptions options;
    } cases[] = {
        {"UPPER(NOME) LIKE '%AR%'", {}},
        {"NOME LIKE '%a%' AND UPPER(CIDADE) LIKE '%NAT%'", {}},
        {"NOME LIKE '%ao%'", host::FilterOption::IgnoreAccents},
        {"UPPER(NOME) LIKE '%SILVA%' AND CODIGO > 300 AND LOWER(TRIM(CIDADE)) <> 'natal'",
         host::FilterOption::IgnoreAccents},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        const host::filter::NodePtr root =
            filter_test::Parse(QString::fromUtf8(c.filter), table, c.options);
        const Checks checks = ChecksOf(*root);
        ASSERT_FALSE(checks.contains.empty());
        const LargeVector<std::uint32_t> candidates = Candidates(n, 70, 4);
        std::vector<std::uint32_t> expected;
        const std::vector<std::uint32_t> plain = filter_test::PlainMatches(*root, table);
        std::set_intersection(plain.begin(), plain.end(), candidates.begin(), candidates.end(),
                              std::back_inserter(expected));
        for (const bool noting : {false, true}) {
            const Outcome one = Check(checks, candidates, n, noting, false);
            const Outcome two = Check(checks, candidates, n, noting, true);
            EXPECT_EQ(one.count, expected.size());
            EXPECT_EQ(SetRecords(one.pass, n), expected);
            EXPECT_EQ(two.count, one.count);
            EXPECT_TRUE(two.pass == one.pass);
            EXPECT_TRUE(two.notes.tails == one.notes.tails);
            EXPECT_TRUE(two.notes.infos == one.notes.infos);
        }
    }
}

TEST(ParallelCheck, ChunksBeginAtAWordOfTheBitmap)
{
    for (const unsigned percent : {100u, 40u, 2u}) {
        const LargeVector<std::uint32_t> candidates = Candidates(200000, percent, percent);
        std::size_t previous = 0;
        for (std::size_t chunk = 1;; ++chunk) {
            const std::size_t start = host::filter::ChunkStart(candidates, chunk);
            EXPECT_GE(start, previous);
            if (start >= candidates.size()) {
                EXPECT_EQ(start, candidates.size());
                break;
            }
            EXPECT_NE(candidates[start] >> 6, candidates[start - 1] >> 6) << start;
            EXPECT_LT(start, chunk * host::filter::kCheckChunk + 64);
            previous = start;
        }
        EXPECT_EQ(host::filter::ChunkStart(candidates, 0), 0u);
    }
}

TEST(ParallelCheck, TwoThreadsOnlyForManySubstringChecksAndNothingElse)
{
    const host::Table table = filter_test::NamesTable(10, 2);
    const host::filter::NodePtr contains =
        filter_test::Parse(QStringLiteral("NOME LIKE '%a%'"), table);
    const host::filter::NodePtr both =
        filter_test::Parse(QStringLiteral("NOME LIKE '%a%' AND CODIGO > 3"), table);
    const std::size_t many = host::filter::kParallelChecks;
    EXPECT_TRUE(host::filter::ChecksOnTwoThreads(ChecksOf(*contains), many));
    EXPECT_FALSE(host::filter::ChecksOnTwoThreads(ChecksOf(*contains), many - 1));
    EXPECT_FALSE(host::filter::ChecksOnTwoThreads(ChecksOf(*both), many));
}

} // namespace
