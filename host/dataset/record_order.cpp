#include "host/dataset/record_order.h"

#include "host/dataset/text_fold.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <future>
#include <system_error>

namespace host {

namespace {

int CompareField(const Column& column, const SortField& key, std::uint32_t a, std::uint32_t b)
{
    const bool nullA = column.IsNull(a);
    const bool nullB = column.IsNull(b);
    if (nullA || nullB) {
        return nullA == nullB ? 0 : (nullA ? -1 : 1); // NULLs first, either direction
    }
    int c = 0;
    switch (column.Type()) {
    case FieldType::Text: {
        std::string_view x = column.Text(a);
        std::string_view y = column.Text(b);
        if (key.ignoreAccents) {
            // Kept between calls: sorts compare millions of pairs.
            thread_local std::string scratchA;
            thread_local std::string scratchB;
            x = column.SearchText(a, true, scratchA);
            y = column.SearchText(b, true, scratchB);
        }
        const int r = key.caseInsensitive && !column.FoldsToItself(key.ignoreAccents)
                          ? CompareFolded(x, y)
                          : x.compare(y);
        c = r < 0 ? -1 : (r > 0 ? 1 : 0);
        break;
    }
    case FieldType::Float: {
        const double x = column.Float(a);
        const double y = column.Float(b);
        c = x < y ? -1 : (y < x ? 1 : 0);
        break;
    }
    case FieldType::Integer:
    case FieldType::Boolean:
    case FieldType::Date: {
        const std::int64_t x = column.Int(a);
        const std::int64_t y = column.Int(b);
        c = x < y ? -1 : (y < x ? 1 : 0);
        break;
    }
    }
    return key.descending ? -c : c;
}

// Up to 8 bytes of text from `from` on, folded when asked, as a big-endian number: the
// numbers order like the bytes they hold.
std::uint64_t ChunkKey(std::string_view text, size_t from, bool folded)
{
    unsigned char bytes[8] = {};
    const size_t start = std::min(text.size(), from);
    const size_t n = std::min<size_t>(8, text.size() - start);
    std::memcpy(bytes, text.data() + start, n);
    std::uint64_t k = 0;
    for (const unsigned char b : bytes) {
        k = (k << 8) | (folded ? static_cast<unsigned char>(FoldByte(static_cast<char>(b))) : b);
    }
    return k;
}

// How the sort reads a text column: upper-cased (folded) or not, accents set aside or not.
struct TextKey {
    bool folded = false;
    bool accents = false; // accents set aside, and the column has some to set aside
};

TextKey TextKeyOf(const Column& column, const SortField& key)
{
    const bool accents = key.ignoreAccents && column.HasFoldableAccents();
    return {key.caseInsensitive && !column.FoldsToItself(key.ignoreAccents), accents};
}

// A text value as the sort reads it, for its bytes up to `bytes`: accents set aside on
// the fly (only as far as needed), case folded on the fly for a case-insensitive key.
// With a fold that is not byte for byte the folded form is written to scratch first.
std::string_view SortText(const Column& column, std::uint32_t rec, TextKey key, std::size_t bytes,
                          std::string& scratch)
{
    std::string_view text = column.Text(rec);
    if (key.accents) {
        text = AccentFoldedHead(text, bytes, scratch);
    }
    if (!key.folded || FoldIsBytewise()) {
        return text;
    }
    std::string folded;
    FoldText(text, folded);
    scratch = std::move(folded);
    return scratch;
}

// An unsigned 64-bit key whose order agrees with the first field's order: ties may
// hide differences (text longer than 8 bytes) but a smaller key is a smaller value.
std::uint64_t LeadingKey(const Column& column, const SortField& key, std::uint32_t rec)
{
    std::uint64_t k = 0;
    switch (column.Type()) {
    case FieldType::Text: {
        std::string scratch;
        const TextKey text = TextKeyOf(column, key);
        k = ChunkKey(SortText(column, rec, text, 8, scratch), 0, text.folded && FoldIsBytewise());
        break;
    }
    case FieldType::Float: {
        const double d = column.Float(rec) == 0.0 ? 0.0 : column.Float(rec); // -0 == +0
        const auto bits = std::bit_cast<std::uint64_t>(d);
        k = (bits & 0x8000000000000000ULL) ? ~bits : (bits | 0x8000000000000000ULL);
        break;
    }
    case FieldType::Integer:
    case FieldType::Boolean:
    case FieldType::Date:
        k = static_cast<std::uint64_t>(column.Int(rec)) ^ 0x8000000000000000ULL;
        break;
    }
    return key.descending ? ~k : k;
}

} // namespace

namespace {

// From this many records up, the levels below the first of a text sort run on two
// threads.
constexpr size_t kParallelRecords = 1 << 18;

struct Keyed {
    std::uint64_t key;
    std::uint32_t tail; // text: 0..8 bytes left in this chunk, 9 = continues
    std::uint32_t rec;
};
using KeyedScratch = std::vector<Keyed>;

bool KeyedLess(const Keyed& a, const Keyed& b)
{
    if (a.key != b.key) {
        return a.key < b.key;
    }
    if (a.tail != b.tail) {
        return a.tail < b.tail;
    }
    return a.rec < b.rec;
}

// Stable LSD radix sort by (key, tail) for large arrays; the input is in record order
// within equal keys, so the result is ordered by (key, tail, record) like KeyedLess.
void RadixSort(std::vector<Keyed>& items, size_t count, std::vector<Keyed>& buffer)
{
    buffer.resize(std::max(buffer.size(), count));
    Keyed* from = items.data();
    Keyed* to = buffer.data();
    const auto pass = [&](auto digit) {
        size_t counts[256] = {};
        for (size_t i = 0; i < count; ++i) {
            ++counts[digit(from[i])];
        }
        for (const size_t c : counts) {
            if (c == count) {
                return; // every item has the same digit: nothing to do
            }
        }
        size_t start = 0;
        for (size_t& c : counts) {
            const size_t here = c;
            c = start;
            start += here;
        }
        for (size_t i = 0; i < count; ++i) {
            to[counts[digit(from[i])]++] = from[i];
        }
        std::swap(from, to);
    };
    pass([](const Keyed& k) { return static_cast<unsigned>(k.tail); });
    for (int shift = 0; shift < 64; shift += 8) {
        pass([shift](const Keyed& k) { return static_cast<unsigned>((k.key >> shift) & 0xFF); });
    }
    if (from != items.data()) {
        std::copy(from, from + count, items.data());
    }
}

// Sorts records by text, 8 bytes at a time: sort (chunk, length class, record), then
// sort each run that shares the chunk and goes on by the next chunk. Stable, because
// the record number breaks every tie.
void SortTextRun(const Column& column, TextKey key, std::uint32_t* recs, size_t count, size_t depth,
                 std::vector<Keyed>& scratch, std::vector<Keyed>& buffer)
{
    scratch.resize(count);
    const LargeVector<std::uint32_t>& offsets = column.Offsets();
    const char* bytes = column.TextBuffer().data();
    const bool foldBytes = key.folded && FoldIsBytewise();
    std::string folding;
    for (size_t i = 0; i < count; ++i) {
        // Below the top level the records are in sorted, not stored, order: each read
        // lands somewhere else in the text, so the reads ahead are started early.
        if (i + 32 < count) {
            __builtin_prefetch(&offsets[recs[i + 32]]);
        }
        if (i + 16 < count) {
            // Folding accents reads a text from its start.
            const char* text = bytes + offsets[recs[i + 16]];
            __builtin_prefetch(text + (key.accents ? 0 : depth));
            if (key.accents && depth != 0) {
                __builtin_prefetch(text + depth + 8);
            }
        }
        // The chunk and whether the text goes on past it: depth + 9 bytes.
        const std::string_view text = SortText(column, recs[i], key, depth + 9, folding);
        const size_t from = std::min(text.size(), depth);
        const size_t left = text.size() - from;
        scratch[i] = {ChunkKey(text, depth, foldBytes),
                      static_cast<std::uint32_t>(std::min<size_t>(left, 9)), recs[i]};
    }
    // recs arrive in record order within each tie, which the radix sort keeps; below a
    // thousand or so records a comparison sort is quicker.
    if (count > 1024 && std::is_sorted(recs, recs + count)) {
        RadixSort(scratch, count, buffer);
    } else {
        std::sort(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(count), KeyedLess);
    }
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t i = 0; i < count;) {
        size_t j = i + 1;
        while (j < count && scratch[j].key == scratch[i].key &&
               scratch[j].tail == scratch[i].tail) {
            ++j;
        }
        if (j - i > 1 && scratch[i].tail == 9) {
            runs.emplace_back(i, j - i);
        }
        i = j;
    }
    for (size_t i = 0; i < count; ++i) {
        recs[i] = scratch[i].rec;
    }
    // The runs are sorted apart from each other: at the top, with many records, by two
    // threads that each take the next run as they come free.
    std::atomic<size_t> next{0};
    const auto sortRuns = [&](KeyedScratch& ownScratch, KeyedScratch& ownBuffer) {
        for (size_t r = next++; r < runs.size(); r = next++) {
            SortTextRun(column, key, recs + runs[r].first, runs[r].second, depth + 8, ownScratch,
                        ownBuffer);
        }
    };
    std::future<void> later;
    if (depth == 0 && count >= kParallelRecords) {
        try {
            later = std::async(std::launch::async, [&] {
                KeyedScratch helperScratch;
                KeyedScratch helperBuffer;
                sortRuns(helperScratch, helperBuffer);
            });
        } catch (const std::system_error&) {
            // No second thread: this one sorts every run.
        }
    }
    sortRuns(scratch, buffer);
    if (later.valid()) {
        later.get();
    }
}

} // namespace

std::vector<std::uint32_t> SortRecords(const Table& table, const std::vector<SortField>& fields)
{
    const std::uint32_t n = table.RecordCount();
    std::vector<std::uint32_t> order(n);
    if (fields.empty()) {
        for (std::uint32_t i = 0; i < n; ++i) {
            order[i] = i;
        }
        return order;
    }
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        for (const SortField& f : fields) {
            const int c = CompareField(table.Col(f.field), f, a, b);
            if (c != 0) {
                return c < 0;
            }
        }
        return false;
    };
    const Column& lead = table.Col(fields[0].field);

    // NULLs of the first field come first, in record order.
    size_t nulls = 0;
    for (std::uint32_t rec = 0; rec < n; ++rec) {
        if (lead.IsNull(rec)) {
            order[nulls++] = rec;
        }
    }
    size_t out = nulls;
    if (lead.Type() == FieldType::Text && !fields[0].descending) {
        for (std::uint32_t rec = 0; rec < n; ++rec) {
            if (!lead.IsNull(rec)) {
                order[out++] = rec;
            }
        }
        std::vector<Keyed> scratch;
        std::vector<Keyed> buffer;
        SortTextRun(lead, TextKeyOf(lead, fields[0]), order.data() + nulls, n - nulls, 0, scratch,
                    buffer);
    } else {
        // Numbers and dates: one sort of (order-preserving 64-bit key, record).
        std::vector<Keyed> keyed;
        keyed.reserve(n - nulls);
        for (std::uint32_t rec = 0; rec < n; ++rec) {
            if (!lead.IsNull(rec)) {
                keyed.push_back({LeadingKey(lead, fields[0], rec), 0, rec});
            }
        }
        // (For descending text the leading key only narrows; runs are settled below.)
        std::sort(keyed.begin(), keyed.end(), KeyedLess);
        for (const Keyed& k : keyed) {
            order[out++] = k.rec;
        }
    }
    // Records equal on the first field (or on its leading key, for descending text)
    // are settled by the full comparison; they are in record order, so this is stable.
    const bool exactLead = !(lead.Type() == FieldType::Text && fields[0].descending);
    if (fields.size() > 1 || !exactLead) {
        std::stable_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(nulls), less);
        const SortField& first = fields[0];
        size_t i = nulls;
        while (i < n) {
            size_t j = i + 1;
            const bool byKey = !exactLead;
            while (j < n &&
                   (byKey ? LeadingKey(lead, first, order[j]) == LeadingKey(lead, first, order[i])
                          : CompareField(lead, first, order[i], order[j]) == 0)) {
                ++j;
            }
            if (j - i > 1) {
                std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(i),
                                 order.begin() + static_cast<std::ptrdiff_t>(j), less);
            }
            i = j;
        }
    }
    return order;
}

bool RecordLess(const Table& table, const std::vector<SortField>& fields, std::uint32_t a,
                std::uint32_t b)
{
    for (const SortField& f : fields) {
        const int c = CompareField(table.Col(f.field), f, a, b);
        if (c != 0) {
            return c < 0;
        }
    }
    return a < b;
}

void SortIntoOrder(const Table& table, const std::vector<SortField>& fields,
                   std::vector<std::uint32_t>& records)
{
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        return RecordLess(table, fields, a, b);
    };
    const Column* lead = fields.empty() ? nullptr : &table.Col(fields[0].field);
    if (lead == nullptr || lead->Type() != FieldType::Text || !fields[0].ignoreAccents ||
        !lead->HasFoldableAccents()) {
        std::sort(records.begin(), records.end(), less);
        return;
    }
    struct Item {
        std::string text; // the search text, folded once
        bool null = false;
        std::uint32_t rec = 0;
    };
    const SortField& key = fields[0];
    const bool folded = key.caseInsensitive && !lead->FoldsToItself(true);
    std::vector<Item> items(records.size());
    std::string scratch;
    for (std::size_t i = 0; i < records.size(); ++i) {
        items[i].rec = records[i];
        items[i].null = lead->IsNull(records[i]);
        if (!items[i].null) {
            items[i].text.assign(lead->SearchText(records[i], true, scratch));
        }
    }
    const std::vector<SortField> rest(fields.begin() + 1, fields.end());
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.null || b.null) {
            if (a.null != b.null) {
                return a.null; // NULLs first, either direction
            }
        } else {
            int c = folded ? CompareFolded(a.text, b.text) : a.text.compare(b.text);
            c = key.descending ? -c : c;
            if (c != 0) {
                return c < 0;
            }
        }
        return RecordLess(table, rest, a.rec, b.rec);
    });
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i] = items[i].rec;
    }
}

} // namespace host
