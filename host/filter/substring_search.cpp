#include "host/filter/substring_search.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace host::filter {

namespace {

const char* FindPlain(const char* text, size_t size, std::string_view needle)
{
    return static_cast<const char*>(memmem(text, size, needle.data(), needle.size()));
}

} // namespace

const char* FindSubstring(const char* text, size_t size, std::string_view needle)
{
    const size_t m = needle.size();
    if (m == 0) {
        return text;
    }
    if (size < m) {
        return nullptr;
    }
    if (m == 1) {
        return static_cast<const char*>(std::memchr(text, needle[0], size));
    }
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    size_t i = 0;
    // Both loads stay inside the text: the last one ends at i + m - 1 + 16 <= size.
    for (; i + m - 1 + 16 <= size; i += 16) {
        const __m128i atFirst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i atLast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + m - 1));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(first, atFirst), _mm_cmpeq_epi8(last, atLast))));
        while (mask != 0) {
            const auto bit = static_cast<size_t>(__builtin_ctz(mask));
            if (std::memcmp(text + i + bit + 1, needle.data() + 1, m - 2) == 0) {
                return text + i + bit;
            }
            mask &= mask - 1;
        }
    }
    return FindPlain(text + i, size - i, needle);
#else
    return FindPlain(text, size, needle);
#endif
}

} // namespace host::filter
