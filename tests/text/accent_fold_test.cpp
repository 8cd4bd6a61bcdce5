// Accent folding: Latin letters with marks become their base letter in their own case;
// everything else is kept, and the table a server's translate() uses says the same.
#include "host/text/accent_fold.h"

#include <QList>
#include <gtest/gtest.h>

using host::AccentFolded;
using host::AccentFoldedText;

TEST(AccentFold, LettersLoseTheirMarksAndKeepTheirCase)
{
    EXPECT_EQ(AccentFoldedText(QStringLiteral("João")), QStringLiteral("Joao"));
    EXPECT_EQ(AccentFoldedText(QStringLiteral("JOÃO")), QStringLiteral("JOAO"));
    EXPECT_EQ(AccentFoldedText(QStringLiteral("Gonçalves GONÇALVES")),
              QStringLiteral("Goncalves GONCALVES"));
    EXPECT_EQ(AccentFoldedText(QStringLiteral("São Paulo, Émile, Ångström, Ñandú")),
              QStringLiteral("Sao Paulo, Emile, Angstrom, Nandu"));
    // Nested decompositions: Vietnamese "Ấ" is "Â" plus acute, "Ǖ" is "Ü" plus macron.
    EXPECT_EQ(AccentFolded(U'Ấ'), U'A');
    EXPECT_EQ(AccentFolded(U'ǖ'), U'u');
    EXPECT_EQ(AccentFolded(U'\u212B'), U'A'); // the Angstrom sign decomposes to "Å"
}

TEST(AccentFold, EverythingElseStays)
{
    // No decomposition, or one that is not a Latin letter plus marks.
    // Cyrillic and Greek letters with marks keep them too: only Latin letters fold.
    for (const char32_t c : {U'ß', U'Æ', U'æ', U'Ø', U'ø', U'Ł', U'ª', U'º', U'ﬁ', U'€', U'²', U'ё',
                             U'Ё', U'ά', U'%', U'_', U'\'', U'0', U'\0'}) {
        EXPECT_EQ(AccentFolded(c), c) << static_cast<unsigned>(c);
    }
    EXPECT_EQ(AccentFolded(U'\u212A'),
              U'\u212A');                // the Kelvin sign is a letter K, not K with a mark
    EXPECT_EQ(AccentFolded(U'😀'), U'😀'); // beyond the table
    // A combining mark on its own stays: the fold works on precomposed letters.
    EXPECT_EQ(AccentFoldedText(QStringLiteral("e\u0301")), QStringLiteral("e\u0301"));
    // Bytes that are not UTF-8 pass through, and so do the characters around them.
    const std::string broken = "\xC3(\xE9 \xC3\xA3\xFF";
    EXPECT_EQ(AccentFoldedText(std::string_view(broken)), std::string("\xC3(\xE9 a\xFF"));
    EXPECT_FALSE(host::HasFoldableAccent("JOAO SILVA 100%"));
    EXPECT_TRUE(host::HasFoldableAccent("JOAO SILVA ç"));
}

TEST(AccentFold, TranslateTableSpellsTheSameFold)
{
    const host::AccentFoldPairs& table = host::AccentFoldTable();
    ASSERT_EQ(table.from.toUcs4().size(), table.to.size());
    EXPECT_GT(table.to.size(), 400); // Latin-1, Extended-A/B and Extended Additional
    const QList<uint> from = table.from.toUcs4();
    for (qsizetype i = 0; i < from.size(); ++i) {
        EXPECT_EQ(AccentFolded(from[i]), table.to[i].unicode()) << from[i];
        if (i > 0) {
            EXPECT_LT(from[i - 1], from[i]);
        }
    }
    // Every character the fold changes is in the table.
    int changed = 0;
    for (char32_t c = 0x80; c < 0x30000; ++c) {
        changed += AccentFolded(c) != c ? 1 : 0;
    }
    EXPECT_EQ(changed, from.size());
    EXPECT_TRUE(table.from.contains(QStringLiteral("ç")));
    EXPECT_FALSE(table.from.contains(QStringLiteral("ß")));
}

TEST(AccentFold, FoldedLettersCanTakeTheCaseOfTheirSurroundings)
{
    using host::FoldedLetterCase;
    EXPECT_EQ(AccentFoldedText(QStringLiteral("%GONç% São"), FoldedLetterCase::Upper),
              QStringLiteral("%GONC% SAo"));
    EXPECT_EQ(AccentFoldedText(QStringLiteral("Ç É ß x"), FoldedLetterCase::Lower),
              QStringLiteral("c e ß x"));
    EXPECT_EQ(AccentFoldedText(QStringLiteral("Ç é"), FoldedLetterCase::Own),
              QStringLiteral("C e"));
}

// The views a search reads agree with the whole fold: its text, a head of it, a byte of
// it, over texts that mix ASCII, letters with marks, other characters and broken bytes.
TEST(AccentFold, SearchViewsAgreeWithTheWholeFold)
{
    // Runs of ASCII longer than a word, so that the first byte outside it falls anywhere
    // in a word and in the text's last word.
    const char* const pieces[] = {"a",    "JOAO ", "ã", "Ç", "ß",  "€",
                                  "\xC3", "\xFF",  "ấ", "😀", "ee", "DA SILVA SANTOS "};
    std::uint64_t state = 12345;
    const auto next = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33);
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const unsigned n = next() % 7;
        for (unsigned i = 0; i < n; ++i) {
            text += pieces[next() % std::size(pieces)];
        }
        const std::string folded = AccentFoldedText(std::string_view(text));
        std::string scratch;
        const std::string_view view = host::AccentFoldedView(text, scratch);
        EXPECT_EQ(view, folded) << text;
        EXPECT_EQ(view.data() == text.data(), folded == text) << text; // no copy when unchanged
        EXPECT_EQ(host::HasFoldableAccent(text), folded != text) << text;
        EXPECT_EQ(host::ScanAccents(text).foldable, folded != text) << text;
        for (std::size_t bytes = 0; bytes <= folded.size() + 2; ++bytes) {
            const std::string_view head = host::AccentFoldedHead(text, bytes, scratch);
            const std::size_t shown = std::min(bytes, folded.size());
            ASSERT_GE(head.size(), shown) << text;
            EXPECT_EQ(head.substr(0, shown), std::string_view(folded).substr(0, shown)) << text;
            EXPECT_EQ(head.size() < bytes, folded.size() < bytes) << text << " " << bytes;
            const int byte = host::AccentFoldedByteAt(text, bytes);
            EXPECT_EQ(byte, bytes < folded.size() ? static_cast<unsigned char>(folded[bytes]) : -1)
                << text << " " << bytes;
        }
    }
    EXPECT_TRUE(host::ScanAccents("JOãO").lowerLetter);
    EXPECT_FALSE(host::ScanAccents("JOÃO joao").lowerLetter);
}
