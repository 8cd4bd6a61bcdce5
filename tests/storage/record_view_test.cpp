// The view a dataset shows: rows map to records in the order's sequence, whichever rows
// are asked for first, and a record is found on the row that shows it.
#include "host/storage/record_view.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Rows = host::RecordView::Rows;
using Range = host::RecordView::Range;

// An order of the records 0..count-1, shuffled as an index would order them.
std::shared_ptr<const Rows> ShuffledOrder(std::uint32_t count, std::mt19937& rng)
{
    auto order = std::make_shared<Rows>(count);
    std::iota(order->begin(), order->end(), 0u);
    std::shuffle(order->begin(), order->end(), rng);
    return order;
}

// Disjoint ascending ranges of positions, some of them empty.
std::vector<Range> RandomRanges(std::uint32_t count, std::mt19937& rng)
{
    std::vector<Range> ranges;
    std::uint32_t at = 0;
    while (at < count) {
        const std::uint32_t skip = rng() % 40;
        const std::uint32_t length = rng() % 3 == 0 ? 0 : rng() % 300;
        const std::uint32_t begin = std::min(count, at + skip);
        const std::uint32_t end = std::min(count, begin + length);
        ranges.push_back({begin, end});
        at = end + 1;
    }
    return ranges;
}

// The records a view should show: those at its positions, picked when it picks.
Rows Shown(const Rows& order, const std::vector<Range>& ranges, const host::RecordBitmap* picks)
{
    Rows shown;
    for (const Range& range : ranges) {
        for (std::uint32_t pos = range.begin; pos < range.end; ++pos) {
            if (picks == nullptr || host::TestBit(*picks, order[pos])) {
                shown.push_back(order[pos]);
            }
        }
    }
    return shown;
}

Rows ForEachOf(const host::RecordView& view)
{
    Rows seen;
    view.ForEach([&](std::uint32_t rec) { seen.push_back(rec); });
    return seen;
}

// Every row shows the record expected there, a record is found on its row, and one the
// view does not show is found nowhere.
void ExpectShows(const host::RecordView& view, const Rows& shown, std::uint32_t records)
{
    ASSERT_EQ(view.Size(), shown.size());
    EXPECT_EQ(view.Empty(), shown.empty());
    EXPECT_EQ(ForEachOf(view), shown);
    std::vector<std::ptrdiff_t> rowOf(records, -1);
    for (std::size_t row = 0; row < shown.size(); ++row) {
        rowOf[shown[row]] = static_cast<std::ptrdiff_t>(row);
    }
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        ASSERT_EQ(view.Find(rec), rowOf[rec]) << "record " << rec;
    }
}

} // namespace

TEST(RecordView, TheWholeOrderShowsEveryRecordInItsPlace)
{
    std::mt19937 rng(3);
    const auto order = ShuffledOrder(1000, rng);
    const host::RecordView view(order);
    EXPECT_TRUE(view.CoversOrder());
    EXPECT_EQ(view.Picks(), nullptr);
    for (std::size_t row = 0; row < order->size(); ++row) {
        ASSERT_EQ(view.At(row), (*order)[row]);
    }
    ExpectShows(view, *order, 1001);
}

TEST(RecordView, AnEmptyViewShowsNothingAndFindsNothing)
{
    const host::RecordView none;
    EXPECT_TRUE(none.Empty());
    EXPECT_FALSE(none.CoversOrder());
    EXPECT_EQ(none.Find(0), -1);
    EXPECT_TRUE(ForEachOf(none).empty());
    const host::RecordView ofNoRecords(std::make_shared<Rows>());
    EXPECT_TRUE(ofNoRecords.Empty());
    EXPECT_EQ(ofNoRecords.Find(7), -1);
    std::mt19937 rng(5);
    const host::RecordView emptyRanges(ShuffledOrder(50, rng), {{3, 3}, {10, 10}, {49, 49}});
    ExpectShows(emptyRanges, {}, 50);
}

// A prefix search shows ranges of the order: the rows run on across them, empty ranges
// show nothing, and positions outside them are not shown.
TEST(RecordView, RangesShowTheirPositionsOneAfterAnother)
{
    std::mt19937 rng(7);
    const auto order = ShuffledOrder(100, rng);
    const std::vector<Range> ranges = {{0, 0}, {2, 5}, {5, 5}, {5, 6}, {40, 41}, {90, 100}};
    const host::RecordView view(order, ranges);
    EXPECT_FALSE(view.CoversOrder());
    const Rows shown = Shown(*order, ranges, nullptr);
    ASSERT_EQ(shown.size(), 15u);
    for (std::size_t row = 0; row < shown.size(); ++row) {
        ASSERT_EQ(view.At(row), shown[row]) << row;
    }
    ExpectShows(view, shown, 100);
    EXPECT_TRUE(host::RecordView(order, {{0, 100}}).CoversOrder());
    EXPECT_FALSE(host::RecordView(order, {{0, 50}, {50, 100}}).CoversOrder());
}

// With a bitmap the rows are read out of the order as far as they are asked for: a grid
// that asks for the last row first, or jumps about, sees the same records on the same
// rows as one that reads from the top.
TEST(RecordView, PickedRowsAreTheSameWhicheverRowIsAskedFirst)
{
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const std::uint32_t records = 5000;
        const auto order = ShuffledOrder(records, rng);
        const std::vector<Range> ranges =
            seed % 2 == 0 ? std::vector<Range>{{0, records}} : RandomRanges(records, rng);
        auto picks = std::make_shared<host::RecordBitmap>(host::MakeRecordBitmap(records));
        for (std::uint32_t rec = 0; rec < records; ++rec) {
            if (rng() % (seed + 1) == 0) {
                host::SetBit(*picks, rec);
            }
        }
        const Rows shown = Shown(*order, ranges, picks.get());
        const auto make = [&] { return host::RecordView(order, ranges, picks, shown.size()); };

        const host::RecordView fromTheTop = make();
        for (std::size_t row = 0; row < shown.size(); ++row) {
            ASSERT_EQ(fromTheTop.At(row), shown[row]) << row;
        }
        if (!shown.empty()) {
            const host::RecordView lastFirst = make();
            EXPECT_EQ(lastFirst.At(shown.size() - 1), shown.back());
            EXPECT_EQ(lastFirst.At(0), shown.front());
        }
        const host::RecordView jumping = make();
        std::vector<std::size_t> asked(shown.size());
        std::iota(asked.begin(), asked.end(), std::size_t{0});
        std::shuffle(asked.begin(), asked.end(), rng);
        for (const std::size_t row : asked) {
            ASSERT_EQ(jumping.At(row), shown[row]) << row;
        }
        ExpectShows(make(), shown, records);
        ExpectShows(jumping, shown, records);
    }
}

// Copies of a view (the dataset keeps the last filter's beside the one on show) share
// what was read out, and each reads the same rows.
TEST(RecordView, CopiesShowTheSameRowsAndShareWhatWasReadOut)
{
    std::mt19937 rng(9);
    const std::uint32_t records = 3000;
    const auto order = ShuffledOrder(records, rng);
    auto picks = std::make_shared<host::RecordBitmap>(host::MakeRecordBitmap(records));
    for (std::uint32_t rec = 0; rec < records; rec += 3) {
        host::SetBit(*picks, rec);
    }
    const std::vector<Range> ranges = {{0, records}};
    const Rows shown = Shown(*order, ranges, picks.get());
    const host::RecordView view(order, ranges, picks, shown.size());
    const host::RecordView copy = view;
    EXPECT_EQ(view.SharedState(), copy.SharedState());
    EXPECT_EQ(copy.At(700), shown[700]);
    const std::size_t bytesAfterCopyRead = view.OwnBytes();
    EXPECT_GT(bytesAfterCopyRead, host::RecordView(order, ranges).OwnBytes());
    for (std::size_t row = 0; row < shown.size(); row += 97) {
        ASSERT_EQ(view.At(row), shown[row]) << row;
        ASSERT_EQ(copy.At(row), shown[row]) << row;
    }
    ExpectShows(copy, shown, records);
}

// Narrowing a search keeps positions of the same order: a view of fewer positions, or
// of fewer picks, shows some of the wider view's rows, in the same order.
TEST(RecordView, ANarrowerViewShowsSomeOfTheWiderOnesRowsInTheSameOrder)
{
    std::mt19937 rng(13);
    const std::uint32_t records = 4000;
    const auto order = ShuffledOrder(records, rng);
    const std::vector<Range> wideRanges = RandomRanges(records, rng);
    std::vector<Range> narrowRanges;
    for (const Range& range : wideRanges) {
        if (range.end - range.begin > 2 && rng() % 2 == 0) {
            narrowRanges.push_back({range.begin + 1, range.end - 1});
        }
    }
    auto widePicks = std::make_shared<host::RecordBitmap>(host::MakeRecordBitmap(records));
    auto narrowPicks = std::make_shared<host::RecordBitmap>(host::MakeRecordBitmap(records));
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        if (rng() % 2 == 0) {
            host::SetBit(*widePicks, rec);
            if (rng() % 2 == 0) {
                host::SetBit(*narrowPicks, rec);
            }
        }
    }
    const Rows wideShown = Shown(*order, wideRanges, widePicks.get());
    const Rows narrowShown = Shown(*order, narrowRanges, narrowPicks.get());
    const host::RecordView wide(order, wideRanges, widePicks, wideShown.size());
    const host::RecordView narrow(order, narrowRanges, narrowPicks, narrowShown.size());
    ExpectShows(wide, wideShown, records);
    ExpectShows(narrow, narrowShown, records);
    std::ptrdiff_t last = -1;
    for (const std::uint32_t rec : ForEachOf(narrow)) {
        const std::ptrdiff_t row = wide.Find(rec);
        ASSERT_GT(row, last) << "record " << rec;
        last = row;
    }
}

// The bitmaps' helpers: every set bit counted and listed, ascending, for words with no
// bit, a few, more than four, and all 64.
TEST(RecordView, SetBitsAreCountedAndListedInOrder)
{
    std::mt19937 rng(17);
    for (const std::uint32_t records : {1u, 63u, 64u, 65u, 640u, 10'000u}) {
        host::RecordBitmap bits = host::MakeRecordBitmap(records);
        Rows expected;
        for (std::uint32_t rec = 0; rec < records; ++rec) {
            const std::uint32_t word = rec / 64;
            const bool set = word % 4 == 0   ? false
                             : word % 4 == 1 ? true
                             : word % 4 == 2 ? rng() % 16 == 0
                                             : rng() % 2 == 0;
            if (set) {
                host::SetBit(bits, rec);
                expected.push_back(rec);
            }
        }
        ASSERT_EQ(host::CountBits(bits), expected.size()) << records;
        Rows listed(expected.size() + host::kListSlack, 0xFFFFFFFFu);
        host::ListSetBits(bits, listed.data());
        listed.resize(expected.size());
        EXPECT_EQ(listed, expected) << records;
        for (const std::uint32_t rec : expected) {
            EXPECT_TRUE(host::TestBit(bits, rec));
        }
    }
}
