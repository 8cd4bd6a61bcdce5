#include "host/storage/leading_order.h"

#include "host/storage/column.h"
#include "host/text/text_fold.h"
#include "host/text/text_form.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace host {

namespace {

std::uint64_t KeyOf(std::string_view text)
{
    unsigned char bytes[8] = {};
    std::memcpy(bytes, text.data(), std::min<std::size_t>(8, text.size()));
    std::uint64_t key = 0;
    for (const unsigned char b : bytes) {
        key = (key << 8) | static_cast<unsigned char>(FoldByte(static_cast<char>(b)));
    }
    return key;
}

// A record's text as the order reads it, before folding: an integer's digits in buffer.
std::string_view KeyText(const Column& column, std::uint32_t rec, bool ignoreAccents,
                         std::string& scratch, char* buffer)
{
    if (column.Type() == FieldType::Integer) {
        return IntegerText(column.Int(rec), buffer);
    }
    return column.SearchText(rec, ignoreAccents, scratch);
}

// A record's key: the first 8 folded bytes of its text.
std::uint64_t RecordKey(const Column& column, std::uint32_t rec, bool ignoreAccents,
                        std::string& scratch)
{
    char buffer[kTextFormBuffer];
    return KeyOf(KeyText(column, rec, ignoreAccents, scratch, buffer));
}

using Ranks = std::array<std::uint8_t, 256>;

// Each folded byte that can be among a key's 8, and 0 (which pads a short key), as its
// rank among them, when they are at most 16: a key is then 8 ranks of 4 bits, which
// order as its bytes do. Integers have digits and '-'; a text column's first bytes are
// read (a pass at memory speed, stopped at the 17th); accents set aside can fold bytes
// into letters not seen, so such a column is not tried.
std::optional<Ranks> SmallAlphabet(const Column& column, bool ignoreAccents)
{
    std::array<bool, 256> met{};
    met[0] = true;
    if (column.Type() == FieldType::Integer) {
        for (const char c : std::string_view("-0123456789")) {
            met[static_cast<unsigned char>(c)] = true;
        }
    } else {
        if (ignoreAccents && column.HasFoldableAccents()) {
            return std::nullopt;
        }
        int distinct = 1;
        for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
            const std::string_view text = column.Text(rec);
            for (std::size_t i = 0; i < std::min<std::size_t>(8, text.size()); ++i) {
                const auto b = static_cast<unsigned char>(FoldByte(text[i]));
                if (!met[b]) {
                    met[b] = true;
                    if (++distinct > 16) {
                        return std::nullopt;
                    }
                }
            }
        }
    }
    Ranks ranks{};
    std::uint8_t next = 0;
    for (std::size_t b = 0; b < met.size(); ++b) {
        if (met[b]) {
            ranks[b] = next++;
        }
    }
    return ranks;
}

std::uint32_t PackedKey(std::string_view text, const Ranks& ranks)
{
    std::uint32_t key = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const char c = i < text.size() ? FoldByte(text[i]) : '\0';
        key = (key << 4) | ranks[static_cast<unsigned char>(c)];
    }
    return key;
}

template <typename Key> struct Keyed {
    Key key;
    std::uint32_t rec;
};

template <typename T> void Release(LargeVector<T>& v)
{
    LargeVector<T>().swap(v);
}

// The non-NULL records ordered by keyOf(rec), least significant digit of kBits first,
// each pass stable; a digit every key shares is skipped. The keys are computed again
// for the first pass rather than kept: fresh memory costs far more than that. The first
// pass reads the records, the last writes them into the order, and a buffer no longer
// read is given back before the order is taken.
template <typename Key, int kBits, typename KeyOfRecord>
LargeVector<std::uint32_t> RadixOrder(const Column& column, const KeyOfRecord& keyOf)
{
    constexpr int kPasses = static_cast<int>(8 * sizeof(Key)) / kBits;
    constexpr std::size_t kRadix = std::size_t{1} << kBits;
    const auto digit = [](Key key, int pass) {
        return static_cast<std::size_t>((key >> (kBits * pass)) & (kRadix - 1));
    };
    std::vector<std::vector<std::uint32_t>> counts(kPasses,
                                                   std::vector<std::uint32_t>(kRadix + 1, 0));
    std::uint32_t keys = 0;
    for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
        if (!column.IsNull(rec)) {
            const Key key = keyOf(rec);
            for (int pass = 0; pass < kPasses; ++pass) {
                ++counts[pass][digit(key, pass) + 1];
            }
            ++keys;
        }
    }
    std::vector<int> passes;
    for (int pass = 0; pass < kPasses; ++pass) {
        auto& c = counts[pass];
        if (std::none_of(c.begin(), c.end(), [&](std::uint32_t n) { return n == keys; })) {
            for (std::size_t d = 0; d < kRadix; ++d) {
                c[d + 1] += c[d];
            }
            passes.push_back(pass);
        }
    }
    LargeVector<std::uint32_t> order;
    if (passes.empty()) {
        order.reserve(keys);
        for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
            if (!column.IsNull(rec)) {
                order.push_back(rec);
            }
        }
        return order;
    }
    LargeVector<Keyed<Key>> from;
    LargeVector<Keyed<Key>> to;
    if (passes.size() == 1) {
        order.resize(keys);
    } else {
        to.resize(keys);
    }
    auto& first = counts[passes.front()];
    for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
        if (!column.IsNull(rec)) {
            const Key key = keyOf(rec);
            const std::uint32_t at = first[digit(key, passes.front())]++;
            if (passes.size() == 1) {
                order[at] = rec;
            } else {
                to[at] = {key, rec};
            }
        }
    }
    for (std::size_t p = 1; p < passes.size(); ++p) {
        from.swap(to);
        const bool last = p + 1 == passes.size();
        if (last) {
            Release(to);
            order.resize(keys);
        } else {
            to.resize(keys);
        }
        auto& c = counts[passes[p]];
        for (const Keyed<Key>& k : from) {
            const std::uint32_t at = c[digit(k.key, passes[p])]++;
            if (last) {
                order[at] = k.rec;
            } else {
                to[at] = k;
            }
        }
    }
    return order;
}

} // namespace

std::string_view LeadingBytesText(const Column& column, std::uint32_t rec, bool ignoreAccents,
                                  std::string& scratch)
{
    if (column.Type() == FieldType::Integer) {
        char buffer[kTextFormBuffer];
        scratch.assign(IntegerText(column.Int(rec), buffer));
        return scratch;
    }
    return column.SearchText(rec, ignoreAccents, scratch);
}

bool LeadingBytesPacked(const Column& column, bool ignoreAccents)
{
    return SmallAlphabet(column, ignoreAccents).has_value();
}

LargeVector<std::uint32_t> LeadingBytesOrder(const Column& column, bool ignoreAccents)
{
    std::string scratch;
    if (const std::optional<Ranks> ranks = SmallAlphabet(column, ignoreAccents)) {
        // 8 bytes an item instead of 16, and two passes of 16 bits instead of eight of 8.
        return RadixOrder<std::uint32_t, 16>(column, [&](std::uint32_t rec) {
            char buffer[kTextFormBuffer];
            return PackedKey(KeyText(column, rec, ignoreAccents, scratch, buffer), *ranks);
        });
    }
    return RadixOrder<std::uint64_t, 8>(
        column, [&](std::uint32_t rec) { return RecordKey(column, rec, ignoreAccents, scratch); });
}

std::pair<std::uint32_t, std::uint32_t> LeadingBytesRange(const Column& column,
                                                          const LargeVector<std::uint32_t>& order,
                                                          std::string_view foldedPrefix,
                                                          bool ignoreAccents)
{
    const std::size_t width = std::min<std::size_t>(8, foldedPrefix.size());
    const std::string_view head = foldedPrefix.substr(0, width);
    std::string scratch;
    // The first `width` bytes of a record's key, as a number, against the prefix's.
    const std::uint64_t want = width == 0 ? 0 : KeyOf(head) >> (8 * (8 - width));
    const auto leading = [&](std::uint32_t rec) {
        const std::uint64_t key = RecordKey(column, rec, ignoreAccents, scratch);
        return width == 0 ? 0 : key >> (8 * (8 - width));
    };
    const auto lo = std::partition_point(order.begin(), order.end(),
                                         [&](std::uint32_t rec) { return leading(rec) < want; });
    const auto hi = std::partition_point(lo, order.end(),
                                         [&](std::uint32_t rec) { return leading(rec) == want; });
    return {static_cast<std::uint32_t>(lo - order.begin()),
            static_cast<std::uint32_t>(hi - order.begin())};
}

} // namespace host
