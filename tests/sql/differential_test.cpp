// SqlDataset against ClientDataset on the same random records: every filter selects
// the same records in the same order, on SQLite and on PostgreSQL, with and without
// the case-insensitive and accent options, whatever the order and however small the
// windows.
#include "tests/common/error_of.h"
#include "tests/sql/sql_fixture.h"

#include <QDate>
#include <gtest/gtest.h>
#include <random>
#include <touchsearch/dataset_error.h>

namespace {

using sql_test::Server;

const std::vector<sql_test::ColumnShape> kColumns = {
    {"ID", "INTEGER PRIMARY KEY", "bigint PRIMARY KEY"},
    {"NOME", "VARCHAR(30)", "varchar(30)"},
    // A name that is no plain word: filters name it in double quotes.
    {"NM CIDADE", "TEXT", "text"},
    {"QTD", "INTEGER", "integer"},
    {"PRECO", "REAL", "double precision"},
    {"ATIVO", "BOOLEAN", "boolean"},
    {"NASC", "DATE", "date"},
};

const char* const kTexts[] = {
    "joão", "JOAO",      "Joao silva", "ana",       "Ana",      "MARIA", "maria da Silva",
    "Zé",   "ç",         "Ç",          "%",         "_x",       "a_b",   "[x]",
    "*a?",  "o'brien",   "  pad  ",    "",          "1e5",      "10",    "2.5",
    "True", "false",     "2020-01-01", "silva",     "SILVA",    "Sé",    "ab",
    "JOÃO", "São Paulo", "Gonçalves",  "GONÇALVES", "Ångström", "ß",     "joão silva"};
const double kPrices[] = {0.0,       -0.0,  0.5, 2.5,  3.0,    10.0,           1e-5,     1.5e20,
                          0.1 + 0.2, -7.25, 1e5, 1e15, 0.0001, 123456789012.5, 2.0 / 3.0};
const char* const kDates[] = {"1969-02-28", "1980-05-01", "1990-12-31",
                              "2000-01-01", "2020-01-01", "1999-12-31"};

template <class T, size_t N> const T& Pick(std::mt19937& rng, const T (&items)[N])
{
    return items[rng() % N];
}

struct Data {
    std::vector<QVariantList> records;
};

Data RandomData(std::mt19937& rng, int count)
{
    Data data;
    qlonglong id = 0;
    for (int i = 0; i < count; ++i) {
        id += 1 + static_cast<qlonglong>(rng() % 5);
        // The first record often holds NULL wherever it may.
        const auto null = [&](int oneIn) {
            return (i == 0 && rng() % 2 == 0) || rng() % oneIn == 0;
        };
        data.records.push_back({
            id,
            null(7) ? QVariant() : QVariant(QString::fromUtf8(Pick(rng, kTexts))),
            null(5) ? QVariant() : QVariant(QString::fromUtf8(Pick(rng, kTexts))),
            null(8) ? QVariant() : QVariant(static_cast<qlonglong>(rng() % 21) - 10),
            null(8) ? QVariant() : QVariant(Pick(rng, kPrices)),
            null(6) ? QVariant() : QVariant(rng() % 2 == 0),
            null(6)
                ? QVariant()
                : QVariant(QDate::fromString(QString::fromLatin1(Pick(rng, kDates)), Qt::ISODate)),
        });
    }
    return data;
}

std::unique_ptr<host::ClientDataset> ClientOf(const Data& data)
{
    auto ds = std::make_unique<host::ClientDataset>();
    ds->AddField("ID", host::FieldType::Integer);
    ds->AddField("NOME", host::FieldType::Text, 30);
    ds->AddField("NM CIDADE", host::FieldType::Text);
    ds->AddField("QTD", host::FieldType::Integer);
    ds->AddField("PRECO", host::FieldType::Float);
    ds->AddField("ATIVO", host::FieldType::Boolean);
    ds->AddField("NASC", host::FieldType::Date);
    for (const QVariantList& record : data.records) {
        ds->AppendRecord(record);
    }
    ds->Open();
    return ds;
}

void Store(sql_test::TestDatabase& db, const QString& table, const Data& data)
{
    db.CreateTable(table, kColumns);
    db.Exec(QStringLiteral("BEGIN"));
    for (QVariantList record : data.records) {
        if (db.GetServer() == Server::Sqlite) {
            // SQLite keeps booleans as 0/1 and dates as ISO text, as the file loader does.
            if (record[5].isValid()) {
                record[5] = record[5].toBool() ? 1 : 0;
            }
            if (record[6].isValid()) {
                record[6] = record[6].toDate().toString(Qt::ISODate);
            }
        }
        db.Insert(table, record);
    }
    db.Exec(QStringLiteral("COMMIT"));
}

// A view over the table holding every record twice: it has neither a unique key nor a
// row identity, and pairs of identical rows. The client dataset holds each record twice
// in a row, so that ties (broken by record number there, by the fields from ID on and
// then by rank on the server) come out alike.
QString StoreTwiceInAView(sql_test::TestDatabase& db, const QString& table)
{
    const QString view = table + QStringLiteral("_v");
    db.Exec(
        QStringLiteral("CREATE VIEW \"%1\" AS SELECT * FROM \"%2\" UNION ALL SELECT * FROM \"%2\"")
            .arg(view, table));
    return view;
}

Data Twice(const Data& data)
{
    Data twice;
    for (const QVariantList& record : data.records) {
        twice.records.push_back(record);
        twice.records.push_back(record);
    }
    return twice;
}

enum class Source { Table, ViewOfEveryRecordTwice };

// ---- random filters -------------------------------------------------------------

QString Quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\'', QStringLiteral("''"));
    return u'\'' + escaped + u'\'';
}

QString TextLiteral(std::mt19937& rng)
{
    return Quoted(QString::fromUtf8(Pick(rng, kTexts)));
}

QString TextValue(std::mt19937& rng)
{
    switch (rng() % 9) {
    case 0:
        return QStringLiteral("NOME");
    case 1:
        return QStringLiteral("\"NM CIDADE\"");
    case 2:
        return QStringLiteral("UPPER(NOME)");
    case 3:
        return QStringLiteral("LOWER(\"nm cidade\")");
    case 4:
        return QStringLiteral("TRIM(NOME)");
    case 5:
        return QStringLiteral("UPPER(PRECO)");
    case 6:
        return QStringLiteral("TRIM(QTD)");
    default:
        return TextLiteral(rng);
    }
}

QString NumberValue(std::mt19937& rng)
{
    static const char* const values[] = {"QTD",
                                         "PRECO",
                                         "ID",
                                         "3",
                                         "-2",
                                         "2.5",
                                         "0",
                                         "1e20",
                                         "0.1",
                                         "QTD + 1",
                                         "PRECO * 2",
                                         "QTD / 0",
                                         "QTD / 2",
                                         "-QTD",
                                         "ID - QTD",
                                         "PRECO / QTD",
                                         "ATIVO",
                                         "QTD * PRECO",
                                         "(QTD + ID) * 3",
                                         "NULL",
                                         "TRUE"};
    return QString::fromLatin1(Pick(rng, values));
}

QString Pattern(std::mt19937& rng)
{
    static const char* const pieces[] = {"J", "JO", "jo", "A", "an", "S",  "SIL", "ç", "Ç",
                                         "ã", "_",  "%",  "%", "[",  "*",  "?",   "1", "e",
                                         ".", "-",  "2",  "0", "E+", "Tr", "x]",  " "};
    QString pattern;
    const int n = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < n; ++i) {
        pattern += QString::fromUtf8(Pick(rng, pieces));
    }
    if (rng() % 3 != 0) {
        pattern += u'%';
    }
    return Quoted(pattern);
}

const char* CompareOp(std::mt19937& rng)
{
    static const char* const ops[] = {"=", "<>", "<", ">", "<=", ">=", "!="};
    return Pick(rng, ops);
}

QString Condition(std::mt19937& rng, int depth)
{
    switch (depth > 2 ? rng() % 12 : rng() % 16) {
    case 0:
        return TextValue(rng) + u' ' + QLatin1String(CompareOp(rng)) + u' ' + TextValue(rng);
    case 1:
        return NumberValue(rng) + u' ' + QLatin1String(CompareOp(rng)) + u' ' + NumberValue(rng);
    case 2: // numbers meeting text
        return NumberValue(rng) + u' ' + QLatin1String(CompareOp(rng)) + u' ' + TextValue(rng);
    case 3:
        return TextValue(rng) + QStringLiteral(" LIKE ") + Pattern(rng);
    case 4:
        return NumberValue(rng) +
               (rng() % 4 == 0 ? QStringLiteral(" NOT LIKE ") : QStringLiteral(" LIKE ")) +
               Pattern(rng);
    case 5:
        return TextValue(rng) + QStringLiteral(" LIKE ") + TextValue(rng);
    case 6:
        return (rng() % 2 ? NumberValue(rng) : TextValue(rng)) +
               (rng() % 2 ? QStringLiteral(" IS NULL") : QStringLiteral(" IS NOT NULL"));
    case 7: {
        QString list;
        const int n = 1 + static_cast<int>(rng() % 3);
        for (int i = 0; i < n; ++i) {
            list += (i ? QStringLiteral(", ") : QString()) +
                    (rng() % 2 ? NumberValue(rng) : TextLiteral(rng));
        }
        return (rng() % 2 ? NumberValue(rng) : TextValue(rng)) +
               (rng() % 3 == 0 ? QStringLiteral(" NOT IN (") : QStringLiteral(" IN (")) + list +
               u')';
    }
    case 8: {
        static const char* const dates[] = {
            "NASC = NASC",          "NASC > '1990'",          "NASC LIKE '19%'",
            "NASC <= '2000-01-01'", "NASC IN ('1980-05-01')", "UPPER(NASC) = NASC",
            "NASC IS NULL"};
        return QString::fromLatin1(Pick(rng, dates));
    }
    case 9: {
        static const char* const truths[] = {"ATIVO",      "NOT ATIVO",       "ATIVO = TRUE",
                                             "ATIVO <> 0", "ATIVO LIKE 'T%'", "ATIVO = 'False'",
                                             "FALSE"};
        return QString::fromLatin1(Pick(rng, truths));
    }
    case 10:
        return QStringLiteral("UPPER(NOME) LIKE ") + Pattern(rng);
    case 11:
        return QStringLiteral("NOME LIKE ") + Pattern(rng);
    case 12:
        return QStringLiteral("NOT (") + Condition(rng, depth + 1) + u')';
    case 13:
        return u'(' + Condition(rng, depth + 1) + QStringLiteral(" AND ") +
               Condition(rng, depth + 1) + u')';
    default:
        return u'(' + Condition(rng, depth + 1) + QStringLiteral(" OR ") +
               Condition(rng, depth + 1) + u')';
    }
}

// ---- the comparison ---------------------------------------------------------------

class DifferentialTest : public ::testing::TestWithParam<std::tuple<Server, Source>> {
protected:
    Server GetServer() const { return std::get<0>(GetParam()); }
    bool FromView() const { return std::get<1>(GetParam()) == Source::ViewOfEveryRecordTwice; }

    // The dataset searched on the server and the client dataset it must agree with.
    std::pair<std::unique_ptr<host::SqlDataset>, std::unique_ptr<host::ClientDataset>>
    Datasets(sql_test::TestDatabase& db, const QString& table, const Data& data, int window)
    {
        Store(db, table, data);
        if (!FromView()) {
            return {db.Dataset(table, window), ClientOf(data)};
        }
        return {db.Dataset(StoreTwiceInAView(db, table), window), ClientOf(Twice(data))};
    }
};

using test_support::ErrorOf;

TEST_P(DifferentialTest, RandomFiltersSelectTheSameRecordsInTheSameOrder)
{
    sql_test::TestDatabase db(GetServer());
    int compared = 0;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 rng(seed * 7919u);
        const Data data = RandomData(rng, 70);
        const QString table = db.Table(QStringLiteral("dados%1").arg(seed));
        // Small windows: every traversal crosses many keyset pages.
        auto [server, client] = Datasets(db, table, data, 4 + static_cast<int>(seed));
        for (int i = 0; i < 140; ++i) {
            const QString filter = Condition(rng, 0);
            const bool caseInsensitive = i % 3 == 2;
            const bool ignoreAccents = i % 4 >= 2;
            host::FilterOptions options;
            options.setFlag(host::FilterOption::CaseInsensitive, caseInsensitive);
            options.setFlag(host::FilterOption::IgnoreAccents, ignoreAccents);
            client->SetFilterOptions(options);
            server->SetFilterOptions(options);
            const QString clientError = ErrorOf([&] {
                client->SetFilter(filter);
                client->SetFiltered(true);
            });
            const QString serverError = ErrorOf([&] {
                server->SetFilter(filter);
                server->SetFiltered(true);
            });
            ASSERT_EQ(clientError, serverError) << filter.toStdString();
            if (!clientError.isEmpty()) {
                continue;
            }
            const std::vector<QStringList> expected = sql_test::IndexedRows(*client);
            const std::vector<QStringList> actual = sql_test::CursorRows(*server);
            ASSERT_EQ(sql_test::RowDifference(expected, actual), "")
                << "filter: " << filter.toStdString()
                << (caseInsensitive ? " (case-insensitive)" : "")
                << (ignoreAccents ? " (accents ignored)" : "")
                << "\nserver: " << server->GetServerCondition().toStdString();
            EXPECT_EQ(server->RecordCount(), client->RecordCount()) << filter.toStdString();
            ++compared;
        }
    }
    EXPECT_GT(compared, 300);
}

TEST_P(DifferentialTest, OrdersWithTiesAndNullsMatchAnIndexOnTheSameFields)
{
    sql_test::TestDatabase db(GetServer());
    std::mt19937 rng(424242);
    const Data data = RandomData(rng, 90);
    const QString table = db.Table(QStringLiteral("ordem"));
    auto [server, client] = Datasets(db, table, data, 6);
    const QStringList orders[] = {
        {"NOME"}, {"PRECO"}, {"ATIVO", "NASC"}, {"NM CIDADE", "QTD"}, {"NASC"}};
    for (const int mode : {0, 1, 2, 3}) {
        // Case-insensitive: text upper-cased, as a case-insensitive index orders it.
        // Accents set aside: the folded text, so "João" sorts among the "Joao"s.
        const bool folded = (mode & 1) != 0;
        const bool accents = (mode & 2) != 0;
        host::FilterOptions options;
        options.setFlag(host::FilterOption::CaseInsensitive, folded);
        options.setFlag(host::FilterOption::IgnoreAccents, accents);
        client->SetFilterOptions(options);
        server->SetFilterOptions(options);
        const std::string modeName = std::string(folded ? " (case-insensitive)" : "") +
                                     (accents ? " (accents ignored)" : "");
        for (const QStringList& order : orders) {
            const QString name = order.join(u'_') + (folded ? QStringLiteral("_ci") : QString()) +
                                 (accents ? QStringLiteral("_ia") : QString());
            client->GetIndexDefs().Add(name, order.join(u';'),
                                       folded
                                           ? host::IndexOptions(host::IndexOption::CaseInsensitive)
                                           : host::IndexOptions());
            client->SetIndexName(name);
            server->SetOrderFields(order);
            for (const char* filter :
                 {"", "NOME LIKE '%a%'", "QTD > 0 OR QTD IS NULL", "UPPER(NOME) LIKE 'JOAO%'"}) {
                client->SetFilter(QString::fromLatin1(filter));
                client->SetFiltered(true);
                server->SetFilter(QString::fromLatin1(filter));
                server->SetFiltered(true);
                ASSERT_EQ(sql_test::RowDifference(sql_test::IndexedRows(*client),
                                                  sql_test::CursorRows(*server)),
                          "")
                    << order.join(u',').toStdString() << " / " << filter << modeName;
                // Backwards from the end crosses the same pages the other way.
                std::vector<QStringList> backwards;
                server->Last();
                for (int row = server->RecNo(); row >= 0; --row) {
                    QStringList values;
                    for (int f = 0; f < server->GetFieldCount(); ++f) {
                        values << server->DisplayText(row, f);
                    }
                    backwards.insert(backwards.begin(), values);
                }
                std::vector<QStringList> forwards;
                for (int row = 0; row < client->RecordCount(); ++row) {
                    QStringList values;
                    for (int f = 0; f < client->GetFieldCount(); ++f) {
                        values << client->DisplayText(row, f);
                    }
                    forwards.push_back(values);
                }
                ASSERT_EQ(sql_test::RowDifference(forwards, backwards), "")
                    << order.join(u',').toStdString() << " / " << filter << modeName;
            }
        }
    }
}

// Filters as large as the language takes: long lists and chains, deep runs of NOT, of
// signs and of functions, patterns longer than SQLite's LIKE takes. Each selects on the
// server what it selects in memory (SQLite refused them: "Expression tree is too large",
// "parser stack overflow", "LIKE or GLOB pattern too complex").
TEST_P(DifferentialTest, FiltersAsLargeAsTheLanguageTakesSelectTheSameRecords)
{
    sql_test::TestDatabase db(GetServer());
    std::mt19937 rng(2718);
    const Data data = RandomData(rng, 60);
    const QString table = db.Table(QStringLiteral("grandes"));
    auto [server, client] = Datasets(db, table, data, 7);

    const auto repeated = [](const QString& piece, int times, const QString& joint) {
        QStringList pieces;
        for (int i = 0; i < times; ++i) {
            pieces << (piece.contains(QLatin1String("%1")) ? piece.arg(i) : piece);
        }
        return pieces.join(joint);
    };
    const QString x60k(60000, u'x');
    std::vector<QString> filters = {
        // An IN list of 1,000 numbers, of 1,000 texts, of 1,000 items of both kinds.
        QStringLiteral("QTD IN (%1)").arg(repeated(QStringLiteral("%1"), 1000, ", ")),
        QStringLiteral("QTD NOT IN (%1)").arg(repeated(QStringLiteral("%1 - 500"), 1000, ", ")),
        QStringLiteral("NOME IN ('ana', %1)").arg(repeated(QStringLiteral("'n%1'"), 999, ", ")),
        QStringLiteral("UPPER(NOME) IN ('JOAO', %1)")
            .arg(repeated(QStringLiteral("'N%1'"), 999, ", ")),
        QStringLiteral("PRECO IN (%1, 2.5, 0.1)").arg(repeated(QStringLiteral("%1.5"), 997, ", ")),
        QStringLiteral("\"NM CIDADE\" IN (%1, 10, 'ana')")
            .arg(repeated(QStringLiteral("'%1'"), 998, ", ")),
        QStringLiteral("QTD IN (%1, '3', NULL)").arg(repeated(QStringLiteral("%1"), 998, ", ")),
        QStringLiteral("NASC IN ('1980-05-01', %1)")
            .arg(repeated(QStringLiteral("'19%1'"), 999, ", ")),
        // Chains of 1,001 terms.
        repeated(QStringLiteral("QTD = %1"), 1001, " OR "),
        repeated(QStringLiteral("QTD <> %1"), 1001, " AND "),
        u'(' + repeated(QStringLiteral("NOME = 'n%1'"), 1001, " OR ") +
            QStringLiteral(") OR ATIVO"),
        QStringLiteral("NOT (") +
            repeated(QStringLiteral("(QTD = %1 OR PRECO > %1)"), 1001, " AND ") + u')',
        // Runs of NOT: 60, 61, 90 (each bracketed).
        repeated(QStringLiteral("NOT"), 60, " ") + QStringLiteral(" ATIVO"),
        repeated(QStringLiteral("NOT"), 61, " ") + QStringLiteral(" (QTD > 0)"),
        repeated(QStringLiteral("NOT ("), 90, "") + QStringLiteral("NOME LIKE 'J%'") +
            QString(90, u')'),
        // Chains of 100 and 190 terms.
        QStringLiteral("QTD") + repeated(QStringLiteral(" + 1"), 100, "") +
            QStringLiteral(" > 100"),
        QStringLiteral("QTD") + repeated(QStringLiteral(" - %1"), 190, "") +
            QStringLiteral(" < -17950"),
        QStringLiteral("PRECO") + repeated(QStringLiteral(" * 1"), 150, "") +
            QStringLiteral(" >= 2.5"),
        QStringLiteral("QTD * 2") + repeated(QStringLiteral(" + QTD * 1"), 100, "") +
            QStringLiteral(" > 0"),
        QStringLiteral("PRECO") + repeated(QStringLiteral(" / 2"), 100, "") +
            QStringLiteral(" > 0"),
        QStringLiteral("QTD / 1") + repeated(QStringLiteral(" / QTD"), 100, "") +
            QStringLiteral(" IS NULL"),
        QStringLiteral("1") + repeated(QStringLiteral(" + 1"), 150, "") + QStringLiteral(" = ID"),
        QStringLiteral("UPPER(QTD") + repeated(QStringLiteral(" + 1"), 100, "") +
            QStringLiteral(") LIKE '1%'"),
        // Runs of signs and of functions.
        repeated(QStringLiteral("-"), 100, " ") + QStringLiteral(" QTD = 3"),
        repeated(QStringLiteral("-"), 101, " ") + QStringLiteral(" PRECO < 0"),
        repeated(QStringLiteral("-"), 150, " ") + QStringLiteral(" 2 = QTD"),
        repeated(QStringLiteral("UPPER(LOWER(TRIM("), 30, "") + QStringLiteral("NOME") +
            QString(90, u')') + QStringLiteral(" = 'JOAO'"),
        repeated(QStringLiteral("LOWER("), 60, "") + QStringLiteral("\"NM CIDADE\"") +
            QString(60, u')') + QStringLiteral(" LIKE 'j%'"),
        repeated(QStringLiteral("TRIM("), 60, "") + QStringLiteral("'  pad  '") +
            QString(60, u')') + QStringLiteral(" = TRIM(NOME)"),
        // Patterns longer than SQLite's LIKE takes (50,000 bytes).
        QStringLiteral("NOME LIKE '%") + x60k + QStringLiteral("%'"),
        QStringLiteral("NOME NOT LIKE '") + x60k + QStringLiteral("'"),
        QStringLiteral("NOME LIKE '") + QString(30000, u'%') + QStringLiteral("a") +
            QString(30000, u'%') + QStringLiteral("'"),
        QStringLiteral("UPPER(NOME) LIKE 'J") + QString(60000, u'%') + QStringLiteral("'"),
        QStringLiteral("\"NM CIDADE\" LIKE '") + QString(25000, u'_') + QString(25000, u'*') +
            QStringLiteral("%' OR QTD LIKE '%1'"),
        QStringLiteral("NOME LIKE \"NM CIDADE\" OR \"NM CIDADE\" LIKE NOME"),
    };
    if (GetServer() == Server::Sqlite) {
        // More items than a statement takes parameters (250,000 here).
        filters.push_back(
            QStringLiteral("QTD IN (%1)").arg(repeated(QStringLiteral("%1"), 300000, ",")));
        filters.push_back(QStringLiteral("NOME NOT IN (%1, 'ana')")
                              .arg(repeated(QStringLiteral("'n%1'"), 300000, ",")));
    }
    // Brackets nested as deep as the language takes (200 levels: each bracket counts
    // one, and so does each NOT, sign, function and link of a chain it holds), that
    // nothing folds away: SQLite's parser refused such a statement ("parser stack
    // overflow"). Each level reads another field: NULLs, texts, numbers, booleans and
    // dates reach the server's evaluation of what lies too deep for its SQL.
    const QStringList levels = {"QTD = %1",
                                "NOME LIKE 'J%'",
                                "PRECO > %1.5",
                                "ATIVO",
                                "NASC > '19%1'",
                                "\"NM CIDADE\" IS NULL",
                                "UPPER(NOME) = 'JOÃO'",
                                "QTD IN (%1, NULL)",
                                "NOT ATIVO",
                                "NOME < \"NM CIDADE\"",
                                "PRECO / QTD < 0.5",
                                "NASC = '2000-01-01'",
                                "TRIM(NOME) LIKE '%s_'"};
    // (level AND (level OR (level AND … innermost))): 1 + depth levels.
    const auto alternating = [&](int depth, const QString& innermost, const char* first) {
        QString text;
        bool conjunction = qstrcmp(first, "AND") == 0;
        for (int i = 0; i < depth; ++i, conjunction = !conjunction) {
            const QString& level = levels[i % levels.size()];
            text += u'(' + (level.contains(QLatin1String("%1")) ? level.arg(i % 10) : level) +
                    (conjunction ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
        }
        return text + innermost + QString(depth, u')');
    };
    // Right-nested arithmetic: 1 + 2 * depth levels (a bracket and a link each).
    const auto arithmetic = [](int depth, const QString& innermost) {
        static const char* const operands[] = {"QTD + (", "PRECO * (", "QTD - (", "ID / ("};
        QString text;
        for (int i = 0; i < depth; ++i) {
            text += QLatin1String(operands[i % 4]);
        }
        return text + innermost + QString(depth, u')');
    };
    const std::vector<QString> deep = {
        arithmetic(30, "QTD") + QStringLiteral(" > 0"),
        arithmetic(60, "PRECO") + QStringLiteral(" < 1"),
        arithmetic(99, "QTD") + QStringLiteral(" IS NULL"), // 199 levels
        QStringLiteral("QTD * 2 + ") + arithmetic(98, "-QTD") + QStringLiteral(" > -3"),
        alternating(79, "QTD > 0", "OR"),
        alternating(80, "NOME IS NULL", "AND"),
        alternating(198, "PRECO > 1", "OR"), // 199 levels
        alternating(199, "ATIVO", "AND"),    // 200 levels
        // A prefix an index serves beside a part too deep for the server's SQL.
        QStringLiteral("NOME LIKE 'J%' AND ") + alternating(80, "QTD < 5", "OR"),
        QStringLiteral("UPPER(NOME) LIKE 'JO%' AND QTD IS NOT NULL AND ") +
            alternating(150, "NASC < '1995'", "AND"),
        QStringLiteral("(") + alternating(60, "ATIVO", "OR") + QStringLiteral(" OR QTD = 3) AND ") +
            QStringLiteral("NOT ") + alternating(60, "NOME LIKE '%a%'", "AND"),
        // Values nested deep inside functions, LIKE, IN and comparisons of text.
        QStringLiteral("UPPER(TRIM(") + arithmetic(60, "QTD") + QStringLiteral(")) LIKE '%1%'"),
        QStringLiteral("NOME LIKE LOWER(") + arithmetic(40, "PRECO") + QStringLiteral(")"),
        arithmetic(50, "QTD") + QStringLiteral(" IN (1, 2.5, '3', NULL)"),
        QStringLiteral("\"NM CIDADE\" <> ") + arithmetic(45, "PRECO") +
            QStringLiteral(" AND NOME = 'joão'"),
        // NOT, AND and OR in turn: 2 levels each.
        [] {
            QString text;
            for (int i = 0; i < 99; ++i) {
                text += QStringLiteral("NOT (QTD = %1 %2 ")
                            .arg(i % 10)
                            .arg(QLatin1String(i % 2 ? "OR" : "AND"));
            }
            return text + QStringLiteral("ATIVO") + QString(99, u')');
        }(),
    };
    for (const QString& filter : deep) {
        for (const int mode : {0, 1, 2, 3}) {
            host::FilterOptions options;
            options.setFlag(host::FilterOption::CaseInsensitive, (mode & 1) != 0);
            options.setFlag(host::FilterOption::IgnoreAccents, (mode & 2) != 0);
            client->SetFilterOptions(options);
            server->SetFilterOptions(options);
            const QString clientError = ErrorOf([&] {
                client->SetFilter(filter);
                client->SetFiltered(true);
            });
            const QString serverError = ErrorOf([&] {
                server->SetFilter(filter);
                server->SetFiltered(true);
            });
            ASSERT_TRUE(clientError.isEmpty())
                << filter.left(200).toStdString() << ": " << clientError.toStdString();
            ASSERT_EQ(serverError.toStdString(), "") << filter.left(200).toStdString();
            ASSERT_EQ(sql_test::RowDifference(sql_test::IndexedRows(*client),
                                              sql_test::CursorRows(*server)),
                      "")
                << "filter: " << filter.left(200).toStdString() << " (options " << mode << ")"
                << "\nserver: " << server->GetServerCondition().left(400).toStdString();
            EXPECT_EQ(server->RecordCount(), client->RecordCount()) << filter.toStdString();
        }
    }

    int selected = 0;
    for (const QString& filter : filters) {
        for (const bool caseInsensitive : {false, true}) {
            host::FilterOptions options;
            options.setFlag(host::FilterOption::CaseInsensitive, caseInsensitive);
            client->SetFilterOptions(options);
            server->SetFilterOptions(options);
            const QString clientError = ErrorOf([&] {
                client->SetFilter(filter);
                client->SetFiltered(true);
            });
            const QString serverError = ErrorOf([&] {
                server->SetFilter(filter);
                server->SetFiltered(true);
            });
            ASSERT_EQ(clientError.toStdString(), serverError.toStdString())
                << filter.left(200).toStdString();
            ASSERT_TRUE(clientError.isEmpty())
                << filter.left(200).toStdString() << ": " << clientError.toStdString();
            const std::vector<QStringList> expected = sql_test::IndexedRows(*client);
            ASSERT_EQ(sql_test::RowDifference(expected, sql_test::CursorRows(*server)), "")
                << "filter: " << filter.left(200).toStdString()
                << (caseInsensitive ? " (case-insensitive)" : "")
                << "\nserver: " << server->GetServerCondition().left(400).toStdString();
            selected += expected.empty() ? 0 : 1;
        }
    }
    EXPECT_GT(selected, static_cast<int>(filters.size())); // most select some records
}

// A filter nested exactly as deep as the language takes runs on the server; one level
// more is refused by both datasets with the same message.
TEST_P(DifferentialTest, FiltersAtTheDepthLimitRunAndDeeperOnesAreRefusedAlike)
{
    sql_test::TestDatabase db(GetServer());
    std::mt19937 rng(31415);
    const Data data = RandomData(rng, 40);
    const QString table = db.Table(QStringLiteral("limite"));
    auto [server, client] = Datasets(db, table, data, 5);

    // 1 + 99 brackets, each holding a NOT.
    const auto nested = [](int levels, const QString& innermost) {
        QString text;
        for (int i = 0; i < levels; ++i) {
            text += QStringLiteral("(NOME LIKE '%%1%' OR NOT ").arg(i % 10);
        }
        return text + innermost + QString(levels, u')');
    };
    const QString atTheLimit = nested(99, QStringLiteral("-QTD < PRECO"));
    const QString pastTheLimit = nested(99, QStringLiteral("- -QTD < PRECO"));

    client->SetFilter(atTheLimit);
    client->SetFiltered(true);
    server->SetFilter(atTheLimit);
    server->SetFiltered(true);
    ASSERT_EQ(
        sql_test::RowDifference(sql_test::IndexedRows(*client), sql_test::CursorRows(*server)), "");
    EXPECT_GT(client->RecordCount(), 0);

    const QString clientError = ErrorOf([&] { client->SetFilter(pastTheLimit); });
    const QString serverError = ErrorOf([&] { server->SetFilter(pastTheLimit); });
    EXPECT_TRUE(clientError.startsWith(
        QStringLiteral("Filter: expression nested deeper than 200 levels at position ")))
        << clientError.toStdString();
    EXPECT_EQ(serverError, clientError);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, DifferentialTest,
    ::testing::Combine(::testing::Values(Server::Sqlite, Server::Postgres),
                       ::testing::Values(Source::Table, Source::ViewOfEveryRecordTwice)),
    [](const ::testing::TestParamInfo<std::tuple<Server, Source>>& info) {
        return std::string(sql_test::ServerName(std::get<0>(info.param))) +
               (std::get<1>(info.param) == Source::Table ? "" : "_ViewOfEveryRecordTwice");
    });

} // namespace
