#include "host/dataset/text_fold.h"

#include <algorithm>
#include <array>

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

bool FoldedContains(std::string_view text, std::string_view foldedNeedle)
{
    const size_t m = foldedNeedle.size();
    if (m == 0) {
        return true;
    }
    if (text.size() < m) {
        return false;
    }
    const char first = foldedNeedle[0];
    for (size_t i = 0; i + m <= text.size(); ++i) {
        if (FoldByte(text[i]) != first) {
            continue;
        }
        size_t j = 1;
        while (j < m && FoldByte(text[i + j]) == foldedNeedle[j]) {
            ++j;
        }
        if (j == m) {
            return true;
        }
    }
    return false;
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
