#include "host/storage/large_array.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>

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

// Gives an array back 16 MB at a time: the kernel holds the process's address
// space while it frees pages, and every other thread's page fault waits meanwhile (a
// keystroke's too, while a build gives back hundreds of megabytes of small pages).
void UnmapInPieces(void* memory, std::size_t size)
{
    constexpr std::size_t kPiece = 8 * kHugePage;
    auto* bytes = static_cast<char*>(memory);
    for (std::size_t done = 0; done < size; done += kPiece) {
        munmap(bytes + done, std::min(kPiece, size - done));
    }
}

// The arrays freed last, up to 64 MB, kept for the next that fits in one. Each keystroke
// of a search over millions of records allocates and frees lists of a megabyte or more,
// of sizes that change with the text, and fresh memory costs a fault on first touch and
// the kernel's zeroing of each 2 MB page (on a virtual machine, which may have handed
// freed memory back to its host, far more: several milliseconds a megabyte); kept memory
// is written over by the next owner (std::vector initialises it). The oldest go first
// when room is needed.
class KeptArrays {
public:
    // An array of exactly size bytes (a multiple of the huge page): a kept one of that
    // size, else the head of the smallest larger one, whose tail stays kept for the next
    // (a sort's buffer of 16 bytes a record serves two of 8).
    void* Take(std::size_t size)
    {
        const std::lock_guard lock(m_mutex);
        Kept* best = nullptr;
        for (Kept& kept : m_kept) {
            if (kept.memory != nullptr && kept.size >= size &&
                (best == nullptr || kept.size < best->size)) {
                best = &kept;
            }
        }
        if (best == nullptr) {
            return nullptr;
        }
        void* memory = best->memory;
        m_bytes -= size;
        if (best->size > size) {
            best->memory = static_cast<char*>(memory) + size;
            best->size -= size;
        } else {
            *best = {};
        }
        return memory;
    }
    bool Keep(void* memory, std::size_t size)
    {
        std::array<Kept, kSlots> dropped{};
        {
            const std::lock_guard lock(m_mutex);
            if (size > Most()) {
                return false;
            }
            for (;;) {
                const auto free = std::find_if(m_kept.begin(), m_kept.end(),
                                               [](const Kept& kept) { return !kept.memory; });
                if (free != m_kept.end() && m_bytes + size <= Most()) {
                    *free = {memory, size, ++m_age};
                    m_bytes += size;
                    break;
                }
                DropOldest(dropped);
            }
        }
        Unmap(dropped);
        return true;
    }

    // Keeps up to `bytes` more (a negative amount: less), and counts a reuse begun (1) or
    // ended (-1); what is kept beyond the new bound is given back, the oldest first.
    void KeepMore(std::ptrdiff_t bytes, int reuses)
    {
        std::array<Kept, kSlots> dropped{};
        {
            const std::lock_guard lock(m_mutex);
            m_reuses += reuses;
            m_more = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(m_more) + bytes);
            while (m_bytes > Most()) {
                DropOldest(dropped);
            }
        }
        Unmap(dropped);
    }

    // Whether a reuse is alive: fresh arrays then take small pages.
    bool Reusing()
    {
        const std::lock_guard lock(m_mutex);
        return m_reuses > 0;
    }

private:
    static constexpr std::size_t kMostBytes = std::size_t{64} << 20;
    static constexpr std::size_t kSlots = 8;
    std::size_t Most() const { return kMostBytes + m_more; }
    struct Kept {
        void* memory = nullptr;
        std::size_t size = 0;
        std::uint64_t age = 0;
    };
    // Moves the oldest kept array into its slot of dropped; under the lock, with one kept.
    void DropOldest(std::array<Kept, kSlots>& dropped)
    {
        Kept* oldest = nullptr;
        for (Kept& kept : m_kept) {
            if (kept.memory != nullptr && (oldest == nullptr || kept.age < oldest->age)) {
                oldest = &kept;
            }
        }
        dropped[static_cast<std::size_t>(oldest - m_kept.data())] = *oldest;
        m_bytes -= oldest->size;
        *oldest = {};
    }
    // Gives the dropped arrays back, outside the lock.
    static void Unmap(const std::array<Kept, kSlots>& dropped)
    {
        for (const Kept& kept : dropped) {
            if (kept.memory != nullptr) {
                UnmapInPieces(kept.memory, kept.size);
            }
        }
    }
    std::mutex m_mutex;
    std::array<Kept, kSlots> m_kept{};
    std::size_t m_bytes = 0;
    std::size_t m_more = 0; // what the LargeArrayReuse alive add to kMostBytes
    int m_reuses = 0;       // how many are alive
    std::uint64_t m_age = 0;
};

KeptArrays& Kept()
{
    static KeptArrays kept;
    return kept;
}
#endif

} // namespace

LargeArrayReuse::LargeArrayReuse(std::size_t bytes) : m_bytes(bytes)
{
#if defined(__linux__)
    Kept().KeepMore(static_cast<std::ptrdiff_t>(m_bytes), 1);
#endif
}

LargeArrayReuse::~LargeArrayReuse()
{
#if defined(__linux__)
    Kept().KeepMore(-static_cast<std::ptrdiff_t>(m_bytes), -1);
#endif
}

void* AllocateLargeArray(std::size_t bytes, LargeArrayPages pages)
{
#if defined(__linux__)
    if (bytes >= kLargeArrayBytes) {
        const std::size_t size = RoundUp(bytes);
        if (void* kept = Kept().Take(size)) {
            return kept;
        }
        // One huge page more than asked, then the unaligned ends given back.
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
        if (pages == LargeArrayPages::Huge && !Kept().Reusing()) {
            (void)madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
        }
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
        if (!Kept().Keep(memory, RoundUp(bytes))) {
            UnmapInPieces(memory, RoundUp(bytes)); // larger than all that is kept
        }
        return;
    }
#endif
    ::operator delete(memory);
}

} // namespace host
