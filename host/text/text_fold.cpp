#include "host/text/text_fold.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace host {

void FoldText(std::string_view text, std::string& out)
{
    out.resize(text.size());
    std::transform(text.begin(), text.end(), out.begin(), FoldByte);
}

bool FoldChanges(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return FoldByte(c) != c; });
}

int CompareFolded(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(FoldByte(a[i]));
        const auto y = static_cast<unsigned char>(FoldByte(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

namespace {

bool FoldedAt(std::string_view text, std::size_t at, std::string_view foldedNeedle)
{
    for (std::size_t j = 0; j < foldedNeedle.size(); ++j) {
        if (FoldByte(text[at + j]) != foldedNeedle[j]) {
            return false;
        }
    }
    return true;
}

#if defined(__SSE2__)
// FoldByte on 16 bytes at once: 'a'..'z' lose 0x20 (bytes from 0x80 compare as negative
// and are left alone). Kept beside FoldByte, which it must agree with.
__m128i FoldBytes(__m128i bytes)
{
    const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('a' - 1)),
                                        _mm_cmplt_epi8(bytes, _mm_set1_epi8('z' + 1)));
    return _mm_sub_epi8(bytes, _mm_and_si128(lower, _mm_set1_epi8(0x20)));
}
#endif

} // namespace

std::size_t FoldedFind(std::string_view text, std::string_view foldedNeedle)
{
    const std::size_t m = foldedNeedle.size();
    if (m == 0) {
        return 0;
    }
    if (text.size() < m) {
        return std::string_view::npos;
    }
    const std::size_t last = text.size() - m; // the last position a match can start at
    std::size_t i = 0;
#if defined(__SSE2__)
    static_assert(FoldByte('a') == 'A' && FoldByte('A') == 'A');
    if (m >= 2 && last + 1 >= 16) {
        // 16 start positions at a time on the needle's first and last bytes; the final
        // block overlaps the one before rather than leave a tail.
        const __m128i first = _mm_set1_epi8(foldedNeedle.front());
        const __m128i end = _mm_set1_epi8(foldedNeedle.back());
        for (;;) {
            const __m128i a =
                FoldBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i)));
            const __m128i b = FoldBytes(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i + m - 1)));
            auto mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, end))));
            while (mask != 0) {
                const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
                if (FoldedAt(text, i + bit, foldedNeedle)) {
                    return i + bit;
                }
                mask &= mask - 1;
            }
            if (i + 16 > last) {
                return std::string_view::npos;
            }
            i = std::min(i + 16, last + 1 - 16);
        }
    }
#endif
    for (; i <= last; ++i) {
        if (FoldByte(text[i]) == foldedNeedle[0] && FoldedAt(text, i, foldedNeedle)) {
            return i;
        }
    }
    return std::string_view::npos;
}

ShortTextPlaces FindInShortText(std::string_view text, std::string_view needle, bool foldCase)
{
    ShortTextPlaces places;
    const std::size_t n = text.size();
    const std::size_t m = needle.size();
    const auto matchesAt = [&](std::size_t at) {
        return foldCase ? FoldedAt(text, at, needle) : text.compare(at, m, needle) == 0;
    };
    const auto below = [](std::size_t bits) {
        return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    };
#if defined(__SSE2__)
    // 16 places at a time: the text's bytes from each place on compared with the needle's
    // first four and its last, so that up to five bytes are decided without a look at
    // the text; longer needles are checked at the places left.
    const std::size_t compared = std::min<std::size_t>(m, 4);
    __m128i wanted[5];
    for (std::size_t j = 0; j < compared; ++j) {
        wanted[j] = _mm_set1_epi8(needle[j]);
    }
    if (m > 4) {
        wanted[4] = _mm_set1_epi8(needle[m - 1]);
    }
    const auto load = [&](std::size_t at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        return foldCase ? FoldBytes(bytes) : bytes;
    };
    for (std::size_t block = 0; block * 16 < n; ++block) {
        const std::size_t at = block * 16;
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        places.nonAscii |=
            static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(bytes))) << at;
        if (m == 0 || at + m > n) {
            continue;
        }
        __m128i equal = _mm_cmpeq_epi8(foldCase ? FoldBytes(bytes) : bytes, wanted[0]);
        for (std::size_t j = 1; j < compared; ++j) {
            equal = _mm_and_si128(equal, _mm_cmpeq_epi8(load(at + j), wanted[j]));
        }
        if (m > 4) {
            equal = _mm_and_si128(equal, _mm_cmpeq_epi8(load(at + m - 1), wanted[4]));
        }
        places.starts |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(equal)))
                         << at;
    }
    places.nonAscii &= below(n);
    places.starts &= m == 0 || m > n ? 0 : below(n - m + 1);
    if (m > 4) {
        for (std::uint64_t left = places.starts; left != 0; left &= left - 1) {
            const auto at = static_cast<std::size_t>(__builtin_ctzll(left));
            if (!matchesAt(at)) {
                places.starts &= ~(std::uint64_t{1} << at);
            }
        }
    }
#else
    for (std::size_t i = 0; i < n; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            places.nonAscii |= std::uint64_t{1} << i;
        }
        if (m != 0 && i + m <= n && matchesAt(i)) {
            places.starts |= std::uint64_t{1} << i;
        }
    }
    (void)below;
#endif
    return places;
}

bool FoldedContains(std::string_view text, std::string_view foldedNeedle)
{
    return FoldedFind(text, foldedNeedle) != std::string_view::npos;
}

FoldSources BytesFoldingTo(char folded)
{
    static const auto table = [] {
        std::array<FoldSources, 256> sources{};
        for (int b = 0; b < 256; ++b) {
            FoldSources& s = sources[static_cast<unsigned char>(FoldByte(static_cast<char>(b)))];
            if (s.count < 2) {
                s.bytes[s.count++] = static_cast<char>(b);
            }
        }
        return sources;
    }();
    return table[static_cast<unsigned char>(folded)];
}

} // namespace host
