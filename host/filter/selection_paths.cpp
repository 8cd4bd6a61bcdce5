#include "host/filter/selection_paths.h"

#include "host/filter/memo_building.h"
#include "host/filter/noting_check.h"
#include "host/filter/parallel_check.h"
#include "host/filter/selection_views.h"
#include "host/storage/table.h"

#include <algorithm>

namespace host::filter {

namespace {

using Rows = std::vector<std::uint32_t>;

// Whether the record passes the checks, in the candidates first. Called once a candidate
// in the loops below, and kept inside them: a call per record costs as much as the test.
[[gnu::always_inline]] inline bool PassesNoting(const RecordBitmap* bits, NotingCheck& check,
                                                std::uint32_t rec, EvalScratch& scratch)
{
    return (bits == nullptr || TestBit(*bits, rec)) && check.Check(rec, scratch);
}

// Many candidates, listed and checked (on two threads when worth it); what the first
// contains search finds is noted by candidate and becomes the memo as it is, failed
// candidates marked as such.
std::size_t CheckListedCandidates(const SelectionInput& input, const Checks& checks,
                                  const RecordBitmap& bits, NotingCheck& noting, RecordBitmap& pass)
{
    const std::uint32_t n = input.table->RecordCount();
    const std::size_t candidateCount = CountBits(bits);
    LargeVector<std::uint32_t> candidates(candidateCount + kListSlack);
    ListSetBits(bits, candidates.data());
    candidates.resize(candidateCount);
    const bool noted = noting.Noting() && candidates.size() <= 2 * MemoCap(n);
    noting.Stop();
    CandidateNotes notes{LargeVector<std::uint64_t>(noted ? candidates.size() : 0),
                         LargeVector<std::uint8_t>(noted ? candidates.size() : 0)};
    const std::size_t count = CheckCandidates(checks, candidates, noted ? &notes : nullptr, pass,
                                              ChecksOnTwoThreads(checks, candidates.size()));
    if (noted && count <= MemoCap(n)) {
        *input.memoOut = MemoOfNotes(checks.contains.front(), std::move(candidates),
                                     std::move(notes.tails), std::move(notes.infos));
    }
    return count;
}

} // namespace

RecordView SelectFewFromBase(const SelectionInput& input, SelectionPlan& plan)
{
    const RecordBitmap* bits = plan.candidates.Bits();
    NotingCheck check(plan.checks, input.memoOut, input.table->RecordCount());
    EvalScratch scratch;
    const auto settles = [&](const Node* term, std::uint32_t rec) {
        return term->Test(rec, scratch) == Tri::True;
    };
    Rows out;
    check.Start(true);
    input.narrowBase->ForEach([&](std::uint32_t rec) {
        const bool inRanges =
            !plan.ranges || !plan.ranges->exact || settles(plan.ranges->search.term, rec);
        const bool inFolded = !plan.foldedHits || !plan.foldedHits->exact ||
                              settles(plan.foldedHits->search.term, rec);
        if (inRanges && inFolded && PassesNoting(bits, check, rec, scratch)) {
            out.push_back(rec);
        }
    });
    check.Deliver();
    return Listed(std::move(out));
}

RecordView SelectInRanges(const SelectionInput& input, SelectionPlan& plan)
{
    const RecordBitmap* bits = plan.candidates.Bits();
    NotingCheck check(plan.checks, input.memoOut, input.table->RecordCount());
    EvalScratch scratch;
    std::vector<RecordView::Range>& ranges = plan.ranges->ranges;
    if (plan.path == SelectionPath::FewInRanges) {
        Rows out;
        check.Start(true);
        RecordView(input.order, ranges).ForEach([&](std::uint32_t rec) {
            if (PassesNoting(bits, check, rec, scratch)) {
                out.push_back(rec);
            }
        });
        check.Deliver();
        return Listed(std::move(out));
    }
    // Keep the ranges and pick their records: with nothing left to check, the
    // candidate bitmap itself does (shared when it is a known one).
    std::shared_ptr<const RecordBitmap> picks;
    std::size_t count = 0;
    if (plan.checks.Empty()) {
        picks = plan.candidates.Release();
        const Rows& order = *input.order;
        for (const RecordView::Range& range : ranges) {
            for (std::uint32_t pos = range.begin; pos < range.end; ++pos) {
                count += TestBit(*picks, order[pos]) ? 1 : 0;
            }
        }
    } else {
        auto pass = std::make_shared<RecordBitmap>(MakeRecordBitmap(input.table->RecordCount()));
        check.Start(true);
        RecordView(input.order, ranges).ForEach([&](std::uint32_t rec) {
            if (PassesNoting(bits, check, rec, scratch)) {
                SetBit(*pass, rec);
                ++count;
            }
        });
        check.Deliver();
        picks = std::move(pass);
    }
    return RecordView(input.order, std::move(ranges), std::move(picks), count);
}

RecordView SelectFewFoldedHits(const SelectionInput& input, SelectionPlan& plan)
{
    const RecordBitmap* bits = plan.candidates.Bits();
    EvalScratch scratch;
    Rows out;
    for (const std::uint32_t rec : plan.foldedHits->records) {
        if ((bits == nullptr || TestBit(*bits, rec)) && plan.checks.Pass(rec, scratch)) {
            out.push_back(rec);
        }
    }
    std::sort(out.begin(), out.end());
    return ListedInViewOrder(std::move(out), input);
}

RecordView SelectByScan(const SelectionInput& input, SelectionPlan& plan)
{
    const std::uint32_t n = input.table->RecordCount();
    const RecordBitmap* bits = plan.candidates.Bits();
    std::shared_ptr<const RecordBitmap> picks;
    std::size_t count = 0;
    if (plan.checks.Empty() && bits != nullptr) {
        picks = plan.candidates.Release();
        count = CountBits(*picks);
    } else {
        auto pass = std::make_shared<RecordBitmap>(MakeRecordBitmap(n));
        NotingCheck check(plan.checks, input.memoOut, n);
        check.Start(false);
        if (bits != nullptr) {
            count += CheckListedCandidates(input, plan.checks, *bits, check, *pass);
        } else {
            EvalScratch scratch;
            for (std::uint32_t rec = 0; rec < n; ++rec) {
                if (check.Check(rec, scratch)) {
                    SetBit(*pass, rec);
                    ++count;
                }
            }
        }
        check.Deliver();
        picks = std::move(pass);
    }
    return FromPicks(std::move(picks), count, input);
}

} // namespace host::filter
