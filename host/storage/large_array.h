#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <vector>

namespace host {

// Memory for one array of `bytes` bytes: from kLargeArrayBytes up, 2 MB-aligned pages
// straight from the system, marked for transparent huge pages; below, operator new.
// Searches and sorts read the text of millions of records in no order, and with 4 KB
// pages nearly each of those reads also misses the address cache: on huge pages they
// cost far less. A keystroke's own lists of a megabyte or more (the candidates of a
// contains search and what it notes of them) come from here too: a few faults of 2 MB
// instead of a thousand of 4 KB.
constexpr std::size_t kLargeArrayBytes = std::size_t{1} << 20;
// Small pages for a buffer that lives a moment (a sort's): on a virtual machine that
// hands freed memory back to its host, a fresh huge page costs several milliseconds,
// far more than the address cache saves in one pass. Kept memory is taken as it is.
enum class LargeArrayPages { Huge, Small };
void* AllocateLargeArray(std::size_t bytes, LargeArrayPages pages = LargeArrayPages::Huge);
void FreeLargeArray(void* memory, std::size_t bytes) noexcept;

// While one is alive, up to `bytes` more of the large arrays freed are kept for the next
// that fits (beyond the 64 MB always kept): work that frees a big buffer and then takes
// another of its size (one structure built after another) reuses its memory instead of
// taking fresh, which on a virtual machine that hands freed memory back to its host costs
// several milliseconds a megabyte. What is fresh meanwhile takes small pages, which such
// a machine hands out far faster than huge ones. When it ends, what is kept beyond is
// given back.
class LargeArrayReuse {
public:
    explicit LargeArrayReuse(std::size_t bytes);
    ~LargeArrayReuse();
    LargeArrayReuse(const LargeArrayReuse&) = delete;
    LargeArrayReuse& operator=(const LargeArrayReuse&) = delete;

private:
    std::size_t m_bytes;
};

// A standard allocator over AllocateLargeArray, for big buffers.
template <typename T, LargeArrayPages Pages = LargeArrayPages::Huge> class LargeArrayAllocator {
public:
    using value_type = T;
    template <typename U> struct rebind {
        using other = LargeArrayAllocator<U, Pages>;
    };

    LargeArrayAllocator() noexcept = default;
    template <typename U> LargeArrayAllocator(const LargeArrayAllocator<U, Pages>&) noexcept {}

    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        return static_cast<T*>(AllocateLargeArray(n * sizeof(T), Pages));
    }
    void deallocate(T* memory, std::size_t n) noexcept { FreeLargeArray(memory, n * sizeof(T)); }

    friend bool operator==(const LargeArrayAllocator&, const LargeArrayAllocator&) { return true; }
};

using LargeText = std::basic_string<char, std::char_traits<char>, LargeArrayAllocator<char>>;
template <typename T> using LargeVector = std::vector<T, LargeArrayAllocator<T>>;
// A sort's buffer: small pages when fresh (LargeArrayPages), kept for reuse when freed.
template <typename T>
using TransientVector = std::vector<T, LargeArrayAllocator<T, LargeArrayPages::Small>>;

} // namespace host
