#include "host/storage/leading_order.h"
#include "host/storage/table.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using Key = std::array<unsigned char, 8>;

// A record's first 8 bytes as the order reads them, written out plainly: folded, short
// texts padded with zero bytes.
Key PlainKey(const host::Column& column, std::uint32_t rec, bool ignoreAccents)
{
    std::string scratch;
    const std::string_view text = host::LeadingBytesText(column, rec, ignoreAccents, scratch);
    Key key{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<unsigned char>(host::FoldByte(i < text.size() ? text[i] : '\0'));
    }
    return key;
}

// The order by those keys, records with equal keys in record order.
std::vector<std::uint32_t> PlainOrder(const host::Column& column, bool ignoreAccents)
{
    std::vector<std::pair<Key, std::uint32_t>> keyed;
    for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
        if (!column.IsNull(rec)) {
            keyed.emplace_back(PlainKey(column, rec, ignoreAccents), rec);
        }
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::uint32_t> order;
    for (const auto& [key, rec] : keyed) {
        order.push_back(rec);
    }
    return order;
}

// Texts that share long beginnings, repeat (so many keys are equal), differ in case, hold
// accents and bytes above 0x7F, are empty or NULL (the first record too); and integers,
// negative, zero and wide, NULL now and then.
host::Table RandomTable(std::mt19937& rng, std::uint32_t records)
{
    static const char* const pieces[] = {"MARIA", "Maria", "DA", "SILVA", "SILVEIRA", "JOÃO",
                                         "joão",  "A",     "",   "7891",  "78910003", "Ação",
                                         "€",     "ÁGUA",  "  ", "0",     "AAAAAAAA"};
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    table.AddField({QStringLiteral("CODIGO"), host::FieldType::Integer, 0});
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        if (rec == 0 || rng() % 53 == 0) {
            table.Col(0).AppendNull();
        } else {
            std::string text;
            for (int n = static_cast<int>(rng() % 4); n >= 0; --n) {
                text += pieces[rng() % std::size(pieces)];
                text += rng() % 2 == 0 ? " " : "";
            }
            table.Col(0).AppendText(text);
        }
        if (rec == 0 || rng() % 41 == 0) {
            table.Col(1).AppendNull();
        } else {
            const std::int64_t magnitude =
                rng() % 3 == 0 ? static_cast<std::int64_t>(rng() % 1000)
                               : static_cast<std::int64_t>((std::uint64_t{rng()} << 20) ^ rng());
            table.Col(1).AppendInt(rng() % 5 == 0 ? -magnitude : magnitude);
        }
    }
    table.AdoptAppendedColumns();
    return table;
}

// Whatever the data, the radix sort's order is the one a plain stable sort of the keys
// gives, and a prefix's range holds exactly the records whose leading bytes begin with it.
TEST(LeadingOrder, IsAStableSortOfTheFoldedLeadingBytes)
{
    std::mt19937 rng(1234);
    for (const std::uint32_t records : {1U, 2U, 47U, 300U, 20000U}) {
        const host::Table table = RandomTable(rng, records);
        for (int field = 0; field < 2; ++field) {
            for (const bool accents : {false, true}) {
                SCOPED_TRACE(testing::Message() << records << " records, field " << field
                                                << (accents ? ", accents set aside" : ""));
                const host::Column& column = table.Col(field);
                const host::LargeVector<std::uint32_t> order =
                    host::LeadingBytesOrder(column, accents);
                const std::vector<std::uint32_t> plain = PlainOrder(column, accents);
                ASSERT_EQ(std::vector<std::uint32_t>(order.begin(), order.end()), plain);
                for (const char* prefix : {"", "M", "MARIA", "MARIA DA", "MARIA DA SILVA", "7", "-",
                                           "78910003", "AAAAAAAAA", "JO", "Z"}) {
                    std::string folded;
                    host::FoldText(prefix, folded);
                    const std::size_t width = std::min<std::size_t>(8, folded.size());
                    std::uint32_t count = 0;
                    for (const std::uint32_t rec : plain) {
                        const Key key = PlainKey(column, rec, accents);
                        count += std::equal(folded.begin(), folded.begin() + width, key.begin(),
                                            [](char a, unsigned char b) {
                                                return static_cast<unsigned char>(a) == b;
                                            })
                                     ? 1
                                     : 0;
                    }
                    const auto [first, last] =
                        host::LeadingBytesRange(column, order, folded, accents);
                    EXPECT_EQ(last - first, count) << prefix;
                }
            }
        }
    }
}

} // namespace
