#include "host/filter/parallel_check.h"

#include "host/text/text_fold.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <system_error>

namespace host::filter {

namespace {

// Candidates are scattered over the text: each check would wait for memory, so the reads
// for the checks a little ahead are started first. What the first contains search finds
// is noted in place, by candidate: the lists become the memo as they are.
std::size_t CheckRange(const Checks& checks, const LargeVector<std::uint32_t>& candidates,
                       CandidateNotes* notes, RecordBitmap& pass, std::size_t from, std::size_t to,
                       EvalScratch& scratch)
{
    std::size_t found = 0;
    for (std::size_t i = from; i < to; ++i) {
        for (const ContainsSearch& search : checks.contains) {
            if (i + 32 < to) {
                search.column->PrefetchOffsets(candidates[i + 32]);
            }
            if (i + 16 < to) {
                // Short texts are read a vector at a time, past their end.
                search.column->PrefetchText(candidates[i + 16], kShortTextSlack - 1);
            }
        }
        const std::uint32_t rec = candidates[i];
        bool passed = false;
        if (notes != nullptr) {
            const ContainsMatch match = MatchContains(checks.contains.front(), rec);
            passed = match.found && checks.PassFrom(rec, 1, scratch);
            if (passed) {
                notes->tails[i] = match.tail;
                notes->infos[i] = match.info | ContainsMemo::kKept;
            }
        } else {
            passed = checks.Pass(rec, scratch);
        }
        if (passed) {
            SetBit(pass, rec);
            ++found;
        }
    }
    return found;
}

} // namespace

bool ChecksOnTwoThreads(const Checks& checks, std::size_t candidates)
{
    return checks.terms.empty() && candidates >= kParallelChecks;
}

std::size_t ChunkStart(const LargeVector<std::uint32_t>& candidates, std::size_t chunk)
{
    const std::size_t size = candidates.size();
    std::size_t i = std::min(size, chunk * kCheckChunk);
    while (i > 0 && i < size && candidates[i] >> 6 == candidates[i - 1] >> 6) {
        ++i;
    }
    return i;
}

std::size_t CheckCandidates(const Checks& checks, const LargeVector<std::uint32_t>& candidates,
                            CandidateNotes* notes, RecordBitmap& pass, bool twoThreads)
{
    std::atomic<std::size_t> nextChunk{0};
    const auto work = [&] {
        EvalScratch scratch; // each thread its own
        std::size_t found = 0;
        for (;;) {
            const std::size_t chunk = nextChunk++;
            const std::size_t from = ChunkStart(candidates, chunk);
            if (from >= candidates.size()) {
                return found;
            }
            found += CheckRange(checks, candidates, notes, pass, from,
                                ChunkStart(candidates, chunk + 1), scratch);
        }
    };
    std::future<std::size_t> helper;
    if (twoThreads) {
        try {
            helper = std::async(std::launch::async, work);
        } catch (const std::system_error&) {
            // No second thread: this one takes every chunk.
        }
    }
    std::size_t count = work();
    if (helper.valid()) {
        count += helper.get();
    }
    return count;
}

} // namespace host::filter
