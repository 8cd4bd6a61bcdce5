#include "host/storage/record_order.h"
#include "host/storage/table.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <string>

namespace {

// Names that share long beginnings (so the sort goes many 8-byte chunks deep), differ
// in case and length by a byte, hold UTF-8, and are NULL now and then (the first too).
host::Table ManyNames(std::uint32_t records)
{
    // "€" and "ḃ" begin with bytes (E2, E1) whose low seven bits are lower-case letters.
    static const char* const words[] = {"MARIA",    "Maria",    "DA",   "da",    "SILVA",
                                        "SILVEIRA", "JOÃO",     "joão", "SOUZA", "A",
                                        "",         "AAAAAAAA", "€uro", "ḃ",     "Ação"};
    std::mt19937 rng(42);
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    host::Column& column = table.Col(0);
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        if (rec == 0 || rng() % 97 == 0) {
            column.AppendNull();
            continue;
        }
        std::string name;
        const int n = static_cast<int>(rng() % 6);
        for (int w = 0; w < n; ++w) {
            name += words[rng() % std::size(words)];
            name += rng() % 3 == 0 ? "" : " ";
        }
        column.AppendText(name);
    }
    table.AdoptAppendedColumns();
    return table;
}

// The order of a plain stable comparison sort of the texts as the key reads them.
void ExpectStableTextOrder(const host::Table& table)
{
    const host::Column& column = table.Col(0);
    for (const bool ignoreAccents : {false, true}) {
        for (const bool caseInsensitive : {false, true}) {
            const std::vector<std::uint32_t> sorted = host::SortRecords(
                table, {host::SortField{0, false, caseInsensitive, ignoreAccents}});
            std::vector<std::string> texts(table.RecordCount());
            std::string scratch;
            for (std::uint32_t rec = 0; rec < table.RecordCount(); ++rec) {
                if (!column.IsNull(rec)) {
                    texts[rec] = column.SearchText(rec, ignoreAccents, scratch);
                }
            }
            std::vector<std::uint32_t> expected(table.RecordCount());
            std::iota(expected.begin(), expected.end(), 0u);
            std::stable_sort(
                expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
                    if (column.IsNull(a) || column.IsNull(b)) {
                        return column.IsNull(a) && !column.IsNull(b);
                    }
                    return caseInsensitive ? host::CompareFolded(texts[a], texts[b]) < 0
                                           : texts[a] < texts[b];
                });
            ASSERT_EQ(sorted, expected) << (caseInsensitive ? "case-insensitive" : "case-sensitive")
                                        << (ignoreAccents ? ", accents set aside" : "");
        }
    }
}

} // namespace

// The radix and chunk-by-chunk text sort, with the second level on two threads from a
// quarter of a million records, gives the order of a plain stable comparison sort: NULLs
// first, then byte order (folded byte order for a case-insensitive key, of the text with
// accents set aside when asked), ties in record order.
TEST(RecordOrder, TextSortMatchesAStableComparisonSort)
{
    // Few records sort on one thread with a comparison sort below the top; many on two,
    // spread by key bytes.
    for (const std::uint32_t records : {5'000u, 300'000u}) {
        SCOPED_TRACE(records);
        ExpectStableTextOrder(ManyNames(records));
    }
}
// Texts that end in the buffer's last bytes (where a chunk cannot be read as one word),
// and one long shared beginning for many records, so that the spread by key bytes goes
// several bytes down before parts fit in cache.
TEST(RecordOrder, TextSortAtTheBufferEndAndUnderLongSharedBeginnings)
{
    std::mt19937 rng(7);
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    host::Column& column = table.Col(0);
    std::vector<std::string> texts;
    for (int rec = 0; rec < 200'000; ++rec) {
        std::string text = rng() % 4 == 0 ? "ab" : "COMMON BEGINNING OF A NAME ";
        for (int k = static_cast<int>(rng() % 5); k > 0; --k) {
            // Both ends of the letters and the bytes just past them.
            static const char bytes[] = "azAZ`{@[";
            text += bytes[rng() % 8];
            text += bytes[rng() % 8];
        }
        texts.push_back(text);
    }
    texts.push_back("b");
    texts.push_back("aB");
    texts.push_back("");
    for (const std::string& text : texts) {
        column.AppendText(text);
    }
    table.AdoptAppendedColumns();
    for (const bool caseInsensitive : {false, true}) {
        const std::vector<std::uint32_t> sorted =
            host::SortRecords(table, {host::SortField{0, false, caseInsensitive}});
        std::vector<std::uint32_t> expected(texts.size());
        std::iota(expected.begin(), expected.end(), 0u);
        std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
            return caseInsensitive ? host::CompareFolded(texts[a], texts[b]) < 0
                                   : texts[a] < texts[b];
        });
        ASSERT_EQ(sorted, expected) << (caseInsensitive ? "case-insensitive" : "case-sensitive");
    }
}
