#include "host/storage/number_text_order.h"

#include "host/storage/column.h"
#include "host/text/text_form.h"

#include <algorithm>
#include <future>
#include <system_error>

namespace host {

namespace {

// A value's text as a key that compares as the text does: negative values (a '-' first)
// before the others, then the digits padded with zeros to 19 places, then the number of
// digits (a text that another begins with comes first).
struct TextKey {
    std::uint64_t padded = 0;
    std::uint32_t rec = 0;
    std::uint8_t digits = 0;
    std::uint8_t positive = 0;

    bool operator<(const TextKey& other) const
    {
        if (positive != other.positive) {
            return positive < other.positive;
        }
        if (padded != other.padded) {
            return padded < other.padded;
        }
        if (digits != other.digits) {
            return digits < other.digits;
        }
        return rec < other.rec;
    }
};

TextKey KeyOf(std::int64_t value, std::uint32_t rec)
{
    TextKey key;
    key.rec = rec;
    key.positive = value >= 0 ? 1 : 0;
    std::uint64_t magnitude =
        value >= 0 ? static_cast<std::uint64_t>(value) : 0 - static_cast<std::uint64_t>(value);
    std::uint8_t digits = 1;
    for (std::uint64_t rest = magnitude / 10; rest != 0; rest /= 10) {
        ++digits;
    }
    for (int i = digits; i < 19; ++i) {
        magnitude *= 10; // 19 digits fit 64 bits (a 20-digit magnitude is never met)
    }
    key.padded = magnitude;
    key.digits = digits;
    return key;
}

} // namespace

std::vector<std::uint32_t> IntegerTextOrder(const Column& column)
{
    std::vector<TextKey> keys;
    keys.reserve(column.Count());
    for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
        if (!column.IsNull(rec)) {
            keys.push_back(KeyOf(column.Int(rec), rec));
        }
    }
    // Two halves sorted side by side, then merged.
    const auto middle = keys.begin() + static_cast<std::ptrdiff_t>(keys.size() / 2);
    std::future<void> other;
    if (keys.size() >= (1U << 18)) {
        try {
            other = std::async(std::launch::async, [&] { std::sort(keys.begin(), middle); });
        } catch (const std::system_error&) {
        }
    }
    if (!other.valid()) {
        std::sort(keys.begin(), middle);
    }
    std::sort(middle, keys.end());
    if (other.valid()) {
        other.get();
    }
    std::inplace_merge(keys.begin(), middle, keys.end());
    std::vector<std::uint32_t> order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        order[i] = keys[i].rec;
    }
    return order;
}

std::pair<std::uint32_t, std::uint32_t> IntegerTextRange(const Column& column,
                                                         const std::vector<std::uint32_t>& order,
                                                         std::string_view prefix)
{
    char buffer[kTextFormBuffer];
    const auto head = [&](std::uint32_t rec) {
        return IntegerText(column.Int(rec), buffer).substr(0, prefix.size());
    };
    const auto lo = std::partition_point(order.begin(), order.end(),
                                         [&](std::uint32_t rec) { return head(rec) < prefix; });
    const auto hi = std::partition_point(lo, order.end(),
                                         [&](std::uint32_t rec) { return head(rec) == prefix; });
    return {static_cast<std::uint32_t>(lo - order.begin()),
            static_cast<std::uint32_t>(hi - order.begin())};
}

} // namespace host
