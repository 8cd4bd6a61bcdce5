#include "host/filter/word_index.h"

#include "host/storage/column.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <numeric>
#include <system_error>

namespace host::filter {

namespace {

// The distinct words met so far, by an open-addressing hash of their bytes.
class WordTable {
public:
    WordTable() : m_slots(1024, kEmpty) {}

    std::uint32_t Id(std::string_view word)
    {
        const std::uint64_t hash = Hash(word);
        std::size_t slot = hash & (m_slots.size() - 1);
        for (;;) {
            const std::uint32_t id = m_slots[slot];
            if (id == kEmpty) {
                break;
            }
            if (m_hashes[id] == hash && Word(id) == word) {
                return id;
            }
            slot = (slot + 1) & (m_slots.size() - 1);
        }
        const auto id = static_cast<std::uint32_t>(m_starts.size() - 1);
        m_chars.append(word);
        m_starts.push_back(static_cast<std::uint32_t>(m_chars.size()));
        m_hashes.push_back(hash);
        m_slots[slot] = id;
        if (2 * m_hashes.size() > m_slots.size()) {
            Grow();
        }
        return id;
    }
    std::uint32_t Count() const { return static_cast<std::uint32_t>(m_hashes.size()); }
    std::string_view Word(std::uint32_t id) const
    {
        return std::string_view(m_chars).substr(m_starts[id], m_starts[id + 1] - m_starts[id]);
    }

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFU;
    static std::uint64_t Hash(std::string_view word)
    {
        std::uint64_t hash = 0xCBF29CE484222325ULL;
        for (const char c : word) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
        }
        return hash ^ (hash >> 29);
    }
    void Grow()
    {
        std::vector<std::uint32_t> grown(m_slots.size() * 2, kEmpty);
        for (std::uint32_t id = 0; id < Count(); ++id) {
            std::size_t slot = m_hashes[id] & (grown.size() - 1);
            while (grown[slot] != kEmpty) {
                slot = (slot + 1) & (grown.size() - 1);
            }
            grown[slot] = id;
        }
        m_slots = std::move(grown);
    }

    std::vector<std::uint32_t> m_slots;
    std::vector<std::uint64_t> m_hashes;
    std::string m_chars;
    std::vector<std::uint32_t> m_starts{0};
};

// An upper bound of the distinct words of records [from, to): a record has at most one
// more than its spaces (folding makes no space), and counting spaces runs at memory
// speed. Reserved up front, the ids are never copied to grow; memory reserved but never
// written costs nothing.
std::size_t WordBound(const Column& column, std::uint32_t from, std::uint32_t to)
{
    const char* const text = column.TextBuffer().data();
    const LargeVector<std::uint32_t>& offsets = column.Offsets();
    return static_cast<std::size_t>(std::count(text + offsets[from], text + offsets[to], ' ')) +
           (to - from);
}

// The distinct words of records [from, to) as ids of table, appended to ids; where each
// record's ids end (counted within ids) in recordEnd.
void ScanWords(const Column& column, bool ignoreAccents, std::uint32_t from, std::uint32_t to,
               WordTable& table, LargeVector<std::uint32_t>& ids,
               LargeVector<std::uint32_t>& recordEnd)
{
    ids.reserve(WordBound(column, from, to));
    std::vector<std::uint32_t> lastRecord;
    std::string scratch;
    char folded[64];
    std::string longWord;
    for (std::uint32_t rec = from; rec < to; ++rec) {
        if (!column.IsNull(rec)) {
            const std::string_view text = column.SearchText(rec, ignoreAccents, scratch);
            std::size_t at = 0;
            while (at < text.size()) {
                const std::size_t space = std::min(text.find(' ', at), text.size());
                if (space > at) {
                    const std::string_view word = text.substr(at, space - at);
                    std::string_view key;
                    if (word.size() <= sizeof folded) {
                        for (std::size_t i = 0; i < word.size(); ++i) {
                            folded[i] = FoldByte(word[i]);
                        }
                        key = std::string_view(folded, word.size());
                    } else {
                        FoldText(word, longWord);
                        key = longWord;
                    }
                    const std::uint32_t id = table.Id(key);
                    if (id >= lastRecord.size()) {
                        lastRecord.resize(id + 1, 0xFFFFFFFFU);
                    }
                    if (lastRecord[id] != rec) {
                        lastRecord[id] = rec;
                        ids.push_back(id);
                    }
                }
                at = space + 1;
            }
        }
        recordEnd[rec] = static_cast<std::uint32_t>(ids.size());
    }
}

} // namespace

bool WordIndex::ColumnSpaceless(const Column& column)
{
    const LargeText& all = column.TextBuffer();
    return std::memchr(all.data(), ' ', all.size()) == nullptr;
}

WordIndex::WordIndex(const Column& column, bool ignoreAccents, bool withWords,
                     std::uint32_t parallelFrom)
    : m_withWords(withWords)
{
    const LargeText& all = column.TextBuffer();
    m_spaceless = ColumnSpaceless(column);
    if (ignoreAccents && column.HasFoldableAccents()) {
        m_bytes.fill(true); // folding accents makes letters of other bytes
    } else {
        std::array<bool, 256> raw{};
        for (const char c : all) {
            raw[static_cast<unsigned char>(c)] = true;
        }
        for (int b = 0; b < 256; ++b) {
            if (raw[static_cast<std::size_t>(b)]) {
                m_bytes[static_cast<unsigned char>(FoldByte(static_cast<char>(b)))] = true;
            }
        }
    }
    if (m_spaceless || !withWords) {
        m_wordStart.push_back(0);
        m_listStart.push_back(0);
        return;
    }
    // One pass over each half of the records, side by side: each record's distinct
    // words as ids, in record order, each half's ids of its own table.
    const std::uint32_t n = column.Count();
    WordTable table;
    WordTable otherTable;
    LargeVector<std::uint32_t> ids;
    LargeVector<std::uint32_t> otherIds;
    LargeVector<std::uint32_t> recordEnd(n);
    std::future<void> other;
    if (n >= parallelFrom) {
        try {
            other = std::async(std::launch::async, [&] {
                ScanWords(column, ignoreAccents, n / 2, n, otherTable, otherIds, recordEnd);
            });
        } catch (const std::system_error&) {
        }
    }
    const std::uint32_t half = other.valid() ? n / 2 : n;
    ScanWords(column, ignoreAccents, 0, half, table, ids, recordEnd);
    if (other.valid()) {
        other.get();
    }
    // The second half's words as the first's table knows them (once the words are sorted,
    // as their places among them).
    std::vector<std::uint32_t> remap(otherTable.Count());
    for (std::uint32_t id = 0; id < otherTable.Count(); ++id) {
        remap[id] = table.Id(otherTable.Word(id));
    }
    // The words sorted; each id's place among them.
    const std::uint32_t words = table.Count();
    std::vector<std::uint32_t> sorted(words);
    std::iota(sorted.begin(), sorted.end(), 0);
    std::sort(sorted.begin(), sorted.end(),
              [&](std::uint32_t a, std::uint32_t b) { return table.Word(a) < table.Word(b); });
    std::vector<std::uint32_t> place(words);
    m_wordStart.reserve(words + 1);
    m_wordStart.push_back(0);
    for (std::uint32_t i = 0; i < words; ++i) {
        place[sorted[i]] = i;
        m_chars.append(table.Word(sorted[i]));
        m_wordStart.push_back(static_cast<std::uint32_t>(m_chars.size()));
    }
    for (std::uint32_t& id : remap) {
        id = place[id];
    }
    // Counting pass: each word's records, ascending. Each half's ids are read where they
    // are, not joined into one array first.
    m_listStart.assign(static_cast<std::size_t>(words) + 1, 0);
    for (const std::uint32_t id : ids) {
        ++m_listStart[place[id] + 1];
    }
    for (const std::uint32_t id : otherIds) {
        ++m_listStart[remap[id] + 1];
    }
    std::partial_sum(m_listStart.begin(), m_listStart.end(), m_listStart.begin());
    std::vector<std::uint64_t> next(m_listStart.begin(), m_listStart.end() - 1);
    m_lists.resize(ids.size() + otherIds.size());
    const auto fill = [&](const LargeVector<std::uint32_t>& idsOf,
                          const std::vector<std::uint32_t>& placeOf, std::uint32_t first,
                          std::uint32_t last) {
        std::uint32_t from = 0;
        for (std::uint32_t rec = first; rec < last; ++rec) {
            for (std::uint32_t i = from; i < recordEnd[rec]; ++i) {
                m_lists[next[placeOf[idsOf[i]]]++] = rec;
            }
            from = recordEnd[rec];
        }
    };
    fill(ids, place, 0, half);
    fill(otherIds, remap, half, n);
}

std::pair<std::uint32_t, std::uint32_t> WordIndex::WordRange(std::string_view foldedPrefix) const
{
    const auto words = static_cast<std::uint32_t>(m_wordStart.size() - 1);
    std::uint32_t lo = 0;
    std::uint32_t hi = words;
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (Word(mid) < foldedPrefix) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    std::uint32_t end = lo;
    hi = words;
    while (end < hi) {
        const std::uint32_t mid = end + (hi - end) / 2;
        if (Word(mid).substr(0, foldedPrefix.size()) == foldedPrefix) {
            end = mid + 1;
        } else {
            hi = mid;
        }
    }
    return {lo, end};
}

void WordIndex::Mark(std::pair<std::uint32_t, std::uint32_t> words, RecordBitmap& out) const
{
    for (std::uint64_t i = m_listStart[words.first]; i < m_listStart[words.second]; ++i) {
        SetBit(out, m_lists[i]);
    }
}

std::size_t WordIndex::ContainingHits(std::string_view foldedNeedle) const
{
    std::size_t hits = 0;
    for (std::uint32_t word = 0; word + 1 < m_wordStart.size(); ++word) {
        if (Word(word).find(foldedNeedle) != std::string_view::npos) {
            hits += Hits({word, word + 1});
        }
    }
    return hits;
}

void WordIndex::MarkContaining(std::string_view foldedNeedle, RecordBitmap& out) const
{
    // The distinct words are far fewer than the records: reading them, not the texts.
    for (std::uint32_t word = 0; word + 1 < m_wordStart.size(); ++word) {
        if (Word(word).find(foldedNeedle) != std::string_view::npos) {
            Mark({word, word + 1}, out);
        }
    }
}

std::size_t WordIndex::MemoryBytes() const
{
    return m_chars.size() + m_wordStart.size() * sizeof(std::uint32_t) +
           m_listStart.size() * sizeof(std::uint64_t) + m_lists.size() * sizeof(std::uint32_t);
}

} // namespace host::filter
