// Every fast path (folded-order ranges, narrowing from the previous view, column scans)
// must give exactly the records, in exactly the order, of plain evaluation.
#include "host/filter/bigram_summary.h"
#include "host/filter/substring_search.h"
#include "host/storage/column.h"
#include "host/text/text_fold.h"
#include "tests/dataset/dataset_fixture.h"

#include <QDate>
#include <gtest/gtest.h>
#include <random>
#include <touchsearch/dataset_error.h>

namespace {

const char* const kWords[] = {
    "joão", "JOAO", "Joao",      "jOaO",      "JoAO",      "josé",   "ana", "Ana", "SILVA", "silva",
    "da",   "DA",   "Gonçalves", "GONÇALVES", "Conceição", "araújo", "Zé",  "a",   "jo",    "%x_"};

QString RandomName(std::mt19937& rng)
{
    QString name;
    const int words = 1 + static_cast<int>(rng() % 3);
    for (int w = 0; w < words; ++w) {
        if (w > 0) {
            name += u' ';
        }
        name += QString::fromUtf8(kWords[rng() % std::size(kWords)]);
    }
    return name;
}

// wideCodes: some codes need 64 bits, so the integer column widens part-way through.
// firstNull: the first record is NULL in every field.
std::unique_ptr<host::ClientDataset> RandomDataset(std::mt19937& rng, int records,
                                                   bool wideCodes = false, bool firstNull = false)
{
    auto ds = std::make_unique<host::ClientDataset>();
    ds->AddField("CODIGO", host::FieldType::Integer);
    ds->AddField("NMCLIENTE", host::FieldType::Text, 60);
    ds->AddField("ATIVO", host::FieldType::Boolean);
    ds->AddField("LIMITE", host::FieldType::Float);
    for (int i = 0; i < records; ++i) {
        if (firstNull && i == 0) {
            ds->AppendRecord({QVariant(), QVariant(), QVariant(), QVariant()});
            continue;
        }
        const bool nullName = rng() % 13 == 0;
        const bool nullAtivo = rng() % 11 == 0;
        const bool nullCode = rng() % 17 == 0;
        qlonglong code = static_cast<int>(rng() % 200);
        if (wideCodes && i > records / 2 && rng() % 5 == 0) {
            code = (rng() % 2 ? 1 : -1) * (qlonglong{1} << 33) + code;
        }
        ds->AppendRecord({nullCode ? QVariant() : QVariant(code),
                          nullName ? QVariant() : QVariant(RandomName(rng)),
                          nullAtivo ? QVariant() : QVariant(rng() % 2 == 0),
                          static_cast<double>(rng() % 1000) / 4.0});
    }
    ds->GetIndexDefs().Add("CODIGO", "CODIGO");
    ds->GetIndexDefs().Add("NMCLIENTE", "NMCLIENTE");
    return ds;
}

// A pattern of literal pieces, '%' and '_', sometimes starting with a literal (so the
// folded-order range applies), sometimes with '%' (a contains search).
QString RandomPattern(std::mt19937& rng)
{
    static const char* const pieces[] = {"J",  "JO", "JOA", "A",  "AN", "S", "SIL",
                                         "DA", "Ç",  "ã",   "O ", "_",  "%", "%"};
    QString pattern;
    const int n = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < n; ++i) {
        pattern += QString::fromUtf8(pieces[rng() % std::size(pieces)]);
    }
    if (rng() % 4 != 0) {
        pattern += u'%';
    }
    return pattern;
}

QString RandomCondition(std::mt19937& rng, int depth)
{
    switch (depth > 2 ? rng() % 5 : rng() % 8) {
    case 0:
        return "UPPER(NMCLIENTE) LIKE '" + RandomPattern(rng) + "'";
    case 1:
        return "NMCLIENTE LIKE '" + RandomPattern(rng) + "'";
    case 2:
        return QString("ATIVO = %1").arg(rng() % 2);
    case 3:
        return QString("CODIGO %1 %2").arg(rng() % 2 ? "<" : ">=").arg(rng() % 200);
    case 4:
        switch (rng() % 4) {
        case 0:
            return "NMCLIENTE IS NULL";
        case 1:
            return "ATIVO IS NOT NULL";
        case 2:
            return QString("CODIGO %1 0").arg(rng() % 2 ? "<" : "IS NULL OR CODIGO >");
        default:
            return "UPPER(CODIGO) LIKE '1%'";
        }
    case 5:
        return "(" + RandomCondition(rng, depth + 1) + " AND " + RandomCondition(rng, depth + 1) +
               ")";
    case 6:
        return "(" + RandomCondition(rng, depth + 1) + " OR " + RandomCondition(rng, depth + 1) +
               ")";
    default:
        return "NOT " + RandomCondition(rng, depth + 1);
    }
}

std::vector<QVariant> View(const host::ClientDataset& ds)
{
    std::vector<QVariant> rows;
    for (int r = 0; r < ds.RecordCount(); ++r) {
        for (int f = 0; f < ds.GetFieldCount(); ++f) {
            rows.push_back(ds.Value(r, f));
        }
    }
    return rows;
}

// Applies the same filter sequence to a fast and a plain dataset holding the same data
// and compares the views after every step.
void ExpectSameViews(host::ClientDataset& fast, host::ClientDataset& plain, const QString& filter)
{
    for (host::ClientDataset* ds : {&fast, &plain}) {
        ds->SetFilter(filter);
        ds->SetFiltered(false);
        if (!filter.isEmpty()) {
            ds->SetFiltered(true);
        }
    }
    ASSERT_EQ(View(fast), View(plain)) << filter.toStdString();
}

} // namespace

TEST(FastPathEquivalence, RandomExpressionsOverRandomData)
{
    std::mt19937 rng(20240607);
    for (int round = 0; round < 6; ++round) {
        const int records = round < 3 ? 300 : 3000;
        std::mt19937 dataRng(static_cast<unsigned>(round));
        auto fast = RandomDataset(dataRng, records, round % 2 == 1);
        std::mt19937 sameRng(static_cast<unsigned>(round));
        auto plain = RandomDataset(sameRng, records, round % 2 == 1);
        plain->SetFastPaths(false);
        fast->Open();
        plain->Open();
        const QString index = round % 3 == 0 ? "" : (round % 3 == 1 ? "NMCLIENTE" : "CODIGO");
        fast->SetIndexName(index);
        plain->SetIndexName(index);
        for (int i = 0; i < 150; ++i) {
            ExpectSameViews(*fast, *plain, RandomCondition(rng, 0));
        }
    }
}

TEST(FastPathEquivalence, KeystrokeSequencesNarrowLikeTheSearchForm)
{
    std::mt19937 rng(7);
    std::mt19937 dataRng(99);
    auto fast = RandomDataset(dataRng, 5000);
    std::mt19937 sameRng(99);
    auto plain = RandomDataset(sameRng, 5000);
    plain->SetFastPaths(false);
    for (host::ClientDataset* ds : {fast.get(), plain.get()}) {
        ds->Open();
        ds->SetIndexName("NMCLIENTE");
    }
    const char* const typed[] = {"JOAO S", "JOãO G", "ANA ", "%SILVA", "%O_S",
                                 "%Ç",     "J%A%",   "_O",   "%A",     "%DA S"};
    const char* const bases[] = {"", "ATIVO = 1", "CODIGO > 50 OR ATIVO = 0"};
    for (const char* base : bases) {
        for (const char* text : typed) {
            const QString search = QString::fromUtf8(text);
            // Type forward one character at a time, then Backspace down to empty.
            for (int len = 1; len <= search.size(); ++len) {
                const QString core = "UPPER(NMCLIENTE) LIKE '" + search.left(len) + "%'";
                ExpectSameViews(*fast, *plain,
                                QString(base).isEmpty() ? core : QString(base) + " AND " + core);
            }
            for (int len = search.size() - 1; len >= 0; --len) {
                const QString core = "UPPER(NMCLIENTE) LIKE '" + search.left(len) + "%'";
                ExpectSameViews(
                    *fast, *plain,
                    len == 0 ? QString(base)
                             : (QString(base).isEmpty() ? core : QString(base) + " AND " + core));
            }
        }
    }
    // Data appended between keystrokes drops the previous view as a narrowing base.
    for (host::ClientDataset* ds : {fast.get(), plain.get()}) {
        ds->SetFilter("UPPER(NMCLIENTE) LIKE 'JO%'");
        ds->SetFiltered(true);
        ds->AppendRecord({1, "JOAO NOVO", true, 1.0});
    }
    ExpectSameViews(*fast, *plain, "UPPER(NMCLIENTE) LIKE 'JOA%'");
    EXPECT_GT(fast->RecordCount(), 0);
}

// Values survive compact storage: booleans as bits, integers 32-bit until one needs 64,
// NULL flags only once a NULL arrives (here after 100 records, mid-word), and a text
// column that holds no lower-case letter until late (its upper-cased form is itself
// until then). Filters on them agree with plain evaluation before and after.
TEST(FastPathEquivalence, CompactStorageKeepsEveryValue)
{
    std::vector<QVariantList> rows;
    for (int i = 0; i < 300; ++i) {
        const bool late = i >= 100;
        QVariant code = QVariant::fromValue<qlonglong>(i - 150);
        if (i == 200) {
            code = QVariant::fromValue<qlonglong>(qlonglong{5000000000});
        } else if (late && i % 7 == 0) {
            code = QVariant();
        }
        const QVariant active = late && i % 5 == 0 ? QVariant() : QVariant(i % 3 == 0);
        const QVariant day =
            late && i % 9 == 0 ? QVariant() : QVariant(QDate(2024, 1, 1).addDays(i));
        const QString name =
            i < 250 ? QStringLiteral("SILVA %1").arg(i) : QStringLiteral("silva %1").arg(i);
        rows.push_back({code, name, active, day});
    }
    host::ClientDataset fast;
    host::ClientDataset plain;
    plain.SetFastPaths(false);
    for (host::ClientDataset* ds : {&fast, &plain}) {
        ds->AddField("CODIGO", host::FieldType::Integer);
        ds->AddField("NMCLIENTE", host::FieldType::Text, 30);
        ds->AddField("ATIVO", host::FieldType::Boolean);
        ds->AddField("DIA", host::FieldType::Date);
        ds->GetIndexDefs().Add("NMCLIENTE", "NMCLIENTE");
        ds->Open();
        ds->SetIndexName("NMCLIENTE");
    }
    const auto check = [&](int count) {
        for (host::ClientDataset* ds : {&fast, &plain}) {
            ds->SetFiltered(false);
            ds->SetIndexName("");
            ASSERT_EQ(ds->RecordCount(), count);
            for (int r = 0; r < count; ++r) {
                for (int f = 0; f < 4; ++f) {
                    ASSERT_EQ(ds->Value(r, f), rows[static_cast<size_t>(r)][f])
                        << "record " << r << " field " << f;
                }
            }
            ds->SetIndexName("NMCLIENTE");
        }
        for (const char* filter :
             {"UPPER(NMCLIENTE) LIKE 'SILVA 2%'", "UPPER(NMCLIENTE) LIKE '%A 26%'",
              "NMCLIENTE LIKE 'silva%'", "ATIVO = 1", "ATIVO IS NULL", "CODIGO IS NULL",
              "CODIGO > 2147483647", "CODIGO < -100 OR CODIGO = 5000000000",
              "DIA IS NULL AND ATIVO = 0", "DIA >= '2024-06-01'"}) {
            ExpectSameViews(fast, plain, QString::fromLatin1(filter));
        }
    };
    int appended = 0;
    for (const int upTo : {100, 250, 300}) {
        for (; appended < upTo; ++appended) {
            fast.AppendRecord(rows[static_cast<size_t>(appended)]);
            plain.AppendRecord(rows[static_cast<size_t>(appended)]);
        }
        check(upTo);
    }
    fast.SetFilter("UPPER(NMCLIENTE) LIKE 'SILVA 26%'");
    fast.SetFiltered(true);
    EXPECT_EQ(fast.RecordCount(), 11); // 26 and 260..269, lower-cased or not
}

TEST(FastPaths, SubstringSearchFindsWhatAPlainSearchFinds)
{
    std::mt19937 random(20261208);
    const std::string alphabet = "SIAL\xC3\x87";
    for (int round = 0; round < 4000; ++round) {
        // An exact-size heap buffer, so that a read past its end is caught.
        std::vector<char> text(static_cast<size_t>(random() % 70));
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        std::string needle(1 + random() % 6, ' ');
        for (char& c : needle) {
            c = alphabet[random() % alphabet.size()];
        }
        if (round % 3 == 0 && text.size() >= needle.size()) {
            // Plant it, often near the end where the 16-byte steps stop.
            const size_t at =
                text.size() - needle.size() - random() % 3 % (text.size() - needle.size() + 1);
            std::copy(needle.begin(), needle.end(), text.begin() + static_cast<long>(at));
        }
        const std::string_view view(text.data(), text.size());
        const size_t expected = view.find(needle);
        const char* found = host::filter::FindSubstring(text.data(), text.size(), needle);
        if (expected == std::string_view::npos) {
            EXPECT_EQ(found, nullptr) << view << " / " << needle;
        } else {
            EXPECT_EQ(found, text.data() + expected) << view << " / " << needle;
        }
    }
}

namespace {

// Two datasets with the same random data, one on fast paths and one plain, open on the
// same index.
struct Pair {
    std::unique_ptr<host::ClientDataset> fast;
    std::unique_ptr<host::ClientDataset> plain;
};

Pair RandomPair(unsigned seed, int records)
{
    std::mt19937 a(seed);
    std::mt19937 b(seed);
    Pair pair{RandomDataset(a, records, false, true), RandomDataset(b, records, false, true)};
    pair.plain->SetFastPaths(false);
    for (host::ClientDataset* ds : {pair.fast.get(), pair.plain.get()}) {
        ds->GetIndexDefs().Add("NMCI", "NMCLIENTE", host::IndexOption::CaseInsensitive);
        ds->GetIndexDefs().Add("NMDESC", "NMCLIENTE", host::IndexOption::Descending);
        ds->GetIndexDefs().Add("NMCOD", "NMCLIENTE;CODIGO");
        ds->Open();
    }
    return pair;
}

} // namespace

// Prefix ranges over every kind of order (case-sensitive with mixed-case variants,
// case-insensitive, descending, two fields, another field), contains needles of one,
// two and more bytes (lower-case ones under UPPER() match nothing), case-sensitive
// patterns, and base filters, on data large enough for listed, ranged and bitmap
// views, with NULLs from the first record on.
TEST(FastPathEquivalence, PrefixRangesAndContainsSummariesOnEveryOrder)
{
    Pair pair = RandomPair(31, 12000);
    const char* const filters[] = {"UPPER(NMCLIENTE) LIKE 'J%'",
                                   "UPPER(NMCLIENTE) LIKE 'JOAO%'",
                                   "UPPER(NMCLIENTE) LIKE 'JOAO S%'",
                                   "UPPER(NMCLIENTE) LIKE 'jo%'",
                                   "UPPER(NMCLIENTE) LIKE 'JOÃ%'",
                                   "UPPER(NMCLIENTE) LIKE 'JOAO'",
                                   "UPPER(NMCLIENTE) LIKE 'J%A%'",
                                   "NMCLIENTE LIKE 'Jo%'",
                                   "NMCLIENTE LIKE 'jOaO%'",
                                   "UPPER(NMCLIENTE) LIKE '%S%'",
                                   "UPPER(NMCLIENTE) LIKE '%SI%'",
                                   "UPPER(NMCLIENTE) LIKE '%SILVA%'",
                                   "UPPER(NMCLIENTE) LIKE '%A%'",
                                   "UPPER(NMCLIENTE) LIKE '%Ç%'",
                                   "UPPER(NMCLIENTE) LIKE '%ÇA%'",
                                   "UPPER(NMCLIENTE) LIKE '%O%'",
                                   "UPPER(NMCLIENTE) LIKE '%si%'",
                                   "UPPER(NMCLIENTE) LIKE '%A S%'",
                                   "UPPER(NMCLIENTE) LIKE '%AO%'",
                                   "NMCLIENTE LIKE '%Si%'",
                                   "NMCLIENTE LIKE '%a%'",
                                   "UPPER(NMCLIENTE) LIKE '%ZZZ%'",
                                   "ATIVO = 1 AND UPPER(NMCLIENTE) LIKE 'J%'",
                                   "ATIVO = 1 AND UPPER(NMCLIENTE) LIKE '%SI%'",
                                   "(CODIGO > 50 OR ATIVO = 0) AND UPPER(NMCLIENTE) LIKE 'A%'",
                                   "UPPER(NMCLIENTE) LIKE '%A%' AND UPPER(NMCLIENTE) LIKE 'J%'",
                                   "UPPER(NMCLIENTE) LIKE 'J%' AND NMCLIENTE LIKE '%a%'",
                                   "ATIVO = 1",
                                   "NMCLIENTE IS NULL OR UPPER(NMCLIENTE) LIKE '%DA%'"};
    for (const char* index : {"NMCLIENTE", "NMCI", "NMDESC", "NMCOD", "CODIGO", ""}) {
        pair.fast->SetIndexName(index);
        pair.plain->SetIndexName(index);
        for (const char* filter : filters) {
            ExpectSameViews(*pair.fast, *pair.plain, QString::fromUtf8(filter));
        }
    }
}

// The search form's keystrokes over a base filter: typing, Backspace, Delete (the base
// filter alone) and contains typing, again and again, so that known base matches and
// narrowing from the previous view are used and dropped; then records appended to the
// open dataset (summary and known matches rebuilt) and the cursor on a lazily read view.
TEST(FastPathEquivalence, KeystrokesWithDeleteAndBaseFiltersOverLargeViews)
{
    Pair pair = RandomPair(77, 9000);
    pair.fast->SetIndexName("NMCLIENTE");
    pair.plain->SetIndexName("NMCLIENTE");
    std::mt19937 rng(5);
    const char* const bases[] = {"", "ATIVO = 1", "CODIGO > 20 OR ATIVO = 0"};
    const char* const typed[] = {"JOAO S", "%SILVA", "%A", "ANA", "%DA S", "JO", "%S"};
    const auto withBase = [](const QString& base, const QString& search) {
        if (search.isEmpty()) {
            return base;
        }
        const QString core = "UPPER(NMCLIENTE) LIKE '" + search + "%'";
        return base.isEmpty() ? core : base + " AND " + core;
    };
    for (int round = 0; round < 12; ++round) {
        const QString base = QString::fromLatin1(bases[rng() % std::size(bases)]);
        const QString text = QString::fromUtf8(typed[rng() % std::size(typed)]);
        for (int len = 1; len <= text.size(); ++len) {
            ExpectSameViews(*pair.fast, *pair.plain, withBase(base, text.left(len)));
        }
        if (rng() % 2 == 0) {
            ExpectSameViews(*pair.fast, *pair.plain, base); // Delete
        } else {
            for (int len = text.size() - 1; len >= 0; --len) { // Backspace
                ExpectSameViews(*pair.fast, *pair.plain, withBase(base, text.left(len)));
            }
        }
    }
    for (host::ClientDataset* ds : {pair.fast.get(), pair.plain.get()}) {
        ds->SetFilter("UPPER(NMCLIENTE) LIKE '%A%'");
        ds->SetFiltered(true);
        ds->AppendRecord({7, "zzz sA", true, 1.0});
        ds->Last();
    }
    EXPECT_EQ(pair.fast->RecNo(), pair.plain->RecNo());
    EXPECT_EQ(pair.fast->Value(pair.fast->RecNo(), 1), pair.plain->Value(pair.plain->RecNo(), 1));
    ExpectSameViews(*pair.fast, *pair.plain, "UPPER(NMCLIENTE) LIKE '%SA%'");
    ExpectSameViews(*pair.fast, *pair.plain, "ATIVO = 1 AND UPPER(NMCLIENTE) LIKE '%A%'");
    // The index changes under a lazily read view: the current record stays current.
    for (host::ClientDataset* ds : {pair.fast.get(), pair.plain.get()}) {
        ds->SetFilter("UPPER(NMCLIENTE) LIKE '%O%'");
        ds->MoveTo(ds->RecordCount() / 2);
        ds->SetIndexName("NMCI");
    }
    EXPECT_EQ(pair.fast->RecNo(), pair.plain->RecNo());
    EXPECT_EQ(View(*pair.fast), View(*pair.plain));
}

// The pair summary answers one- and two-byte needles exactly and never misses a record
// for longer ones, over random text with NULLs, empty values and UTF-8.
TEST(FastPaths, BigramSummaryCandidatesHoldEveryMatch)
{
    std::mt19937 random(99);
    const std::string alphabet = "saSA \xC3\xA7\xC3\x87";
    host::Column column(host::FieldType::Text);
    std::vector<std::string> folded;
    for (int rec = 0; rec < 70000; ++rec) {
        if (random() % 9 == 0) {
            column.AppendNull();
            folded.push_back("\x01null");
            continue;
        }
        std::string text(random() % 7, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        column.AppendText(text);
        std::string f;
        host::FoldText(text, f);
        folded.push_back(f);
    }
    const host::filter::BigramSummary summary(column);
    for (const char* needle : {"S", "A", " ", "\xC3", "SA", "AS", "S ", "\xC3\x87", "SAS", "S A",
                               "AAAA", "a", "sa", "\xC3\xA7S"}) {
        bool exact = false;
        const host::RecordBitmap bits = summary.Candidates(needle, exact);
        const std::string n(needle);
        for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
            const bool holds = !column.IsNull(rec) && folded[rec].find(n) != std::string::npos;
            if (holds) {
                ASSERT_TRUE(host::TestBit(bits, rec)) << needle << " record " << rec;
            } else if (exact) {
                ASSERT_FALSE(host::TestBit(bits, rec)) << needle << " record " << rec;
            }
        }
        EXPECT_EQ(exact, n.size() <= 2) << needle;
    }
}

// An integer column's summary is of its values' text forms (negative numbers, zero, wide
// values and NULLs among them): one- and two-byte needles exactly, longer ones never
// missing a record.
TEST(FastPaths, BigramSummaryOfAnIntegerColumnReadsItsDigits)
{
    std::mt19937_64 random(11);
    host::Column column(host::FieldType::Integer);
    std::vector<std::string> texts;
    for (int rec = 0; rec < 70000; ++rec) {
        if (rec > 0 && random() % 9 == 0) {
            column.AppendNull();
            texts.emplace_back();
            continue;
        }
        const int shape = static_cast<int>(random() % 4);
        const std::int64_t value = shape == 0   ? static_cast<std::int64_t>(random() % 200) - 100
                                   : shape == 1 ? static_cast<std::int64_t>(random() % 100000)
                                   : shape == 2
                                       ? static_cast<std::int64_t>(random() % 100000000000ULL)
                                       : -static_cast<std::int64_t>(random() % 10000000000000ULL);
        column.AppendInt(value);
        texts.push_back(std::to_string(value));
    }
    const host::filter::BigramSummary summary(column);
    for (const char* needle : {"0", "7", "-", "-1", "10", "00", "99", "123", "-90", "4444", "A"}) {
        bool exact = false;
        const host::RecordBitmap bits = summary.Candidates(needle, exact);
        const std::string n(needle);
        std::size_t held = 0;
        for (std::uint32_t rec = 0; rec < column.Count(); ++rec) {
            const bool holds = !column.IsNull(rec) && texts[rec].find(n) != std::string::npos;
            held += holds ? 1 : 0;
            if (holds) {
                ASSERT_TRUE(host::TestBit(bits, rec)) << needle << " record " << rec;
            } else if (exact) {
                ASSERT_FALSE(host::TestBit(bits, rec)) << needle << " record " << rec;
            }
        }
        EXPECT_EQ(exact, n.size() <= 2) << needle;
        if (n != "A" && n != "4444") {
            EXPECT_GT(held, 0U) << needle; // the needles are met, so the check means something
        }
    }
}

// The 16-at-a-time folded search finds what folding the text and searching it finds,
// wherever the needle lies (ends of blocks included) and for bytes outside ASCII.
TEST(FastPaths, FoldedContainsAgreesWithFoldingThenSearching)
{
    std::mt19937 random(4242);
    const std::string alphabet = "sSiIaA{`@[\x7F\xC3\xA7\x87z";
    for (int round = 0; round < 20000; ++round) {
        std::vector<char> text(static_cast<size_t>(random() % 60));
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        std::string needle(1 + random() % 5, ' ');
        for (char& c : needle) {
            c = alphabet[random() % alphabet.size()];
        }
        std::string foldedNeedle;
        host::FoldText(needle, foldedNeedle);
        if (round % 3 == 0 && text.size() >= needle.size()) {
            const size_t at = random() % (text.size() - needle.size() + 1);
            std::copy(needle.begin(), needle.end(), text.begin() + static_cast<long>(at));
        }
        const std::string_view view(text.data(), text.size());
        std::string foldedText;
        host::FoldText(view, foldedText);
        EXPECT_EQ(host::FoldedContains(view, foldedNeedle),
                  foldedText.find(foldedNeedle) != std::string::npos)
            << view << " / " << needle;
    }
}

// The one-pass scan of a short text gives every place a needle begins and every byte
// from 0x80 on, whatever lies past the text's end: the bytes there (which the scan may
// read) are made to look like more of the needle.
TEST(FastPaths, ShortTextScanFindsEveryPlaceANeedleBegins)
{
    std::mt19937 random(909);
    const std::string alphabet = "sSiIlL{`@[\x7F\xC3\xA7\x87z";
    for (int round = 0; round < 30000; ++round) {
        const std::size_t size = random() % (host::kShortText + 1);
        std::string needle(1 + random() % 7, ' ');
        for (char& c : needle) {
            c = alphabet[random() % alphabet.size()];
        }
        const bool foldCase = round % 2 == 0;
        std::string wanted = needle;
        if (foldCase) {
            host::FoldText(needle, wanted);
        }
        // An exact-size heap buffer: the text, then the slack the scan may read.
        std::vector<char> buffer(size + host::kShortTextSlack);
        for (char& c : buffer) {
            c = alphabet[random() % alphabet.size()];
        }
        for (std::size_t at = size; at < buffer.size(); ++at) {
            buffer[at] = needle[(at - size) % needle.size()];
        }
        if (round % 3 == 0 && size >= needle.size()) {
            const std::size_t at = random() % (size - needle.size() + 1);
            std::copy(needle.begin(), needle.end(), buffer.begin() + static_cast<long>(at));
        }
        const std::string_view text(buffer.data(), size);
        std::string folded(text);
        if (foldCase) {
            host::FoldText(text, folded);
        }
        std::uint64_t starts = 0;
        std::uint64_t nonAscii = 0;
        for (std::size_t i = 0; i < size; ++i) {
            if (folded.compare(i, wanted.size(), wanted) == 0 && i + wanted.size() <= size) {
                starts |= std::uint64_t{1} << i;
            }
            if (static_cast<unsigned char>(text[i]) >= 0x80) {
                nonAscii |= std::uint64_t{1} << i;
            }
        }
        const host::ShortTextPlaces places = host::FindInShortText(text, wanted, foldCase);
        ASSERT_EQ(places.starts, starts) << text << " / " << needle << " fold " << foldCase;
        ASSERT_EQ(places.nonAscii, nonAscii) << text;
    }
}

// Listing a bitmap's records writes them in ascending order and nothing past the room
// it is given (an exact-size heap buffer), for empty, sparse, dense and full words.
TEST(FastPaths, ListingABitmapGivesEveryRecordInOrder)
{
    std::mt19937_64 random(31);
    for (int round = 0; round < 300; ++round) {
        const auto records = static_cast<std::uint32_t>(random() % 5000);
        host::RecordBitmap bits = host::MakeRecordBitmap(records);
        const int density = round % 5;
        for (std::uint64_t& word : bits) {
            switch (density) {
            case 0:
                word = 0;
                break;
            case 1:
                word = random() % 7 == 0 ? std::uint64_t{1} << (random() % 64) : 0;
                break;
            case 2:
                word = random() & random() & random();
                break;
            case 3:
                word = ~std::uint64_t{0};
                break;
            default:
                word = random() % 2 == 0 ? std::uint64_t{1} << 63 : random();
                break;
            }
        }
        if (records % 64 != 0 && !bits.empty()) {
            bits.back() &= (std::uint64_t{1} << (records % 64)) - 1; // no bit past the last record
        }
        std::vector<std::uint32_t> expected;
        for (std::uint32_t rec = 0; rec < records; ++rec) {
            if (host::TestBit(bits, rec)) {
                expected.push_back(rec);
            }
        }
        ASSERT_EQ(host::CountBits(bits), expected.size());
        std::vector<std::uint32_t> listed(expected.size() + host::kListSlack);
        host::ListSetBits(bits, listed.data());
        listed.resize(expected.size());
        ASSERT_EQ(listed, expected) << "round " << round;
    }
}

namespace {

// Text in which short needles occur often, several times in one value, at the very end
// and far from it: the memo of a contains search keeps 8 bytes after a needle's first
// place and whether it occurs again, and each of those cases must end the same as
// reading the text.
std::unique_ptr<host::ClientDataset> RepeatingTextDataset(unsigned seed, int records)
{
    std::mt19937 rng(seed);
    static const char* const pieces[] = {"AB", "ABA", "abac",  "B",          " ",
                                         "AC", "ÇA",  "ab ab", "ABABABABAB", "CA"};
    auto ds = std::make_unique<host::ClientDataset>();
    ds->AddField("CODIGO", host::FieldType::Integer);
    ds->AddField("NMCLIENTE", host::FieldType::Text);
    ds->AddField("ATIVO", host::FieldType::Boolean);
    for (int i = 0; i < records; ++i) {
        if (i == 0 || rng() % 23 == 0) {
            ds->AppendRecord({i, QVariant(), rng() % 2 == 0});
            continue;
        }
        QString text;
        const int n = static_cast<int>(rng() % 7);
        for (int p = 0; p < n; ++p) {
            // A rare pair too, whose few records a longer needle then checks one by one.
            text += rng() % 150 == 0 ? QStringLiteral("WQ")
                                     : QString::fromUtf8(pieces[rng() % std::size(pieces)]);
        }
        if (i % 500 == 7) {
            // Long text after a rare needle: extensions past the 8 bytes kept.
            text += i % 1000 == 7 ? QStringLiteral("QZWQ0123456789ABCDEFGH")
                                  : QStringLiteral("QZWQ0123456789XY");
        }
        ds->AppendRecord({i, text, rng() % 3 != 0});
    }
    ds->GetIndexDefs().Add("NMCLIENTE", "NMCLIENTE");
    ds->GetIndexDefs().Add("NMCI", "NMCLIENTE", host::IndexOption::CaseInsensitive);
    return ds;
}

} // namespace

// The same records in the same order (codes are unique), on both datasets.
void ExpectSameRecords(host::ClientDataset& fast, host::ClientDataset& plain, const QString& filter)
{
    std::vector<qlonglong> rows[2];
    int i = 0;
    for (host::ClientDataset* ds : {&fast, &plain}) {
        ds->SetFilter(filter);
        ds->SetFiltered(false);
        if (!filter.isEmpty()) {
            ds->SetFiltered(true);
        }
        for (int r = 0; r < ds->RecordCount(); ++r) {
            rows[i].push_back(ds->Value(r, 0).toLongLong());
        }
        ++i;
    }
    ASSERT_EQ(rows[0], rows[1]) << filter.toStdString();
}

// Contains typing decided from the previous keystroke's memo: needles extended one byte
// at a time and several at once (past the 8 bytes kept), first places that fail while a
// later one matches, case-sensitive and folded searches, a base filter and a second
// contains search beside it, results small enough to be listed in view order and large
// enough for a bitmap, in record order and on indexes; then Backspace and Delete.
TEST(FastPathEquivalence, ContainsMemoDecidesLongerNeedlesLikeTheText)
{
    auto fast = RepeatingTextDataset(3, 8000);
    auto plain = RepeatingTextDataset(3, 8000);
    plain->SetFastPaths(false);
    fast->Open();
    plain->Open();
    const char* const typed[] = {"%ABABABABAB",
                                 "%ABAC",
                                 "%BAB A",
                                 "%CA",
                                 "%AB AB",
                                 "%ÇAB",
                                 "%A B",
                                 "%WQAB",
                                 "%BABABABABAB",
                                 "%WQ AB",
                                 "%QZWQ0123456789ABCDEFGH"};
    // Needles that grow by several bytes at a time, past the bytes a memo keeps too.
    const char* const jumps[] = {"%AC",
                                 "%ACAB A",
                                 "%ACAB AB",
                                 "%ACAB ABAC",
                                 "%ÇA",
                                 "%ÇAB AB",
                                 "%ÇAB ABA",
                                 "%ÇAB ABABABABABAB",
                                 "%AB",
                                 "%ABABABABABAB",
                                 "%ABA",
                                 "%ABAC",
                                 "%QZWQ",
                                 "%QZWQ0123456789AB",
                                 "%QZWQ0123456789ABCDEFGH"};
    const char* const bases[] = {"", "ATIVO = 1", "NMCLIENTE LIKE '%B%'",
                                 "UPPER(NMCLIENTE) LIKE 'AB%'"};
    for (const char* index : {"", "NMCI"}) {
        fast->SetIndexName(index);
        plain->SetIndexName(index);
        for (const char* base : bases) {
            const auto filter = [&](const QString& field, const QString& search) {
                const QString core = field + " LIKE '" + search + "%'";
                return QString(base).isEmpty() ? core : QString(base) + " AND " + core;
            };
            for (const QString& field :
                 {QStringLiteral("UPPER(NMCLIENTE)"), QStringLiteral("NMCLIENTE")}) {
                for (const char* text : typed) {
                    const QString search = field == QLatin1String("NMCLIENTE")
                                               ? QString::fromUtf8(text).toLower()
                                               : QString::fromUtf8(text);
                    for (int len = 2; len <= search.size(); ++len) {
                        ExpectSameRecords(*fast, *plain, filter(field, search.left(len)));
                    }
                    for (int len = search.size() - 1; len >= 2; --len) {
                        ExpectSameRecords(*fast, *plain, filter(field, search.left(len)));
                    }
                }
                for (const char* jump : jumps) {
                    ExpectSameRecords(*fast, *plain, filter(field, QString::fromUtf8(jump)));
                }
                ExpectSameRecords(*fast, *plain, QString(base)); // Delete
            }
        }
    }
}

// The summary keeps each block of 65,536 records as a bitmap or as offsets, whichever is
// smaller: a pair dense in one block, sparse in the next, absent from a third and present
// in the short last one must still give every record holding a needle, and for one or
// two bytes exactly those.
TEST(FastPaths, BigramSummaryAcrossBlocksOfEveryKind)
{
    std::mt19937 random(7);
    host::Column column(host::FieldType::Text);
    std::vector<std::string> texts;
    const std::uint32_t records = 3 * 65536 + 1000;
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        const std::uint32_t block = rec / 65536;
        std::string text = "zz";
        // "XY" in every record of block 0, in one record of 200 in block 1, never in
        // block 2, in every tenth of the last; "YQ" the other way round.
        const bool xy =
            block == 0 || (block == 1 && random() % 200 == 0) || (block == 3 && rec % 10 == 0);
        const bool yq = block == 2 || (block == 0 && random() % 300 == 0);
        if (xy) {
            text += "XY";
        }
        if (yq) {
            text += "YQ";
        }
        if (rec % 1000 == 999) {
            column.AppendNull();
            texts.push_back("\x01");
            continue;
        }
        column.AppendText(text);
        texts.push_back(text);
    }
    const host::filter::BigramSummary summary(column);
    for (const char* needle : {"X", "XY", "YQ", "XYQ", "ZX", "Q", "ZXYQ", "Y"}) {
        bool exact = false;
        const host::RecordBitmap bits = summary.Candidates(needle, exact);
        for (std::uint32_t rec = 0; rec < records; ++rec) {
            std::string folded;
            host::FoldText(texts[rec], folded);
            const bool holds = !column.IsNull(rec) && folded.find(needle) != std::string::npos;
            if (holds) {
                ASSERT_TRUE(host::TestBit(bits, rec)) << needle << " record " << rec;
            } else if (exact) {
                ASSERT_FALSE(host::TestBit(bits, rec)) << needle << " record " << rec;
            }
        }
    }
}

// Texts over forty bytes, so that a few thousand records already hold most of their
// sixteen hundred pairs (the summary then makes room for more pairs than it starts
// with): every pair gives exactly the records that hold it, in every block.
TEST(FastPaths, BigramSummaryOfManyDifferentPairs)
{
    const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ .-/";
    const std::size_t k = alphabet.size();
    std::mt19937 random(5);
    host::Column column(host::FieldType::Text);
    const std::uint32_t records = 65536 + 3000;
    std::vector<host::RecordBitmap> holds(k * k, host::MakeRecordBitmap(records));
    for (std::uint32_t rec = 0; rec < records; ++rec) {
        std::vector<std::size_t> picks(random() % 24);
        std::string text;
        for (std::size_t& pick : picks) {
            pick = random() % k;
            text += alphabet[pick];
        }
        for (std::size_t i = 1; i < picks.size(); ++i) {
            host::SetBit(holds[picks[i - 1] * k + picks[i]], rec);
        }
        column.AppendText(text);
    }
    const host::filter::BigramSummary summary(column);
    for (std::size_t pair = 0; pair < k * k; ++pair) {
        const std::string needle{alphabet[pair / k], alphabet[pair % k]};
        bool exact = false;
        const host::RecordBitmap bits = summary.Candidates(needle, exact);
        ASSERT_TRUE(exact) << needle;
        ASSERT_TRUE(bits == holds[pair]) << needle;
    }
}

// Enough candidates for the substring checks to be split between two threads (whose
// halves meet inside a word of the bitmap): the same records as plain evaluation, and
// the memo the two halves make together decides the next keystroke right.
TEST(FastPathEquivalence, ManyContainsCandidatesCheckedOnTwoThreads)
{
    const auto make = [] {
        std::mt19937 rng(11);
        auto ds = std::make_unique<host::ClientDataset>();
        ds->AddField("CODIGO", host::FieldType::Integer);
        ds->AddField("NMCLIENTE", host::FieldType::Text);
        // Nearly all hold both pairs of "SIL" but not "SIL" itself, so that many
        // candidates leave few enough matches for a memo.
        static const char* const names[] = {"SILVA", "SILVEIRA", "SILSIL VA", "DA SILVA", "S I L"};
        for (int i = 0; i < 160000; ++i) {
            const unsigned pick = rng() % 100;
            const QString name = pick < 95 ? QStringLiteral("ILSI")
                                           : QString::fromLatin1(names[pick % std::size(names)]);
            ds->AppendRecord({i, i % 501 == 0 ? QVariant() : QVariant(name)});
        }
        ds->GetIndexDefs().Add("NMCLIENTE", "NMCLIENTE");
        ds->Open();
        ds->SetIndexName("NMCLIENTE");
        return ds;
    };
    auto fast = make();
    auto plain = make();
    plain->SetFastPaths(false);
    for (const char* search : {"%S", "%SI", "%SIL", "%SILV", "%SILVA", "%SILS", "%SILVE"}) {
        ExpectSameRecords(*fast, *plain,
                          "UPPER(NMCLIENTE) LIKE '" + QString::fromLatin1(search) + "%'");
    }
}
