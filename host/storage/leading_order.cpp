#include "host/storage/leading_order.h"

#include "host/storage/column.h"
#include "host/text/text_fold.h"
#include "host/text/text_form.h"

#include <algorithm>
#include <array>
#include <cstring>

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

// A record's key: the first 8 folded bytes of its text.
std::uint64_t RecordKey(const Column& column, std::uint32_t rec, bool ignoreAccents,
                        std::string& scratch)
{
    if (column.Type() == FieldType::Integer) {
        char buffer[kTextFormBuffer];
        return KeyOf(IntegerText(column.Int(rec), buffer));
    }
    return KeyOf(column.SearchText(rec, ignoreAccents, scratch));
}

struct Keyed {
    std::uint64_t key;
    std::uint32_t rec;
};

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

LargeVector<std::uint32_t> LeadingBytesOrder(const Column& column, bool ignoreAccents)
{
    LargeVector<Keyed> keyed;
    keyed.reserve(column.Count());
    std::string scratch;
    for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
        if (!column.IsNull(rec)) {
            keyed.push_back({RecordKey(column, rec, ignoreAccents, scratch), rec});
        }
    }
    // Least significant byte first, each pass stable; a byte every key shares is skipped.
    std::vector<std::array<std::uint32_t, 257>> counts(8);
    for (auto& c : counts) {
        c.fill(0);
    }
    for (const Keyed& k : keyed) {
        for (int pass = 0; pass < 8; ++pass) {
            ++counts[pass][((k.key >> (8 * pass)) & 0xFF) + 1];
        }
    }
    LargeVector<Keyed> other(keyed.size());
    for (int pass = 0; pass < 8; ++pass) {
        auto& c = counts[pass];
        if (std::any_of(c.begin(), c.end(), [&](std::uint32_t n) { return n == keyed.size(); })) {
            continue;
        }
        for (int b = 0; b < 256; ++b) {
            c[b + 1] += c[b];
        }
        for (const Keyed& k : keyed) {
            other[c[(k.key >> (8 * pass)) & 0xFF]++] = k;
        }
        keyed.swap(other);
    }
    other = {};
    LargeVector<std::uint32_t> order(keyed.size());
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        order[i] = keyed[i].rec;
    }
    return order;
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
