#include "host/storage/record_view.h"

#include <algorithm>
#include <bit>

namespace host {

#if defined(__x86_64__) && defined(__ELF__)
// The x86-64 baseline has no popcount instruction, and the library call that stands in
// for it costs several times as much: a version using it is picked at load time where
// the processor has it.
__attribute__((target_clones("popcnt", "default")))
#endif
std::size_t
CountWords(const std::uint64_t* words, std::size_t count)
{
    std::size_t bits = 0;
    for (std::size_t i = 0; i < count; ++i) {
        bits += static_cast<std::size_t>(__builtin_popcountll(words[i]));
    }
    return bits;
}

std::size_t CountBits(const RecordBitmap& bits)
{
    return CountWords(bits.data(), bits.size());
}

#if defined(__x86_64__) && defined(__ELF__)
__attribute__((target_clones("popcnt", "default")))
#endif
void ListSetBits(const RecordBitmap& bits, std::uint32_t* out)
{
    // Four places written for every word, whatever its bits, and a loop only for the few
    // words with more: a loop that ran once per bit would mispredict its exit at nearly
    // every word of a scattered result. The top bit set beside the word's keeps each
    // count of trailing zeros defined without a test: it is only counted once the word's
    // own bits are listed, for places that are written over or left past the end.
    constexpr std::uint64_t kTop = std::uint64_t{1} << 63;
    std::size_t listed = 0;
    for (std::size_t w = 0; w < bits.size(); ++w) {
        std::uint64_t word = bits[w];
        const auto base = static_cast<std::uint32_t>(w * 64);
        const auto count = static_cast<std::size_t>(__builtin_popcountll(word));
        std::uint32_t* at = out + listed;
        for (std::size_t k = 0; k < 4; ++k) {
            at[k] = base + static_cast<std::uint32_t>(__builtin_ctzll(word | kTop));
            word &= word - 1;
        }
        for (std::size_t k = 4; k < count; ++k) {
            at[k] = base + static_cast<std::uint32_t>(__builtin_ctzll(word | kTop));
            word &= word - 1;
        }
        listed += count;
    }
}

RecordView::RecordView(std::shared_ptr<const Rows> order)
    : RecordView(order, {Range{0, static_cast<std::uint32_t>(order ? order->size() : 0)}})
{
}

RecordView::RecordView(std::shared_ptr<const Rows> order, std::vector<Range> ranges)
    : m_order(std::move(order)), m_ranges(std::move(ranges))
{
    m_starts.reserve(m_ranges.size());
    for (const Range& range : m_ranges) {
        m_starts.push_back(m_count);
        m_count += range.end - range.begin;
    }
}

RecordView::RecordView(std::shared_ptr<const Rows> order, std::vector<Range> ranges,
                       std::shared_ptr<const RecordBitmap> picks, std::size_t count)
    : m_order(std::move(order)), m_ranges(std::move(ranges)), m_picks(std::move(picks)),
      m_count(count), m_readOut(std::make_shared<ReadOut>())
{
}

std::uint32_t RecordView::At(std::size_t row) const
{
    if (m_picks) {
        ReadOutTo(row);
        return m_readOut->rows[row];
    }
    const auto next = std::upper_bound(m_starts.begin(), m_starts.end(), row);
    const auto i = static_cast<std::size_t>(next - m_starts.begin()) - 1;
    return (*m_order)[m_ranges[i].begin + (row - m_starts[i])];
}

void RecordView::ReadOutTo(std::size_t row) const
{
    ReadOut& out = *m_readOut;
    while (out.rows.size() <= row && out.range < m_ranges.size()) {
        const Range& range = m_ranges[out.range];
        out.pos = std::max(out.pos, range.begin);
        // A screen at a time at least, so that paging on reads out in few steps.
        const std::size_t want = std::max<std::size_t>(row + 1, out.rows.size() + 64);
        for (; out.pos < range.end && out.rows.size() < want; ++out.pos) {
            const std::uint32_t rec = (*m_order)[out.pos];
            if (TestBit(*m_picks, rec)) {
                out.rows.push_back(rec);
            }
        }
        if (out.pos >= range.end) {
            ++out.range;
        }
    }
}

std::ptrdiff_t RecordView::Find(std::uint32_t rec) const
{
    if (m_picks && !TestBit(*m_picks, rec)) {
        return -1;
    }
    std::ptrdiff_t row = 0;
    std::ptrdiff_t found = -1;
    for (const Range& range : m_ranges) {
        for (std::uint32_t pos = range.begin; pos < range.end && found < 0; ++pos) {
            const std::uint32_t here = (*m_order)[pos];
            if (here == rec) {
                found = row;
            } else if (!m_picks || TestBit(*m_picks, here)) {
                ++row;
            }
        }
        if (found >= 0) {
            break;
        }
    }
    return found;
}

std::size_t RecordView::OwnBytes() const
{
    return m_ranges.size() * sizeof(Range) + m_starts.size() * sizeof(std::size_t) +
           (m_readOut ? m_readOut->rows.size() * sizeof(std::uint32_t) : 0);
}

} // namespace host
