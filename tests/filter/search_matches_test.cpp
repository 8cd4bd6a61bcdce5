// What a search matched in a value: the parts a grid marks.
#include <gtest/gtest.h>
#include <touchsearch/filter_text.h>

using host::FilterOption;
using host::FilterOptions;
using host::MatchPlace;
using host::SearchMatches;
using host::TextSpan;

namespace {

QList<TextSpan> Matches(const QString& value, const QStringList& pieces, MatchPlace place,
                        FilterOptions options = {}, bool upperValue = false)
{
    return SearchMatches(value, pieces, place, options, upperValue);
}

} // namespace

TEST(SearchMatches, EachPlaceMarksWhatALikePatternOfItsShapeMatches)
{
    const QString name = QStringLiteral("MARIA DA SILVA");
    EXPECT_EQ(Matches(name, {"MAR"}, MatchPlace::Start), (QList<TextSpan>{{0, 3}}));
    EXPECT_TRUE(Matches(name, {"ARI"}, MatchPlace::Start).isEmpty());
    EXPECT_TRUE(Matches(name, {"SILVA"}, MatchPlace::Start).isEmpty());

    // Words in any order: each word where it begins a word of the value.
    EXPECT_EQ(Matches(name, {"SILVA", "MA"}, MatchPlace::WordStarts),
              (QList<TextSpan>{{0, 2}, {9, 5}}));
    EXPECT_EQ(Matches(QStringLiteral("MARCOS MARTINS"), {"MA"}, MatchPlace::WordStarts),
              (QList<TextSpan>{{0, 2}, {7, 2}}));
    EXPECT_EQ(Matches(QStringLiteral("ANA SILVA"), {"SILVA", "MA"}, MatchPlace::WordStarts),
              (QList<TextSpan>{{4, 5}}));
    EXPECT_TRUE(Matches(QStringLiteral("ANAMARIA"), {"MA"}, MatchPlace::WordStarts).isEmpty());

    // Anywhere: every place, one piece's places not overlapping.
    EXPECT_EQ(Matches(QStringLiteral("BANANA"), {"ANA"}, MatchPlace::Anywhere),
              (QList<TextSpan>{{1, 3}}));
    EXPECT_EQ(Matches(QStringLiteral("BANANA"), {"AN"}, MatchPlace::Anywhere),
              (QList<TextSpan>{{1, 4}})); // 1-2 and 3-4 touch: merged
    EXPECT_EQ(Matches(QStringLiteral("A B A"), {"A"}, MatchPlace::Anywhere),
              (QList<TextSpan>{{0, 1}, {4, 1}}));

    // Pieces that overlap or are prefixes of each other merge.
    EXPECT_EQ(Matches(QStringLiteral("MARIA"), {"MA", "MAR"}, MatchPlace::WordStarts),
              (QList<TextSpan>{{0, 3}}));
    // "_" stands for one character; empty pieces and empty values mark nothing.
    EXPECT_EQ(Matches(QStringLiteral("MARIA"), {"M_R"}, MatchPlace::Start),
              (QList<TextSpan>{{0, 3}}));
    EXPECT_TRUE(Matches(QStringLiteral("MARIA"), {""}, MatchPlace::Anywhere).isEmpty());
    EXPECT_TRUE(Matches(QString(), {"A"}, MatchPlace::Anywhere).isEmpty());
    EXPECT_TRUE(Matches(QStringLiteral("MA"), {"MARIA"}, MatchPlace::Start).isEmpty());
}

TEST(SearchMatches, CaseAndAccentsCountAsTheFilterCountsThem)
{
    // Case counts by default; an UPPER() search or the option folds it (ASCII letters).
    EXPECT_TRUE(Matches(QStringLiteral("Maria"), {"MA"}, MatchPlace::Start).isEmpty());
    EXPECT_EQ(Matches(QStringLiteral("Maria"), {"MA"}, MatchPlace::Start, {}, true),
              (QList<TextSpan>{{0, 2}}));
    EXPECT_EQ(
        Matches(QStringLiteral("Maria"), {"mA"}, MatchPlace::Start, FilterOption::CaseInsensitive),
        (QList<TextSpan>{{0, 2}}));
    // The ASCII fold leaves "ç" and "Ç" apart, as UPPER() does.
    EXPECT_TRUE(Matches(QStringLiteral("çA"), {QStringLiteral("ÇA")}, MatchPlace::Start, {}, true)
                    .isEmpty());

    // Accents set aside only under the option; the marks cover the accented letters.
    EXPECT_TRUE(Matches(QStringLiteral("JOÃO"), {"JOAO"}, MatchPlace::Start).isEmpty());
    EXPECT_EQ(
        Matches(QStringLiteral("JOÃO"), {"JOAO"}, MatchPlace::Start, FilterOption::IgnoreAccents),
        (QList<TextSpan>{{0, 4}}));
    EXPECT_EQ(Matches(QStringLiteral("conceição"), {"CAO"}, MatchPlace::Anywhere,
                      FilterOption::IgnoreAccents, true),
              (QList<TextSpan>{{6, 3}}));

    // Characters outside the basic plane count as one character and mark as two units.
    EXPECT_EQ(Matches(QString::fromUtf8("\xF0\x9F\x98\x80"
                                        "AB"),
                      {"AB"}, MatchPlace::Anywhere),
              (QList<TextSpan>{{2, 2}}));
    EXPECT_EQ(Matches(QString::fromUtf8("X\xF0\x9F\x98\x80"
                                        "B"),
                      {"X_B"}, MatchPlace::Start),
              (QList<TextSpan>{{0, 4}}));
}
