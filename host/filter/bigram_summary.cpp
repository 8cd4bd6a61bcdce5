#include "host/filter/bigram_summary.h"

#include "host/storage/column.h"
#include "host/text/text_fold.h"
#include "host/text/text_form.h"

#include <algorithm>
#include <string>

namespace host::filter {

namespace {

constexpr std::uint32_t kBlock = 65536;
constexpr std::size_t kBlockWords = kBlock / 64;
// A block holding the pair in at least this many records keeps a bitmap.
constexpr std::size_t kDenseInBlock = kBlock / 16;
// The block bitmaps lie one cache line more than their size apart: at exactly 8 KB the
// same word of every pair's bitmap would share its place within a 4 KB page, and the
// processor then takes each store for one that the next load may depend on.
constexpr std::size_t kPoolStride = kBlockWords + 8;

// A part of a block: a bitmap of its records for each pair it holds, laid out word by
// word (the first word of every pair's bitmap, then the second...), so that the bits one
// record sets all lie in one stretch that stays in the first-level cache. At the part's
// end the bitmaps move into the block's pool.
constexpr std::uint32_t kPart = 4096;
constexpr std::size_t kPartWords = kPart / 64;
static_assert(kBlock % kPart == 0);

class PartBitmaps {
public:
    PartBitmaps() : m_at(256 * BigramSummary::kSecond, 0), m_words(kPartWords * m_width, 0) {}

    // Sets the record's bit (its place in the part) for every pair of its folded text.
    void MarkRecord(std::uint32_t place, std::string_view text)
    {
        const std::uint64_t bit = std::uint64_t{1} << (place & 63);
        const std::size_t word = place >> 6;
        std::uint64_t* row = m_words.data() + word * m_width;
        const std::uint16_t* const atOf = m_at.data();
        const auto mark = [&](unsigned slot) {
            unsigned at = atOf[slot];
            if (at == 0) [[unlikely]] {
                at = Add(slot);
                row = m_words.data() + word * m_width;
            }
            row[at - 1] |= bit;
        };
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        unsigned previous = static_cast<unsigned char>(FoldByte(static_cast<char>(bytes[0])));
        for (std::size_t i = 1; i < text.size(); ++i) {
            const unsigned current =
                static_cast<unsigned char>(FoldByte(static_cast<char>(bytes[i])));
            mark(previous * BigramSummary::kSecond + current);
            previous = current;
        }
        mark(previous * BigramSummary::kSecond + BigramSummary::kEnd);
    }

    // Writes each pair's bitmap into the block's pool at startOf(slot) + word (its place
    // in the block's bitmap; startOf may grow the pool) and clears the part for the next.
    template <typename StartOf>
    void MoveInto(std::vector<std::uint64_t>& pool, std::size_t word, StartOf startOf)
    {
        m_starts.clear();
        for (const unsigned slot : m_seen) {
            m_starts.push_back(startOf(slot) + word);
            m_at[slot] = 0;
        }
        std::uint64_t* const into = pool.data(); // once the pool has grown
        for (std::size_t w = 0; w < kPartWords; ++w) {
            std::uint64_t* from = m_words.data() + w * m_width;
            for (std::size_t k = 0; k < m_starts.size(); ++k) {
                into[m_starts[k] + w] = from[k];
            }
            std::fill(from, from + m_starts.size(), 0);
        }
        m_seen.clear();
    }

private:
    // A pair first seen in the part: its index + 1, with room made for it. Out of line,
    // so that the loop over a text keeps its values in registers.
    [[gnu::noinline]] unsigned Add(unsigned slot)
    {
        m_seen.push_back(slot);
        const auto at = static_cast<unsigned>(m_seen.size());
        m_at[slot] = static_cast<std::uint16_t>(at);
        if (at > m_width) {
            Widen();
        }
        return at;
    }

    // Room for twice as many pairs in each word's stretch.
    void Widen()
    {
        std::vector<std::uint64_t> wider(kPartWords * m_width * 2, 0);
        for (std::size_t w = 0; w < kPartWords; ++w) {
            std::copy_n(m_words.data() + w * m_width, m_width, wider.data() + w * m_width * 2);
        }
        m_words = std::move(wider);
        m_width *= 2;
    }

    std::vector<std::uint16_t> m_at; // slot -> 0: not in this part; else index + 1
    std::vector<unsigned> m_seen;
    std::size_t m_width = 1024; // pairs a word's stretch has room for
    std::vector<std::uint64_t> m_words;
    std::vector<std::size_t> m_starts;
};

} // namespace

BigramSummary::BigramSummary(const Column& column, bool ignoreAccents)
    : m_records(column.Count()), m_slot(256 * kSecond, -1)
{
    // One block of records at a time: each pair seen in the block gets a bitmap of the
    // block in a pool; at the block's end each bitmap is kept as it is or as offsets,
    // whichever is smaller, and cleared for the next block. The bits are first set in a
    // part of the block (PartBitmaps), where one record's pairs lie side by side.
    std::vector<std::uint16_t> poolAt(256 * kSecond,
                                      0); // 0: not seen in this block; else index + 1
    std::vector<unsigned> seen;
    std::vector<std::uint64_t> pool(64 * kPoolStride, 0);
    PartBitmaps part;
    std::string accents;
    // An integer's pairs are those of its text form, as a search reads it.
    const bool integers = column.Type() == FieldType::Integer;
    char number[kTextFormBuffer];
    for (std::uint32_t start = 0; start < m_records; start += kBlock) {
        const std::uint32_t end = std::min<std::uint64_t>(m_records, std::uint64_t{start} + kBlock);
        for (std::uint32_t partStart = start; partStart < end; partStart += kPart) {
            const std::uint32_t partEnd = std::min(end, partStart + kPart);
            for (std::uint32_t rec = partStart; rec < partEnd; ++rec) {
                const std::string_view text = integers
                                                  ? IntegerText(column.Int(rec), number)
                                                  : column.SearchText(rec, ignoreAccents, accents);
                if (text.empty() || column.IsNull(rec)) {
                    continue;
                }
                part.MarkRecord(rec - partStart, text);
            }
            part.MoveInto(pool, (partStart - start) / 64, [&](unsigned slot) {
                if (poolAt[slot] == 0) {
                    seen.push_back(slot);
                    poolAt[slot] = static_cast<std::uint16_t>(seen.size());
                    if (pool.size() < seen.size() * kPoolStride) {
                        pool.resize(std::max(pool.size() * 2, seen.size() * kPoolStride), 0);
                    }
                }
                return (poolAt[slot] - 1) * kPoolStride;
            });
        }
        const std::uint32_t block = start / kBlock;
        const std::uint32_t blocksLeft = (m_records - end + kBlock - 1) / kBlock;
        for (std::size_t k = 0; k < seen.size(); ++k) {
            const unsigned slot = seen[k];
            std::uint64_t* words = pool.data() + k * kPoolStride;
            if (m_slot[slot] < 0) {
                m_slot[slot] = static_cast<std::int32_t>(m_postings.size());
                m_postings.emplace_back();
            }
            Postings& postings = m_postings[static_cast<std::size_t>(m_slot[slot])];
            const std::size_t count = CountWords(words, kBlockWords);
            postings.count += static_cast<std::uint32_t>(count);
            Block kept;
            kept.block = block;
            if (count >= kDenseInBlock) {
                kept.dense = true;
                kept.at = static_cast<std::uint32_t>(postings.words.size());
                kept.size = static_cast<std::uint32_t>(kBlockWords);
                if (postings.words.capacity() == postings.words.size()) {
                    // Room for the blocks left at this block's rate, rather than grow by
                    // doubling (and copying) a few times over.
                    postings.words.reserve(postings.words.size() +
                                           kBlockWords * (std::size_t{blocksLeft} + 1));
                }
                postings.words.insert(postings.words.end(), words, words + kBlockWords);
                std::fill(words, words + kBlockWords, 0);
            } else {
                kept.at = static_cast<std::uint32_t>(postings.lows.size());
                kept.size = static_cast<std::uint32_t>(count);
                if (postings.lows.capacity() < postings.lows.size() + count) {
                    postings.lows.reserve(postings.lows.size() +
                                          count * (std::size_t{blocksLeft} + 1) * 9 / 8);
                }
                for (std::size_t w = 0; w < kBlockWords; ++w) {
                    std::uint64_t bits = words[w];
                    if (bits == 0) {
                        continue;
                    }
                    words[w] = 0;
                    do {
                        postings.lows.push_back(static_cast<std::uint16_t>(
                            w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))));
                        bits &= bits - 1;
                    } while (bits != 0);
                }
            }
            if (postings.blocks.empty()) {
                postings.blocks.reserve(std::size_t{blocksLeft} + 1);
            }
            postings.blocks.push_back(kept);
            poolAt[slot] = 0;
        }
        seen.clear();
    }
    // What was reserved ahead and not used goes back, where it is worth a copy.
    for (Postings& postings : m_postings) {
        const auto trim = [](auto& v) {
            if (v.capacity() > v.size() + v.size() / 8 + 1024) {
                v.shrink_to_fit();
            }
        };
        trim(postings.blocks);
        trim(postings.words);
        trim(postings.lows);
    }
}

const BigramSummary::Postings* BigramSummary::Find(unsigned first, unsigned second) const
{
    const std::int32_t p = m_slot[first * kSecond + second];
    return p < 0 ? nullptr : &m_postings[static_cast<std::size_t>(p)];
}

void BigramSummary::OrInto(const Postings& postings, RecordBitmap& out) const
{
    for (const Block& kept : postings.blocks) {
        const std::size_t base = std::size_t{kept.block} * kBlockWords;
        if (kept.dense) {
            const std::size_t n = std::min(kBlockWords, out.size() - base);
            const std::uint64_t* words = postings.words.data() + kept.at;
            for (std::size_t w = 0; w < n; ++w) {
                out[base + w] |= words[w];
            }
        } else {
            const std::uint32_t first = kept.block * kBlock;
            for (std::uint32_t i = kept.at; i < kept.at + kept.size; ++i) {
                SetBit(out, first + postings.lows[i]);
            }
        }
    }
}

void BigramSummary::AndInto(const Postings& postings, RecordBitmap& out) const
{
    std::vector<std::uint64_t> mask(kBlockWords);
    auto next = postings.blocks.begin();
    for (std::size_t base = 0; base < out.size(); base += kBlockWords) {
        const std::size_t n = std::min(kBlockWords, out.size() - base);
        const auto block = static_cast<std::uint32_t>(base / kBlockWords);
        if (next == postings.blocks.end() || next->block != block) {
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(base),
                      out.begin() + static_cast<std::ptrdiff_t>(base + n), 0);
            continue;
        }
        const std::uint64_t* words = postings.words.data() + next->at;
        if (!next->dense) {
            std::fill(mask.begin(), mask.end(), 0);
            for (std::uint32_t i = next->at; i < next->at + next->size; ++i) {
                const std::uint16_t low = postings.lows[i];
                mask[low >> 6] |= std::uint64_t{1} << (low & 63);
            }
            words = mask.data();
        }
        for (std::size_t w = 0; w < n; ++w) {
            out[base + w] &= words[w];
        }
        ++next;
    }
}

RecordBitmap BigramSummary::Candidates(std::string_view foldedNeedle, bool& exact) const
{
    RecordBitmap out = MakeRecordBitmap(m_records);
    exact = true;
    if (foldedNeedle.empty()) {
        return out;
    }
    if (foldedNeedle.size() == 1) {
        // Every record holding the byte has it before some byte or at its end.
        const auto first = static_cast<unsigned char>(foldedNeedle[0]);
        for (unsigned second = 0; second < kSecond; ++second) {
            if (const Postings* postings = Find(first, second)) {
                OrInto(*postings, out);
            }
        }
        return out;
    }
    std::vector<const Postings*> pairs;
    for (std::size_t i = 0; i + 1 < foldedNeedle.size(); ++i) {
        const Postings* postings = Find(static_cast<unsigned char>(foldedNeedle[i]),
                                        static_cast<unsigned char>(foldedNeedle[i + 1]));
        if (postings == nullptr) {
            return out; // a pair no record holds
        }
        if (std::find(pairs.begin(), pairs.end(), postings) == pairs.end()) {
            pairs.push_back(postings);
        }
    }
    std::sort(pairs.begin(), pairs.end(),
              [](const Postings* a, const Postings* b) { return a->count < b->count; });
    OrInto(*pairs[0], out);
    for (std::size_t i = 1; i < pairs.size(); ++i) {
        AndInto(*pairs[i], out);
    }
    exact = foldedNeedle.size() == 2;
    return out;
}

std::size_t BigramSummary::MemoryBytes() const
{
    std::size_t bytes = m_slot.size() * sizeof(std::int32_t);
    for (const Postings& postings : m_postings) {
        bytes += postings.blocks.size() * sizeof(Block) + postings.words.size() * 8 +
                 postings.lows.size() * 2;
    }
    return bytes;
}

} // namespace host::filter
