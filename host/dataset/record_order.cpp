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

// A record below the top level of a text sort: its chunk at this depth and the one after,
// read together, so that every second level sorts without going back to the text (each
// read there is a cache miss, as the records are in sorted, not stored, order).
struct Chunked {
    std::uint64_t key;
    std::uint64_t next;
    std::uint32_t rec;
    std::uint16_t tail;     // as Keyed::tail
    std::uint16_t nextTail; // the same for `next`
};

template <typename Item> bool ItemLess(const Item& a, const Item& b)
{
    if (a.key != b.key) {
        return a.key < b.key;
    }
    if (a.tail != b.tail) {
        return a.tail < b.tail;
    }
    return a.rec < b.rec;
}

// Stable LSD radix sort from `from` by tail and the key's low `bytes` bytes, with `to`
// as room for count items; returns which of the two holds the result. The items arrive
// in record order within equal keys (the level above sorted them stably, or they are in
// stored order), so the result is ordered by (key, tail, record) like ItemLess.
template <typename Item> Item* LsdRadixSort(Item* from, Item* to, size_t count, int bytes)
{
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
    pass([](const Item& k) { return static_cast<unsigned>(k.tail); });
    for (int shift = 0; shift < 8 * bytes; shift += 8) {
        pass([shift](const Item& k) { return static_cast<unsigned>((k.key >> shift) & 0xFF); });
    }
    return from;
}

constexpr size_t kComparisonItems = 1024; // below this a comparison sort is quicker
constexpr size_t kCachedItems = 1 << 14;  // these and their room fit in the L2 cache

// Stable MSD radix sort of the items at `from` by (key, tail), with `to` as room for as
// many, leaving the result at `home` (one of the two). Many items are spread by one byte
// of the key at a time until a part fits in cache; each part is then sorted by the bytes
// left there, rather than all items going through memory once for every byte.
template <typename Item> void MsdRadixSort(Item* from, Item* to, Item* home, size_t count, int byte)
{
    Item* sorted = from;
    if (count <= kComparisonItems) {
        std::sort(from, from + count, ItemLess<Item>);
    } else if (count <= kCachedItems || byte == 8) {
        sorted = LsdRadixSort(from, to, count, 8 - byte);
    } else {
        const int shift = 56 - 8 * byte;
        size_t starts[257] = {};
        for (size_t i = 0; i < count; ++i) {
            ++starts[((from[i].key >> shift) & 0xFF) + 1];
        }
        for (size_t b = 1; b < 257; ++b) {
            if (starts[b] - starts[b - 1] == count) {
                // One byte for all: on to the next, without moving them.
                MsdRadixSort(from, to, home, count, byte + 1);
                return;
            }
            starts[b] += starts[b - 1];
        }
        size_t next[256];
        std::copy(starts, starts + 256, next);
        for (size_t i = 0; i < count; ++i) {
            to[next[(from[i].key >> shift) & 0xFF]++] = from[i];
        }
        for (size_t b = 0; b < 256; ++b) {
            const size_t first = starts[b];
            const size_t n = starts[b + 1] - first;
            if (n == 1 && to + first != home + first) {
                home[first] = to[first];
            } else if (n > 1) {
                MsdRadixSort(to + first, from + first, home + first, n, byte + 1);
            }
        }
        return;
    }
    if (sorted != home) {
        std::copy(sorted, sorted + count, home);
    }
}

template <typename Item> void SortItems(Item* items, size_t count, std::vector<Item>& buffer)
{
    if (count > kComparisonItems) {
        buffer.resize(std::max(buffer.size(), count));
        MsdRadixSort(items, buffer.data(), items, count, 0);
    } else {
        std::sort(items, items + count, ItemLess<Item>);
    }
}

// Calls f(first, count) for every run of two or more items that share their chunk and go
// on past it.
template <typename Item, typename F> void ForEachRun(const Item* items, size_t count, F f)
{
    for (size_t i = 0; i < count;) {
        size_t j = i + 1;
        while (j < count && items[j].key == items[i].key && items[j].tail == items[i].tail) {
            ++j;
        }
        if (j - i > 1 && items[i].tail == 9) {
            f(i, j - i);
        }
        i = j;
    }
}

std::uint32_t TailOf(size_t size, size_t from)
{
    return static_cast<std::uint32_t>(std::min<size_t>(size - std::min(size, from), 9));
}

class TextSort {
public:
    TextSort(const Column& column, TextKey key)
        : m_column(column), m_key(key), m_offsets(column.Offsets()),
          m_bytes(column.TextBuffer().data()),
          m_wordsEnd(column.TextBuffer().size() < 8 ? 0 : column.TextBuffer().size() - 8),
          m_foldBytes(key.folded && FoldIsBytewise())
    {
    }

    // Sorts records by text, 8 bytes at a time: sort (chunk, length class, record), then
    // sort each run that shares the chunk and goes on by the next chunk. Stable, because
    // the record number breaks every tie. recs arrive in record order.
    void Sort(std::uint32_t* recs, size_t count) const;

private:
    struct Scratch {
        std::vector<Chunked> items;
        std::vector<Chunked> buffer;
        std::vector<std::pair<size_t, size_t>> runs;
        std::vector<std::uint32_t> positions;
        std::string folding;
    };

    std::string_view Text(std::uint32_t rec, size_t bytes, std::string& folding) const
    {
        return SortText(m_column, rec, m_key, bytes, folding);
    }
    std::uint64_t Chunk(std::string_view text, size_t from, const std::string& folding) const;
    void ReadChunks(Chunked& item, size_t depth, std::string& folding) const;
    void SortRun(std::uint32_t* recs, size_t count, Scratch& scratch) const;
    void SortChunked(Chunked* items, size_t count, size_t depth, bool nextRead,
                     Scratch& scratch) const;

    const Column& m_column;
    const TextKey m_key;
    const LargeVector<std::uint32_t>& m_offsets;
    const char* const m_bytes;
    const size_t m_wordsEnd; // a word can be read at every stored offset below this
    const bool m_foldBytes;
};

// ASCII letters a-z in the word's bytes upper-cased, as FoldByte does to each byte.
std::uint64_t UpperAsciiWord(std::uint64_t word)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const std::uint64_t low7 = word & ~kHigh;
    const std::uint64_t fromA = low7 + (0x80 - 'a') * kOnes;     // high bit: at least 'a'
    const std::uint64_t pastZ = low7 + (0x80 - 'z' - 1) * kOnes; // high bit: past 'z'
    const std::uint64_t lower = fromA & ~pastZ & ~word & kHigh;
    return word ^ (lower >> 2); // 0x80 >> 2 is the case bit, 0x20
}

// ChunkKey, reading the chunk as one word where its buffer allows: the stored text's,
// or the folded copy (which SortText leaves with room past the bytes asked for).
std::uint64_t TextSort::Chunk(std::string_view text, size_t from, const std::string& folding) const
{
    const size_t start = std::min(text.size(), from);
    const size_t n = std::min<size_t>(8, text.size() - start);
    const char* word = text.data() + start;
    const bool inFolding = text.data() == folding.data();
    const bool readable = inFolding ? start + 8 <= folding.size()
                                    : reinterpret_cast<std::uintptr_t>(word) -
                                              reinterpret_cast<std::uintptr_t>(m_bytes) <
                                          m_wordsEnd;
    if (std::endian::native != std::endian::little || !readable) {
        return ChunkKey(text, from, m_foldBytes);
    }
    std::uint64_t bytes = 0;
    std::memcpy(&bytes, word, 8);
    if (m_foldBytes) {
        bytes = UpperAsciiWord(bytes);
    }
    bytes = __builtin_bswap64(bytes);
    return n == 0 ? 0 : bytes & (~0ULL << (8 * (8 - n)));
}

void TextSort::ReadChunks(Chunked& item, size_t depth, std::string& folding) const
{
    // Two chunks and whether the text goes on past each: depth + 17 bytes.
    const std::string_view text = Text(item.rec, depth + 17, folding);
    item.key = Chunk(text, depth, folding);
    item.tail = static_cast<std::uint16_t>(TailOf(text.size(), depth));
    item.next = Chunk(text, depth + 8, folding);
    item.nextTail = static_cast<std::uint16_t>(TailOf(text.size(), depth + 8));
}

void TextSort::Sort(std::uint32_t* recs, size_t count) const
{
    // The top level reads the texts in stored order, one chunk each.
    std::vector<Keyed> top(count);
    {
        std::string folding;
        for (size_t i = 0; i < count; ++i) {
            if (i + 16 < count) {
                __builtin_prefetch(m_bytes + m_offsets[recs[i + 16]]);
            }
            const std::string_view text = Text(recs[i], 9, folding);
            top[i] = {Chunk(text, 0, folding), TailOf(text.size(), 0), recs[i]};
        }
        std::vector<Keyed> buffer;
        SortItems(top.data(), count, buffer);
    }
    std::vector<std::pair<size_t, size_t>> runs;
    ForEachRun(top.data(), count, [&](size_t first, size_t n) { runs.emplace_back(first, n); });
    for (size_t i = 0; i < count; ++i) {
        recs[i] = top[i].rec;
    }
    top = {};
    // The runs are sorted apart from each other: with many records, by two threads that
    // each take the next run as they come free.
    std::atomic<size_t> next{0};
    const auto sortRuns = [&](Scratch& scratch) {
        for (size_t r = next++; r < runs.size(); r = next++) {
            SortRun(recs + runs[r].first, runs[r].second, scratch);
        }
    };
    std::future<void> later;
    if (count >= kParallelRecords) {
        try {
            later = std::async(std::launch::async, [&] {
                Scratch helper;
                sortRuns(helper);
            });
        } catch (const std::system_error&) {
            // No second thread: this one sorts every run.
        }
    }
    Scratch own;
    sortRuns(own);
    if (later.valid()) {
        later.get();
    }
}

void TextSort::SortRun(std::uint32_t* recs, size_t count, Scratch& scratch) const
{
    scratch.items.resize(count);
    Chunked* items = scratch.items.data();
    for (size_t i = 0; i < count; ++i) {
        if (i + 32 < count) {
            __builtin_prefetch(&m_offsets[recs[i + 32]]);
        }
        if (i + 16 < count) {
            const char* text = m_bytes + m_offsets[recs[i + 16]];
            __builtin_prefetch(text + (m_key.accents ? 0 : 8));
            __builtin_prefetch(text + 24);
        }
        items[i].rec = recs[i];
        ReadChunks(items[i], 8, scratch.folding);
    }
    SortChunked(items, count, 8, true, scratch);
    for (size_t i = 0; i < count; ++i) {
        recs[i] = items[i].rec;
    }
}

// Sorts items by their chunk at depth; nextRead says whether `next` holds the chunk at
// depth + 8 (read with it) for the runs below.
void TextSort::SortChunked(Chunked* items, size_t count, size_t depth, bool nextRead,
                           Scratch& scratch) const
{
    SortItems(items, count, scratch.buffer);
    // The runs of this call sit on top of the callers' in scratch.runs.
    const size_t base = scratch.runs.size();
    ForEachRun(items, count, [&](size_t first, size_t n) { scratch.runs.emplace_back(first, n); });
    const size_t end = scratch.runs.size();
    if (nextRead) {
        for (size_t r = base; r < end; ++r) {
            Chunked* run = items + scratch.runs[r].first;
            for (size_t i = 0; i < scratch.runs[r].second; ++i) {
                run[i].key = run[i].next;
                run[i].tail = run[i].nextTail;
            }
        }
    } else {
        // Runs this deep are mostly short: the reads ahead are started across them.
        std::vector<std::uint32_t>& at = scratch.positions;
        at.clear();
        for (size_t r = base; r < end; ++r) {
            for (size_t i = 0; i < scratch.runs[r].second; ++i) {
                at.push_back(static_cast<std::uint32_t>(scratch.runs[r].first + i));
            }
        }
        for (size_t i = 0; i < at.size(); ++i) {
            if (i + 32 < at.size()) {
                __builtin_prefetch(&m_offsets[items[at[i + 32]].rec]);
            }
            if (i + 16 < at.size()) {
                const char* text = m_bytes + m_offsets[items[at[i + 16]].rec];
                __builtin_prefetch(text + (m_key.accents ? 0 : depth + 8));
                __builtin_prefetch(text + depth + 24);
            }
            ReadChunks(items[at[i]], depth + 8, scratch.folding);
        }
    }
    for (size_t r = base; r < end; ++r) {
        const auto [first, n] = scratch.runs[r];
        SortChunked(items + first, n, depth + 8, !nextRead, scratch);
    }
    scratch.runs.resize(base);
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
        TextSort(lead, TextKeyOf(lead, fields[0])).Sort(order.data() + nulls, n - nulls);
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
        std::sort(keyed.begin(), keyed.end(), ItemLess<Keyed>);
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
