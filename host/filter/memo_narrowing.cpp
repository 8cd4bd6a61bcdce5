#include "host/filter/memo_narrowing.h"

#include "host/filter/candidate_checks.h"
#include "host/filter/memo_building.h"
#include "host/filter/selection_views.h"
#include "host/storage/table.h"

#include <algorithm>

namespace host::filter {

namespace {

// A record of a memo for needle + suffix: 1 when the bytes kept after the needle's place
// begin with the suffix (the match then starts there, and tail and info describe
// it), 0 when no match is possible, -1 when only the text can tell.
int ExtendedMatch(std::string_view suffix, std::uint64_t& tail, std::uint8_t& info)
{
    const auto kept = static_cast<std::size_t>(info & ContainsMemo::kLengthMask);
    const bool again = (info & ContainsMemo::kAgain) != 0;
    for (std::size_t i = 0; i < std::min(kept, suffix.size()); ++i) {
        if (static_cast<unsigned char>((tail >> (8 * i)) & 0xFF) !=
            static_cast<unsigned char>(suffix[i])) {
            return again ? -1 : 0; // another place may still match
        }
    }
    if (suffix.size() > kept) {
        return (info & ContainsMemo::kMore) != 0 || again ? -1 : 0;
    }
    tail = suffix.size() >= 8 ? 0 : tail >> (8 * suffix.size());
    info = static_cast<std::uint8_t>((kept - suffix.size()) |
                                     (info & (ContainsMemo::kMore | ContainsMemo::kAgain)));
    return 1;
}

} // namespace

const Node* FindMemoTerm(const ContainsMemo& memo, const std::vector<const Node*>& open)
{
    for (const Node* term : open) {
        ContainsSearch search;
        if (AsContainsSearch(*term, search) && search.field == memo.field &&
            search.folded == memo.folded && search.accents == memo.accents &&
            search.needle.substr(0, memo.needle.size()) == memo.needle) {
            return term;
        }
    }
    return nullptr;
}

RecordView SelectFromMemo(const SelectionInput& input, const std::vector<const Node*>& open,
                          const Node& memoTerm, const RecordBitmap* bits)
{
    const ContainsMemo& memo = *input.narrowMemo;
    ContainsSearch extended;
    AsContainsSearch(memoTerm, extended);
    Checks rest;
    for (const Node* term : open) {
        ContainsSearch search;
        if (term == &memoTerm) {
            continue;
        }
        if (AsContainsSearch(*term, search)) {
            rest.contains.push_back(search);
        } else {
            rest.terms.push_back(term);
        }
    }
    const std::string_view suffix = extended.needle.substr(memo.needle.size());
    MemoBuilder builder(extended, memo.viewOrder, MemoCap(input.table->RecordCount()));
    builder.Expect(input.narrowBase->Size());
    std::vector<std::uint32_t> out;
    out.reserve(input.narrowBase->Size());
    EvalScratch scratch;
    for (std::size_t i = 0; i < memo.records.size(); ++i) {
        const std::uint32_t rec = memo.records[i];
        if (!(memo.info[i] & ContainsMemo::kKept) || (bits != nullptr && !TestBit(*bits, rec))) {
            continue;
        }
        std::uint64_t tail = memo.tails[i];
        std::uint8_t info = memo.info[i];
        int decided = ExtendedMatch(suffix, tail, info);
        if (decided < 0) {
            const ContainsMatch match = MatchContains(extended, rec);
            decided = match.found ? 1 : 0;
            tail = match.tail;
            info = match.info;
        }
        if (decided == 0 || !rest.Pass(rec, scratch)) {
            continue;
        }
        out.push_back(rec);
        builder.Add(rec, tail, info);
    }
    builder.Deliver(input.memoOut);
    if (memo.viewOrder) {
        return Listed(std::move(out));
    }
    return FromAscending(std::move(out), input);
}

} // namespace host::filter
