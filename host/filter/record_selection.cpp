#include "host/filter/record_selection.h"

#include "host/filter/bigram_summary.h"
#include "host/filter/substring_search.h"
#include "host/storage/table.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <future>
#include <optional>
#include <system_error>

namespace host::filter {

namespace {

using Rows = std::vector<std::uint32_t>;
using Range = RecordView::Range;

// Results up to this size are listed and sorted into view order; larger ones are a
// bitmap read out of the order as rows are asked for.
constexpr std::size_t kListedResult = 4096;
// From this many candidates up, substring checks run on two threads.
constexpr std::size_t kParallelChecks = std::size_t{1} << 16;

void CollectConjuncts(const Node& node, std::vector<const Node*>& out)
{
    if (node.Kind() == NodeKind::And) {
        for (const NodePtr& term : static_cast<const LogicNode&>(node).Terms()) {
            CollectConjuncts(*term, out);
        }
    } else {
        out.push_back(&node);
    }
}

// A text field, as stored or folded; nullptr for anything else.
const ColumnNode* AsTextColumn(const Node& node)
{
    if (node.Kind() == NodeKind::FoldedField ||
        (node.Kind() == NodeKind::Field && node.Type() == StaticType::Text)) {
        return static_cast<const ColumnNode*>(&node);
    }
    return nullptr;
}

// A conjunct "UPPER(text field) LIKE 'lit...'" or "text field LIKE 'lit...'".
struct PrefixSearch {
    const Node* term = nullptr;
    int field = -1;
    bool folded = false;     // on UPPER(field)
    bool accents = false;    // on the field's text with accents set aside
    std::string_view prefix; // the pattern's literal start, as written
    bool whole = false;      // the pattern is the prefix and one '%'
};

bool AsPrefixSearch(const Node& node, PrefixSearch& out)
{
    if (node.Kind() != NodeKind::Like) {
        return false;
    }
    const auto& like = static_cast<const LikeNode&>(node);
    if (like.Negated() || like.Literal() == nullptr || like.Literal()->LiteralPrefix().empty()) {
        return false;
    }
    const ColumnNode* operand = AsTextColumn(like.Operand());
    if (operand == nullptr) {
        return false;
    }
    out.term = &node;
    out.field = operand->FieldIndex();
    out.folded = operand->Kind() == NodeKind::FoldedField;
    out.accents = operand->IgnoresAccents();
    out.prefix = like.Literal()->LiteralPrefix();
    const std::string& pattern = like.Literal()->Text();
    out.whole = pattern.size() == out.prefix.size() + 1 && pattern.back() == '%';
    return true;
}

// A conjunct "<text field or its folded form> LIKE '%literal%'".
struct ContainsSearch {
    const Node* term = nullptr;
    const Column* column = nullptr;
    int field = -1;
    bool folded = false;
    bool accents = false;
    std::string_view needle;
    bool asciiNeedle = false;
};

bool AsContainsSearch(const Node& node, ContainsSearch& out)
{
    if (node.Kind() != NodeKind::Like) {
        return false;
    }
    const auto& like = static_cast<const LikeNode&>(node);
    if (like.Negated() || like.Literal() == nullptr || !like.Literal()->IsContains()) {
        return false;
    }
    const ColumnNode* operand = AsTextColumn(like.Operand());
    if (operand == nullptr) {
        return false;
    }
    out.term = &node;
    out.column = &operand->GetColumn();
    out.field = operand->FieldIndex();
    out.folded = operand->Kind() == NodeKind::FoldedField;
    out.accents = operand->IgnoresAccents();
    out.needle = like.Literal()->Segment();
    out.asciiNeedle = std::all_of(out.needle.begin(), out.needle.end(),
                                  [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return !out.needle.empty();
}

// Whether one record's text holds the needle: the same answer as the LIKE term.
bool Holds(const ContainsSearch& search, std::string_view text)
{
    return search.folded ? FoldedContains(text, search.needle)
                         : text.find(search.needle) != std::string_view::npos;
}

// The text of a record as a search with accents set aside reads it. Kept out of line,
// as the accent paths below are: the checks without accents run for every candidate
// and stay small enough to be inlined there. The folded text it returns can be read
// kShortTextSlack bytes past its end.
[[gnu::noinline]] std::string_view AccentFoldedTextOf(const ContainsSearch& search,
                                                      std::uint32_t rec)
{
    thread_local std::string scratch; // kept between calls: this runs once per candidate
    const std::size_t room = search.column->Text(rec).size() + kShortTextSlack;
    if (scratch.size() < room) {
        scratch.resize(std::max<std::size_t>(room, 256));
    }
    return search.column->SearchText(rec, true, scratch);
}

[[gnu::noinline]] bool ContainsIgnoringAccents(const ContainsSearch& search, std::uint32_t rec,
                                               std::string_view text)
{
    // Setting accents aside changes no ASCII byte: an ASCII needle found in the stored
    // text is found in the folded one, and only the texts it is not found in are folded.
    if (search.asciiNeedle && Holds(search, text)) {
        return true;
    }
    const std::string_view folded = AccentFoldedTextOf(search, rec);
    if (folded.data() == text.data()) {
        return !search.asciiNeedle && Holds(search, text); // nothing to fold: the text as it is
    }
    return Holds(search, folded);
}

bool Contains(const ContainsSearch& search, std::uint32_t rec)
{
    if (search.column->IsNull(rec)) {
        return false;
    }
    const std::string_view text = search.column->Text(rec);
    return search.accents ? ContainsIgnoringAccents(search, rec, text) : Holds(search, text);
}

// Where the needle first begins in text from `from` on, npos when nowhere.
std::size_t FindNeedle(const ContainsSearch& search, std::string_view text, std::size_t from)
{
    const std::string_view rest = text.substr(from);
    std::size_t at = std::string_view::npos;
    if (search.folded) {
        at = FoldedFind(rest, search.needle);
    } else if (const char* found = FindSubstring(rest.data(), rest.size(), search.needle)) {
        at = static_cast<std::size_t>(found - rest.data());
    }
    return at == std::string_view::npos ? at : from + at;
}

// One record's match of a contains search, with what a memo keeps of it.
struct ContainsMatch {
    bool found = false;
    std::uint64_t tail = 0;
    std::uint8_t info = 0;
};

// The memo's bytes for a match that ends at `after` in the text as the search reads it.
// With wordReadable, 8 bytes can be read from `after` whatever the text's length, and
// they are read as one word.
void NoteTail(const ContainsSearch& search, std::string_view text, std::size_t after,
              ContainsMatch& match, bool wordReadable = false)
{
    const std::size_t left = text.size() - after;
    const std::size_t kept = std::min<std::size_t>(left, ContainsMemo::kTailBytes);
    if (wordReadable && std::endian::native == std::endian::little) {
        std::uint64_t tail = 0;
        std::memcpy(&tail, text.data() + after, sizeof tail);
        tail = search.folded ? FoldWord(tail) : tail;
        match.tail = kept == 8 ? tail : tail & ((std::uint64_t{1} << (8 * kept)) - 1);
    } else {
        for (std::size_t i = 0; i < kept; ++i) {
            const char c = text[after + i];
            match.tail |= std::uint64_t{static_cast<unsigned char>(search.folded ? FoldByte(c) : c)}
                          << (8 * i);
        }
    }
    match.info = static_cast<std::uint8_t>(match.info | kept);
    if (left > kept) {
        match.info |= ContainsMemo::kMore;
    }
}

// Where the match at the first of a short text's `starts` ends.
std::size_t FirstMatchEnd(const ContainsSearch& search, std::uint64_t starts)
{
    return static_cast<std::size_t>(std::countr_zero(starts)) + search.needle.size();
}

// The match at the first of `starts` in a short text as the search reads it, whose bytes
// past its end can be read.
ContainsMatch MatchAtFirst(const ContainsSearch& search, std::string_view text,
                           std::uint64_t starts)
{
    ContainsMatch match;
    if (starts == 0) {
        return match;
    }
    match.found = true;
    NoteTail(search, text, FirstMatchEnd(search, starts), match, true);
    if ((starts & (starts - 1)) != 0) {
        match.info |= ContainsMemo::kAgain;
    }
    return match;
}

// A short text with a byte from 0x80 on, read with accents set aside. An ASCII needle
// found in the stored text is a match of the folded text too (setting accents aside
// keeps every ASCII byte), and what follows it is the fold of the stored bytes that
// follow: the text is only folded whole when the needle is not found as stored. The
// match noted need not be the folded text's first, as the memo only asks for a match;
// kAgain then stands for one a folded letter may take part in.
[[gnu::noinline]] ContainsMatch MatchShortAccented(const ContainsSearch& search, std::uint32_t rec,
                                                   std::string_view stored,
                                                   const ShortTextPlaces& places)
{
    if (search.asciiNeedle && places.starts != 0) {
        const std::size_t after = FirstMatchEnd(search, places.starts);
        ContainsMatch match;
        if (after < kShortText && (places.nonAscii >> after & 0xFF) != 0) {
            // The bytes kept would be folded: fold what follows the match.
            thread_local std::string scratch;
            match.found = true;
            NoteTail(search, AccentFoldedView(stored.substr(after), scratch), 0, match);
        } else {
            match = MatchAtFirst(search, stored, places.starts);
        }
        match.info |= ContainsMemo::kAgain;
        return match;
    }
    const std::string_view folded = AccentFoldedTextOf(search, rec);
    if (folded.data() == stored.data()) {
        return MatchAtFirst(search, stored, places.starts); // nothing to fold
    }
    return MatchAtFirst(search, folded,
                        FindInShortText(folded, search.needle, search.folded).starts);
}

// Any text, as the search reads it.
ContainsMatch MatchText(const ContainsSearch& search, std::string_view text)
{
    const std::size_t at = FindNeedle(search, text, 0);
    if (at == std::string_view::npos) {
        return {};
    }
    ContainsMatch match;
    match.found = true;
    NoteTail(search, text, at + search.needle.size(), match);
    if (FindNeedle(search, text, at + 1) != std::string_view::npos) {
        match.info |= ContainsMemo::kAgain;
    }
    return match;
}

ContainsMatch MatchContains(const ContainsSearch& search, std::uint32_t rec)
{
    if (search.column->IsNull(rec)) {
        return {};
    }
    // The text as the search reads it (accents set aside when asked): the memo's bytes
    // are then those a longer needle is matched against. Most texts are short, and are
    // scanned once for the needle's every place and for bytes the fold may change.
    const std::string_view stored = search.column->Text(rec);
    if (stored.size() <= kShortText && search.column->ReadableAfter(rec, kShortTextSlack)) {
        const ShortTextPlaces places = FindInShortText(stored, search.needle, search.folded);
        if (!search.accents || places.nonAscii == 0) {
            return MatchAtFirst(search, stored, places.starts);
        }
        return MatchShortAccented(search, rec, stored, places);
    }
    return MatchText(search, search.accents ? AccentFoldedTextOf(search, rec) : stored);
}

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

// Collects a memo while a contains search is checked on the text, giving up past a cap.
class MemoBuilder {
public:
    MemoBuilder(const ContainsSearch& search, bool viewOrder, std::size_t cap) : m_cap(cap)
    {
        m_memo.field = search.field;
        m_memo.folded = search.folded;
        m_memo.accents = search.accents;
        m_memo.needle = std::string(search.needle);
        m_memo.viewOrder = viewOrder;
    }
    // Room for about as many records as the search is expected to match.
    void Expect(std::size_t records)
    {
        const std::size_t room = std::min(records, m_cap);
        m_memo.records.reserve(room);
        m_memo.tails.reserve(room);
        m_memo.info.reserve(room);
    }
    void Add(std::uint32_t rec, std::uint64_t tail, std::uint8_t info)
    {
        if (m_full) {
            return;
        }
        if (m_memo.records.size() >= m_cap) {
            m_full = true;
            m_memo = {};
            return;
        }
        m_memo.records.push_back(rec);
        m_memo.tails.push_back(tail);
        m_memo.info.push_back(static_cast<std::uint8_t>(info | ContainsMemo::kKept));
    }
    void Deliver(std::shared_ptr<const ContainsMemo>* out)
    {
        if (out != nullptr && !m_full) {
            if (m_memo.records.capacity() > m_memo.records.size() + m_memo.records.size() / 4) {
                m_memo.records.shrink_to_fit();
                m_memo.tails.shrink_to_fit();
                m_memo.info.shrink_to_fit();
            }
            *out = std::make_shared<const ContainsMemo>(std::move(m_memo));
        }
    }

private:
    ContainsMemo m_memo;
    std::size_t m_cap;
    bool m_full = false;
};

// The ranges of an order sorted case-sensitively by the field whose records' text begins
// with one of the byte strings a prefix stands for: itself, or for UPPER(field) each
// string that folds to it. Records sharing their first `depth` bytes are contiguous and
// sorted by the next byte (shorter texts first), so each choice of byte narrows the
// range by two binary searches; the choices are tried in byte order, which keeps the
// ranges in order.
void PrefixRanges(const Column& column, const Rows& order, const PrefixSearch& search,
                  std::uint32_t lo, std::uint32_t hi, std::size_t depth, std::vector<Range>& out)
{
    if (lo >= hi) {
        return;
    }
    if (depth == search.prefix.size()) {
        out.push_back({lo, hi});
        return;
    }
    const auto byteAt = [&](std::uint32_t rec) {
        return column.SearchByteAt(rec, depth, search.accents);
    };
    FoldSources sources;
    if (search.folded) {
        sources = BytesFoldingTo(search.prefix[depth]);
    } else {
        sources.bytes[0] = search.prefix[depth];
        sources.count = 1;
    }
    const auto begin = order.begin();
    for (int i = 0; i < sources.count; ++i) {
        const int b = static_cast<unsigned char>(sources.bytes[i]);
        const auto first = std::partition_point(begin + lo, begin + hi,
                                                [&](std::uint32_t rec) { return byteAt(rec) < b; });
        const auto last = std::partition_point(first, begin + hi,
                                               [&](std::uint32_t rec) { return byteAt(rec) == b; });
        PrefixRanges(column, order, search, static_cast<std::uint32_t>(first - begin),
                     static_cast<std::uint32_t>(last - begin), depth + 1, out);
    }
}

// The range of an order sorted by folded text whose folded text begins with the folded
// prefix.
Range FoldedPrefixRange(const Column& column, const Rows& order, std::string_view foldedPrefix,
                        bool accents)
{
    std::string scratch;
    const auto head = [&](std::uint32_t rec) {
        return column.SearchText(rec, accents, scratch).substr(0, foldedPrefix.size());
    };
    const auto lo = std::partition_point(order.begin(), order.end(), [&](std::uint32_t rec) {
        return CompareFolded(head(rec), foldedPrefix) < 0;
    });
    const auto hi = std::partition_point(lo, order.end(), [&](std::uint32_t rec) {
        return CompareFolded(head(rec), foldedPrefix) == 0;
    });
    return {static_cast<std::uint32_t>(lo - order.begin()),
            static_cast<std::uint32_t>(hi - order.begin())};
}

std::size_t RangesSize(const std::vector<Range>& ranges)
{
    std::size_t size = 0;
    for (const Range& range : ranges) {
        size += range.end - range.begin;
    }
    return size;
}

void Intersect(RecordBitmap& into, const RecordBitmap& other)
{
    for (std::size_t w = 0; w < into.size(); ++w) {
        into[w] &= other[w];
    }
}

// What is left to check on each candidate: contains terms (a substring test) and the
// other terms (evaluated).
struct Checks {
    std::vector<ContainsSearch> contains;
    std::vector<const Node*> terms;

    bool Empty() const { return contains.empty() && terms.empty(); }
    bool Pass(std::uint32_t rec, EvalScratch& scratch) const { return PassFrom(rec, 0, scratch); }
    // The checks but the first `skip` contains searches.
    bool PassFrom(std::uint32_t rec, std::size_t skip, EvalScratch& scratch) const
    {
        for (std::size_t i = skip; i < contains.size(); ++i) {
            if (!Contains(contains[i], rec)) {
                return false;
            }
        }
        for (const Node* term : terms) {
            if (term->Test(rec, scratch) != Tri::True) {
                return false;
            }
        }
        return true;
    }
};

RecordView Listed(Rows rows)
{
    return RecordView(std::make_shared<const Rows>(std::move(rows)));
}

// Records in ascending record order put into view order.
RecordView ListedInViewOrder(Rows records, const SelectionInput& input)
{
    if (!input.orderFields.empty()) {
        SortIntoOrder(*input.table, input.orderFields, records);
    }
    return Listed(std::move(records));
}

// Memos are kept for results of up to one record in 16.
std::size_t MemoCap(std::uint32_t records)
{
    return std::max<std::size_t>(records / 16, 4096);
}

// Records in ascending record order as a view: listed in view order when few, else a
// bitmap read out of the whole order.
RecordView FromAscending(Rows records, const SelectionInput& input)
{
    if (records.size() <= kListedResult) {
        return ListedInViewOrder(std::move(records), input);
    }
    auto picks = std::make_shared<RecordBitmap>(MakeRecordBitmap(input.table->RecordCount()));
    for (const std::uint32_t rec : records) {
        SetBit(*picks, rec);
    }
    const std::size_t count = records.size();
    return RecordView(input.order, {Range{0, static_cast<std::uint32_t>(input.order->size())}},
                      std::move(picks), count);
}

// The previous view's records decided from its contains memo, when one of the open terms
// searches the same field for a needle that begins with the memo's: only records whose
// kept bytes cannot tell are read. Every other term is checked as usual.
std::optional<RecordView> SelectFromMemo(const SelectionInput& input,
                                         const std::vector<const Node*>& open,
                                         const RecordBitmap* bits)
{
    const ContainsMemo& memo = *input.narrowMemo;
    ContainsSearch extended;
    const Node* memoTerm = nullptr;
    for (const Node* term : open) {
        ContainsSearch search;
        if (AsContainsSearch(*term, search) && search.field == memo.field &&
            search.folded == memo.folded && search.accents == memo.accents &&
            search.needle.substr(0, memo.needle.size()) == memo.needle) {
            extended = search;
            memoTerm = term;
            break;
        }
    }
    if (memoTerm == nullptr) {
        return std::nullopt;
    }
    Checks rest;
    for (const Node* term : open) {
        ContainsSearch search;
        if (term == memoTerm) {
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
    Rows out;
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

} // namespace

RecordView SelectPlain(const SelectionInput& input)
{
    Rows out;
    const Node& root = *input.root;
    EvalScratch scratch;
    for (const std::uint32_t rec : *input.order) {
        if (root.Test(rec, scratch) == Tri::True) {
            out.push_back(rec);
        }
    }
    return Listed(std::move(out));
}

RecordView SelectFast(const SelectionInput& input)
{
    const Table& table = *input.table;
    const Rows& order = *input.order;
    const std::uint32_t n = table.RecordCount();
    const std::size_t small = std::max<std::size_t>(n / 64, 256);
    std::vector<const Node*> conjuncts;
    CollectConjuncts(*input.root, conjuncts);

    // Candidates so far: a bitmap over records (exact matches of the terms dropped), and
    // ranges of the order.
    std::shared_ptr<const RecordBitmap> known; // shared, never written
    RecordBitmap owned;
    bool haveOwned = false;
    const auto narrowTo = [&](const RecordBitmap& bits) {
        if (!haveOwned) {
            owned = known ? *known : bits;
            if (known) {
                Intersect(owned, bits);
            }
            haveOwned = true;
            known.reset();
        } else {
            Intersect(owned, bits);
        }
    };
    const auto candidateBits = [&]() -> const RecordBitmap* {
        return haveOwned ? &owned : known.get();
    };

    const SortField* lead = input.orderFields.empty() ? nullptr : &input.orderFields[0];
    // A prefix search on the order's first field, read as that order reads it: its
    // matches are ranges of the order, found by binary search.
    const auto onLeadOrder = [&](const PrefixSearch& search) {
        return lead != nullptr && lead->field == search.field && !lead->descending &&
               lead->ignoreAccents == search.accents;
    };
    // ... and exactly those ranges, with nothing to check on the records.
    const auto exactRanges = [&](const Node& term) {
        PrefixSearch search;
        if (!AsPrefixSearch(term, search) || !onLeadOrder(search) || !search.whole) {
            return false;
        }
        const bool foldedOrder =
            lead->caseInsensitive && !table.Col(search.field).FoldsToItself(search.accents);
        return !foldedOrder || search.folded;
    };

    // 1. Conditions whose matches are known (a base filter computed before). A search
    // the order answers as exact ranges does better as ranges than as a known bitmap,
    // whose records would have to be put back into view order.
    std::vector<const Node*> open;
    for (const Node* term : conjuncts) {
        std::shared_ptr<const RecordBitmap> bits =
            input.knownMatches && !exactRanges(*term) ? input.knownMatches(term->Key()) : nullptr;
        if (!bits) {
            open.push_back(term);
        } else if (!known && !haveOwned) {
            known = std::move(bits);
        } else {
            narrowTo(*bits);
        }
    }

    // A longer needle for the previous view's contains search: its memo decides.
    if (input.narrowMemo != nullptr && input.narrowBase != nullptr) {
        if (std::optional<RecordView> view = SelectFromMemo(input, open, candidateBits())) {
            return std::move(*view);
        }
    }

    // 2. A prefix search on the order's first field: its matches are ranges of the order.
    std::vector<Range> ranges;
    bool haveRanges = false;
    PrefixSearch rangeSearch;
    bool rangesExact = false;
    // Otherwise: a prefix search on another text field, through its folded order.
    Rows foldedHits;
    bool haveFoldedHits = false;
    bool foldedExact = false;
    PrefixSearch foldedSearch;
    for (const Node* term : open) {
        PrefixSearch search;
        if (!AsPrefixSearch(*term, search)) {
            continue;
        }
        const Column& column = table.Col(search.field);
        const bool sameReading = search.accents == input.ignoreAccents;
        if (onLeadOrder(search)) {
            std::vector<Range> found;
            bool exact = search.whole;
            if (lead->caseInsensitive && !column.FoldsToItself(search.accents)) {
                // Sorted by folded text: one range, exact for UPPER(field).
                std::string target;
                FoldText(search.prefix, target);
                if (search.folded && target != search.prefix) {
                    found.clear(); // a folded text never holds a byte folding changes
                } else {
                    const Range range = FoldedPrefixRange(column, order, target, search.accents);
                    if (range.begin < range.end) {
                        found.push_back(range);
                    }
                }
                exact = exact && search.folded;
            } else {
                PrefixRanges(column, order, search, 0, static_cast<std::uint32_t>(order.size()), 0,
                             found);
            }
            if (!haveRanges || RangesSize(found) < RangesSize(ranges)) {
                ranges = std::move(found);
                haveRanges = true;
                rangeSearch = search;
                rangesExact = exact;
            }
        } else if (!haveRanges && !haveFoldedHits && input.foldedOrder && sameReading) {
            const Rows& folded = input.foldedOrder(search.field);
            std::string target;
            FoldText(search.prefix, target);
            if (!(search.folded && target != search.prefix)) {
                const Range range = FoldedPrefixRange(column, folded, target, search.accents);
                foldedHits.assign(folded.begin() + range.begin, folded.begin() + range.end);
            }
            haveFoldedHits = true;
            foldedSearch = search;
            foldedExact = search.whole && search.folded;
        }
    }
    if (haveRanges) {
        haveFoldedHits = false; // the ranges are the better start
    }

    // 3. Contains searches: the pair summary gives their candidates, exact for short
    // needles; the others are checked on the text.
    Checks checks;
    for (const Node* term : open) {
        if ((haveRanges && rangesExact && term == rangeSearch.term) ||
            (haveFoldedHits && foldedExact && term == foldedSearch.term)) {
            continue;
        }
        ContainsSearch search;
        if (!AsContainsSearch(*term, search)) {
            checks.terms.push_back(term);
            continue;
        }
        // With few candidates already, the needle is looked for in their text instead.
        const bool fewAlready = (haveRanges && RangesSize(ranges) <= small) ||
                                (input.narrowBase != nullptr && input.narrowBase->Size() <= small);
        if (input.summary && search.accents == input.ignoreAccents && !fewAlready) {
            std::string folded;
            FoldText(search.needle, folded);
            if (search.folded && folded != search.needle) {
                narrowTo(MakeRecordBitmap(n)); // a folded text never holds a byte folding changes
                continue;
            }
            bool exact = false;
            const RecordBitmap bits = input.summary(search.field).Candidates(folded, exact);
            narrowTo(bits);
            if (exact && search.folded) {
                continue;
            }
        }
        checks.contains.push_back(search);
    }

    // 4. The previous view, when the filter only narrows it.
    const RecordView* base = input.narrowBase;
    if (base != nullptr && base->Size() > small && base->Picks() != nullptr) {
        narrowTo(*base->Picks());
    }

    // A few candidates, in view order already: test them one by one.
    const RecordBitmap* bits = candidateBits();
    EvalScratch scratch; // this thread's
    const auto passes = [&](std::uint32_t rec) {
        return (bits == nullptr || TestBit(*bits, rec)) && checks.Pass(rec, scratch);
    };
    // Checking the first contains search on the text, what it finds is kept for the next
    // keystroke.
    const bool memoWanted = input.memoOut != nullptr && !checks.contains.empty();
    std::optional<MemoBuilder> memo;
    const auto startMemo = [&](bool viewOrder) {
        if (memoWanted) {
            memo.emplace(checks.contains.front(), viewOrder, MemoCap(n));
        }
    };
    const auto checkNoting = [&](std::uint32_t rec) {
        if (!memo) {
            return checks.Pass(rec, scratch);
        }
        const ContainsMatch match = MatchContains(checks.contains.front(), rec);
        if (!match.found || !checks.PassFrom(rec, 1, scratch)) {
            return false;
        }
        memo->Add(rec, match.tail, match.info);
        return true;
    };
    const auto passesNoting = [&](std::uint32_t rec) {
        return (bits == nullptr || TestBit(*bits, rec)) && checkNoting(rec);
    };
    const auto deliverMemo = [&] {
        if (memo) {
            memo->Deliver(input.memoOut);
        }
    };
    const std::size_t rangeSize = haveRanges ? RangesSize(ranges) : SIZE_MAX;
    if (haveRanges && checks.Empty() && bits == nullptr) {
        return RecordView(input.order, std::move(ranges)); // exact: nothing to read
    }
    // The ranges are in view order and exact: walking them beats testing the prefix
    // term on the previous view's records unless that view is far smaller.
    const bool baseFirst = !haveRanges || base == nullptr || base->Size() * 4 < rangeSize;
    if (base != nullptr && base->Size() <= small && baseFirst) {
        Rows out;
        startMemo(true);
        base->ForEach([&](std::uint32_t rec) {
            const bool inRanges =
                !haveRanges || !rangesExact || rangeSearch.term->Test(rec, scratch) == Tri::True;
            const bool inFolded = !haveFoldedHits || !foldedExact ||
                                  foldedSearch.term->Test(rec, scratch) == Tri::True;
            if (inRanges && inFolded && passesNoting(rec)) {
                out.push_back(rec);
            }
        });
        deliverMemo();
        return Listed(std::move(out));
    }
    if (haveRanges) {
        if (rangeSize <= small) {
            Rows out;
            startMemo(true);
            RecordView(input.order, ranges).ForEach([&](std::uint32_t rec) {
                if (passesNoting(rec)) {
                    out.push_back(rec);
                }
            });
            deliverMemo();
            return Listed(std::move(out));
        }
        // Keep the ranges and pick their records: with nothing left to check, the
        // candidate bitmap itself does (shared when it is a known one).
        std::shared_ptr<const RecordBitmap> picks;
        std::size_t count = 0;
        if (checks.Empty()) {
            picks = haveOwned ? std::make_shared<const RecordBitmap>(std::move(owned)) : known;
            for (const Range& range : ranges) {
                for (std::uint32_t pos = range.begin; pos < range.end; ++pos) {
                    count += TestBit(*picks, order[pos]) ? 1 : 0;
                }
            }
        } else {
            auto pass = std::make_shared<RecordBitmap>(MakeRecordBitmap(n));
            startMemo(true);
            RecordView(input.order, ranges).ForEach([&](std::uint32_t rec) {
                if (passesNoting(rec)) {
                    SetBit(*pass, rec);
                    ++count;
                }
            });
            deliverMemo();
            picks = std::move(pass);
        }
        return RecordView(input.order, std::move(ranges), std::move(picks), count);
    }
    if (haveFoldedHits) {
        if (foldedHits.size() <= small) {
            Rows out;
            for (const std::uint32_t rec : foldedHits) {
                if (passes(rec)) {
                    out.push_back(rec);
                }
            }
            std::sort(out.begin(), out.end());
            return ListedInViewOrder(std::move(out), input);
        }
        RecordBitmap marks = MakeRecordBitmap(n);
        for (const std::uint32_t rec : foldedHits) {
            SetBit(marks, rec);
        }
        narrowTo(marks);
        bits = candidateBits();
    }

    // Many candidates: the remaining checks in record order (sequential memory), then
    // the matches read out of the order as rows are asked for.
    std::shared_ptr<const RecordBitmap> picks;
    std::size_t count = 0;
    if (checks.Empty() && bits != nullptr) {
        picks = haveOwned ? std::make_shared<const RecordBitmap>(std::move(owned)) : known;
        count = CountBits(*picks);
    } else {
        auto pass = std::make_shared<RecordBitmap>(MakeRecordBitmap(n));
        startMemo(false);
        const auto test = [&](std::uint32_t rec) {
            if (checkNoting(rec)) {
                SetBit(*pass, rec);
                ++count;
            }
        };
        if (bits != nullptr) {
            const std::size_t candidateCount = CountBits(*bits);
            LargeVector<std::uint32_t> candidates(candidateCount + kListSlack);
            ListSetBits(*bits, candidates.data());
            candidates.resize(candidateCount);
            // Candidates are scattered over the text: each check would wait for memory,
            // so the reads for the checks a little ahead are started first. What the
            // first contains search finds is noted in place, by candidate: the lists
            // become the memo as they are, failed candidates marked as such.
            const bool noting = memo && candidates.size() <= 2 * MemoCap(n);
            memo.reset();
            LargeVector<std::uint64_t> tails(noting ? candidates.size() : 0);
            LargeVector<std::uint8_t> infos(noting ? candidates.size() : 0);
            const auto checkRange = [&](std::size_t from, std::size_t to, EvalScratch& own) {
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
                    if (noting) {
                        const ContainsMatch match = MatchContains(checks.contains.front(), rec);
                        passed = match.found && checks.PassFrom(rec, 1, own);
                        if (passed) {
                            tails[i] = match.tail;
                            infos[i] = match.info | ContainsMemo::kKept;
                        }
                    } else {
                        passed = checks.Pass(rec, own);
                    }
                    if (passed) {
                        SetBit(*pass, rec);
                        ++found;
                    }
                }
                return found;
            };
            // Chunks of candidates that begin at a word of the bitmap, taken as they come
            // free: with many substring checks and nothing else (which a second thread
            // may run) by two threads, so that neither waits on the other when one of
            // them gets less of the processor.
            constexpr std::size_t kChunk = 8192;
            const std::size_t size = candidates.size();
            const auto chunkStart = [&](std::size_t chunk) {
                std::size_t i = std::min(size, chunk * kChunk);
                while (i > 0 && i < size && candidates[i] >> 6 == candidates[i - 1] >> 6) {
                    ++i;
                }
                return i;
            };
            std::atomic<std::size_t> nextChunk{0};
            const auto work = [&] {
                EvalScratch own; // each thread its own
                std::size_t found = 0;
                for (;;) {
                    const std::size_t chunk = nextChunk++;
                    const std::size_t from = chunkStart(chunk);
                    if (from >= size) {
                        return found;
                    }
                    found += checkRange(from, chunkStart(chunk + 1), own);
                }
            };
            std::future<std::size_t> helper;
            if (checks.terms.empty() && size >= kParallelChecks) {
                try {
                    helper = std::async(std::launch::async, work);
                } catch (const std::system_error&) {
                    // No second thread: this one takes every chunk.
                }
            }
            count += work();
            if (helper.valid()) {
                count += helper.get();
            }
            if (noting && count <= MemoCap(n)) {
                auto handed = std::make_shared<ContainsMemo>();
                const ContainsSearch& search = checks.contains.front();
                handed->field = search.field;
                handed->folded = search.folded;
                handed->accents = search.accents;
                handed->needle = std::string(search.needle);
                handed->records = std::move(candidates);
                handed->tails = std::move(tails);
                handed->info = std::move(infos);
                *input.memoOut = std::move(handed);
            }
        } else {
            for (std::uint32_t rec = 0; rec < n; ++rec) {
                test(rec);
            }
        }
        deliverMemo();
        picks = std::move(pass);
    }
    if (count <= kListedResult) {
        Rows records(count + kListSlack);
        ListSetBits(*picks, records.data());
        records.resize(count);
        return ListedInViewOrder(std::move(records), input);
    }
    return RecordView(input.order, {Range{0, static_cast<std::uint32_t>(order.size())}},
                      std::move(picks), count);
}

bool Narrows(const Node& newer, const Node& older)
{
    if (newer.Key() == older.Key()) {
        return true;
    }
    if (newer.Kind() != older.Kind()) {
        return false;
    }
    switch (newer.Kind()) {
    case NodeKind::And:
    case NodeKind::Or: {
        // Both are monotone: narrowing each term narrows the whole.
        const auto& a = static_cast<const LogicNode&>(newer).Terms();
        const auto& b = static_cast<const LogicNode&>(older).Terms();
        if (a.size() != b.size()) {
            return false;
        }
        for (size_t i = 0; i < a.size(); ++i) {
            if (!Narrows(*a[i], *b[i])) {
                return false;
            }
        }
        return true;
    }
    case NodeKind::Like: {
        // s LIKE A||B implies s LIKE A||'%': the older pattern minus its final '%' must
        // begin the newer one.
        const auto& a = static_cast<const LikeNode&>(newer);
        const auto& b = static_cast<const LikeNode&>(older);
        if (a.Negated() || b.Negated() || a.Literal() == nullptr || b.Literal() == nullptr ||
            a.Operand().Key() != b.Operand().Key()) {
            return false;
        }
        const std::string& oldPattern = b.Literal()->Text();
        const std::string& newPattern = a.Literal()->Text();
        if (oldPattern.empty() || oldPattern.back() != '%') {
            return false;
        }
        const std::string_view stem(oldPattern.data(), oldPattern.size() - 1);
        return std::string_view(newPattern).substr(0, stem.size()) == stem;
    }
    default:
        return false;
    }
}

} // namespace host::filter
