#include "host/storage/text_sort.h"

#include "host/storage/column.h"
#include "host/storage/large_array.h"
#include "host/text/accent_fold.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <future>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace host {

namespace {

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

// A text value as the sort reads it, for its bytes up to `bytes`: accents set aside on
// the fly (only as far as needed; into scratch), case folded byte by byte where the key
// is read (ChunkKey) for a case-insensitive key.
std::string_view SortText(std::string_view text, TextKey key, std::size_t bytes,
                          std::string& scratch)
{
    if (key.accents) {
        text = AccentFoldedHead(text, bytes, scratch);
    }
    return text;
}

// From this many records up, the levels below the first of a text sort run on two
// threads.
constexpr size_t kParallelRecords = 1 << 18;

struct Keyed {
    std::uint64_t key;
    std::uint32_t tail; // text: 0..8 bytes left in this chunk, 9 = continues
    std::uint32_t rec;
};
static_assert(2 * sizeof(Keyed) == kTextSortBytesPerRecord);

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

template <typename Item, typename Buffer> void SortItems(Item* items, size_t count, Buffer& buffer)
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
          m_foldBytes(key.folded)
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
        return SortText(m_column.Text(rec), m_key, bytes, folding);
    }
    std::uint64_t Chunk(std::string_view text, size_t from, const std::string& folding) const;
    void ReadChunks(Chunked& item, size_t depth, std::string& folding) const;
    template <typename At>
    void ReadAll(Chunked* items, size_t count, At at, size_t depth, std::string& folding) const;
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
        bytes = FoldWord(bytes);
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
    // The top level reads the texts in stored order, one chunk each. Its two arrays are
    // large ones: freed at the end, they are what work that follows may take again.
    TransientVector<Keyed> top(count);
    {
        std::string folding;
        for (size_t i = 0; i < count; ++i) {
            if (i + 16 < count) {
                __builtin_prefetch(m_bytes + m_offsets[recs[i + 16]]);
            }
            const std::string_view text = Text(recs[i], 9, folding);
            top[i] = {Chunk(text, 0, folding), TailOf(text.size(), 0), recs[i]};
        }
        TransientVector<Keyed> buffer;
        SortItems(top.data(), count, buffer);
    }
    std::vector<std::pair<size_t, size_t>> runs;
    ForEachRun(top.data(), count, [&](size_t first, size_t n) { runs.emplace_back(first, n); });
    for (size_t i = 0; i < count; ++i) {
        recs[i] = top[i].rec;
    }
    TransientVector<Keyed>().swap(top); // given back before the runs are sorted (= {} keeps it)
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

// Reads the chunks at depth of items[at(0)], items[at(1)] and so on. The records are in
// sorted, not stored, order, so each read lands somewhere else in the text: the reads
// are started well ahead.
template <typename At>
void TextSort::ReadAll(Chunked* items, size_t count, At at, size_t depth,
                       std::string& folding) const
{
    for (size_t i = 0; i < count; ++i) {
        if (i + 32 < count) {
            __builtin_prefetch(&m_offsets[items[at(i + 32)].rec]);
        }
        if (i + 16 < count) {
            const char* text = m_bytes + m_offsets[items[at(i + 16)].rec];
            // Folding accents reads a text from its start.
            __builtin_prefetch(text + (m_key.accents ? 0 : depth));
            __builtin_prefetch(text + depth + 16);
        }
        ReadChunks(items[at(i)], depth, folding);
    }
}

void TextSort::SortRun(std::uint32_t* recs, size_t count, Scratch& scratch) const
{
    scratch.items.resize(count);
    Chunked* items = scratch.items.data();
    for (size_t i = 0; i < count; ++i) {
        items[i].rec = recs[i];
    }
    ReadAll(
        items, count, [](size_t i) { return i; }, 8, scratch.folding);
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
        ReadAll(
            items, at.size(), [&](size_t i) { return at[i]; }, depth + 8, scratch.folding);
    }
    for (size_t r = base; r < end; ++r) {
        const auto [first, n] = scratch.runs[r];
        SortChunked(items + first, n, depth + 8, !nextRead, scratch);
    }
    scratch.runs.resize(base);
}

} // namespace

void SortTextRecords(const Column& column, TextKey key, std::uint32_t* recs, std::size_t count)
{
    TextSort(column, key).Sort(recs, count);
}

std::uint64_t LeadingTextChunk(std::string_view text, TextKey key)
{
    std::string scratch;
    return ChunkKey(SortText(text, key, 8, scratch), 0, key.folded);
}

} // namespace host
