// The text sort under an index: the order a host sees in a ClientDataset's index, as a
// plain stable comparison of the text as the key reads it would give.
#include "host/storage/column.h"
#include "host/storage/record_order.h"
#include "host/storage/table.h"
#include "host/storage/text_sort.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

host::Column TextColumn(const std::vector<std::string>& texts)
{
    host::Column column(host::FieldType::Text);
    for (const std::string& text : texts) {
        column.AppendText(text);
    }
    return column;
}

std::vector<std::uint32_t> Sorted(const host::Column& column, host::TextKey key)
{
    std::vector<std::uint32_t> recs(column.Count());
    std::iota(recs.begin(), recs.end(), 0u);
    host::SortTextRecords(column, key, recs.data(), recs.size());
    return recs;
}

std::vector<std::string> SortedTexts(const std::vector<std::string>& texts, host::TextKey key)
{
    const host::Column column = TextColumn(texts);
    std::vector<std::string> out;
    for (const std::uint32_t rec : Sorted(column, key)) {
        out.push_back(texts[rec]);
    }
    return out;
}

// The records in the order of a stable comparison sort of the text as the key reads it.
std::vector<std::uint32_t> Expected(const host::Column& column, host::TextKey key,
                                    std::vector<std::uint32_t> recs)
{
    std::vector<std::string> read(column.Count());
    std::string scratch;
    for (const std::uint32_t rec : recs) {
        read[rec] = column.SearchText(rec, key.accents, scratch);
    }
    std::stable_sort(recs.begin(), recs.end(), [&](std::uint32_t a, std::uint32_t b) {
        return key.folded ? host::CompareFolded(read[a], read[b]) < 0 : read[a] < read[b];
    });
    return recs;
}

const char* KeyName(host::TextKey key)
{
    return key.folded ? (key.accents ? "folded, accents aside" : "folded")
                      : (key.accents ? "accents aside" : "as stored");
}

const host::TextKey kKeys[] = {{false, false}, {true, false}, {false, true}, {true, true}};

} // namespace

TEST(TextSort, CaseCountsUnlessTheKeyFoldsIt)
{
    const std::vector<std::string> texts = {"banana", "Banana", "apple",
                                            "APPLE",  "Apple",  "cherry"};
    EXPECT_EQ(SortedTexts(texts, {false, false}),
              (std::vector<std::string>{"APPLE", "Apple", "Banana", "apple", "banana", "cherry"}));
    // Folded, the spellings of one word are equal and stay in record order.
    EXPECT_EQ(SortedTexts(texts, {true, false}),
              (std::vector<std::string>{"apple", "APPLE", "Apple", "banana", "Banana", "cherry"}));
}

TEST(TextSort, AccentedLettersGoAfterZOrAmongTheirBaseLetters)
{
    const std::vector<std::string> texts = {"Érica", "Eva", "Zé", "Edson", "Ágata", "Abel"};
    // As stored, UTF-8 bytes: an accented capital comes after every ASCII letter.
    EXPECT_EQ(SortedTexts(texts, {false, false}),
              (std::vector<std::string>{"Abel", "Edson", "Eva", "Zé", "Ágata", "Érica"}));
    EXPECT_EQ(SortedTexts(texts, {false, true}),
              (std::vector<std::string>{"Abel", "Ágata", "Edson", "Érica", "Eva", "Zé"}));
    // Case and accents aside, every spelling of a name is one key, in record order.
    const std::vector<std::string> names = {"JOSÉ", "josé", "Jose", "JOSE", "Joana", "joão"};
    EXPECT_EQ(SortedTexts(names, {true, true}),
              (std::vector<std::string>{"Joana", "joão", "JOSÉ", "josé", "Jose", "JOSE"}));
}

// Bytes from 0x80 on are not letters to the case fold, even those whose low seven bits
// spell one ("€" begins with E2, "ḃ" with E1), wherever in the text they stand.
TEST(TextSort, TheCaseFoldLeavesNonAsciiBytesAlone)
{
    EXPECT_EQ(SortedTexts({"€", "b", "ä", "Âb", "B", "âb"}, {true, false}),
              (std::vector<std::string>{"b", "B", "Âb", "âb", "ä", "€"}));
    std::vector<std::string> texts;
    for (int at = 0; at < 20; ++at) {
        for (const char* odd : {"€", "ḃ", "a", "A", "é", "É", "{", "`"}) {
            texts.push_back(std::string(static_cast<std::size_t>(at), 'x') + odd + "tail");
            texts.push_back(std::string(static_cast<std::size_t>(at), 'X') + odd);
        }
    }
    const host::Column column = TextColumn(texts);
    for (const host::TextKey key : kKeys) {
        std::vector<std::uint32_t> all(column.Count());
        std::iota(all.begin(), all.end(), 0u);
        EXPECT_EQ(Sorted(column, key), Expected(column, key, all)) << KeyName(key);
    }
}

// A shorter text comes before every longer one it begins; texts that share many bytes
// are told apart by the first one that differs, at any depth.
TEST(TextSort, LongSharedBeginningsAreOrderedByTheirFirstDifference)
{
    EXPECT_EQ(SortedTexts({"ABCDEFGH", "ABC", "AB", "ABCDEFGHI", "A", "ABCDEFG", "ABCDEFGH\x01"},
                          {false, false}),
              (std::vector<std::string>{"A", "AB", "ABC", "ABCDEFG", "ABCDEFGH", "ABCDEFGH\x01",
                                        "ABCDEFGHI"}));
    std::mt19937 rng(11);
    std::vector<std::string> texts;
    for (int copy = 0; copy < 40; ++copy) {
        for (const std::size_t shared : {0, 1, 7, 8, 9, 15, 16, 17, 24, 63, 64, 65, 200}) {
            for (const char* end : {"", "a", "b", "A", "B", "\x01", "ab", "é"}) {
                texts.push_back(std::string(shared, 'M') + end);
            }
        }
    }
    std::shuffle(texts.begin(), texts.end(), rng);
    const host::Column column = TextColumn(texts);
    std::vector<std::uint32_t> all(column.Count());
    std::iota(all.begin(), all.end(), 0u);
    for (const host::TextKey key : kKeys) {
        EXPECT_EQ(Sorted(column, key), Expected(column, key, all)) << KeyName(key);
    }
}

// Records with equal keys keep their record order, whichever way the sort goes at each
// size: a comparison sort, radix sorts in and out of cache, and two threads.
TEST(TextSort, EqualTextsKeepRecordOrderAtEverySize)
{
    const char* const values[] = {"SILVA",
                                  "silva",
                                  "Silva",
                                  "SOUZA",
                                  "SILVA JUNIOR",
                                  "ÁLVARO",
                                  "Alvaro",
                                  "A VERY LONG SHARED BEGINNING 1",
                                  "A VERY LONG SHARED BEGINNING 2"};
    for (const std::size_t records : {10u, 1'000u, 5'000u, 40'000u, 300'000u}) {
        SCOPED_TRACE(records);
        std::mt19937 rng(static_cast<unsigned>(records));
        std::vector<std::string> texts;
        for (std::size_t rec = 0; rec < records; ++rec) {
            texts.emplace_back(values[rng() % std::size(values)]);
        }
        const host::Column column = TextColumn(texts);
        std::vector<std::uint32_t> all(column.Count());
        std::iota(all.begin(), all.end(), 0u);
        for (const host::TextKey key : kKeys) {
            if (records > 100'000 && key.folded != key.accents) {
                continue; // the two threads are shown by the other keys; each costs seconds
            }
            ASSERT_EQ(Sorted(column, key), Expected(column, key, all)) << KeyName(key);
        }
    }
}

// A filtered set of records sorts into an order of those records alone.
TEST(TextSort, SortsOnlyTheRecordsItIsGiven)
{
    const std::vector<std::string> texts = {"d", "c", "b", "a", "c", "e", "a"};
    const host::Column column = TextColumn(texts);
    std::vector<std::uint32_t> some = {1, 3, 4, 6};
    host::SortTextRecords(column, {}, some.data(), some.size());
    EXPECT_EQ(some, (std::vector<std::uint32_t>{3, 6, 1, 4}));
}

// The first eight bytes as one number orders like the texts (ties aside): what a
// descending index and the prefix ranges of a search rely on.
TEST(TextSort, TheLeadingChunkOrdersLikeTheTexts)
{
    EXPECT_EQ(host::LeadingTextChunk("A", {}), std::uint64_t{0x41} << 56);
    EXPECT_EQ(host::LeadingTextChunk("ABCDEFGHIJ", {}), host::LeadingTextChunk("ABCDEFGH", {}));
    EXPECT_EQ(host::LeadingTextChunk("maria", {true, false}),
              host::LeadingTextChunk("MARIA", {true, false}));
    EXPECT_NE(host::LeadingTextChunk("maria", {}), host::LeadingTextChunk("MARIA", {}));
    EXPECT_EQ(host::LeadingTextChunk("Ávila", {false, true}),
              host::LeadingTextChunk("Avila", {false, true}));

    const std::vector<std::string> texts = {"",   "A", "AB", "ABCDEFGH", "ABCDEFGHI",  "B",    "a",
                                            "ab", "Á", "É",  "€",        "zzzzzzzzzz", "A\x01"};
    for (const host::TextKey key : kKeys) {
        const host::Column column = TextColumn(texts);
        std::vector<std::uint32_t> all(column.Count());
        std::iota(all.begin(), all.end(), 0u);
        const std::vector<std::uint32_t> order = Expected(column, key, all);
        for (std::size_t i = 1; i < order.size(); ++i) {
            EXPECT_LE(host::LeadingTextChunk(texts[order[i - 1]], key),
                      host::LeadingTextChunk(texts[order[i]], key))
                << KeyName(key) << ": " << texts[order[i - 1]] << " / " << texts[order[i]];
        }
    }
}

// Through an index: NULLs first, in record order, whichever way the text goes.
TEST(TextSort, NullsComeFirstInRecordOrderEitherWay)
{
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    host::Column& column = table.Col(0);
    const char* const texts[] = {"b", nullptr, "a", "B", nullptr, "c", nullptr};
    for (const char* text : texts) {
        if (text == nullptr) {
            column.AppendNull();
        } else {
            column.AppendText(text);
        }
    }
    table.AdoptAppendedColumns();
    EXPECT_EQ(host::SortRecords(table, {host::SortField{0, false, false}}),
              (std::vector<std::uint32_t>{1, 4, 6, 3, 2, 0, 5}));
    EXPECT_EQ(host::SortRecords(table, {host::SortField{0, false, true}}),
              (std::vector<std::uint32_t>{1, 4, 6, 2, 0, 3, 5}));
    EXPECT_EQ(host::SortRecords(table, {host::SortField{0, true, false}}),
              (std::vector<std::uint32_t>{1, 4, 6, 5, 0, 2, 3}));
    EXPECT_EQ(host::SortRecords(table, {host::SortField{0, true, true}}),
              (std::vector<std::uint32_t>{1, 4, 6, 5, 0, 3, 2}));
}
