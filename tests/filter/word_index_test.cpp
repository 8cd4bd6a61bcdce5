#include "host/filter/word_index.h"
#include "host/storage/table.h"
#include "host/text/text_fold.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// Up to 10 words a value, from few (so that words repeat, in a value too), in either case
// and with accents; double, leading and trailing spaces; empty values and NULLs, the first
// record NULL; a word too long for the index's short buffer.
host::Table RandomNames(std::mt19937& rng, std::uint32_t records)
{
    static const char* const words[] = {"MARIA",  "maria", "DA",   "da",   "SILVA", "SILVEIRA",
                                        "JOÃO",   "joão",  "JOAO", "Ação", "A",     "7891",
                                        "78-910", "€",     "ÁGUA", "x"};
    static const std::string longWords[] = {std::string(70, 'L'),
                                            std::string(35, 'l') + std::string(35, 'L')};
    host::Table table;
    table.AddField({QStringLiteral("NOME"), host::FieldType::Text, 0});
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        if (rec == 0 || rng() % 37 == 0) {
            table.Col(0).AppendNull();
            continue;
        }
        std::string text;
        for (int n = static_cast<int>(rng() % 11); n > 0; --n) {
            const std::size_t pick = rng() % (std::size(words) + 1);
            text += pick == std::size(words) ? longWords[rng() % 2] : std::string(words[pick]);
            text += rng() % 6 == 0 ? "  " : " ";
        }
        if (rng() % 3 == 0 && !text.empty()) {
            text.pop_back(); // no trailing space
        }
        if (rng() % 9 == 0) {
            text.insert(0, " ");
        }
        table.Col(0).AppendText(text);
    }
    table.AdoptAppendedColumns();
    return table;
}

// Each distinct folded word with the records that hold it, ascending: read plainly.
std::map<std::string, std::vector<std::uint32_t>> PlainWords(const host::Column& column,
                                                             bool ignoreAccents)
{
    std::map<std::string, std::vector<std::uint32_t>> lists;
    std::string scratch;
    for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
        if (column.IsNull(rec)) {
            continue;
        }
        const std::string text(column.SearchText(rec, ignoreAccents, scratch));
        std::set<std::string> distinct;
        std::size_t at = 0;
        while (at <= text.size()) {
            const std::size_t space = std::min(text.find(' ', at), text.size());
            if (space > at) {
                std::string folded;
                host::FoldText(text.substr(at, space - at), folded);
                distinct.insert(folded);
            }
            at = space + 1;
        }
        for (const std::string& word : distinct) {
            lists[word].push_back(rec);
        }
    }
    return lists;
}

std::map<std::string, std::vector<std::uint32_t>> IndexWords(const host::filter::WordIndex& index)
{
    std::map<std::string, std::vector<std::uint32_t>> lists;
    const auto all = index.WordRange("");
    std::string previous;
    for (std::uint32_t word = all.first; word < all.second; ++word) {
        const std::string text(index.Word(word));
        EXPECT_TRUE(word == all.first || previous < text) << "words out of order at " << word;
        previous = text;
        std::size_t count = 0;
        const std::uint32_t* list = index.List(word, count);
        lists[text].assign(list, list + count);
    }
    return lists;
}

// Read on one thread and on two (the second half's words then come from a table of their
// own, its ids read where they are): the same words, the same records, in the same order.
// Small columns read on two threads, at odd sizes and with halves of few records, and one
// at the size from which a column is.
TEST(WordIndex, ListsAreThoseOfAPlainReading)
{
    std::mt19937 rng(2024);
    struct Case {
        std::uint32_t records;
        std::uint32_t parallelFrom;
    };
    const std::uint32_t parallel = host::filter::kParallelWords;
    for (const Case c : {Case{1, parallel}, Case{2, parallel}, Case{1000, parallel}, Case{2, 2},
                         Case{3, 2}, Case{63, 64}, Case{64, 64}, Case{65, 64}, Case{1001, 64},
                         Case{5000, 64}, Case{parallel + 1, parallel}}) {
        const host::Table table = RandomNames(rng, c.records);
        for (const bool accents : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << c.records << " records, two threads from " << c.parallelFrom
                         << (accents ? ", accents set aside" : ""));
            const host::filter::WordIndex index(table.Col(0), accents, true, c.parallelFrom);
            const auto plain = PlainWords(table.Col(0), accents);
            ASSERT_EQ(IndexWords(index), plain);
            std::size_t entries = 0;
            for (const auto& [word, list] : plain) {
                entries += list.size();
            }
            EXPECT_EQ(index.Hits(index.WordRange("")), entries);
        }
    }
}

} // namespace
