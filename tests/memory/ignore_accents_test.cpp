// FilterOption::IgnoreAccents on a client dataset: filters read every text with its
// accents set aside, index orders sort the folded text, the cedilla key stays useful,
// and what is shown and handed back is what was stored.
#include "tests/dataset/dataset_fixture.h"

#include <gtest/gtest.h>
#include <touchsearch/client_dataset.h>

using dataset_test::Codes;
using dataset_test::ErrorOf;
using dataset_test::Filtered;
using Codes_t = std::vector<qint64>;

namespace {

constexpr host::FilterOption kIgnoreAccents = host::FilterOption::IgnoreAccents;

// Names spelt every way a till meets them.
std::unique_ptr<host::ClientDataset> MakeNames()
{
    auto ds = std::make_unique<host::ClientDataset>();
    ds->AddField("CODIGO", host::FieldType::Integer);
    ds->AddField("NMCLIENTE", host::FieldType::Text, 40);
    ds->AddField("CIDADE", host::FieldType::Text, 30);
    const struct {
        int code;
        const char* name;
        const char* city;
    } rows[] = {
        {1, "João Silva", "São Paulo"},
        {2, "JOÃO SANTOS", "Sao Paulo"},
        {3, "joão de souza", "Niterói"},
        {4, "Joao Pereira", "SÃO PAULO"},
        {5, "JOAO ALVES", "Recife"},
        {6, "Maria Gonçalves", "Belém"},
        {7, "MARIA GONÇALVES", "Belem"},
        {8, "Pedro Goncalves", "Maceió"},
        {9, "Joaquim Simões", "Goiânia"},
        {10, "Ana Conceição", nullptr},
        {11, nullptr, "João Pessoa"},
        {12, "Zoë Ångström", "Curitiba"},
        {13, "Gonzaga Çelik", "Foz do Iguaçu"},
    };
    for (const auto& row : rows) {
        ds->AppendRecord(
            {row.code, row.name != nullptr ? QVariant(QString::fromUtf8(row.name)) : QVariant(),
             row.city != nullptr ? QVariant(QString::fromUtf8(row.city)) : QVariant()});
    }
    ds->Open();
    return ds;
}

} // namespace

TEST(IgnoreAccents, FieldsAndLiteralsAreReadWithoutTheirAccents)
{
    auto ds = MakeNames();
    // Without the option the search finds only what is written without accents.
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'JOAO%'"), Codes_t({4, 5}));
    EXPECT_EQ(Filtered(*ds, "CIDADE = 'Sao Paulo'"), Codes_t({2}));
    ds->SetFilterOptions(kIgnoreAccents);
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'JOAO%'"), Codes_t({1, 2, 3, 4, 5}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE 'Joao%'"), Codes_t({1, 4}));
    EXPECT_EQ(Filtered(*ds, "CIDADE = 'Sao Paulo'"), Codes_t({1, 2}));
    // A literal with accents reads as its folded text too.
    EXPECT_EQ(Filtered(*ds, "CIDADE = 'São Paulo'"), Codes_t({1, 2}));
    EXPECT_EQ(Filtered(*ds, "CIDADE IN ('Belém', 'Maceio')"), Codes_t({6, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "CIDADE > 'Sao Paulo' AND CIDADE < 'Sao Paulp'"), Codes_t());
    EXPECT_EQ(Filtered(*ds, "TRIM(NMCLIENTE) LIKE '%Simoes'"), Codes_t({9}));
    // Characters that are not a Latin letter with marks stay ("ß").
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE 'Zoe Angstrom'"), Codes_t({12}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE '%ß%'"), Codes_t());
    // NULLs stay unknown.
    EXPECT_EQ(Filtered(*ds, "NOT (CIDADE LIKE '%a%')"), Codes_t({3, 4, 5, 6, 7}));
}

// "ç" is the one accented key of the screen keyboard. Typed, it is lower case and not
// under UPPER: against UPPER(field) the letter the fold makes of it is upper-cased.
TEST(IgnoreAccents, TheCedillaKeyFindsEverySpellingUnderUpperOrLower)
{
    auto ds = MakeNames();
    // Today's rule: UPPER leaves "ç", so only "Gonçalves" written in lower case matches.
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE '%GONç%'"), Codes_t({6}));
    ds->SetFilterOptions(kIgnoreAccents);
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE '%GONç%'"), Codes_t({6, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE '%GONÇ%'"), Codes_t({6, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "'JOãO SANTOS' = UPPER(NMCLIENTE)"), Codes_t({2}));
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE '%çE%'"), Codes_t({10, 13}));
    EXPECT_EQ(Filtered(*ds, "LOWER(NMCLIENTE) LIKE '%gonÇ%'"), Codes_t({6, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "UPPER(TRIM(NMCLIENTE)) IN ('JOÃO SILVA', 'jOÃO SANTOS')"),
              Codes_t({1}));
    // Elsewhere the folded letter keeps its own case; other letters keep theirs always.
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE '%Gonç%'"), Codes_t({6, 8}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE '%GONç%'"), Codes_t());
    EXPECT_EQ(Filtered(*ds, "UPPER(NMCLIENTE) LIKE '%Gonç%'"), Codes_t());
    // With case ignored as well, both sides are upper-cased anyway.
    ds->SetFilterOptions(host::FilterOptions(kIgnoreAccents) | host::FilterOption::CaseInsensitive);
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE '%gonç%'"), Codes_t({6, 7, 8}));
    EXPECT_EQ(Filtered(*ds, "NMCLIENTE LIKE 'joao%'"), Codes_t({1, 2, 3, 4, 5}));
}

TEST(IgnoreAccents, ValuesShownAndHandedBackAreTheStoredOnes)
{
    auto ds = MakeNames();
    ds->SetFilterOptions(kIgnoreAccents);
    ds->SetFilter("CIDADE = 'SAO PAULO'");
    ds->SetFiltered(true);
    ASSERT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(ds->Value(0, 1).toString(), QString::fromUtf8("Joao Pereira"));
    EXPECT_EQ(ds->Value(0, 2).toString(), QString::fromUtf8("SÃO PAULO"));
    ds->SetFilter("UPPER(NMCLIENTE) LIKE 'JOAO S%'");
    ASSERT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(ds->FieldByName("NMCLIENTE")->AsString(), QString::fromUtf8("João Silva"));
    EXPECT_EQ(ds->DisplayText(1, 1), QString::fromUtf8("JOÃO SANTOS"));
    // The filter text is the host's, as written.
    EXPECT_EQ(ds->GetFilter(), QString::fromUtf8("UPPER(NMCLIENTE) LIKE 'JOAO S%'"));
}

TEST(IgnoreAccents, IndexOrdersSortTheFoldedText)
{
    auto ds = MakeNames();
    ds->GetIndexDefs().Add("NOME", "NMCLIENTE");
    ds->GetIndexDefs().Add("NOMEI", "NMCLIENTE", host::IndexOption::CaseInsensitive);
    ds->SetIndexName("NOME");
    ds->SetFilter("NMCLIENTE LIKE 'J%'");
    ds->SetFiltered(true);
    EXPECT_EQ(Codes(*ds), Codes_t({5, 2, 4, 9, 1}));
    ds->MoveTo(4); // "João Silva"
    ds->SetFilterOptions(kIgnoreAccents);
    // "JOÃO SANTOS" among the "JOAO"s, "João Silva" among the "Joao"s.
    EXPECT_EQ(Codes(*ds), Codes_t({5, 2, 4, 1, 9}));
    EXPECT_EQ(ds->FieldByName("CODIGO")->AsInteger(), 1); // the same record stays current
    ds->SetIndexName("NOMEI");
    EXPECT_EQ(Codes(*ds), Codes_t({5, 4, 2, 1, 9}));
    ds->SetFilter("");
    EXPECT_EQ(Codes(*ds), Codes_t({11, 10, 13, 5, 3, 4, 2, 1, 9, 6, 7, 8, 12}));
    // Off again: the stored text's order, where "Ã" and "ã" sort after every letter.
    ds->SetFilterOptions({});
    EXPECT_EQ(Codes(*ds), Codes_t({11, 10, 13, 5, 4, 9, 2, 3, 1, 7, 6, 8, 12}));
}

// The quick routes (ranges of the order, the pair summary, narrowing while typing)
// give what evaluating every record gives, with accents in the search column.
TEST(IgnoreAccents, FastPathsAgreeWithThePlainEvaluation)
{
    auto fast = MakeNames();
    auto plain = MakeNames();
    plain->SetFastPaths(false);
    for (host::ClientDataset* ds : {fast.get(), plain.get()}) {
        ds->GetIndexDefs().Add("NOME", "NMCLIENTE");
        ds->GetIndexDefs().Add("CIDADE", "CIDADE", host::IndexOption::CaseInsensitive);
        ds->SetFilterOptions(kIgnoreAccents);
    }
    const char* const searches[] = {"J",  "JO",  "JOA", "JOAO", "JOAO ", "JOAO S", "%",
                                    "%ç", "%GO", "%ÇA", "Ç",    "%ÃO",   "%A",     "%AO S"};
    for (const char* index : {"NOME", "CIDADE", ""}) {
        for (const char* field : {"NMCLIENTE", "CIDADE"}) {
            for (const char* upper : {"UPPER(%1) LIKE '%2%'", "%1 LIKE '%2%'"}) {
                for (const char* typed : searches) {
                    const QString filter = QString::fromLatin1(upper).arg(QLatin1String(field),
                                                                          QString::fromUtf8(typed));
                    fast->SetIndexName(QLatin1String(index));
                    plain->SetIndexName(QLatin1String(index));
                    EXPECT_EQ(Filtered(*fast, filter), Filtered(*plain, filter))
                        << filter.toStdString() << " by " << index;
                }
            }
        }
    }
}

// Contains typing decided from the previous keystroke's memo, with accents set aside:
// a needle found as stored need not be at the folded text's first place ("SÍLVIO
// SILVA"), a later place may only exist once folded ("SILAS SÍLVIA"), the bytes after
// it may be folded ones ("SILÁRIO"), and texts too long for the one-pass scan or at
// the very end of the column's buffer are read the other way.
TEST(IgnoreAccents, ContainsTypingFromTheMemoFindsEveryFoldedPlace)
{
    const char* const names[] = {"SÍLVIO SILVA",   "SILAS SÍLVIA", "SILÁRIO",       "Sílvia Silas",
                                 "ÁSIL",           "silva sílvio", "SILVA",         "JOSÉ SILVEIRA",
                                 "MARIA DA SILVA", "Zé",           "BASÍLIO SILAS", "SILVIA"};
    const QString longName = QString(70, u'X') + QString::fromUtf8(" SILAS SÍLVIO");
    for (const int records : {40, 6000}) {
        auto fast = std::make_unique<host::ClientDataset>();
        auto plain = std::make_unique<host::ClientDataset>();
        for (host::ClientDataset* ds : {fast.get(), plain.get()}) {
            ds->AddField("CODIGO", host::FieldType::Integer);
            ds->AddField("NMCLIENTE", host::FieldType::Text, 100);
            for (int i = 0; i < records; ++i) {
                const QString name =
                    i % 97 == 5 ? longName : QString::fromUtf8(names[i % std::size(names)]);
                ds->AppendRecord({i, name});
            }
            ds->AppendRecord({records, QString::fromUtf8("SILAS SÍLVIO")}); // ends the buffer
            ds->Open();
            ds->SetFilterOptions(kIgnoreAccents);
        }
        plain->SetFastPaths(false);
        for (const char* field : {"UPPER(NMCLIENTE)", "NMCLIENTE"}) {
            const bool upper = field[0] == 'U';
            for (const char* typed : {"%SILVIO", "%SILVIA", "%SILARIO", "%SILAS S", "%ASIL"}) {
                const QString search =
                    upper ? QString::fromLatin1(typed) : QString::fromLatin1(typed).toLower();
                for (int len = 2; len <= search.size(); ++len) {
                    const QString filter =
                        QStringLiteral("%1 LIKE '%2%'").arg(QLatin1String(field), search.left(len));
                    EXPECT_EQ(Filtered(*fast, filter), Filtered(*plain, filter))
                        << filter.toStdString() << " over " << records;
                }
            }
        }
        // The folded places alone: "SÍLVIO SILVA", "SILAS SÍLVIO" at the end.
        const Codes_t found = Filtered(*fast, QStringLiteral("UPPER(NMCLIENTE) LIKE '%SILVIO%'"));
        EXPECT_EQ(found.front(), 0);
        EXPECT_EQ(found.back(), records);
    }
}

// A needle the fold leaves with non-ASCII characters ("€", "ß") is looked for in texts
// that have nothing to fold as well as in folded ones.
TEST(IgnoreAccents, NeedlesThatKeepOtherCharactersFindThemInAnyText)
{
    auto fast = std::make_unique<host::ClientDataset>();
    auto plain = std::make_unique<host::ClientDataset>();
    for (host::ClientDataset* ds : {fast.get(), plain.get()}) {
        ds->AddField("CODIGO", host::FieldType::Integer);
        ds->AddField("NOME", host::FieldType::Text);
        const char* const names[] = {"Loja €uro", "Straße 10", "Zoë €uro", "SÃO €", "euro", "ß"};
        for (int i = 0; i < 300; ++i) {
            ds->AppendRecord({i, QString::fromUtf8(names[i % std::size(names)])});
        }
        ds->Open();
        ds->SetFilterOptions(kIgnoreAccents);
    }
    plain->SetFastPaths(false);
    for (const char* filter : {"NOME LIKE '%€u%'", "UPPER(NOME) LIKE '%€U%'", "NOME LIKE '%ße%'",
                               "UPPER(NOME) LIKE '% €%'", "NOME LIKE '%e €%'"}) {
        const QString text = QString::fromUtf8(filter);
        const Codes_t codes = Filtered(*fast, text);
        EXPECT_EQ(codes, Filtered(*plain, text)) << filter;
        EXPECT_FALSE(codes.empty()) << filter;
    }
    EXPECT_EQ(Filtered(*fast, QString::fromUtf8("UPPER(NOME) LIKE '%€U%'")).size(), 100u);
}

// Accents are set aside on the fly: the option keeps no folded copy of the text.
TEST(IgnoreAccents, NoFoldedCopyOfTheTextIsKept)
{
    auto off = MakeNames();
    auto on = MakeNames();
    on->SetFilterOptions(kIgnoreAccents);
    for (host::ClientDataset* ds : {off.get(), on.get()}) {
        ds->GetIndexDefs().Add("NOME", "NMCLIENTE");
        ds->SetIndexName("NOME");
        (void)Filtered(*ds, "UPPER(NMCLIENTE) LIKE 'JO%'");
        (void)Filtered(*ds, "UPPER(NMCLIENTE) LIKE '%GONç%'");
    }
    EXPECT_EQ(on->BuiltOrderCount(), off->BuiltOrderCount());
    EXPECT_LE(on->MemoryBytes(), off->MemoryBytes() + 64) << off->MemoryBytes();
}

TEST(IgnoreAccents, AFilterThatNoLongerParsesKeepsTheOptionsAsTheyWere)
{
    auto ds = MakeNames();
    ds->SetFilter("CIDADE = 'Sao Paulo'");
    ds->SetFiltered(true);
    ds->SetFilterOptions(kIgnoreAccents);
    EXPECT_EQ(Codes(*ds), Codes_t({1, 2}));
    ds->SetFilterOptions({});
    EXPECT_EQ(Codes(*ds), Codes_t({2}));
    EXPECT_EQ(ErrorOf([&] { ds->SetFilter("CIDADE = 'São"); }),
              "Filter: unterminated string at position 10");
    EXPECT_EQ(Codes(*ds), Codes_t({2}));
}

// A large dataset builds the search field's pair summary beside the index's sort, when
// the index is chosen: that summary must read the text as the search does.
TEST(IgnoreAccents, TheSummaryBuiltBesideTheSortSetsAccentsAside)
{
    host::ClientDataset ds;
    ds.AddField("CODIGO", host::FieldType::Integer);
    ds.AddField("NMCLIENTE", host::FieldType::Text, 40);
    const int records = 70000; // above the size from which the summary is built aside
    for (int i = 0; i < records; ++i) {
        const char* name = i % 1000 == 7   ? "MARIA GONÇALVES"
                           : i % 1000 == 8 ? "Pedro Goncalves"
                                           : "CLIENTE COMUM";
        ds.AppendRecord({i, QString::fromUtf8(name)});
    }
    ds.SetFilterOptions(kIgnoreAccents);
    ds.Open();
    ds.GetIndexDefs().Add("NOME", "NMCLIENTE");
    ds.SetIndexName("NOME");
    EXPECT_EQ(Filtered(ds, "UPPER(NMCLIENTE) LIKE '%NCA%'").size(), 140u);
    EXPECT_EQ(Filtered(ds, "UPPER(NMCLIENTE) LIKE '%GONç%'").size(), 140u);
}
