#include "host/dataset/large_array.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace host {

namespace {

#if defined(__linux__)
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t bytes)
{
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}
#endif

} // namespace

void* AllocateLargeArray(std::size_t bytes)
{
#if defined(__linux__)
    if (bytes >= kLargeArrayBytes) {
        // One huge page more than asked, then the unaligned ends given back.
        const std::size_t size = RoundUp(bytes);
        void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            throw std::bad_alloc();
        }
        const auto start = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
        if (aligned > start) {
            munmap(mapped, aligned - start);
        }
        const std::uintptr_t end = aligned + size;
        const std::uintptr_t mappedEnd = start + size + kHugePage;
        if (mappedEnd > end) {
            munmap(reinterpret_cast<void*>(end), mappedEnd - end);
        }
        // Only advice: without huge pages the memory works all the same.
        (void)madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
        return reinterpret_cast<void*>(aligned);
    }
#endif
    return ::operator new(bytes);
}

void FreeLargeArray(void* memory, std::size_t bytes) noexcept
{
    if (memory == nullptr) {
        return;
    }
#if defined(__linux__)
    if (bytes >= kLargeArrayBytes) {
        munmap(memory, RoundUp(bytes));
        return;
    }
#endif
    ::operator delete(memory);
}

} // namespace host
