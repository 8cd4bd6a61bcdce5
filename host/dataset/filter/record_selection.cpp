#include "host/dataset/filter/record_selection.h"

#include "host/dataset/filter/substring_search.h"
#include "host/dataset/table.h"
#include "host/dataset/text_form.h"

#include <algorithm>
#include <cstring>

namespace host::filter {

namespace {

using Bitmap = std::vector<std::uint64_t>;

Bitmap MakeBitmap(std::uint32_t n)
{
    return Bitmap((n + 63) / 64, 0);
}

void Set(Bitmap& bits, std::uint32_t rec)
{
    bits[rec >> 6] |= std::uint64_t{1} << (rec & 63);
}

bool Get(const Bitmap& bits, std::uint32_t rec)
{
    return (bits[rec >> 6] >> (rec & 63)) & 1U;
}

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

// A conjunct "UPPER(text field) LIKE 'lit...'" or "text field LIKE 'lit...'": every
// match has the upper-cased literal as the prefix of its upper-cased text.
struct PrefixSearch {
    int field = -1;
    std::string foldedPrefix;
};

// A text field, as stored or upper-cased; nullptr for anything else.
const ColumnNode* AsTextColumn(const Node& node)
{
    if (node.Kind() == NodeKind::FoldedField ||
        (node.Kind() == NodeKind::Field && node.Type() == StaticType::Text)) {
        return static_cast<const ColumnNode*>(&node);
    }
    return nullptr;
}

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
    out.field = operand->FieldIndex();
    const std::string_view prefix = like.Literal()->LiteralPrefix();
    out.foldedPrefix.resize(prefix.size());
    std::transform(prefix.begin(), prefix.end(), out.foldedPrefix.begin(), AsciiUpper);
    return true;
}

// A conjunct "<text field or its upper-cased form> LIKE '%literal%'": a scan of the
// column's buffer finds its matches.
struct ContainsSearch {
    const Column* column = nullptr;
    bool folded = false;
    std::string_view needle;
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
    out.column = &operand->GetColumn();
    out.folded = operand->Kind() == NodeKind::FoldedField;
    out.needle = like.Literal()->Segment();
    return !out.needle.empty();
}

// Whether one record's text holds the needle: the same answer as ScanContains gives
// for that record.
bool Contains(const ContainsSearch& search, std::uint32_t rec)
{
    if (search.column->IsNull(rec)) {
        return false;
    }
    const std::string_view text =
        search.folded ? search.column->FoldedText(rec) : search.column->Text(rec);
    return text.find(search.needle) != std::string_view::npos;
}

// Marks the records whose text holds the needle: one pass of memmem over the column's
// whole buffer, skipping to the next record after each hit.
Bitmap ScanContains(const ContainsSearch& search)
{
    const Column& column = *search.column;
    const std::uint32_t n = column.Count();
    Bitmap hits = MakeBitmap(n);
    const std::string& buffer = search.folded ? column.FoldedBuffer() : column.TextBuffer();
    const std::vector<std::uint32_t>& offsets = column.Offsets();
    const char* base = buffer.data();
    size_t at = 0;
    std::uint32_t rec = 0;
    while (at < buffer.size()) {
        const char* hit = FindSubstring(base + at, buffer.size() - at, search.needle);
        if (hit == nullptr) {
            break;
        }
        const auto pos = static_cast<std::uint32_t>(hit - base);
        // The record holding pos: the last whose start is <= pos (skip empty records).
        while (offsets[rec + 1] <= pos) {
            ++rec; // hits come in increasing order: walk forward
        }
        const std::uint32_t end = offsets[rec + 1];
        if (pos + search.needle.size() <= end) {
            if (!column.IsNull(rec)) {
                Set(hits, rec);
            }
            at = end;
        } else {
            at = pos + 1; // the hit straddles two records
        }
    }
    return hits;
}

// The records of `candidates` put into view order.
std::vector<std::uint32_t> InViewOrder(std::vector<std::uint32_t> candidates,
                                       const SelectionInput& input)
{
    if (input.order == nullptr) {
        std::sort(candidates.begin(), candidates.end());
        return candidates;
    }
    const std::uint32_t n = input.table->RecordCount();
    if (candidates.size() > n / 16) {
        Bitmap marks = MakeBitmap(n);
        for (const std::uint32_t rec : candidates) {
            Set(marks, rec);
        }
        std::vector<std::uint32_t> out;
        out.reserve(candidates.size());
        for (const std::uint32_t rec : *input.order) {
            if (Get(marks, rec)) {
                out.push_back(rec);
            }
        }
        return out;
    }
    std::vector<std::uint64_t> keyed(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i) {
        keyed[i] = (std::uint64_t{(*input.rank)[candidates[i]]} << 32) | candidates[i];
    }
    std::sort(keyed.begin(), keyed.end());
    for (size_t i = 0; i < keyed.size(); ++i) {
        candidates[i] = static_cast<std::uint32_t>(keyed[i]);
    }
    return candidates;
}

bool AllTrue(const std::vector<const Node*>& terms, std::uint32_t rec)
{
    for (const Node* term : terms) {
        if (term->Test(rec) != Tri::True) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<std::uint32_t> SelectPlain(const SelectionInput& input)
{
    std::vector<std::uint32_t> out;
    const Node& root = *input.root;
    if (input.order != nullptr) {
        for (const std::uint32_t rec : *input.order) {
            if (root.Test(rec) == Tri::True) {
                out.push_back(rec);
            }
        }
    } else {
        const std::uint32_t n = input.table->RecordCount();
        for (std::uint32_t rec = 0; rec < n; ++rec) {
            if (root.Test(rec) == Tri::True) {
                out.push_back(rec);
            }
        }
    }
    return out;
}

std::vector<std::uint32_t> SelectFast(const SelectionInput& input)
{
    const Node& root = *input.root;
    const Table& table = *input.table;
    const std::uint32_t n = table.RecordCount();
    const size_t small = std::max<size_t>(n / 64, 256);
    std::vector<const Node*> conjuncts;
    CollectConjuncts(root, conjuncts);

    // 1. An upper-cased prefix search: its matches lie in one range of the folded order.
    // When the pattern is the prefix and '%' on UPPER(field), the range is exactly the
    // matches and that term needs no evaluation.
    const std::vector<std::uint32_t>* rangeOrder = nullptr;
    size_t rangeBegin = 0;
    size_t rangeEnd = 0;
    const Node* rangeTerm = nullptr;
    bool rangeExact = false;
    if (input.foldedOrder) {
        for (const Node* term : conjuncts) {
            PrefixSearch search;
            if (!AsPrefixSearch(*term, search)) {
                continue;
            }
            const std::vector<std::uint32_t>& folded = input.foldedOrder(search.field);
            const Column& column = table.Col(search.field);
            const std::string_view prefix = search.foldedPrefix;
            const auto head = [&](std::uint32_t rec) {
                return column.FoldedText(rec).substr(0, prefix.size());
            };
            const auto lo =
                std::partition_point(folded.begin(), folded.end(),
                                     [&](std::uint32_t rec) { return head(rec) < prefix; });
            const auto hi = std::partition_point(
                lo, folded.end(), [&](std::uint32_t rec) { return head(rec) == prefix; });
            const auto size = static_cast<size_t>(hi - lo);
            if (rangeOrder == nullptr || size < rangeEnd - rangeBegin) {
                const auto& like = static_cast<const LikeNode&>(*term);
                rangeOrder = &folded;
                rangeBegin = static_cast<size_t>(lo - folded.begin());
                rangeEnd = static_cast<size_t>(hi - folded.begin());
                rangeTerm = term;
                // Exact only when the literal is its own upper-cased form: an
                // upper-cased text never begins with a lower-case letter.
                rangeExact = like.Operand().Kind() == NodeKind::FoldedField &&
                             like.Literal()->LiteralPrefix() == prefix &&
                             like.Literal()->Text().size() == prefix.size() + 1 &&
                             like.Literal()->Text().back() == '%';
            }
        }
    }
    std::vector<const Node*> rest;
    for (const Node* term : conjuncts) {
        if (!(rangeExact && term == rangeTerm)) {
            rest.push_back(term);
        }
    }
    const size_t rangeSize = rangeOrder != nullptr ? rangeEnd - rangeBegin : SIZE_MAX;
    const size_t baseSize = input.narrowBase != nullptr ? input.narrowBase->size() : SIZE_MAX;

    // 2. Few candidates: test them one by one.
    if (rangeSize <= small && rangeSize <= baseSize) {
        std::vector<std::uint32_t> survivors;
        for (size_t i = rangeBegin; i < rangeEnd; ++i) {
            const std::uint32_t rec = (*rangeOrder)[i];
            if (AllTrue(rest, rec)) {
                survivors.push_back(rec);
            }
        }
        return InViewOrder(std::move(survivors), input);
    }
    // A contains search otherwise scans the whole column. Testing the records of the
    // previous view one by one is cheaper only while that view is a small fraction of
    // the records: the view is in index order, so each test jumps to another place in
    // the text, while the scan reads it in order.
    const bool containsTerm = std::any_of(rest.begin(), rest.end(), [](const Node* term) {
        ContainsSearch search;
        return AsContainsSearch(*term, search);
    });
    if (baseSize <= small || (containsTerm && baseSize <= n / 32 && baseSize <= rangeSize)) {
        // Contains terms are a substring search on the record's text, far cheaper than
        // the general pattern match; the other terms are evaluated.
        std::vector<ContainsSearch> searches;
        std::vector<const Node*> others;
        for (const Node* term : conjuncts) {
            ContainsSearch search;
            if (AsContainsSearch(*term, search)) {
                searches.push_back(search);
            } else {
                others.push_back(term);
            }
        }
        std::vector<std::uint32_t> out; // the previous view is in view order already
        for (const std::uint32_t rec : *input.narrowBase) {
            const bool holds =
                std::all_of(searches.begin(), searches.end(),
                            [rec](const ContainsSearch& s) { return Contains(s, rec); });
            if (holds && AllTrue(others, rec)) {
                out.push_back(rec);
            }
        }
        return out;
    }

    // 3. Many candidates: mark them in a bitmap (range, contains scan, previous view),
    // test the remaining terms in record order (sequential memory), then read the
    // result out in view order.
    Bitmap candidates;
    bool haveCandidates = false;
    const auto intersect = [&](Bitmap bits) {
        if (!haveCandidates) {
            candidates = std::move(bits);
            haveCandidates = true;
            return;
        }
        for (size_t w = 0; w < candidates.size(); ++w) {
            candidates[w] &= bits[w];
        }
    };
    if (rangeOrder != nullptr) {
        Bitmap bits = MakeBitmap(n);
        for (size_t i = rangeBegin; i < rangeEnd; ++i) {
            Set(bits, (*rangeOrder)[i]);
        }
        intersect(std::move(bits));
    }
    if (input.narrowBase != nullptr) {
        Bitmap bits = MakeBitmap(n);
        for (const std::uint32_t rec : *input.narrowBase) {
            Set(bits, rec);
        }
        intersect(std::move(bits));
    }
    for (auto it = rest.begin(); it != rest.end(); ++it) {
        ContainsSearch search;
        if (AsContainsSearch(**it, search)) {
            intersect(ScanContains(search)); // exactly that term's matches
            rest.erase(it);
            break;
        }
    }
    Bitmap pass = MakeBitmap(n);
    std::vector<std::uint32_t> inRecordOrder;
    const bool direct = input.order == nullptr;
    // With no term left to test, the candidates are exactly the matches.
    const bool candidatesPass = rest.empty() && haveCandidates && !direct;
    if (candidatesPass) {
        pass = std::move(candidates);
    }
    for (std::uint32_t w = 0; !candidatesPass && w < (n + 63) / 64; ++w) {
        std::uint64_t word = haveCandidates ? candidates[w] : ~std::uint64_t{0};
        while (word != 0) {
            const auto bit = static_cast<std::uint32_t>(__builtin_ctzll(word));
            word &= word - 1;
            const std::uint32_t rec = w * 64 + bit;
            if (rec >= n) {
                break;
            }
            if (AllTrue(rest, rec)) {
                if (direct) {
                    inRecordOrder.push_back(rec);
                } else {
                    Set(pass, rec);
                }
            }
        }
    }
    if (direct) {
        return inRecordOrder;
    }
    size_t passing = 0;
    for (const std::uint64_t word : pass) {
        passing += static_cast<size_t>(__builtin_popcountll(word));
    }
    std::vector<std::uint32_t> out;
    out.reserve(passing);
    const std::vector<std::uint32_t>& walk =
        input.narrowBase != nullptr ? *input.narrowBase : *input.order;
    for (const std::uint32_t rec : walk) {
        if (Get(pass, rec)) {
            out.push_back(rec);
        }
    }
    return out;
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
