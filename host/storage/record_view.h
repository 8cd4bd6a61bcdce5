#pragma once

#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace host {

// One bit per record number.
using RecordBitmap = std::vector<std::uint64_t>;

inline RecordBitmap MakeRecordBitmap(std::uint32_t records)
{
    return RecordBitmap((static_cast<std::size_t>(records) + 63) / 64, 0);
}
inline void SetBit(RecordBitmap& bits, std::uint32_t rec)
{
    bits[rec >> 6] |= std::uint64_t{1} << (rec & 63);
}
inline bool TestBit(const RecordBitmap& bits, std::uint32_t rec)
{
    return ((bits[rec >> 6] >> (rec & 63)) & 1U) != 0;
}
std::size_t CountBits(const RecordBitmap& bits);
// Bits set in count words. Hidden by name: GCC exports the resolver of a
// target_clones function whatever -fvisibility says (so is ListSetBits).
Q_DECL_HIDDEN std::size_t CountWords(const std::uint64_t* words, std::size_t count);
// Writes the record numbers whose bits are set to out, ascending: CountBits(bits) of
// them, into room for kListSlack more, which may be overwritten.
constexpr std::size_t kListSlack = 4;
Q_DECL_HIDDEN void ListSetBits(const RecordBitmap& bits, std::uint32_t* out);

// The records a view shows, in its order, without a copy of the order: ranges of
// positions in a shared order (a prefix search's matches, or the whole order), kept,
// when a bitmap over record numbers is given, only where its bit is set. The count is
// known from the start; with a bitmap, records are read out of the order only as far
// as rows are asked for, so a search with millions of matches reads out one screen.
class RecordView {
public:
    using Rows = std::vector<std::uint32_t>;
    struct Range {
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
    };

    RecordView() = default;
    // The whole order.
    explicit RecordView(std::shared_ptr<const Rows> order);
    // Those positions of the order (ascending, disjoint ranges).
    RecordView(std::shared_ptr<const Rows> order, std::vector<Range> ranges);
    // Those positions whose record is set in picks; count is how many there are.
    RecordView(std::shared_ptr<const Rows> order, std::vector<Range> ranges,
               std::shared_ptr<const RecordBitmap> picks, std::size_t count);

    std::size_t Size() const { return m_count; }
    bool Empty() const { return m_count == 0; }
    // The record at a view row (row < Size()).
    std::uint32_t At(std::size_t row) const;
    // The view row of a record, -1 when it is not in the view.
    std::ptrdiff_t Find(std::uint32_t rec) const;

    // Calls f(rec) for every record, in view order.
    template <class F> void ForEach(F&& f) const
    {
        for (const Range& range : m_ranges) {
            for (std::uint32_t pos = range.begin; pos < range.end; ++pos) {
                const std::uint32_t rec = (*m_order)[pos];
                if (!m_picks || TestBit(*m_picks, rec)) {
                    f(rec);
                }
            }
        }
    }

    const Rows* Order() const { return m_order.get(); }
    const std::vector<Range>& Ranges() const { return m_ranges; }
    // The bitmap that picks the records, nullptr when every position in the ranges shows.
    const RecordBitmap* Picks() const { return m_picks.get(); }
    const std::shared_ptr<const RecordBitmap>& SharedPicks() const { return m_picks; }
    // True when the view shows every position of its order (picked or not).
    bool CoversOrder() const
    {
        return m_order && m_ranges.size() == 1 && m_ranges[0].begin == 0 &&
               m_ranges[0].end == m_order->size();
    }
    // Bytes held besides the order and the bitmap: the ranges and the rows read out.
    std::size_t OwnBytes() const;
    // What copies of one view share (their read-out rows), for counting bytes once.
    const void* SharedState() const { return m_readOut.get(); }

private:
    void ReadOutTo(std::size_t row) const;

    std::shared_ptr<const Rows> m_order;
    std::vector<Range> m_ranges;
    std::vector<std::size_t> m_starts; // first view row of each range (no bitmap)
    std::shared_ptr<const RecordBitmap> m_picks;
    std::size_t m_count = 0;
    // Rows read out so far, with where the read-out stopped; shared by copies.
    struct ReadOut {
        Rows rows;
        std::size_t range = 0;
        std::uint32_t pos = 0;
    };
    std::shared_ptr<ReadOut> m_readOut;
};

} // namespace host
