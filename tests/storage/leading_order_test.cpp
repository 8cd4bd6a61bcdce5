#include "host/storage/leading_order.h"
#include "host/storage/table.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <optional>
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

// A text column of the given values, NULL where there is none.
host::Table TextTable(const std::vector<std::optional<std::string>>& values)
{
    host::Table table;
    table.AddField({QStringLiteral("FONE"), host::FieldType::Text, 0});
    for (const auto& value : values) {
        if (value) {
            table.Col(0).AppendText(*value);
        } else {
            table.Col(0).AppendNull();
        }
    }
    table.AdoptAppendedColumns();
    return table;
}

// Values of 0 to 12 bytes drawn from `symbols` (short ones pad their key with zeros), many
// repeated (equal keys), NULL now and then and always first; `tail` bytes may follow the
// first 8, where they are no part of the key.
std::vector<std::optional<std::string>> RandomValues(std::mt19937& rng, std::uint32_t records,
                                                     std::string_view symbols,
                                                     std::string_view tail = {})
{
    std::vector<std::optional<std::string>> values;
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        if (rec == 0 || rng() % 29 == 0) {
            values.emplace_back();
        } else if (rec > 1 && rng() % 4 == 0) {
            values.push_back(values[rng() % rec]);
        } else {
            std::string text;
            const std::size_t length = rng() % 13;
            for (std::size_t i = 0; i < length; ++i) {
                const std::string_view from = i >= 8 && !tail.empty() ? tail : symbols;
                text += from[rng() % from.size()];
            }
            values.emplace_back(std::move(text));
        }
    }
    return values;
}

void ExpectPlainOrder(const host::Column& column, bool packed)
{
    for (const bool accents : {false, true}) {
        SCOPED_TRACE(accents ? "accents set aside" : "accents kept");
        EXPECT_EQ(host::LeadingBytesPacked(column, accents), packed);
        const host::LargeVector<std::uint32_t> order = host::LeadingBytesOrder(column, accents);
        ASSERT_EQ(std::vector<std::uint32_t>(order.begin(), order.end()),
                  PlainOrder(column, accents));
    }
}

// Keys of few distinct bytes are sorted packed, 4 bits a byte: the same order, at each
// size (one digit of the packed key shared by all, or none).
TEST(LeadingOrder, PackedKeysOrderAsTheirBytes)
{
    std::mt19937 rng(99);
    for (const std::uint32_t records : {1U, 2U, 3U, 100U, 5000U, 70000U}) {
        SCOPED_TRACE(testing::Message() << records << " records");
        // Phone numbers and codes: digits, some with a dash or a space.
        ExpectPlainOrder(TextTable(RandomValues(rng, records, "0123456789")).Col(0), true);
        ExpectPlainOrder(TextTable(RandomValues(rng, records, "01234567890123456789- ")).Col(0),
                         true);
        // Letters of either case fold to one byte; what follows the first 8 bytes is not
        // read, whatever it holds.
        ExpectPlainOrder(TextTable(RandomValues(rng, records, "aBcAbC12", "xyzXYZ")).Col(0), true);
        // At most 4 bytes: the last four of each key are padding, a digit every key shares.
        std::vector<std::optional<std::string>> shortValues = RandomValues(rng, records, "739");
        for (auto& value : shortValues) {
            if (value && value->size() > 4) {
                value->resize(4);
            }
        }
        ExpectPlainOrder(TextTable(shortValues).Col(0), true);
    }
}

// 16 symbols with the padding zero pack; a 17th anywhere in the first 8 bytes does not,
// and the order is the same either way.
TEST(LeadingOrder, PacksUpToSixteenSymbols)
{
    std::mt19937 rng(5);
    const std::string_view fifteen = "0123456789ABCDe"; // with 'E' from 'e', and the zero: 16
    for (const std::uint32_t records : {4U, 300U, 70000U}) {
        SCOPED_TRACE(testing::Message() << records << " records");
        std::vector<std::optional<std::string>> values =
            RandomValues(rng, records, fifteen, "FGHIJ");
        values[1] = "01234567"; // every symbol met, whatever was drawn
        values[2] = "89abcdE";
        ExpectPlainOrder(TextTable(values).Col(0), true);
        values[records - 1] = "0000000F"; // a 17th, the last of its key
        ExpectPlainOrder(TextTable(values).Col(0), false);
        values[records - 1] = "F";
        ExpectPlainOrder(TextTable(values).Col(0), false);
    }
}

// Folding accents makes bytes of others: such a column is not packed when they are set
// aside, and is (its bytes as stored are few) when they are kept.
TEST(LeadingOrder, AccentsSetAsideAreNotPacked)
{
    std::mt19937 rng(17);
    std::vector<std::optional<std::string>> values = RandomValues(rng, 3000, "0123E");
    for (std::size_t rec = 1; rec < values.size(); rec += 7) {
        values[rec] = std::string(rec % 3, '1') + "\xC3\x89" + "2"; // É
    }
    const host::Table table = TextTable(values);
    const host::Column& column = table.Col(0);
    ASSERT_TRUE(column.HasFoldableAccents());
    EXPECT_TRUE(host::LeadingBytesPacked(column, false));
    EXPECT_FALSE(host::LeadingBytesPacked(column, true));
    for (const bool accents : {false, true}) {
        const host::LargeVector<std::uint32_t> order = host::LeadingBytesOrder(column, accents);
        ASSERT_EQ(std::vector<std::uint32_t>(order.begin(), order.end()),
                  PlainOrder(column, accents));
    }
}

// Integers always pack: negative, zero, one to twenty bytes long, equal ones, NULL first.
TEST(LeadingOrder, IntegersPack)
{
    std::mt19937_64 rng(3);
    for (const std::uint32_t records : {1U, 2U, 1000U, 70000U}) {
        host::Table table;
        table.AddField({QStringLiteral("CODIGO"), host::FieldType::Integer, 0});
        for (std::uint32_t rec = 0; rec < records; ++rec) {
            if (rec == 0 || rng() % 31 == 0) {
                table.Col(0).AppendNull();
                continue;
            }
            std::int64_t value = 0;
            switch (rng() % 4) {
            case 0:
                value = static_cast<std::int64_t>(rng() % 200) - 100;
                break;
            case 1:
                value = static_cast<std::int64_t>(rng() % 100000000);
                break;
            case 2:
                value = static_cast<std::int64_t>(rng());
                break;
            default:
                value = -static_cast<std::int64_t>(rng() % 1000000000);
                break;
            }
            table.Col(0).AppendInt(value);
        }
        table.AdoptAppendedColumns();
        SCOPED_TRACE(testing::Message() << records << " records");
        ExpectPlainOrder(table.Col(0), true);
    }
}

// Every value the same, or every one NULL: no pass sorts anything.
TEST(LeadingOrder, EqualKeysKeepRecordOrder)
{
    ExpectPlainOrder(TextTable({std::nullopt, "12", "12", std::nullopt, "12"}).Col(0), true);
    ExpectPlainOrder(TextTable({std::nullopt, std::nullopt}).Col(0), true);
    ExpectPlainOrder(TextTable({}).Col(0), true);
}

} // namespace
