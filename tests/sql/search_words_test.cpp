// The filters the search form writes when it searches several fields or words in any
// order, on SQLite and on PostgreSQL against ClientDataset on the same random records:
// each selects the same records in the same order, under every filter option, with and
// without a base filter, in the table's order and in the name's. FirstRowWhere finds the
// first row of the view where an expression holds, as the view in memory has it.
#include "tests/common/error_of.h"
#include "tests/sql/sql_fixture.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <touchsearch/dataset_error.h>
#include <touchsearch/filter_text.h>

namespace {

using sql_test::Server;

const std::vector<sql_test::ColumnShape> kColumns = {
    {"ID", "INTEGER PRIMARY KEY", "bigint PRIMARY KEY"},
    {"NOME", "VARCHAR(40)", "varchar(40)"},
    {"CODIGO", "INTEGER", "integer"},
    {"FONE", "TEXT", "text"},
    {"NM CIDADE", "TEXT", "text"},
    {"PRECO", "REAL", "double precision"},
};

// Words of names: mixed case, accents, words that begin others, digits.
const char* const kNameWords[] = {
    "Maria", "MARIA", "maria", "Mar",       "MARINA",    "Marília",  "Ana", "ANA", "Ananias",
    "João",  "JOAO",  "Joao",  "Silva",     "SILVA",     "silveira", "da",  "DA",  "Sá",
    "SÁ",    "José",  "JOSÉ",  "Gonçalves", "GONÇALVES", "12",       "1a",  "ç",   "Ç",
    "é",     "MA",    "Ã",     "ãna",       "o'brien",   "_x",       "50%"};
const char* const kPhones[] = {"11987654321", "1198765",  "21", "119", "0119",
                               "11 98",       "98765432", "",   "1",   "-3"};
const double kPrices[] = {1.5, 12.0, -3.0, 1e20, 0.1, 119.0, 2.5e-5};

// Pieces of typed text: words that begin others, repeats, digits, accents (as typed,
// the ASCII letters upper-cased later), pattern characters.
const char* const kTyped[] = {"MA", "MAR",  "MARIA", "ANA", "AN", "SIL", "SILVA", "DA",
                              "DA", "JOAO", "JOÃO",  "JOS", "SÁ", "SA",  "GONÇ",  "GONç",
                              "ç",  "É",    "é",     "1",   "11", "119", "12",    "-3",
                              "1E", "_A",   "A_",    "ã",   "50", "O",   "98",    "1.5"};

template <class T, size_t N> const T& Pick(std::mt19937& rng, const T (&items)[N])
{
    return items[rng() % N];
}

QString NameOf(std::mt19937& rng)
{
    QString name = rng() % 9 == 0 ? QStringLiteral(" ") : QString();
    const int words = 1 + static_cast<int>(rng() % 4);
    for (int w = 0; w < words; ++w) {
        if (w > 0) {
            name += rng() % 7 == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
        }
        name += QString::fromUtf8(Pick(rng, kNameWords));
    }
    return name;
}

std::vector<QVariantList> RandomRecords(std::mt19937& rng, int count)
{
    std::vector<QVariantList> records;
    qlonglong id = 0;
    for (int i = 0; i < count; ++i) {
        id += 1 + static_cast<qlonglong>(rng() % 4);
        // The first record often holds NULL wherever it may.
        const auto null = [&](int oneIn) {
            return (i == 0 && rng() % 2 == 0) || rng() % oneIn == 0;
        };
        records.push_back({
            id,
            null(8) ? QVariant() : QVariant(NameOf(rng)),
            null(6) ? QVariant() : QVariant(static_cast<qlonglong>(rng() % 1500) - 40),
            null(5) ? QVariant() : QVariant(QString::fromLatin1(Pick(rng, kPhones))),
            null(5) ? QVariant() : QVariant(NameOf(rng)),
            null(6) ? QVariant() : QVariant(Pick(rng, kPrices)),
        });
    }
    return records;
}

std::unique_ptr<host::ClientDataset> ClientOf(const std::vector<QVariantList>& records)
{
    auto ds = std::make_unique<host::ClientDataset>();
    ds->AddField("ID", host::FieldType::Integer);
    ds->AddField("NOME", host::FieldType::Text, 40);
    ds->AddField("CODIGO", host::FieldType::Integer);
    ds->AddField("FONE", host::FieldType::Text);
    ds->AddField("NM CIDADE", host::FieldType::Text);
    ds->AddField("PRECO", host::FieldType::Float);
    for (const QVariantList& record : records) {
        ds->AppendRecord(record);
    }
    ds->Open();
    return ds;
}

void Store(sql_test::TestDatabase& db, const QString& table,
           const std::vector<QVariantList>& records)
{
    db.CreateTable(table, kColumns);
    db.Exec(QStringLiteral("BEGIN"));
    for (const QVariantList& record : records) {
        db.Insert(table, record);
    }
    db.Exec(QStringLiteral("COMMIT"));
}

QString AsciiUpper(QString text)
{
    for (QChar& c : text) {
        if (c >= u'a' && c <= u'z') {
            c = QChar(c.unicode() - (u'a' - u'A'));
        }
    }
    return text;
}

// The search the form makes of a typed text: the search column first, then the other
// fields searched; words in any order or the text as one; each field read as it is
// (a live dataset) or upper-cased (a client dataset).
struct Search {
    QStringList fields;
    bool words = false;
    bool upper = false;
    QString base;
};

QString Term(const Search& search, const QString& field, const QString& pattern)
{
    const QString name = host::FieldNameInFilter(field);
    return (search.upper ? QStringLiteral("UPPER(%1)").arg(name) : name) +
           QStringLiteral(" LIKE '") + pattern + u'\'';
}

QString FilterOf(const Search& search, const QString& typed)
{
    const QString text = AsciiUpper(typed);
    const bool contains = text.startsWith(u'%');
    QStringList groups;
    if (!search.words) {
        QStringList terms;
        for (const QString& field : search.fields) {
            terms << Term(search, field, text + u'%');
        }
        groups << u'(' + terms.join(QStringLiteral(" OR ")) + u')';
    } else {
        for (const QString& word :
             (contains ? text.mid(1) : text).split(u' ', Qt::SkipEmptyParts)) {
            QStringList terms;
            for (const QString& field : search.fields) {
                if (contains) {
                    terms << Term(search, field, u'%' + word + u'%');
                } else {
                    terms << Term(search, field, word + u'%')
                          << Term(search, field, QStringLiteral("% ") + word + u'%');
                }
            }
            groups << u'(' + terms.join(QStringLiteral(" OR ")) + u')';
        }
    }
    if (groups.isEmpty()) {
        return search.base;
    }
    const QString condition = groups.join(QStringLiteral(" AND "));
    return search.base.isEmpty() ? condition
                                 : u'(' + search.base + QStringLiteral(") AND ") + condition;
}

QString TypedText(std::mt19937& rng)
{
    QString text = rng() % 3 == 0 ? QStringLiteral("%") : QString();
    if (rng() % 8 == 0) {
        text += u' ';
    }
    const int words = 1 + static_cast<int>(rng() % 3);
    QString last;
    for (int w = 0; w < words; ++w) {
        if (w > 0) {
            text += rng() % 5 == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
        }
        // Now and then the same word again.
        last = !last.isEmpty() && rng() % 5 == 0 ? last : QString::fromUtf8(Pick(rng, kTyped));
        text += last;
    }
    if (rng() % 6 == 0) {
        text += u' ';
    }
    return text;
}

host::FilterOptions OptionsOf(int mode)
{
    host::FilterOptions options;
    options.setFlag(host::FilterOption::CaseInsensitive, (mode & 1) != 0);
    options.setFlag(host::FilterOption::IgnoreAccents, (mode & 2) != 0);
    return options;
}

std::string ModeName(int mode)
{
    return std::string((mode & 1) != 0 ? " (case-insensitive)" : "") +
           ((mode & 2) != 0 ? " (accents ignored)" : "");
}

// Orders the client dataset by NOME (as the server orders it under the options) or by
// its records' order (the key), and the server alike.
void OrderBoth(host::ClientDataset& client, host::SqlDataset& server, bool byName, int mode)
{
    if (!byName) {
        client.SetIndexName(QString());
        server.SetOrderFields({});
        return;
    }
    const QString name = QStringLiteral("NOME_%1").arg(mode);
    if (client.GetIndexDefs().Find(name) < 0) {
        client.GetIndexDefs().Add(name, QStringLiteral("NOME"),
                                  (mode & 1) != 0
                                      ? host::IndexOptions(host::IndexOption::CaseInsensitive)
                                      : host::IndexOptions());
    }
    client.SetIndexName(name);
    server.SetOrderFields({QStringLiteral("NOME")});
}

const QStringList kFieldChoices[] = {
    {"NOME", "CODIGO", "FONE"},
    {"NOME", "FONE", "NM CIDADE"},
    {"NOME", "CODIGO", "PRECO", "NM CIDADE"},
    {"NM CIDADE", "NOME"},
    {"NOME"},
};

const char* const kBases[] = {"",
                              "CODIGO > 100 OR CODIGO IS NULL",
                              "NOME LIKE '%a%'",
                              "PRECO < 100",
                              "NOT (NOME LIKE '% MA%')",
                              "NOT (FONE LIKE '% 9%' OR NOME LIKE '% SIL%')"};

class SearchWordsTest : public ::testing::TestWithParam<Server> {};

using test_support::ErrorOf;

TEST_P(SearchWordsTest, WordsInAnyOrderOverSeveralFieldsSelectTheSameRecordsInTheSameOrder)
{
    sql_test::TestDatabase db(GetParam());
    int compared = 0;
    int selecting = 0;
    for (unsigned seed = 1; seed <= 2; ++seed) {
        std::mt19937 rng(seed * 104729u);
        const std::vector<QVariantList> records = RandomRecords(rng, 120);
        const QString table = db.Table(QStringLiteral("palavras%1").arg(seed));
        Store(db, table, records);
        // Small windows: every traversal crosses many keyset pages.
        const std::unique_ptr<host::SqlDataset> server =
            db.Dataset(table, 5 + static_cast<int>(seed));
        const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
        for (int i = 0; i < 160; ++i) {
            const int mode = i % 4;
            const bool byName = (i / 4) % 2 == 1;
            client->SetFilterOptions(OptionsOf(mode));
            server->SetFilterOptions(OptionsOf(mode));
            OrderBoth(*client, *server, byName, mode);
            Search search;
            search.fields = Pick(rng, kFieldChoices);
            search.words = rng() % 4 != 0;
            search.upper = rng() % 2 == 0;
            search.base = QString::fromLatin1(Pick(rng, kBases));
            const QString typed = TypedText(rng);
            const QString filter = FilterOf(search, typed);
            const QString clientError = ErrorOf([&] {
                client->SetFilter(filter);
                client->SetFiltered(true);
            });
            const QString serverError = ErrorOf([&] {
                server->SetFilter(filter);
                server->SetFiltered(true);
            });
            ASSERT_EQ(clientError, serverError) << filter.toStdString();
            ASSERT_TRUE(clientError.isEmpty()) << filter.toStdString();
            const std::vector<QStringList> expected = sql_test::IndexedRows(*client);
            ASSERT_EQ(sql_test::RowDifference(expected, sql_test::CursorRows(*server)), "")
                << "filter: " << filter.toStdString() << ModeName(mode)
                << (byName ? " (by name)" : "")
                << "\nserver: " << server->GetServerCondition().toStdString();
            EXPECT_EQ(server->RecordCount(), client->RecordCount()) << filter.toStdString();
            ++compared;
            selecting += expected.empty() ? 0 : 1;
        }
    }
    EXPECT_EQ(compared, 320);
    EXPECT_GT(selecting, 100); // most searches find something
}

// The exact value the form looks for first: the typed text as a whole, in any of the
// fields searched (LIKE without wildcards).
QString ExactOf(const Search& search, const QString& typed)
{
    QString text = AsciiUpper(typed);
    if (text.startsWith(u'%')) {
        text.remove(0, 1);
    }
    QStringList terms;
    for (const QString& field : search.fields) {
        terms << Term(search, field, text);
    }
    return u'(' + terms.join(QStringLiteral(" OR ")) + u')';
}

// The view row of the client dataset where the expression first holds: the first
// record of the view narrowed by it, found again in the view by its key.
int ExpectedFirstRow(const std::vector<QVariantList>& records, host::ClientDataset& view,
                     const QString& expression, int mode)
{
    const std::unique_ptr<host::ClientDataset> narrowed = ClientOf(records);
    narrowed->SetFilterOptions(OptionsOf(mode));
    if (!view.GetIndexName().isEmpty()) {
        narrowed->GetIndexDefs().Add(view.GetIndexName(), QStringLiteral("NOME"),
                                     (mode & 1) != 0
                                         ? host::IndexOptions(host::IndexOption::CaseInsensitive)
                                         : host::IndexOptions());
        narrowed->SetIndexName(view.GetIndexName());
    }
    const QString filter = view.GetFilter().isEmpty()
                               ? expression
                               : u'(' + view.GetFilter() + QStringLiteral(") AND ") + expression;
    narrowed->SetFilter(filter);
    narrowed->SetFiltered(true);
    if (narrowed->RecordCount() == 0) {
        return -1;
    }
    const QVariant id = narrowed->Value(0, 0);
    for (int row = 0; row < view.RecordCount(); ++row) {
        if (view.Value(row, 0) == id) {
            return row;
        }
    }
    return -2; // not in the view: the test is wrong
}

// A backslash typed is a character like any other (the filter language has no escape),
// also where the patterns a text is matched against are matched at once (PostgreSQL's
// LIKE ANY, whose escape is the backslash, its patterns bound as one array whose text
// form quotes them): the same records as ClientDataset's. So are a double quote, braces
// and a comma.
TEST_P(SearchWordsTest, ABackslashTypedIsMatchedAsItIs)
{
    sql_test::TestDatabase db(GetParam());
    // Enough of each that a window comes from the walk of the order, whose rows are
    // checked against each text's patterns at once, as well as from the find.
    const char* const names[] = {"JOAO A\\B SILVA", "ANA AB SOUZA", "A\\\\B LIMA",
                                 "MARIA A\\BC",     "A%B _X",       "AXB {\"Q\",R}"};
    const char* const phones[] = {"11\\2", "112", "\\", nullptr, "1_2", "1%2\""};
    std::vector<QVariantList> records;
    for (int r = 0; r < 48; ++r) {
        const int k = r % 6;
        records.push_back({r + 1, QString::fromLatin1(names[k]) + QStringLiteral(" %1").arg(r), r,
                           phones[k] ? QVariant(QString::fromLatin1(phones[k])) : QVariant(),
                           QStringLiteral("X"), 1.0});
    }
    const QString table = db.Table(QStringLiteral("barras"));
    Store(db, table, records);
    const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, 4);
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    for (int mode = 0; mode < 4; ++mode) {
        client->SetFilterOptions(OptionsOf(mode));
        server->SetFilterOptions(OptionsOf(mode));
        OrderBoth(*client, *server, true, mode);
        Search search;
        search.fields = {"NOME", "FONE"};
        search.words = true;
        for (const char* typed : {"A\\B", "A\\", "\\", "A\\\\B", "11\\", "1\\2 JO", "A\\B LI",
                                  "{\"Q", "AXB {\"Q\",", "1%2\"", "\",R"}) {
            const QString filter = FilterOf(search, QString::fromLatin1(typed));
            client->SetFilter(filter);
            client->SetFiltered(true);
            server->SetFilter(filter);
            server->SetFiltered(true);
            EXPECT_EQ(sql_test::RowDifference(sql_test::IndexedRows(*client),
                                              sql_test::CursorRows(*server)),
                      "")
                << filter.toStdString() << ModeName(mode)
                << "\nserver: " << server->GetServerCondition().toStdString();
        }
    }
}

TEST_P(SearchWordsTest, FirstRowWhereFindsTheFirstRowOfTheViewWhereTheExpressionHolds)
{
    sql_test::TestDatabase db(GetParam());
    std::mt19937 rng(7411);
    const std::vector<QVariantList> records = RandomRecords(rng, 150);
    const QString table = db.Table(QStringLiteral("primeira"));
    Store(db, table, records);
    // Windows of 3 rows: most rows found lie past those read.
    const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, 3);
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    int found = 0;
    int pastTheWindow = 0;
    for (int i = 0; i < 160; ++i) {
        const int mode = i % 4;
        const bool byName = (i / 4) % 2 == 1;
        client->SetFilterOptions(OptionsOf(mode));
        server->SetFilterOptions(OptionsOf(mode));
        OrderBoth(*client, *server, byName, mode);
        Search search;
        search.fields = Pick(rng, kFieldChoices);
        search.words = rng() % 2 == 0;
        search.upper = rng() % 2 == 0;
        search.base = QString::fromLatin1(Pick(rng, kBases));
        // Now a search, now the whole table, as after Backspace to nothing.
        const QString typed = TypedText(rng);
        const QString filter = rng() % 4 == 0 ? search.base : FilterOf(search, typed);
        client->SetFilter(filter);
        client->SetFiltered(true);
        server->SetFilter(filter);
        server->SetFiltered(true);
        // The exact text, one of the view's own values now and then.
        QString expression = ExactOf(search, typed);
        if (rng() % 2 == 0 && client->RecordCount() > 0) {
            const int row = static_cast<int>(rng() % static_cast<unsigned>(client->RecordCount()));
            const int field = rng() % 2 == 0 ? 2 : 3; // CODIGO or FONE
            const QVariant value = client->Value(row, field);
            const QString name = field == 2 ? QStringLiteral("CODIGO") : QStringLiteral("FONE");
            expression = value.isNull()
                             ? name + QStringLiteral(" IS NULL")
                             : QStringLiteral("%1 LIKE '%2'").arg(name, value.toString());
        }
        const int expected = ExpectedFirstRow(records, *client, expression, mode);
        ASSERT_NE(expected, -2);
        const int statements = server->StatementCount();
        const int known = server->FetchedRowCount();
        const int actual = server->FirstRowWhere(expression);
        ASSERT_EQ(actual, expected)
            << "view: " << filter.toStdString() << ModeName(mode) << (byName ? " (by name)" : "")
            << "\nexpression: " << expression.toStdString();
        EXPECT_LE(server->StatementCount() - statements, 2) << expression.toStdString();
        if (actual < 0) {
            continue;
        }
        ++found;
        pastTheWindow += actual >= known ? 1 : 0;
        // The cursor goes there and finds the record the view in memory has there.
        server->MoveTo(actual);
        ASSERT_EQ(server->RecNo(), actual);
        for (int f = 0; f < client->GetFieldCount(); ++f) {
            ASSERT_EQ(server->DisplayText(actual, f), client->DisplayText(actual, f))
                << "row " << actual << " field " << f << ": " << expression.toStdString();
        }
        // The view reads on alike, before and after the row.
        ASSERT_EQ(
            sql_test::RowDifference(sql_test::IndexedRows(*client), sql_test::CursorRows(*server)),
            "")
            << "after FirstRowWhere(" << expression.toStdString() << ") in "
            << filter.toStdString();
    }
    EXPECT_GT(found, 40); // of 160
    EXPECT_GT(pastTheWindow, 10);
}

TEST_P(SearchWordsTest, FirstRowWhereRefusesWhatSetFilterRefuses)
{
    sql_test::TestDatabase db(GetParam());
    std::mt19937 rng(5);
    const std::vector<QVariantList> records = RandomRecords(rng, 20);
    const QString table = db.Table(QStringLiteral("recusa"));
    Store(db, table, records);
    const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, 4);
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    for (const char* bad : {"NOME LIKE", "FOO = 1", "(NOME LIKE 'A%'", "CODIGO + 'x' AND"}) {
        const QString expression = QString::fromLatin1(bad);
        const QString expected = ErrorOf([&] { client->SetFilter(expression); });
        ASSERT_FALSE(expected.isEmpty()) << bad;
        EXPECT_EQ(ErrorOf([&] { (void)server->FirstRowWhere(expression); }), expected) << bad;
    }
    // Nothing matched: -1, the cursor where it was.
    server->MoveTo(2);
    EXPECT_EQ(server->FirstRowWhere(QStringLiteral("NOME LIKE 'no such name'")), -1);
    EXPECT_EQ(server->RecNo(), 2);
}

// The fields a search of words reads in the tests of its indexes: the search column, a
// number and a phone.
QStringList SearchedFields()
{
    return {"NOME", "CODIGO", "FONE"};
}

// Random records stored in the table, with the search indexes of those fields made for a
// search with case set aside.
std::vector<QVariantList> StoreSearched(sql_test::TestDatabase& db, const QString& table,
                                        unsigned seed, int count)
{
    std::mt19937 rng(seed);
    std::vector<QVariantList> records = RandomRecords(rng, count);
    Store(db, table, records);
    host::SqlDataset::CreateSearchIndexes(db.Url(), table, SearchedFields(),
                                          host::FilterOption::CaseInsensitive);
    return records;
}

// The statements that walk or find prepared on a connection, and the plans their runs
// used: made for the values, made for any.
struct WalkStatements {
    int statements = -1;
    int custom = -1;
    int generic = -1;
};

WalkStatements PreparedWalks(const QString& connection,
                             const QString& marker = QStringLiteral("ts_walk"))
{
    QSqlQuery query(QSqlDatabase::database(connection));
    EXPECT_TRUE(query.exec(
        QStringLiteral(
            "SELECT count(*), COALESCE(sum(custom_plans), 0), COALESCE(sum(generic_plans), 0) "
            "FROM pg_prepared_statements WHERE statement LIKE '%%%1%%'")
            .arg(marker)))
        << query.lastError().text().toStdString();
    if (!query.next()) {
        return {};
    }
    return {query.value(0).toInt(), query.value(1).toInt(), query.value(2).toInt()};
}

// The text typed into both datasets: the same records in the same order, page after page.
void TypeBoth(const Search& search, host::SqlDataset& server, host::ClientDataset& client,
              const char* typed)
{
    SCOPED_TRACE(typed);
    server.SetFilter(FilterOf(search, QString::fromUtf8(typed)));
    server.SetFiltered(true);
    client.SetFilter(server.GetFilter());
    client.SetFiltered(true);
    EXPECT_EQ(sql_test::RowDifference(sql_test::IndexedRows(client), sql_test::CursorRows(server)),
              "");
}

// With the search indexes of the fields searched, numbers among them, every term of a
// search of words over several fields is found through an index (the terms an OR joins,
// combined), so that no search reads the whole table; a word start ("% w%") over a
// number's text, which has no spaces, asks nothing of the server.
TEST(SearchWordsIndexes, EveryTermOfASearchOverSeveralFieldsHasAnIndex)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("indices"));
    const std::vector<QVariantList> records = StoreSearched(db, table, 99, 3000);
    const QStringList fields = SearchedFields();
    const host::FilterOptions options = host::FilterOption::CaseInsensitive;
    const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, 20);
    server->SetFilterOptions(options);
    server->SetOrderFields({QStringLiteral("NOME")});
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    client->SetFilterOptions(options);
    OrderBoth(*client, *server, true, 1);
    QSqlDatabase writer = db.Writer();
    Search search;
    search.fields = fields;
    search.words = true;
    for (const char* typed : {"MARIA SIL", "119", "%ANA 98", "ZZ", "SILVA", "12"}) {
        SCOPED_TRACE(typed);
        server->SetFilter(FilterOf(search, QString::fromUtf8(typed)));
        server->SetFiltered(true);
        EXPECT_FALSE(server->GetServerCondition().contains(QLatin1String("% ")) &&
                     server->GetServerCondition().contains(QLatin1String("upper(CAST")))
            << "an integer's text is upper-cased";
        (void)server->RecordCount(); // a count: no order an index could give instead
        QStringList purposes = sql_test::IndexesPlanned(writer, server->LastStatement());
        purposes.removeDuplicates();
        purposes.sort();
        // A word with a letter asks nothing of the integer's text.
        const bool digits = QByteArray(typed).front() == '1';
        const QStringList expected =
            QByteArray(typed).startsWith('%') ? QStringList{"upper_trgm"} // contains
            : digits ? QStringList{"text_form", "upper", "upper_words_trgm"}
                     : QStringList{"upper", "upper_words_trgm"}; // prefix, word starts
        EXPECT_EQ(purposes, expected) << server->LastStatement().toStdString();
        // More records than a window walks of the order before it finds them otherwise:
        // the same records in the same order either way.
        client->SetFilter(server->GetFilter());
        client->SetFiltered(true);
        EXPECT_EQ(
            sql_test::RowDifference(sql_test::IndexedRows(*client), sql_test::CursorRows(*server)),
            "");
    }
    // Case-sensitive, word starts go through the trigrams of the whole text as before.
    server->SetFilterOptions({});
    client->SetFilterOptions({});
    OrderBoth(*client, *server, true, 0);
    for (const char* typed : {"MARIA SIL", "119"}) {
        SCOPED_TRACE(typed);
        server->SetFilter(FilterOf(search, QString::fromUtf8(typed)));
        server->SetFiltered(true);
        (void)server->RecordCount();
        QStringList purposes = sql_test::IndexesPlanned(writer, server->LastStatement());
        purposes.removeDuplicates();
        purposes.sort();
        const QStringList planned = QByteArray(typed) == "119"
                                        ? QStringList{"text", "text_form", "trgm"}
                                        : QStringList{"text", "trgm"};
        EXPECT_EQ(purposes, planned) << server->LastStatement().toStdString();
        client->SetFilter(server->GetFilter());
        client->SetFiltered(true);
        EXPECT_EQ(
            sql_test::RowDifference(sql_test::IndexedRows(*client), sql_test::CursorRows(*server)),
            "");
    }
    // A search of one field is written as it was; over several fields, its word starts
    // read the words after the first.
    server->SetFilterOptions(options);
    server->SetFilter(QStringLiteral("NOME LIKE '% SILVA%'"));
    EXPECT_FALSE(server->GetServerCondition().contains(QLatin1String("strpos")))
        << server->GetServerCondition().toStdString();
    server->SetFilter(QStringLiteral("NOME LIKE '% SILVA%' OR FONE LIKE '% SILVA%'"));
    EXPECT_TRUE(server->GetServerCondition().contains(QLatin1String("strpos")))
        << server->GetServerCondition().toStdString();
    // A word start over CODIGO's text is no term at all.
    server->SetFilter(QStringLiteral("CODIGO LIKE '% 1%' OR NOME LIKE 'ANA%'"));
    EXPECT_FALSE(server->GetServerCondition().contains(QLatin1String("CODIGO")))
        << server->GetServerCondition().toStdString();
}

// A search whose statement chooses its way as it runs is planned once for any values and
// the plan kept: the keys of one word, and of a lead word the word positions read, share
// one plan each, with no parallel workers (their start costs more than a window). A short
// lead word with more words is planned for its values, and the session then has its own
// setting of the workers back. The records are ClientDataset's either way.
TEST(SearchWordsIndexes, SearchesOfTheSameShapeShareOnePlanMadeForAnyValues)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("planos"));
    const std::vector<QVariantList> records = StoreSearched(db, table, 7, 2000);
    const QStringList fields = SearchedFields();
    const host::FilterOptions options = host::FilterOption::CaseInsensitive;
    const QString reader = db.ReaderConnection();
    const auto run = [&](const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(reader));
        EXPECT_TRUE(query.exec(sql)) << query.lastError().text().toStdString();
        return query;
    };
    // The host's own setting, which plans made for the values keep.
    (void)run(QStringLiteral("SET max_parallel_workers_per_gather = 3"));
    const auto workers = [&] {
        QSqlQuery query = run(QStringLiteral("SHOW max_parallel_workers_per_gather"));
        return query.next() ? query.value(0).toString() : QString();
    };
    host::SqlDataset server;
    server.SetConnectionName(reader);
    server.SetTableName(table);
    server.SetWindowSize(20);
    server.SetFilterOptions(options);
    server.Open();
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    client->SetFilterOptions(options);
    OrderBoth(*client, server, true, 1);
    Search search;
    search.fields = fields;
    search.words = true;
    for (const char* typed : {"SILV", "SILVA", "SILVA M", "SILVA MA", "1", "12", "M", "MA"}) {
        TypeBoth(search, server, *client, typed);
    }
    // One plan for each shape: a word of letters or of digits, a long lead word with a
    // second word; none made for the values.
    const WalkStatements kept = PreparedWalks(reader);
    EXPECT_EQ(kept.custom, 0);
    EXPECT_GE(kept.generic, 8);
    EXPECT_EQ(workers(), QStringLiteral("0"));
    for (const char* typed : {"A 9", "A 98"}) {
        TypeBoth(search, server, *client, typed);
    }
    EXPECT_GE(PreparedWalks(reader).custom, 2);
    EXPECT_EQ(workers(), QStringLiteral("3"));
}

// Planned ahead, the first keystroke of each kind (a short word, a long one, a long one
// and another, a number) runs a statement its connection holds already: none is prepared
// for it. Planning ahead leaves the dataset as it was: its filter, its view, its cursor.
// A text that does not parse raises before anything runs; a server that fails (a table
// locked past the time-out) ends the planning at its first statement, quietly, and the
// next keystroke finds the records.
TEST(SearchWordsIndexes, PlannedAheadTheFirstKeyOfEachKindFindsItsStatementPrepared)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("adiante"));
    const std::vector<QVariantList> records = StoreSearched(db, table, 11, 2000);
    const host::FilterOptions options = host::FilterOption::CaseInsensitive;
    const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, 20);
    server->SetFilterOptions(options);
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    client->SetFilterOptions(options);
    OrderBoth(*client, *server, true, 1);
    Search search;
    search.fields = SearchedFields();
    search.words = true;
    // The statements that walk or find prepared on the dataset's connection, and their runs.
    const auto prepared = [&] {
        const WalkStatements walks = PreparedWalks(server->GetConnectionName());
        return std::pair{walks.statements, walks.custom + walks.generic};
    };
    const auto view = [&] {
        QStringList rows;
        for (int row = 0; row < server->FetchedRowCount(); ++row) {
            rows << server->Value(row, 0).toString();
        }
        return rows;
    };
    server->SetFilter(FilterOf(search, QStringLiteral("MA")));
    server->SetFiltered(true);
    server->MoveTo(3);
    const QString filter = server->GetFilter();
    const QStringList shown = view();
    ASSERT_FALSE(shown.isEmpty());
    // A filter that many records meet is planned walking only: run without the walks
    // (as a keystroke that narrows a view read whole reads), it would sort every match.
    const auto walkless = [&] {
        return PreparedWalks(server->GetConnectionName(), table).statements -
               PreparedWalks(server->GetConnectionName()).statements;
    };
    const int walklessBefore = walkless();
    server->PlanAhead({FilterOf(search, QStringLiteral("J"))});
    EXPECT_EQ(walkless(), walklessBefore);

    const auto [statements, runs] = prepared();
    QStringList ahead;
    for (const char* text : {"B", "WXYZ", "WXYZ B", "2", "WXY", "234", "29384756102"}) {
        ahead << FilterOf(search, QString::fromUtf8(text));
    }
    server->PlanAhead(ahead);
    EXPECT_EQ(server->GetFilter(), filter);
    EXPECT_TRUE(server->GetFiltered());
    EXPECT_EQ(view(), shown);
    EXPECT_EQ(server->RecNo(), 3);
    const auto [statementsAhead, runsAhead] = prepared();
    EXPECT_EQ(runsAhead - runs, 7); // the walking statements, one each
    EXPECT_GE(statementsAhead - statements, 4);
    // Each key finds its statement prepared, whether it walks or (narrowing a view read
    // whole: "789" after "78", "7891") it does not.
    int unwalked = 0;
    const auto statementsHeld = [&] {
        return PreparedWalks(server->GetConnectionName(), table).statements;
    };
    for (const char* typed :
         {"SILV", "SILVA M", "SILVA MA", "7", "78", "789", "7891", "SIL", "J"}) {
        SCOPED_TRACE(typed);
        const int held = statementsHeld();
        server->SetFilter(FilterOf(search, QString::fromUtf8(typed)));
        EXPECT_EQ(statementsHeld(), held) << server->LastStatement().toStdString();
        unwalked += server->LastStatement().contains(QLatin1String("ts_walk")) ? 0 : 1;
        // The records, page after page (the pages after the first are statements of
        // their own).
        TypeBoth(search, *server, *client, typed);
    }

    EXPECT_GE(unwalked, 2);
    const auto [statementsNow, runsNow] = prepared();
    const QString refused = ErrorOf([&] {
        server->PlanAhead({ahead.front(), QStringLiteral("NOME LIKE")});
    });
    EXPECT_FALSE(refused.isEmpty());
    EXPECT_EQ(refused, ErrorOf([&] { client->SetFilter(QStringLiteral("NOME LIKE")); }));
    EXPECT_EQ(prepared().second, runsNow);

    QSqlDatabase writer = db.Writer();
    QSqlQuery lock(writer);
    ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN")));
    ASSERT_TRUE(lock.exec(QStringLiteral("LOCK TABLE %1 IN ACCESS EXCLUSIVE MODE").arg(table)))
        << lock.lastError().text().toStdString();
    server->SetStatementTimeout(300);
    const int before = server->StatementCount();
    EXPECT_NO_THROW(server->PlanAhead(ahead));
    EXPECT_LT(server->StatementCount() - before, static_cast<int>(ahead.size()));
    ASSERT_TRUE(lock.exec(QStringLiteral("ROLLBACK")));
    server->SetStatementTimeout(5000);
    TypeBoth(search, *server, *client, "SILVA");
}

// A search the first rows of the order answer, one whose first rows hold a few of its
// records and the rest further on, one with a few in the first rows and too few in all
// to fill a window, one with none there, and one most of whose records are the names
// that begin with its word, at the end of the order: each selects what ClientDataset
// selects in its order, page after page (a window of 10 among 4,000 records, the first
// 1,000 of the order walked first), names NULL and in either case now and then.
TEST_P(SearchWordsTest, SearchesTheFirstRowsHoldOrNotSelectTheSameRecordsPageAfterPage)
{
    sql_test::TestDatabase db(GetParam());
    std::vector<QVariantList> records;
    const auto has = [](int i, std::initializer_list<int> rows) {
        return std::find(rows.begin(), rows.end(), i) != rows.end();
    };
    for (int i = 1; i <= 4000; ++i) {
        QString name = QStringLiteral("A%1 X").arg(i, 5, 10, QChar(u'0'));
        if (i % 5 == 0) {
            name += QStringLiteral(" DENSO");
        }
        if (has(i, {100, 600}) || (i >= 1500 && i < 1530)) {
            name += QStringLiteral(" LONGE");
        }
        if (has(i, {200, 700, 3000})) {
            name += QStringLiteral(" POUCO");
        }
        if (i >= 2000 && i < 2030) {
            name += QStringLiteral(" RARO");
        }
        if (has(i, {500, 1200})) {
            name += QStringLiteral(" A03Z"); // as the names of the last thousand begin
        }
        if (i % 100 == 50) {
            name += QStringLiteral(" MIO"); // a few among the first thousand, more after
        }
        if (i % 7 == 0) {
            name = name.toLower();
        }
        const QVariant nome = i % 11 == 0 ? QVariant() : QVariant(name);
        const QVariant fone =
            i % 13 == 0
                ? QVariant()
                : QVariant(QStringLiteral("%1").arg((i * 7919) % 100000, 5, 10, QChar(u'0')));
        records.push_back({static_cast<qlonglong>(i), nome, static_cast<qlonglong>(i), fone,
                           QVariant(), QVariant(1.5)});
    }
    const QString table = db.Table(QStringLiteral("paginas"));
    Store(db, table, records);
    const QStringList fields = {"NOME", "FONE"};
    const host::FilterOptions options = host::FilterOption::CaseInsensitive;
    host::SqlDataset::CreateSearchIndexes(db.Url(), table, fields, options);
    const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, 10);
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    client->SetFilterOptions(options);
    server->SetFilterOptions(options);
    OrderBoth(*client, *server, true, 1);
    Search search;
    search.fields = fields;
    search.words = true;
    int selecting = 0;
    for (const char* typed :
         {"DENSO", "LONGE", "POUCO", "RARO", "X LONGE", "LONGE A01", "RARO A020", "POUCO X", "A03",
          "A03 DENSO", "12", "0", "NADA", "MIO"}) {
        SCOPED_TRACE(typed);
        const QString filter = FilterOf(search, QString::fromUtf8(typed));
        client->SetFilter(filter);
        client->SetFiltered(true);
        server->SetFilter(filter);
        server->SetFiltered(true);
        if (GetParam() == Server::Postgres && qstrcmp(typed, "MIO") == 0) {
            // A short word the first rows hold a few of: the far walk goes on from the near
            // one and answers; the find (the merge of its branches) never runs.
            QSqlQuery plan(db.Writer());
            ASSERT_TRUE(plan.exec(QStringLiteral("EXPLAIN (ANALYZE, COSTS OFF) ") +
                                  server->LastStatement()))
                << plan.lastError().text().toStdString();
            QString text;
            while (plan.next()) {
                text += plan.value(0).toString() + u'\n';
            }
            EXPECT_TRUE(text.contains(QRegularExpression(
                QStringLiteral("CTE Scan on ts_far[^\n]*rows=11 .*Unique \\(never executed\\)"),
                QRegularExpression::DotMatchesEverythingOption)))
                << text.toStdString();
        }
        const std::vector<QStringList> expected = sql_test::IndexedRows(*client);
        ASSERT_EQ(sql_test::RowDifference(expected, sql_test::CursorRows(*server)), "")
            << filter.toStdString() << "\nserver: " << server->GetServerCondition().toStdString();
        selecting += expected.empty() ? 0 : 1;
    }
    EXPECT_EQ(selecting, 13);
}

// Words of long names: some that begin others, with and without accents, many names
// longer than the word positions the search indexes hold apart.
const char* const kLongNameWords[] = {
    "MARIA", "Mariana", "MARÍLIA",   "mari", "SILVA", "SILVEIRA", "silvano", "SOUZA",     "Sousa",
    "DA",    "DOS",     "Anastácia", "ANAS", "JOÃO",  "JOAO",     "1234",    "MARIA-JOSÉ"};
// Typed texts: a first word long enough for the word positions or not, a second one.
const char* const kLongTyped[] = {"MARIA", "MARI",    "MARIL", "MARÍ",     "SILV", "SILVEIRA",
                                  "SOUZ",  "ANAS",    "JOÃO",  "JOAO",     "DA",   "SA",
                                  "1234",  "MARIA-J", "VALD",  "VALDIRENE"};

// A search of words whose first word begins a later word of the search column, with the
// word positions' indexes made, reads those records off them position by position (the
// words of names longer than the positions through their own index): the same records,
// in the same order, page after page, as ClientDataset selects, with case and accents set
// aside or only case. Without those indexes the statement is written as before.
TEST(SearchWordsIndexes, WordStartsOfTheSearchColumnComeOffTheWordPositionsInOrder)
{
    sql_test::TestDatabase db(Server::Postgres);
    std::mt19937 rng(2026);
    std::vector<QVariantList> records;
    int beyondRecords = 0;
    for (int i = 1; i <= 4000; ++i) {
        QStringList words;
        const int count = 1 + static_cast<int>(rng() % 11);
        for (int w = 0; w < count; ++w) {
            words << QString::fromUtf8(Pick(rng, kLongNameWords));
        }
        const QString lead = AsciiUpper(words.front());
        if (lead < QLatin1String("J") && rng() % 5 == 0) {
            // A word past the first of names early in the order only: more records than
            // a window at some positions, none among the last rows of the order, which a
            // window read from the end walks first.
            words.insert(1 + static_cast<int>(rng() % words.size()), QStringLiteral("VALDIRENE"));
        }
        QString name = words.front();
        for (qsizetype w = 1; w < words.size(); ++w) {
            const QString space = rng() % 9 == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
            if (name.size() + space.size() + words[w].size() > 40) {
                break; // the column's length
            }
            name += space + words[w];
        }
        if (i % 97 == 0) {
            // The only long word past the eighth position.
            name = QStringLiteral("A B C D E F G H%1 SILVEIRA").arg(i % 2 == 0 ? "" : " ");
            beyondRecords += i % 23 == 0 ? 0 : 1;
        }
        const QVariant nome = i % 23 == 0 ? QVariant() : QVariant(name);
        records.push_back({static_cast<qlonglong>(i), nome, static_cast<qlonglong>(i),
                           QVariant(QStringLiteral("1198%1").arg(i)), QVariant(), QVariant(1.5)});
    }
    const QString table = db.Table(QStringLiteral("posicoes"));
    Store(db, table, records);
    const QStringList fields = {"NOME", "FONE"};
    Search search;
    search.fields = fields;
    search.words = true;
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    {
        const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, 10);
        server->SetFilterOptions(host::FilterOption::CaseInsensitive);
        server->SetOrderFields({QStringLiteral("NOME")});
        server->SetFilter(FilterOf(search, QStringLiteral("MARIA SILV")));
        server->SetFiltered(true);
        EXPECT_FALSE(server->LastStatement().contains(QLatin1String("split_part")))
            << server->LastStatement().toStdString();
    }
    host::SqlDataset::CreateSearchIndexes(db.Url(), table, fields, OptionsOf(3));
    QSqlDatabase writer = db.Writer();
    int positional = 0;
    int selecting = 0;
    for (const int mode : {1, 3}) {
        SCOPED_TRACE(ModeName(mode));
        const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, 20);
        client->SetFilterOptions(OptionsOf(mode));
        server->SetFilterOptions(OptionsOf(mode));
        OrderBoth(*client, *server, true, mode);
        for (int i = 0; i < 24; ++i) {
            QString typed = QString::fromUtf8(Pick(rng, kLongTyped));
            if (i < 2) {
                typed = i == 0 ? QStringLiteral("VALDIRENE") : QStringLiteral("VALD DA");
            } else if (i % 3 != 0) {
                typed +=
                    QStringLiteral(" ") +
                    QString::fromUtf8(Pick(rng, kLongTyped)).left(1 + static_cast<int>(rng() % 5));
            }
            SCOPED_TRACE(typed.toStdString());
            const QString filter = FilterOf(search, typed);
            server->SetFilter(filter);
            server->SetFiltered(true);
            const QString first = server->LastStatement();
            // The first word is read off the positions when it has four characters and a
            // letter, and their indexes serve it: upper-cased only, none made on the
            // accent fold.
            const QString word = typed.section(u' ', 0, 0);
            const bool long_ =
                mode == 1 && word.toUcs4().size() >= 4 && word != QLatin1String("1234");
            EXPECT_EQ(first.contains(QLatin1String("split_part")), long_) << first.toStdString();
            if (long_) {
                const QStringList planned = sql_test::IndexesPlanned(writer, first);
                // (Purposes as the plan names them, digits left out.)
                EXPECT_TRUE(planned.contains(QLatin1String("upper_word")))
                    << planned.join(u' ').toStdString() << "\n"
                    << first.toStdString();
                ++positional;
            }
            client->SetFilter(filter);
            client->SetFiltered(true);
            const std::vector<QStringList> expected = sql_test::IndexedRows(*client);
            ASSERT_EQ(sql_test::RowDifference(expected, sql_test::CursorRows(*server)), "")
                << filter.toStdString() << "\nserver: " << first.toStdString();
            if (i % 6 == 0 || typed.startsWith(QLatin1String("VALD"))) {
                // From the end back: the positions read in descending order.
                server->SetFilter(QString());
                server->SetFilter(filter);
                ASSERT_EQ(sql_test::RowDifference(expected, sql_test::CursorRowsBackwards(*server)),
                          "")
                    << filter.toStdString();
            }
            selecting += expected.empty() ? 0 : 1;
        }
        // A word only past the eighth position of its names.
        const QString beyond = FilterOf(search, QStringLiteral("SILVEIRA H"));
        server->SetFilter(beyond);
        client->SetFilter(beyond);
        client->SetFiltered(true);
        const std::vector<QStringList> expected = sql_test::IndexedRows(*client);
        EXPECT_EQ(static_cast<int>(expected.size()), beyondRecords);
        EXPECT_EQ(sql_test::RowDifference(expected, sql_test::CursorRows(*server)), "");
    }
    EXPECT_GT(positional, 8);
    EXPECT_GT(selecting, 30);
}

// A prefix of three characters of another field searched with the names (a phone's or a
// code's first digits) comes off that field's bucket in the names' order, a window's
// worth, where every match was read and sorted; shorter and longer ones off its ordered
// index as before. Forwards and backwards, the records are ClientDataset's, and in
// another order, which the buckets do not hold, too.
TEST(SearchWordsIndexes, ThreeCharacterPrefixesOfOtherFieldsComeOffTheirBucketsInOrder)
{
    sql_test::TestDatabase db(Server::Postgres);
    std::mt19937 rng(3303);
    std::vector<QVariantList> records;
    for (int i = 1; i <= 3000; ++i) {
        // Sparse prefixes (about three records each), NULLs, the first record's too.
        QString phone;
        for (int d = 0; d < 10; ++d) {
            phone += QChar(u'0' + static_cast<int>(rng() % 10));
        }
        if (i % 11 == 0) {
            phone.insert(3, u' ');
        }
        const bool nulls = i == 1 || rng() % 9 == 0;
        records.push_back(
            {static_cast<qlonglong>(i), nulls ? QVariant() : QVariant(NameOf(rng)),
             nulls ? QVariant() : QVariant(static_cast<qlonglong>(rng() % 40000) - 900),
             nulls ? QVariant() : QVariant(phone), QVariant(), QVariant(1.5)});
    }
    const QString table = db.Table(QStringLiteral("baldes"));
    Store(db, table, records);
    host::SqlDataset::CreateSearchIndexes(db.Url(), table, SearchedFields(),
                                          host::FilterOption::CaseInsensitive);
    const host::FilterOptions options = host::FilterOption::CaseInsensitive;
    const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, 20);
    server->SetFilterOptions(options);
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    client->SetFilterOptions(options);
    Search search;
    search.fields = SearchedFields();
    search.words = true;
    QSqlDatabase writer = db.Writer();
    QStringList typed{QStringLiteral("-12"), QStringLiteral("mar"), QStringLiteral("12"),
                      QStringLiteral("1234"), QStringLiteral("123 M")};
    for (int r = 2; r < 3000; r += 397) {
        for (const int field : {2, 3}) {
            if (!records[static_cast<size_t>(r)][field].isNull()) {
                typed << records[static_cast<size_t>(r)][field].toString().left(3);
            }
        }
    }
    int bucketed = 0;
    int selecting = 0;
    for (const bool byName : {true, false}) {
        OrderBoth(*client, *server, byName, 1);
        for (const QString& text : typed) {
            SCOPED_TRACE(text.toStdString());
            const QString filter = FilterOf(search, text);
            server->SetFilter(filter);
            server->SetFiltered(true);
            const QString statement = server->LastStatement();
            const QStringList planned = sql_test::IndexesPlanned(writer, statement);
            const bool fromBuckets =
                std::any_of(planned.begin(), planned.end(), [](const QString& purpose) {
                    return purpose.startsWith(QLatin1String("bucket_"));
                });
            EXPECT_EQ(fromBuckets, byName && text.section(u' ', 0, 0).size() == 3)
                << planned.join(u' ').toStdString() << "\n"
                << statement.toStdString();
            bucketed += fromBuckets ? 1 : 0;
            client->SetFilter(filter);
            client->SetFiltered(true);
            const std::vector<QStringList> expected = sql_test::IndexedRows(*client);
            ASSERT_EQ(sql_test::RowDifference(expected, sql_test::CursorRows(*server)), "")
                << statement.toStdString();
            server->SetFilter(QString());
            server->SetFilter(filter);
            ASSERT_EQ(sql_test::RowDifference(expected, sql_test::CursorRowsBackwards(*server)),
                      "");
            selecting += expected.empty() ? 0 : 1;
        }
    }
    EXPECT_GT(bucketed, 10);
    EXPECT_GT(selecting, 15);
}

// A keystroke that narrows a search whose whole view came in one window (the text it
// extends) selects fewer records than a window: it is found through the indexes with no
// walk of the order, which could not fill one. A text that widens, one with another word,
// or other options walk as before. The records are ClientDataset's either way.
TEST(SearchWordsIndexes, AKeystrokeThatNarrowsAViewReadWholeLeavesTheWalksOut)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("estreita"));
    const std::vector<QVariantList> records = StoreSearched(db, table, 5, 3000);
    constexpr int kWindow = 20;
    const std::unique_ptr<host::SqlDataset> server = db.Dataset(table, kWindow);
    const std::unique_ptr<host::ClientDataset> client = ClientOf(records);
    Search search;
    search.fields = SearchedFields();
    search.words = true;
    int few = 0;
    bool whole = false; // the last view came in one window
    QString last;
    for (const int mode : {1, 0}) {
        SCOPED_TRACE(ModeName(mode));
        client->SetFilterOptions(OptionsOf(mode));
        server->SetFilterOptions(OptionsOf(mode));
        OrderBoth(*client, *server, true, mode);
        for (const char* typed :
             {"1", "12", "123", "1234", "123", "12 M", "12 MA", "12 MAR", "MARIA", "MARIA S",
              "MARIA SI", "MARIA SIL", "MARIA SILV", "MARIA SILVA", "ANAN", "ANANI", "ANANIA",
              "ANANIAS J", "ANANIAS JO"}) {
            SCOPED_TRACE(typed);
            const QString text = QString::fromUtf8(typed);
            const QString filter = FilterOf(search, text);
            server->SetFilter(filter);
            server->SetFiltered(true);
            const QString statement = server->LastStatement();
            // Narrowing: the same words, the last one longer (options unchanged since).
            const bool narrows = whole && text.startsWith(last) &&
                                 text.count(u' ') == last.count(u' ') && text != last;
            EXPECT_EQ(!statement.contains(QLatin1String("ts_walk")), narrows)
                << statement.toStdString();
            few += narrows ? 1 : 0;
            client->SetFilter(filter);
            client->SetFiltered(true);
            const std::vector<QStringList> expected = sql_test::IndexedRows(*client);
            ASSERT_EQ(sql_test::RowDifference(expected, sql_test::CursorRows(*server)), "");
            ASSERT_EQ(sql_test::RowDifference(expected, sql_test::CursorRowsBackwards(*server)),
                      "");
            whole = expected.size() <= static_cast<size_t>(kWindow);
            last = text;
        }
        whole = false; // the options change next
    }
    EXPECT_GE(few, 6);
}

INSTANTIATE_TEST_SUITE_P(Servers, SearchWordsTest,
                         ::testing::Values(Server::Sqlite, Server::Postgres),
                         [](const ::testing::TestParamInfo<Server>& info) {
                             return std::string(sql_test::ServerName(info.param));
                         });

} // namespace
