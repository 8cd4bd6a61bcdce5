#include "host/dataset/filter/bigram_summary.h"

#include "host/dataset/column.h"
#include "host/dataset/text_fold.h"

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

} // namespace

BigramSummary::BigramSummary(const Column& column, bool ignoreAccents)
    : m_records(column.Count()), m_slot(256 * kSecond, -1)
{
    // One block of records at a time: each pair seen in the block gets a bitmap of the
    // block in a pool that stays in the cache; at the block's end each bitmap is kept
    // as it is or as offsets, whichever is smaller, and cleared for the next block.
    std::vector<std::uint16_t> poolAt(256 * kSecond,
                                      0); // 0: not seen in this block; else index + 1
    std::vector<unsigned> seen;
    std::vector<std::uint64_t> pool(64 * kPoolStride, 0);
    std::string scratch;
    std::string accents;
    for (std::uint32_t start = 0; start < m_records; start += kBlock) {
        const std::uint32_t end = std::min<std::uint64_t>(m_records, std::uint64_t{start} + kBlock);
        for (std::uint32_t rec = start; rec < end; ++rec) {
            std::string_view text = column.SearchText(rec, ignoreAccents, accents);
            if (text.empty() || column.IsNull(rec)) {
                continue;
            }
            if (!FoldIsBytewise()) {
                FoldText(text, scratch);
                text = scratch;
            }
            const std::size_t word = (rec - start) >> 6;
            const std::uint64_t bit = std::uint64_t{1} << (rec & 63);
            std::uint64_t* words = pool.data() + word;
            const auto mark = [&](unsigned slot) {
                std::size_t at = poolAt[slot];
                if (at == 0) [[unlikely]] {
                    seen.push_back(slot);
                    at = seen.size();
                    poolAt[slot] = static_cast<std::uint16_t>(at);
                    if (pool.size() < at * kPoolStride) {
                        pool.resize(std::max(pool.size() * 2, at * kPoolStride), 0);
                        words = pool.data() + word;
                    }
                }
                words[(at - 1) * kPoolStride] |= bit;
            };
            const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
            unsigned previous = static_cast<unsigned char>(FoldByte(static_cast<char>(bytes[0])));
            for (std::size_t i = 1; i < text.size(); ++i) {
                const unsigned current =
                    static_cast<unsigned char>(FoldByte(static_cast<char>(bytes[i])));
                mark(previous * kSecond + current);
                previous = current;
            }
            mark(previous * kSecond + kEnd);
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
