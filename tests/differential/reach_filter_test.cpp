// Searches over several fields and by words, typed a character at a time: the client
// dataset with its fast paths, without them, and a plain matcher written here (split the
// text, match each word on each field) must agree on every keystroke, under every filter
// option and with a base filter; so must FirstRowWhere.
#include "tests/differential/entropy.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <touchsearch/client_dataset.h>
#include <vector>

using differential::Entropy;

namespace {

int CaseCount()
{
    const QByteArray n = qgetenv("TS_DIFF_CASES");
    return n.isEmpty() ? 300 : n.toInt();
}

// Words that begin one another, repeat with other cases and accents, and digits.
const char* const kWords[] = {
    "MARIA",    "Maria", "MAR",  "mariana", "Márcia",     "MARCIA",     "SILVA",        "silva",
    "Silveira", "SIL",   "João", "JOAO",    "joão",       "da",         "DE",           "ç",
    "Çà",       "ANA",   "Ana",  "11",      "119",        "1198765",    "119876543210", "0",
    "007",      "A",     "a-b",  "O'Neil",  "ABCDEFGHIJ", "abcdefghxy", "ABCDEFGH"};
const char* const kTyped[] = {"MARIA",       "mar",       "MARI",      "SIL",       "silva", "SILV",
                              "JO",          "JOÃO",      "joao",      "DA",        "ç",     "Ç",
                              "ÇA",          "ANA",       "A",         "11",        "119",   "1198",
                              "11987654321", "ABCDEFGHI", "ABCDEFGHX", "123456789", "0",     "00",
                              "007",         "O'N",       "A-",        "M",         "S",     "X"};

struct Table {
    // ID, NOME, CODIGO, FONE, CIDADE, ATIVO
    std::vector<QVariantList> rows;
};

QString RandomWords(Entropy& e)
{
    QString text;
    const int pieces = static_cast<int>(e.Below(5));
    if (e.Chance(10)) {
        text += u' ';
    }
    for (int i = 0; i < pieces; ++i) {
        if (i > 0) {
            text += e.Chance(15) ? QStringLiteral("  ") : QStringLiteral(" ");
        }
        text += QString::fromUtf8(e.Pick(kWords));
    }
    return text;
}

Table RandomTable(Entropy& e)
{
    Table t;
    const int count =
        e.Chance(10) ? static_cast<int>(e.Between(200, 600)) : static_cast<int>(e.Below(40));
    for (int i = 0; i < count; ++i) {
        const auto maybe = [&](QVariant v) {
            return (i == 0 || e.Chance(15)) && e.Chance(50) ? QVariant() : v;
        };
        QString phone = e.Chance(20) ? QStringLiteral("12345678") : QString();
        for (int d = static_cast<int>(e.Below(6)); d >= 0; --d) {
            phone += QChar(u'0' + static_cast<char16_t>(e.Below(3) == 0 ? 1 : e.Below(10)));
        }
        t.rows.push_back({qlonglong{i}, maybe(RandomWords(e)),
                          maybe(qlonglong{e.Chance(20) ? e.Between(123456780, 123456799)
                                                       : e.Between(-30, 1200)}),
                          maybe(phone), maybe(RandomWords(e)), maybe(e.Chance(50))});
    }
    return t;
}

const QStringList kFieldNames = {QStringLiteral("ID"),     QStringLiteral("NOME"),
                                 QStringLiteral("CODIGO"), QStringLiteral("FONE"),
                                 QStringLiteral("CIDADE"), QStringLiteral("ATIVO")};

std::unique_ptr<host::ClientDataset> MakeDataset(const Table& t, host::FilterOptions options)
{
    auto dataset = std::make_unique<host::ClientDataset>();
    dataset->AddField(QStringLiteral("ID"), host::FieldType::Integer);
    dataset->AddField(QStringLiteral("NOME"), host::FieldType::Text, 60);
    dataset->AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
    dataset->AddField(QStringLiteral("FONE"), host::FieldType::Text, 15);
    dataset->AddField(QStringLiteral("CIDADE"), host::FieldType::Text, 60);
    dataset->AddField(QStringLiteral("ATIVO"), host::FieldType::Boolean);
    for (const QVariantList& row : t.rows) {
        dataset->AppendRecord(row);
    }
    dataset->Open();
    dataset->SetFilterOptions(options);
    for (const QString& name : kFieldNames) {
        dataset->GetIndexDefs().Add(name, name);
    }
    dataset->SetIndexName(QStringLiteral("NOME"));
    return dataset;
}

QString AsciiUpper(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c >= u'a' && c <= u'z') {
            c = QChar(c.unicode() - 32);
        }
    }
    return out;
}

// The form's filter text for a typed search (see the form's filter builder).
struct Search {
    QStringList fields; // F0 first
    bool words = false;
    QString base;
};

QString Term(const QString& field, const QString& pattern)
{
    return QStringLiteral("UPPER(%1) LIKE '%2'")
        .arg(field, QString(pattern).replace(u'\'', QStringLiteral("''")));
}

QString Group(const Search& s, const QString& word, bool contains)
{
    QStringList terms;
    for (const QString& f : s.fields) {
        if (contains) {
            terms << Term(f, u'%' + word + u'%');
        } else if (s.words) {
            terms << Term(f, word + u'%') << Term(f, QStringLiteral("% ") + word + u'%');
        } else {
            terms << Term(f, word + u'%');
        }
    }
    return u'(' + terms.join(QStringLiteral(" OR ")) + u')';
}

QString FilterFor(const Search& s, const QString& typed)
{
    const QString base = s.base.isEmpty() ? QString() : u'(' + s.base + u')';
    const QString connector = s.base.isEmpty() ? QString() : QStringLiteral(" AND ");
    const QString t = AsciiUpper(typed);
    if (t.isEmpty()) {
        return s.base;
    }
    const bool contains = t.startsWith(u'%');
    if (!s.words) {
        return base + connector + Group(s, contains ? t.mid(1) : t, contains);
    }
    const QStringList words = (contains ? t.mid(1) : t).split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        return s.base;
    }
    QStringList groups;
    for (const QString& w : words) {
        groups << Group(s, w, contains);
    }
    return base + connector + groups.join(QStringLiteral(" AND "));
}

// The plain matcher: each field's text (a number's digits), folded as the options say.
QString Fold(const QString& text, bool accents)
{
    QString out = text;
    if (accents) {
        out = out.normalized(QString::NormalizationForm_D);
        out.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    }
    return AsciiUpper(out);
}

QString FieldText(const QVariant& v)
{
    return v.typeId() == QMetaType::LongLong ? QString::number(v.toLongLong()) : v.toString();
}

int FieldIndex(const QString& name)
{
    return static_cast<int>(kFieldNames.indexOf(name));
}

bool RecordMatches(const QVariantList& row, const Search& s, const QString& typed, bool accents)
{
    if (!s.base.isEmpty() && !(row[5].isValid() && row[5].toBool())) {
        return false;
    }
    QString t = Fold(AsciiUpper(typed), accents);
    if (t.isEmpty()) {
        return true;
    }
    const bool contains = t.startsWith(u'%');
    if (contains) {
        t = t.mid(1);
    }
    const QStringList words = s.words ? t.split(u' ', Qt::SkipEmptyParts) : QStringList{t};
    if (words.isEmpty()) {
        return true;
    }
    for (const QString& w : words) {
        bool found = false;
        for (const QString& f : s.fields) {
            const QVariant& v = row[FieldIndex(f)];
            if (!v.isValid()) {
                continue;
            }
            const QString text = Fold(FieldText(v), accents);
            found =
                found || (contains ? text.contains(w)
                                   : text.startsWith(w) || (s.words && text.contains(u' ' + w)));
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

std::vector<qint64> ViewIds(const host::ClientDataset& d)
{
    std::vector<qint64> ids;
    for (int row = 0; row < d.RecordCount(); ++row) {
        ids.push_back(d.Value(row, 0).toLongLong());
    }
    return ids;
}

QString Ids(const std::vector<qint64>& ids)
{
    QStringList out;
    for (const qint64 id : ids) {
        out << QString::number(id);
    }
    return out.join(u',');
}

QString Describe(const Table& t)
{
    QStringList lines;
    for (const QVariantList& row : t.rows) {
        QStringList cells;
        for (const QVariant& v : row) {
            cells << (v.isValid() ? FieldText(v) : QStringLiteral("NULL"));
        }
        lines << cells.join(u'|');
    }
    return lines.join(u'\n');
}

// One case; "" when everything agreed.
QString CheckCase(Entropy& e)
{
    const Table table = RandomTable(e);
    host::FilterOptions options;
    if (e.Chance(50)) {
        options |= host::FilterOption::CaseInsensitive;
    }
    const bool accents = e.Chance(50);
    if (accents) {
        options |= host::FilterOption::IgnoreAccents;
    }
    Search s;
    s.fields << QStringLiteral("NOME");
    for (const char* name : {"CODIGO", "FONE", "CIDADE"}) {
        if (e.Chance(60)) {
            s.fields << QString::fromLatin1(name);
        }
    }
    s.words = e.Chance(75);
    s.base = e.Chance(30) ? QStringLiteral("ATIVO = 1") : QString();
    auto fast = MakeDataset(table, options);
    auto plain = MakeDataset(table, options);
    plain->SetFastPaths(false);
    if (e.Chance(50)) {
        fast->PrepareSearch(s.fields, s.words);
    }
    QString typed = e.Chance(30) ? QStringLiteral("%") : QString();
    const int words = 1 + static_cast<int>(e.Below(3));
    QString full = typed;
    for (int i = 0; i < words; ++i) {
        full += QString::fromUtf8(e.Pick(kTyped));
        if (i + 1 < words) {
            full += e.Chance(20) ? QStringLiteral("  ") : QStringLiteral(" ");
        }
    }
    const QString header = QStringLiteral("fields %1, words %2, base \"%3\", options %4\n")
                               .arg(s.fields.join(u','))
                               .arg(s.words)
                               .arg(s.base)
                               .arg(options.toInt()) +
                           Describe(table);
    // Typed forward one character at a time, then back.
    QStringList steps;
    for (int i = typed.size(); i <= full.size(); ++i) {
        steps << full.left(i);
    }
    for (int i = full.size() - 1; i >= 0; --i) {
        steps << full.left(i);
    }
    for (const QString& step : steps) {
        const QString filter = FilterFor(s, step);
        for (auto* d : {fast.get(), plain.get()}) {
            d->SetFilter(filter);
            d->SetFiltered(false);
            if (!filter.isEmpty()) {
                d->SetFiltered(true);
            }
        }
        const std::vector<qint64> got = ViewIds(*fast);
        const std::vector<qint64> want = ViewIds(*plain);
        std::set<qint64> reference;
        for (const QVariantList& row : table.rows) {
            if (RecordMatches(row, s, step, accents)) {
                reference.insert(row[0].toLongLong());
            }
        }
        const std::set<qint64> gotSet(got.begin(), got.end());
        if (got != want || gotSet != reference) {
            return QStringLiteral("typed \"%1\", filter %2\nfast  %3\nplain %4\nref   %5\n%6")
                .arg(step, filter, Ids(got), Ids(want),
                     Ids(std::vector<qint64>(reference.begin(), reference.end())), header);
        }
        // The exact value first: the first view row whose value is the text.
        QString exact = AsciiUpper(step);
        if (exact.startsWith(u'%')) {
            exact = exact.mid(1);
        }
        if (exact.isEmpty()) {
            continue;
        }
        QStringList terms;
        for (const QString& f : s.fields) {
            terms << Term(f, exact);
        }
        const QString expression = terms.join(QStringLiteral(" OR "));
        const int fastRow = fast->FirstRowWhere(expression);
        const int plainRow = plain->FirstRowWhere(expression);
        int referenceRow = -1;
        const QString folded = Fold(exact, accents);
        for (std::size_t row = 0; row < got.size() && referenceRow < 0; ++row) {
            const QVariantList& record = table.rows[static_cast<std::size_t>(got[row])];
            for (const QString& f : s.fields) {
                const QVariant& v = record[FieldIndex(f)];
                if (v.isValid() && Fold(FieldText(v), accents) == folded) {
                    referenceRow = static_cast<int>(row);
                }
            }
        }
        if (fastRow != plainRow || fastRow != referenceRow) {
            return QStringLiteral("FirstRowWhere(%1) after \"%2\": fast %3, plain %4, ref %5\n%6")
                .arg(expression, step)
                .arg(fastRow)
                .arg(plainRow)
                .arg(referenceRow)
                .arg(header);
        }
    }
    return {};
}

} // namespace

TEST(ReachFilter, TypedSearchesOverSeveralFieldsAgree)
{
    const int cases = CaseCount();
    int failures = 0;
    for (int seed = 1; seed <= cases && failures < 3; ++seed) {
        Entropy entropy(static_cast<std::uint64_t>(seed) * 7919U);
        const QString report = CheckCase(entropy);
        if (!report.isEmpty()) {
            ++failures;
            ADD_FAILURE() << "seed " << seed << ":\n" << report.toStdString();
        }
    }
}

// A whole-value match found through the orders is the first in view order, and an
// expression that does not parse raises.
TEST(ReachFilter, FirstRowWhereFindsTheFirstInViewOrder)
{
    Table t;
    t.rows = {
        {qlonglong{0}, QVariant(), qlonglong{5}, QStringLiteral("11"), QVariant(), true},
        {qlonglong{1}, QStringLiteral("maria silva"), qlonglong{11}, QVariant(), QVariant(), true},
        {qlonglong{2}, QStringLiteral("ANA"), qlonglong{7}, QStringLiteral("11"), QVariant(),
         false},
        {qlonglong{3}, QStringLiteral("11"), QVariant(), QStringLiteral("2"), QVariant(), true}};
    auto d = MakeDataset(t, {});
    d->PrepareSearch({QStringLiteral("NOME"), QStringLiteral("CODIGO"), QStringLiteral("FONE")},
                     true);
    // View order by NOME: NULL (0), "11" (3), "ANA" (2), "maria silva" (1).
    const QString eleven = QStringLiteral("UPPER(NOME) LIKE '11' OR UPPER(CODIGO) LIKE '11' OR "
                                          "UPPER(FONE) LIKE '11'");
    EXPECT_EQ(d->FirstRowWhere(eleven), 0);
    d->SetFilter(QStringLiteral("ATIVO = 0"));
    d->SetFiltered(true);
    EXPECT_EQ(d->FirstRowWhere(eleven), 0); // ANA's FONE, the only record shown
    EXPECT_EQ(d->FirstRowWhere(QStringLiteral("UPPER(NOME) LIKE 'MARIA SILVA'")), -1);
    d->SetFiltered(false);
    EXPECT_EQ(d->FirstRowWhere(QStringLiteral("UPPER(NOME) LIKE 'MARIA SILVA'")), 3);
    EXPECT_EQ(d->FirstRowWhere(QStringLiteral("UPPER(NOME) LIKE 'MARIA'")), -1);
    EXPECT_THROW(d->FirstRowWhere(QStringLiteral("UPPER(NOME) LIKE")), std::exception);
}
