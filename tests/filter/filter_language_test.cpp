// The filter expression language as a host or the search form writes it.
#include "host/filter/expression_parser.h"
#include "host/filter/like_pattern.h"
#include "tests/dataset/dataset_fixture.h"

#include <gtest/gtest.h>
#include <touchsearch/dataset_error.h>

using dataset_test::Codes;
using dataset_test::ErrorOf;
using dataset_test::Filtered;
using dataset_test::MakeCustomers;
using Codes_t = std::vector<qint64>;

TEST(FilterLanguage, PrecedenceOfNotAndOr)
{
    auto ds = MakeCustomers();
    // AND binds tighter than OR.
    EXPECT_EQ(Filtered(*ds, "ATIVO = TRUE AND CODIGO = 2 OR CODIGO = 20"), Codes_t({20}));
    // NOT binds tighter than AND.
    EXPECT_EQ(Filtered(*ds, "NOT CODIGO = 1 AND CODIGO < 4"), Codes_t({2, 3}));
    EXPECT_EQ(Filtered(*ds, "NOT (CODIGO = 1 OR CODIGO = 2) AND NOT CODIGO > 8"),
              Codes_t({3, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "(CODIGO = 1 OR CODIGO = 2) AND (UF = 'PE' OR UF = 'RJ')"),
              Codes_t({2}));
}

TEST(FilterLanguage, LikeWildcardsAnywhereCaseSensitive)
{
    auto ds = MakeCustomers();
    // "_" is one character, also when it is "ã" or "é" (two bytes in storage).
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE 'Jo_o%'"), Codes_t({1}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE '_é%'"), Codes_t({20}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE '%ÇÃO'"), Codes_t({2}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE 'Ana'"), Codes_t({8}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE '%a%a%'"), Codes_t({3, 10}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE 'A_a%Ar_új_'"), Codes_t({3}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE 'joao%'"), Codes_t({10})); // case-sensitive
    // NULL never matches, not even '%' or NOT LIKE.
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE '%'"), Codes_t({1, 2, 3, 10, 20, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE NOT LIKE 'J%'"), Codes_t({2, 3, 10, 20, 8}));

    using host::filter::LikeMatch;
    EXPECT_TRUE(LikeMatch("ação", "a_ão"));
    EXPECT_FALSE(LikeMatch("ação", "a__ão"));
    EXPECT_TRUE(LikeMatch("abcabc", "%b_a%"));
    EXPECT_TRUE(LikeMatch("", "%"));
    EXPECT_FALSE(LikeMatch("", "_"));
    EXPECT_TRUE(LikeMatch("aXbXc", "a%c"));
    EXPECT_FALSE(LikeMatch("aXbXcd", "a%c"));
}

TEST(FilterLanguage, UpperAndLowerFoldAsciiOnly)
{
    auto ds = MakeCustomers();
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'JOAO%'"), Codes_t({10, 7}));
    // "ç" and "ã" stay as they are.
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) = 'JOãO GONçALVES'"), Codes_t({1}));
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE '%GONÇALVES'"), Codes_t({}));
    EXPECT_EQ(Filtered(*ds, "LOWER(NMCLIENTE) LIKE '%conceiÇÃo'"), Codes_t({2}));
    EXPECT_EQ(Filtered(*ds, "TRIM(CIDADE) = 'Natal'"), Codes_t({12, 8}));
    EXPECT_EQ(Filtered(*ds, "CIDADE = 'Natal'"), Codes_t({12}));
}

TEST(FilterLanguage, InIsNullAndThreeValuedLogic)
{
    auto ds = MakeCustomers();
    EXPECT_EQ(Filtered(*ds, "CODIGO IN (1, 3, 99)"), Codes_t({1, 3}));
    EXPECT_EQ(Filtered(*ds, "UF IN ('RN', 'SP')"), Codes_t({1, 12, 8}));
    EXPECT_EQ(Filtered(*ds, "CODIGO NOT IN (1, 2, 3)"), Codes_t({10, 12, 20, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "CODIGO NOT IN (1, NULL)"), Codes_t({}));
    EXPECT_EQ(Filtered(*ds, "CODIGO IN (1, NULL)"), Codes_t({1}));
    EXPECT_EQ(Filtered(*ds, "CIDADE IS NULL"), Codes_t({3}));
    EXPECT_EQ(Filtered(*ds, "ATIVO IS NULL"), Codes_t({10}));
    EXPECT_EQ(Filtered(*ds, "LIMITE IS NOT NULL"), Codes_t({1, 2, 10, 12, 20, 7, 8}));
    // Unknown is neither true nor false: record 10 (ATIVO NULL) never shows.
    EXPECT_EQ(Filtered(*ds, "NOT (ATIVO = TRUE)"), Codes_t({2, 20, 8}));
    EXPECT_EQ(Filtered(*ds, "ATIVO"), Codes_t({1, 3, 12, 7}));
    EXPECT_EQ(Filtered(*ds, "NOT ATIVO"), Codes_t({2, 20, 8}));
    EXPECT_EQ(Filtered(*ds, "ATIVO = 1"), Codes_t({1, 3, 12, 7}));
    EXPECT_EQ(Filtered(*ds, "ATIVO = 1 OR CIDADE = 'Recife'"), Codes_t({1, 2, 3, 12, 7}));
    EXPECT_EQ(Filtered(*ds, "CODIGO = NULL"), Codes_t({}));
}

TEST(FilterLanguage, Arithmetic)
{
    auto ds = MakeCustomers();
    EXPECT_EQ(Filtered(*ds, "CODIGO * 2 + 1 = 21"), Codes_t({10}));
    EXPECT_EQ(Filtered(*ds, "CODIGO + 2 * 3 = 16"), Codes_t({10}));
    EXPECT_EQ(Filtered(*ds, "(CODIGO - 1) * 2 = 0"), Codes_t({1}));
    EXPECT_EQ(Filtered(*ds, "LIMITE / 2 > 100"), Codes_t({1, 7}));
    EXPECT_EQ(Filtered(*ds, "CODIGO / 4 = 2.5"), Codes_t({10}));
    EXPECT_EQ(Filtered(*ds, "CODIGO / 0 IS NULL"), Codes_t({1, 2, 3, 10, 12, 20, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "-CODIGO < -10"), Codes_t({12, 20}));
    EXPECT_EQ(Filtered(*ds, "LIMITE - 0.5 = 1500"), Codes_t({1}));
}

TEST(FilterLanguage, NumbersMeetTextInTheirTextForm)
{
    auto ds = MakeCustomers();
    EXPECT_EQ(Filtered(*ds, "UPPER(CODIGO) LIKE '1%'"), Codes_t({1, 10, 12}));
    EXPECT_EQ(Filtered(*ds, "CODIGO = '12'"), Codes_t({12}));
    EXPECT_EQ(Filtered(*ds, "CODIGO LIKE '_'"), Codes_t({1, 2, 3, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "LIMITE LIKE '%.5'"), Codes_t({1}));
    EXPECT_EQ(Filtered(*ds, "NASCIMENTO > '1989-12-31'"), Codes_t({3, 10}));
    EXPECT_EQ(Filtered(*ds, "NASCIMENTO LIKE '19_5%'"), Codes_t({12, 7}));
}

TEST(FilterLanguage, NamesLiteralsAndByteOrder)
{
    auto ds = MakeCustomers();
    EXPECT_EQ(Filtered(*ds, "nmcliente like 'Ana%' and codigo < 5"), Codes_t({3}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE = 'Zé D''Ávila'"), Codes_t({20}));
    // Byte order: lower-case after upper-case, accented letters after both.
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE > 'Zz'"), Codes_t({10, 20}));
    EXPECT_EQ(Filtered(*ds, "[NMCLIENTE] = 'Ana' OR \"codigo\" = 1"), Codes_t({1, 8}));
}

// A name that is no plain word is written in double quotes, a quote inside doubled, as
// SQL writes it; the form writes plain names as they are.
TEST(FilterLanguage, QuotedNamesHoldSpacesQuotesAndWordsOfTheLanguage)
{
    host::ClientDataset ds;
    ds.AddField("CODIGO", host::FieldType::Integer);
    ds.AddField("NM CLIENTE", host::FieldType::Text, 20);
    ds.AddField("O \"APELIDO\"", host::FieldType::Text, 20);
    ds.AddField("NULL", host::FieldType::Integer);
    ds.AppendRecord({1, "MARIA", "Mari", 5});
    ds.AppendRecord({2, "JOANA", QVariant(), QVariant()});
    ds.AppendRecord({3, "MARCOS", "Marquinhos", 7});
    ds.Open();
    EXPECT_EQ(Filtered(ds, "UPPER(\"NM CLIENTE\") LIKE 'MAR%'"), Codes_t({1, 3}));
    EXPECT_EQ(Filtered(ds, "\"nm cliente\" = 'JOANA'"), Codes_t({2}));
    EXPECT_EQ(Filtered(ds, "[NM CLIENTE] LIKE '%O%'"), Codes_t({2, 3}));
    EXPECT_EQ(Filtered(ds, "\"O \"\"APELIDO\"\"\" LIKE 'Mar%' AND \"NULL\" > 5"), Codes_t({3}));
    EXPECT_EQ(Filtered(ds, "\"NULL\" IS NULL"), Codes_t({2}));
    EXPECT_EQ(ErrorOf([&] { Filtered(ds, "NM CLIENTE LIKE 'A%'"); }),
              "Filter: unknown field \"NM\" at position 1");
    EXPECT_EQ(ErrorOf([&] { Filtered(ds, "\"NM CLIENTE LIKE 'A%'"); }),
              "Filter: unterminated field name at position 1");

    using host::filter::FieldNameInFilter;
    EXPECT_EQ(FieldNameInFilter("NMCLIENTE"), "NMCLIENTE");
    EXPECT_EQ(FieldNameInFilter(QString::fromUtf8("código_2")), QString::fromUtf8("código_2"));
    EXPECT_EQ(FieldNameInFilter("NM CLIENTE"), "\"NM CLIENTE\"");
    EXPECT_EQ(FieldNameInFilter("1CODIGO"), "\"1CODIGO\"");
    EXPECT_EQ(FieldNameInFilter("and"), "\"and\"");
    EXPECT_EQ(FieldNameInFilter("O \"APELIDO\""), "\"O \"\"APELIDO\"\"\"");
}

TEST(FilterLanguage, ErrorsNameTheProblemAndPosition)
{
    auto ds = MakeCustomers();
    const auto error = [&](const QString& text) { return ErrorOf([&] { Filtered(*ds, text); }); };
    EXPECT_EQ(error("UPPER(NMCLIENT) LIKE 'A%'"),
              "Filter: unknown field \"NMCLIENT\" at position 7");
    EXPECT_EQ(error("NMCLIENTE LIKE 'abc"), "Filter: unterminated string at position 16");
    EXPECT_EQ(error("(CODIGO = 1"),
              "Filter: expected \")\", found the end of the expression at position 12");
    EXPECT_EQ(error("FOO(CODIGO) = 1"), "Filter: unknown function \"FOO\" at position 1");
    EXPECT_EQ(error("NASCIMENTO = 5"),
              "Filter: cannot compare a date with a number at position 12");
    EXPECT_EQ(error("NMCLIENTE + 1 = 2"), "Filter: \"+\" needs numbers, found text at position 1");
    EXPECT_EQ(error("CODIGO = 1 AND"),
              "Filter: expected a value, found the end of the expression at position 15");
    EXPECT_EQ(error("CODIGO"), "Filter: expected a condition, found a number at position 1");
    EXPECT_EQ(error("CODIGO = = 1"), "Filter: expected a value, found \"=\" at position 10");
    EXPECT_EQ(error("CODIGO # 1"), "Filter: invalid character \"#\" at position 8");
    EXPECT_EQ(error("CODIGO = 1 CODIGO"), "Filter: unexpected \"CODIGO\" at position 12");
    EXPECT_EQ(error("CODIGO IS 1"), "Filter: expected NULL after IS, found \"1\" at position 11");
}

TEST(FilterLanguage, PathologicalNestingIsRefusedNotACrash)
{
    auto ds = MakeCustomers();
    const QString deepParens = QString(10000, u'(') + "CODIGO = 1" + QString(10000, u')');
    EXPECT_TRUE(
        ErrorOf([&] { Filtered(*ds, deepParens); }).contains("nested deeper than 200 levels"));
    EXPECT_TRUE(ErrorOf([&] {
                    Filtered(*ds, QString("NOT ").repeated(5000) + "ATIVO");
                }).contains("nested deeper"));
    EXPECT_TRUE(ErrorOf([&] {
                    Filtered(*ds, QString("-").repeated(10000) + "1 = CODIGO");
                }).contains("nested deeper"));
    EXPECT_TRUE(ErrorOf([&] {
                    Filtered(*ds, QString("UPPER(").repeated(5000) + "NMCLIENTE");
                }).contains("nested deeper"));
    // Reasonable nesting works.
    EXPECT_EQ(Filtered(*ds, QString(100, u'(') + "CODIGO = 1" + QString(100, u')')), Codes_t({1}));
}

// After a filter that does not parse, the dataset keeps the previous filter text, its
// switch and exactly the records it showed, and the cursor stays usable.
TEST(FilterLanguage, FailedFilterKeepsThePreviousFilterAndView)
{
    auto ds = MakeCustomers();
    EXPECT_EQ(Filtered(*ds, "CODIGO < 4"), Codes_t({1, 2, 3}));
    ds->Next();
    int resets = 0;
    QObject::connect(ds.get(), &host::Dataset::viewReset, [&] { ++resets; });
    EXPECT_THROW(ds->SetFilter("CODIGO <"), host::DatasetError);
    EXPECT_EQ(ds->GetFilter(), "CODIGO < 4");
    EXPECT_TRUE(ds->GetFiltered());
    EXPECT_EQ(Codes(*ds), Codes_t({1, 2, 3}));
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(resets, 0);
    ds->Next();
    EXPECT_EQ(ds->GetField(0)->AsInteger(), 3);
    // Filtering off and on again still gives the kept filter.
    ds->SetFiltered(false);
    ds->SetFiltered(true);
    EXPECT_EQ(Codes(*ds), Codes_t({1, 2, 3}));
}
