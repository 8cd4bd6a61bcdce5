#include "host/storage/large_array.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

// Large arrays come 2 MB-aligned (where huge pages can back them) and behave as any
// vector or string: values kept through growth, copies and shrinking; small ones too.
TEST(LargeArray, HoldsItsValuesAtEverySize)
{
    host::LargeVector<std::uint32_t> numbers;
    for (std::uint32_t i = 0; i < 3'000'000; ++i) {
        numbers.push_back(i * 7u);
    }
#if defined(__linux__)
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(numbers.data()) % (std::uintptr_t{2} << 20), 0u);
#endif
    host::LargeVector<std::uint32_t> copy = numbers;
    numbers.resize(10);
    numbers.shrink_to_fit();
    ASSERT_EQ(copy.size(), 3'000'000u);
    for (std::uint32_t i = 0; i < copy.size(); i += 9973) {
        ASSERT_EQ(copy[i], i * 7u);
    }
    EXPECT_EQ(numbers.back(), 63u);

    host::LargeText text;
    for (int i = 0; i < 600'000; ++i) {
        text.append("JOAO SILVA");
    }
    EXPECT_EQ(text.size(), 6'000'000u);
    EXPECT_EQ(text.substr(5'999'990), "JOAO SILVA");
    host::LargeText small("ANA");
    small += text.substr(0, 4);
    EXPECT_EQ(small, "ANAJOAO");
}

// A large array freed is kept for the next of the same size (a keystroke's lists come
// and go every keystroke), and a vector on it starts as a new one does; more than the
// cache holds is given back, the oldest first, and what stays in use is still whole.
TEST(LargeArray, FreedArraysAreReusedForTheSameSize)
{
    const std::uint32_t* first = nullptr;
    {
        host::LargeVector<std::uint32_t> list(1'500'000, 7u);
        first = list.data();
    }
    host::LargeVector<std::uint32_t> again(1'500'000);
#if defined(__linux__)
    EXPECT_EQ(again.data(), first);
#endif
    for (std::size_t i = 0; i < again.size(); i += 4099) {
        ASSERT_EQ(again[i], 0u);
    }
    host::LargeVector<std::uint64_t> other(3'000'000, 1u); // another size: its own memory
    EXPECT_NE(static_cast<const void*>(other.data()), static_cast<const void*>(again.data()));
    EXPECT_EQ(other[2'999'999], 1u);

    std::vector<host::LargeVector<std::uint8_t>> many;
    for (int i = 0; i < 12; ++i) {
        many.emplace_back(std::size_t{3} << 20, static_cast<std::uint8_t>(i));
    }
    many.erase(many.begin(), many.begin() + 10); // ten freed, 40 MB: more than is kept
    for (int i = 0; i < 12; ++i) {
        host::LargeVector<std::uint8_t> reused(std::size_t{3} << 20);
        ASSERT_EQ(reused[12345], 0u);
        reused.back() = 1;
    }
    EXPECT_EQ(many[0].back(), 10u);
    EXPECT_EQ(many[1].front(), 11u);
}

// A keystroke's lists change size with the text: a smaller array takes the smallest freed
// one it fits in, its first part, and the rest stays kept; the memory it gets starts as a
// new array's does, and every byte of it can be written.
TEST(LargeArray, ASmallerArrayReusesTheSmallestFreedOneItFitsIn)
{
    const void* larger = nullptr;
    {
        host::LargeVector<std::uint8_t> freed((std::size_t{23} << 20) / 2, 5u); // 11.5 MB
        larger = freed.data();
    }
    host::LargeVector<std::uint8_t> smaller((std::size_t{15} << 20) / 2); // 7.5 MB
#if defined(__linux__)
    EXPECT_EQ(static_cast<const void*>(smaller.data()), larger);
#endif
    EXPECT_EQ(smaller.front(), 0u);
    EXPECT_EQ(smaller.back(), 0u);
    std::fill(smaller.begin(), smaller.end(), std::uint8_t{9});
    // What was given back is no longer this array's: a new one of the first size is whole.
    host::LargeVector<std::uint8_t> next((std::size_t{23} << 20) / 2, 1u);
    EXPECT_EQ(next.back(), 1u);
    EXPECT_EQ(smaller[smaller.size() / 2], 9u);
    EXPECT_EQ(smaller.back(), 9u);
}

// A sort's buffer of 16 bytes a record, freed, serves two arrays of 8 bytes a record
// after it (two orders' buffers): the second takes the part the first left, and the two
// are whole and apart.
TEST(LargeArray, TheRestOfAFreedArrayServesTheNextOne)
{
    constexpr std::size_t kHalf = std::size_t{26} << 20; // larger than what other tests keep
    const std::uint8_t* freed = nullptr;
    {
        host::LargeVector<std::uint8_t> sorting(2 * kHalf, 3u);
        freed = sorting.data();
    }
    host::LargeVector<std::uint8_t> first(kHalf, 1u);
    host::LargeVector<std::uint8_t> second(kHalf, 2u);
#if defined(__linux__)
    EXPECT_EQ(first.data(), freed);
    EXPECT_EQ(second.data(), freed + kHalf);
#endif
    EXPECT_EQ(first.back(), 1u);
    EXPECT_EQ(second.front(), 2u);
    EXPECT_EQ(second.back(), 2u);
}

#if defined(__linux__)
namespace {

// Whether the kernel was advised to back the mapping that holds `address` with huge
// pages ("hg" among its VmFlags in /proc/self/smaps).
bool AdvisedHuge(const void* address)
{
    std::FILE* maps = std::fopen("/proc/self/smaps", "r");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    bool huge = false;
    char line[512];
    while (maps != nullptr && std::fgets(line, sizeof line, maps) != nullptr) {
        std::uintptr_t from = 0;
        std::uintptr_t to = 0;
        if (std::sscanf(line, "%lx-%lx ", &from, &to) == 2) {
            inside = from <= at && at < to;
        } else if (inside && std::strncmp(line, "VmFlags:", 8) == 0) {
            huge = std::strstr(line, " hg") != nullptr;
            break;
        }
    }
    if (maps != nullptr) {
        std::fclose(maps);
    }
    return huge;
}

// The process's resident memory, from the kernel's account.
std::size_t ResidentBytes()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    std::size_t kb = 0;
    char line[256];
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmRSS: %zu kB", &kb) == 1) {
            break;
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return kb * 1024;
}

} // namespace

// While a reuse scope lives, an array larger than what is always kept is kept when freed
// and taken by the next that fits; when the scope ends it is given back to the system.
TEST(LargeArray, AReuseScopeKeepsLargerArraysUntilItEnds)
{
    constexpr std::size_t kBytes = std::size_t{160} << 20; // beyond the 64 MB always kept
    const std::size_t before = ResidentBytes();
    {
        const host::LargeArrayReuse reuse(kBytes);
        const void* freed = nullptr;
        {
            host::LargeVector<std::uint8_t> sorting(kBytes, 1u);
            freed = sorting.data();
        }
        EXPECT_GE(ResidentBytes(), before + kBytes / 2); // kept, not given back
        host::LargeVector<std::uint8_t> next(kBytes - (std::size_t{4} << 20));
        EXPECT_EQ(static_cast<const void*>(next.data()), freed);
        EXPECT_EQ(next[12345], 0u);
    }
    EXPECT_LT(ResidentBytes(), before + kBytes / 2); // the scope ended: given back
}

// Fresh memory is advised onto huge pages, which a search's random reads want, except a
// sort's buffers and what is made while a reuse scope lives (structures built one after
// another): on a virtual machine that hands freed memory back to its host, a fresh huge
// page costs milliseconds.
TEST(LargeArray, FreshArraysAreAdvisedHugeOutsideBuildsAndSorts)
{
    constexpr std::size_t kBytes = std::size_t{90} << 20; // beyond what is always kept
    {
        host::LargeVector<std::uint8_t> searched(kBytes);
        EXPECT_TRUE(AdvisedHuge(searched.data()));
    }
    {
        host::TransientVector<std::uint8_t> sorting(kBytes + (std::size_t{2} << 20));
        EXPECT_FALSE(AdvisedHuge(sorting.data()));
    }
    {
        const host::LargeArrayReuse reuse(std::size_t{1} << 20);
        host::LargeVector<std::uint8_t> built(kBytes + (std::size_t{4} << 20));
        EXPECT_FALSE(AdvisedHuge(built.data()));
    }
    host::LargeVector<std::uint8_t> after(kBytes + (std::size_t{6} << 20));
    EXPECT_TRUE(AdvisedHuge(after.data()));
}
#endif
