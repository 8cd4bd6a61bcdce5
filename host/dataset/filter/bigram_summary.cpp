#include "host/dataset/filter/bigram_summary.h"

#include "host/dataset/column.h"
#include "host/dataset/text_fold.h"

#include <algorithm>
#include <string>

namespace host::filter {

namespace {

constexpr std::uint32_t kBlock = 65536;

} // namespace

BigramSummary::BigramSummary(const Column& column, bool ignoreAccents)
    : m_records(column.Count()), m_slot(256 * kSecond, -1)
{
    // Every pair first gets a bitmap (setting a bit needs no test for repeats); the
    // sparse ones are then packed. The loop looks pairs up in a 16-bit table and a short
    // array of bitmaps, both small enough to stay in the cache.
    std::vector<RecordBitmap> building;
    std::vector<std::uint16_t> pairAt(256 * kSecond, 0); // 0: not seen; else index + 1
    std::vector<std::uint64_t*> words{nullptr};
    const auto wordsOf = [&](unsigned slot) {
        std::uint16_t at = pairAt[slot];
        if (at == 0) {
            building.push_back(MakeRecordBitmap(m_records));
            words.push_back(building.back().data());
            at = static_cast<std::uint16_t>(building.size());
            pairAt[slot] = at;
            m_slot[slot] = at - 1;
        }
        return words[at];
    };
    std::string scratch;
    std::string accents;
    for (std::uint32_t rec = 0; rec < m_records; ++rec) {
        std::string_view text = column.SearchText(rec, ignoreAccents, accents);
        if (text.empty() || column.IsNull(rec)) {
            continue;
        }
        if (!FoldIsBytewise()) {
            FoldText(text, scratch);
            text = scratch;
        }
        const std::size_t word = rec >> 6;
        const std::uint64_t bit = std::uint64_t{1} << (rec & 63);
        unsigned previous = static_cast<unsigned char>(FoldByte(text[0]));
        for (std::size_t i = 1; i < text.size(); ++i) {
            const unsigned current = static_cast<unsigned char>(FoldByte(text[i]));
            wordsOf(previous * kSecond + current)[word] |= bit;
            previous = current;
        }
        wordsOf(previous * kSecond + kEnd)[word] |= bit;
    }
    m_postings.resize(building.size());
    const std::uint32_t blocks = (m_records + kBlock - 1) / kBlock;
    for (std::size_t p = 0; p < building.size(); ++p) {
        Postings& postings = m_postings[p];
        RecordBitmap& bits = building[p];
        postings.count = static_cast<std::uint32_t>(CountBits(bits));
        if (postings.count >= m_records / 16) {
            postings.bits = std::move(bits);
            continue;
        }
        postings.lows.reserve(postings.count);
        postings.blockAt.assign(blocks + 1, 0);
        for (std::size_t w = 0; w < bits.size(); ++w) {
            std::uint64_t word = bits[w];
            while (word != 0) {
                const auto rec = static_cast<std::uint32_t>(w * 64 + __builtin_ctzll(word));
                word &= word - 1;
                postings.lows.push_back(static_cast<std::uint16_t>(rec & (kBlock - 1)));
                ++postings.blockAt[(rec / kBlock) + 1];
            }
        }
        for (std::uint32_t b = 0; b < blocks; ++b) {
            postings.blockAt[b + 1] += postings.blockAt[b];
        }
        RecordBitmap().swap(bits);
    }
}

const BigramSummary::Postings* BigramSummary::Find(unsigned first, unsigned second) const
{
    const std::int32_t p = m_slot[first * kSecond + second];
    return p < 0 ? nullptr : &m_postings[static_cast<std::size_t>(p)];
}

void BigramSummary::OrInto(const Postings& postings, RecordBitmap& out) const
{
    if (!postings.bits.empty()) {
        for (std::size_t w = 0; w < out.size(); ++w) {
            out[w] |= postings.bits[w];
        }
        return;
    }
    for (std::size_t b = 0; b + 1 < postings.blockAt.size(); ++b) {
        const auto base = static_cast<std::uint32_t>(b * kBlock);
        for (std::uint32_t i = postings.blockAt[b]; i < postings.blockAt[b + 1]; ++i) {
            SetBit(out, base + postings.lows[i]);
        }
    }
}

void BigramSummary::AndInto(const Postings& postings, RecordBitmap& out) const
{
    if (!postings.bits.empty()) {
        for (std::size_t w = 0; w < out.size(); ++w) {
            out[w] &= postings.bits[w];
        }
        return;
    }
    RecordBitmap mine = MakeRecordBitmap(m_records);
    OrInto(postings, mine);
    for (std::size_t w = 0; w < out.size(); ++w) {
        out[w] &= mine[w];
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
        bytes += postings.bits.size() * 8 + postings.blockAt.size() * 4 + postings.lows.size() * 2;
    }
    return bytes;
}

} // namespace host::filter
