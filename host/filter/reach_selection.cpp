#include "host/filter/reach_selection.h"

#include "host/filter/bigram_summary.h"
#include "host/filter/prefix_ranges.h"
#include "host/filter/selection_plan.h"
#include "host/filter/selection_views.h"
#include "host/filter/word_index.h"
#include "host/storage/leading_order.h"
#include "host/storage/table.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <bit>
#include <future>
#include <string>
#include <system_error>

namespace host::filter {

namespace {

using Rows = std::vector<std::uint32_t>;
using Shape = ReachTerm::Shape;

// Per record a test costs about this many times what marking one record found by a
// structure costs.
constexpr std::size_t kTestCost = 24;
// Reading a record's text for a needle costs about this many times marking it.
constexpr std::size_t kScanCost = 8;

// A term with the word-start term on the same field and needle, which together ask for
// any word of the value to begin with the needle: one lookup in the word index.
bool PairedWithWordStart(const std::vector<ReachTerm>& group, const ReachTerm& prefix)
{
    return std::any_of(group.begin(), group.end(), [&](const ReachTerm& t) {
        return t.shape == Shape::WordStart && t.field == prefix.field &&
               t.number == prefix.number && t.accents == prefix.accents &&
               t.needle == prefix.needle;
    });
}

// A contains needle without a space lies within one word of a value: the words of the
// field, when they are built, answer it from the distinct words.
bool WithinOneWord(const WordIndex& words, const ReachTerm& term)
{
    return words.HasWords() && !words.Spaceless() && term.needle.find(' ') == std::string::npos;
}

bool Answerable(const SelectionInput& input, const ReachTerm& term)
{
    if (term.number) {
        return static_cast<bool>(input.leadingOrder);
    }
    // A contains term without a summary reads the candidates' text when marked.
    return term.accents == input.ignoreAccents && input.leadingOrder && input.wordIndex &&
           input.fieldBytes &&
           (term.shape != Shape::Contains || (input.summary && input.summaryBuilt));
}

bool SummaryBuilt(const SelectionInput& input, int field)
{
    return input.summary && input.summaryBuilt && input.summaryBuilt(field);
}

struct Group {
    const Node* node = nullptr;
    std::vector<ReachTerm> terms;
    std::size_t estimate = 0; // records the structures will find, about
};

void MarkRange(const Rows& order, std::uint32_t begin, std::uint32_t end, RecordBitmap& out)
{
    for (std::uint32_t pos = begin; pos < end; ++pos) {
        SetBit(out, order[pos]);
    }
}

// A text term's records as ranges of the view's order, when the order leads with its
// field read as the term reads it (the search column): no other order is then needed.
bool OnLead(const SelectionInput& input, const ReachTerm& term, LeadRanges& out)
{
    PrefixSearch search;
    if (term.number || input.orderFields.empty() || !AsPrefixSearch(*term.term, search) ||
        !OnLeadOrder(&input.orderFields[0], search)) {
        return false;
    }
    out =
        RangesOnLeadOrder(input.table->Col(term.field), *input.order, input.orderFields[0], search);
    return true;
}

// A prefix or whole value through the field's leading-bytes order: the range of its first
// 8 bytes, each record checked for the rest when the needle is longer or whole.
void MarkLeading(const SelectionInput& input, const ReachTerm& term, RecordBitmap& out)
{
    const Column& column = input.table->Col(term.field);
    const LargeVector<std::uint32_t>& order = input.leadingOrder(term.field);
    const bool accents = !term.number && term.accents;
    const auto range = LeadingBytesRange(column, order, term.needle, accents);
    const bool whole = term.shape == Shape::Whole;
    if (!whole && term.needle.size() <= 8) {
        for (std::uint32_t pos = range.first; pos < range.second; ++pos) {
            SetBit(out, order[pos]);
        }
        return;
    }
    std::string scratch;
    for (std::uint32_t pos = range.first; pos < range.second; ++pos) {
        const std::string_view text = LeadingBytesText(column, order[pos], accents, scratch);
        const std::size_t n = term.needle.size();
        if (text.size() >= n && (!whole || text.size() == n) &&
            CompareFolded(text.substr(0, n), term.needle) == 0) {
            SetBit(out, order[pos]);
        }
    }
}

// A needle of one or two bytes is what the pair summary answers exactly, reading a few
// bitmaps, where the words holding it may list most records, one at a time.
bool SummaryAnswersBetter(const SelectionInput& input, const WordIndex& known,
                          const ReachTerm& term)
{
    return term.needle.size() <= 2 && SummaryBuilt(input, term.field) &&
           known.ContainingHits(term.needle) > input.table->RecordCount() / 16;
}

// What a contains term costs when read (ReadContains): a quarter of the records through
// the pair summary, else a scan of them all.
std::size_t ReadContainsEstimate(const SelectionInput& input, const ReachTerm& term)
{
    const std::uint32_t n = input.table->RecordCount();
    return SummaryBuilt(input, term.field) ? n / 4 : std::size_t{n} * kScanCost;
}

// What marking a term finds, about, without marking it.
std::size_t Estimate(const SelectionInput& input, const std::vector<ReachTerm>& group,
                     const ReachTerm& term)
{
    const std::uint32_t n = input.table->RecordCount();
    if (term.none) {
        return 0;
    }
    const Column& column = input.table->Col(term.field);
    if (term.number) {
        if (term.shape == Shape::WordStart) {
            return 0;
        }
        if (term.shape == Shape::Contains) {
            return ReadContainsEstimate(input, term);
        }
        const auto range =
            LeadingBytesRange(column, input.leadingOrder(term.field), term.needle, false);
        return range.second - range.first;
    }
    // A needle with a byte no value holds (a digit in the names) finds nothing in any
    // shape: the field's words and orders need not be read, nor waited for.
    const WordIndex& known = input.fieldBytes(term.field);
    if (!known.MayHold(term.needle)) {
        return 0;
    }
    switch (term.shape) {
    case Shape::Contains: {
        if (WithinOneWord(known, term) && !SummaryAnswersBetter(input, known, term)) {
            return known.ContainingHits(term.needle);
        }
        return ReadContainsEstimate(input, term);
    }
    case Shape::WordStart: {
        const WordIndex& words = input.wordIndex(term.field);
        return words.Spaceless() ? 0 : words.Hits(words.WordRange(term.needle));
    }
    case Shape::Prefix:
        if (PairedWithWordStart(group, term) && !input.wordIndex(term.field).Spaceless()) {
            return 0; // counted with the word-start term
        }
        [[fallthrough]];
    case Shape::Whole: {
        LeadRanges lead;
        if (OnLead(input, term, lead)) {
            return RangesSize(lead.ranges);
        }
        const auto range =
            LeadingBytesRange(column, input.leadingOrder(term.field), term.needle, term.accents);
        return range.second - range.first;
    }
    }
    return n;
}

// Calls f(rec) for every record of within (nullptr: every record), ascending.
template <class F> void ForEachOf(const RecordBitmap* within, std::uint32_t n, F&& f)
{
    if (within == nullptr) {
        for (std::uint32_t rec = 0; rec < n; ++rec) {
            f(rec);
        }
        return;
    }
    for (std::size_t w = 0; w < within->size(); ++w) {
        for (std::uint64_t bits = (*within)[w]; bits != 0; bits &= bits - 1) {
            f(static_cast<std::uint32_t>(w * 64 + static_cast<unsigned>(std::countr_zero(bits))));
        }
    }
}

// Whether the record's value, as the term reads it (an integer by its text form), holds
// the term's needle.
bool HoldsNeedle(const Column& column, const ReachTerm& term, std::uint32_t rec,
                 std::string& scratch)
{
    if (column.IsNull(rec)) {
        return false;
    }
    if (term.number) {
        char buffer[kTextFormBuffer];
        return IntegerText(column.Int(rec), buffer).find(term.needle) != std::string::npos;
    }
    return FoldedContains(column.SearchText(rec, term.accents, scratch), term.needle);
}

// From this many candidates up, a summary's candidates are read on two threads.
constexpr std::size_t kTwoThreadReads = std::size_t{1} << 15;

// Sets in out the candidates [from, to) whose value holds the needle. They lie far apart
// in the column: each read starts a few records ahead, so that the misses overlap rather
// than come one after another.
void ReadCandidates(const Column& column, const ReachTerm& term, const std::uint32_t* from,
                    const std::uint32_t* to, RecordBitmap& out)
{
    constexpr std::ptrdiff_t kAhead = 8;
    std::string scratch;
    for (const std::uint32_t* rec = from; rec < to; ++rec) {
        if (to - rec > 2 * kAhead && !term.number) {
            column.PrefetchOffsets(rec[2 * kAhead]);
        }
        if (to - rec > kAhead) {
            if (term.number) {
                column.PrefetchInt(rec[kAhead]);
            } else {
                column.PrefetchText(rec[kAhead]);
            }
        }
        if (HoldsNeedle(column, term, *rec, scratch)) {
            SetBit(out, *rec);
        }
    }
}

// A contains term through the field's pair summary: its records, or its candidates each
// read for the needle; only those of within, when not nullptr.
void MarkThroughSummary(const SelectionInput& input, const ReachTerm& term,
                        const RecordBitmap* within, RecordBitmap& out)
{
    const Column& column = input.table->Col(term.field);
    bool exact = false;
    RecordBitmap found = input.summary(term.field).Candidates(term.needle, exact);
    if (within != nullptr) {
        for (std::size_t i = 0; i < found.size(); ++i) {
            found[i] &= (*within)[i];
        }
    }
    if (exact) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] |= found[i];
        }
        return;
    }
    Rows listed(CountBits(found) + kListSlack);
    ListSetBits(found, listed.data());
    listed.resize(listed.size() - kListSlack);
    // Many candidates are read by two threads, split where a word of out begins.
    std::size_t half = listed.size();
    if (listed.size() >= kTwoThreadReads) {
        half = listed.size() / 2;
        while (half < listed.size() && listed[half] / 64 == listed[half - 1] / 64) {
            ++half;
        }
    }
    std::future<void> other;
    if (half < listed.size()) {
        try {
            other = std::async(std::launch::async, [&] {
                ReadCandidates(column, term, listed.data() + half, listed.data() + listed.size(),
                               out);
            });
        } catch (const std::system_error&) {
            half = listed.size(); // no thread to be had: all of them here
        }
    }
    ReadCandidates(column, term, listed.data(), listed.data() + half, out);
    if (other.valid()) {
        other.get();
    }
}

// Sets the records of within (nullptr: all) whose value holds a contains term's needle:
// through the field's pair summary when it is built, else by reading the values in record
// order rather than building and keeping a summary for this field.
void ReadContains(const SelectionInput& input, const ReachTerm& term, const RecordBitmap* within,
                  RecordBitmap& out)
{
    if (SummaryBuilt(input, term.field)) {
        MarkThroughSummary(input, term, within, out);
        return;
    }
    const Column& column = input.table->Col(term.field);
    std::string scratch;
    ForEachOf(within, column.Count(), [&](std::uint32_t rec) {
        if (HoldsNeedle(column, term, rec, scratch)) {
            SetBit(out, rec);
        }
    });
}

// Sets the records of one term of a group; false when they are only candidates. Terms
// that read the text read only the records of within, when not nullptr (the candidates
// left): a record outside it is not wanted, marked or not.
bool Mark(const SelectionInput& input, const std::vector<ReachTerm>& group, const ReachTerm& term,
          const RecordBitmap* within, RecordBitmap& out)
{
    if (term.none) {
        return true;
    }
    if (term.number) {
        switch (term.shape) {
        case Shape::WordStart:
            return true; // an integer's text has no space
        case Shape::Contains:
            ReadContains(input, term, within, out);
            return true;
        case Shape::Prefix:
        case Shape::Whole:
            MarkLeading(input, term, out);
            return true;
        }
        return true;
    }
    const WordIndex& known = input.fieldBytes(term.field);
    if (!known.MayHold(term.needle)) {
        return true; // nothing to mark (Estimate)
    }
    switch (term.shape) {
    case Shape::Contains: {
        if (WithinOneWord(known, term) && !SummaryAnswersBetter(input, known, term)) {
            known.MarkContaining(term.needle, out);
            return true;
        }
        ReadContains(input, term, within, out);
        return true;
    }
    case Shape::WordStart: {
        const WordIndex& words = input.wordIndex(term.field);
        if (words.Spaceless()) {
            return true;
        }
        words.Mark(words.WordRange(term.needle), out);
        // Any word's records: with the prefix term beside it, exactly the pair's.
        return std::any_of(group.begin(), group.end(), [&](const ReachTerm& t) {
            return t.shape == Shape::Prefix && t.field == term.field && !t.number &&
                   t.accents == term.accents && t.needle == term.needle;
        });
    }
    case Shape::Prefix:
        if (PairedWithWordStart(group, term) && !input.wordIndex(term.field).Spaceless()) {
            return true; // marked with the word-start term
        }
        [[fallthrough]];
    case Shape::Whole: {
        LeadRanges lead;
        if (OnLead(input, term, lead)) {
            for (const RecordView::Range& range : lead.ranges) {
                MarkRange(*input.order, range.begin, range.end, out);
            }
            return term.shape == Shape::Prefix && lead.exact;
        }
        MarkLeading(input, term, out);
        return true;
    }
    }
    return false;
}

bool MarkGroup(const SelectionInput& input, const Group& group, const RecordBitmap* within,
               RecordBitmap& out)
{
    bool exact = true;
    for (const ReachTerm& term : group.terms) {
        exact = Mark(input, group.terms, term, within, out) && exact;
    }
    return exact;
}

std::size_t TermCount(const Node& node)
{
    return node.Kind() == NodeKind::Or ? static_cast<const LogicNode&>(node).Terms().size() : 1;
}

} // namespace

std::optional<RecordView> SelectReach(const SelectionInput& input)
{
    const std::uint32_t n = input.table->RecordCount();
    const std::vector<const Node*> conjuncts = Conjuncts(*input.root);
    std::vector<Group> groups;
    std::vector<const Node*> others;
    for (const Node* conjunct : conjuncts) {
        Group group{conjunct, AsReachGroup(*conjunct), 0};
        if (!group.terms.empty() &&
            std::all_of(group.terms.begin(), group.terms.end(),
                        [&](const ReachTerm& t) { return Answerable(input, t); })) {
            groups.push_back(std::move(group));
        } else {
            others.push_back(conjunct);
        }
    }
    if (groups.empty()) {
        return std::nullopt; // the planner's own paths answer it
    }
    // What a recent filter found, a base filter or a group (the word typed before the
    // next one, the text before a Backspace): its matches as they are.
    CandidateBits candidates;
    const auto known = [&](const Node& conjunct) {
        std::shared_ptr<const RecordBitmap> bits =
            input.knownMatches ? input.knownMatches(conjunct.Key()) : nullptr;
        if (!bits) {
            return false;
        }
        candidates.Take(std::move(bits));
        return true;
    };
    std::vector<const Node*> tests;
    for (const Node* conjunct : others) {
        if (!known(*conjunct)) {
            tests.push_back(conjunct);
        }
    }
    std::erase_if(groups, [&](const Group& group) { return known(*group.node); });
    for (Group& group : groups) {
        for (const ReachTerm& term : group.terms) {
            group.estimate += Estimate(input, group.terms, term);
        }
    }
    std::sort(groups.begin(), groups.end(),
              [](const Group& a, const Group& b) { return a.estimate < b.estimate; });
    EvalScratch scratch;
    // The previous view, when it holds every match and testing its records costs less
    // than the smallest group's marking.
    const RecordView* base = input.narrowBase;
    std::size_t terms = 0;
    for (const Node* conjunct : conjuncts) {
        terms += TermCount(*conjunct);
    }
    if (base != nullptr && !groups.empty() && candidates.Bits() == nullptr &&
        base->Size() * terms * kTestCost < groups.front().estimate) {
        Rows out;
        base->ForEach([&](std::uint32_t rec) {
            if (input.root->Test(rec, scratch) == Tri::True) {
                out.push_back(rec);
            }
        });
        return Listed(std::move(out));
    }
    // Else the previous view's records are the candidates.
    if (base != nullptr && base->Picks() != nullptr && base->CoversOrder()) {
        candidates.Take(base->SharedPicks());
    } else if (base != nullptr) {
        RecordBitmap shown = MakeRecordBitmap(n);
        base->ForEach([&](std::uint32_t rec) { SetBit(shown, rec); });
        candidates.NarrowTo(shown);
    }
    std::size_t count = candidates.Bits() != nullptr ? CountBits(*candidates.Bits()) : n;
    for (const Group& group : groups) {
        // Needles read only the candidates' text anyway: such a group is marked.
        const bool needles =
            std::all_of(group.terms.begin(), group.terms.end(),
                        [](const ReachTerm& t) { return t.shape == Shape::Contains; });
        if (candidates.Bits() != nullptr && !needles &&
            count * group.terms.size() * kTestCost < group.estimate) {
            tests.push_back(group.node); // tested on the few candidates left
            continue;
        }
        RecordBitmap bits = MakeRecordBitmap(n);
        if (!MarkGroup(input, group, candidates.Bits(), bits)) {
            tests.push_back(group.node);
        }
        candidates.NarrowTo(bits);
        count = CountBits(*candidates.Bits());
    }
    std::shared_ptr<const RecordBitmap> picks = candidates.Release();
    if (!tests.empty()) {
        auto pass = std::make_shared<RecordBitmap>(MakeRecordBitmap(n));
        const auto check = [&](std::uint32_t rec) {
            for (const Node* test : tests) {
                if (test->Test(rec, scratch) != Tri::True) {
                    return;
                }
            }
            SetBit(*pass, rec);
        };
        ForEachOf(picks.get(), n, check);
        count = CountBits(*pass);
        picks = std::move(pass);
    }
    return FromPicks(std::move(picks), count, input);
}

} // namespace host::filter
