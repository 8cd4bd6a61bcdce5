// FilterOption::IgnoreAccents on a live table: the same records as in memory, values
// as stored, and on PostgreSQL indexes on the folded text that the search's own
// expressions use; SQLite scans, and its file stays readable by any program.
#include "host/filter/expression_parser.h"
#include "host/sql/sql_dialect.h"
#include "host/sql/sql_translation.h"
#include "host/sql/sqlite_dialect.h"
#include "host/sql/table_schema.h"
#include "host/text/accent_fold.h"
#include "tests/sql/sql_fixture.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

using sql_test::Server;

const std::vector<sql_test::ColumnShape> kClientes = {
    {"CODIGO", "INTEGER PRIMARY KEY", "integer PRIMARY KEY"},
    {"NMCLIENTE", "VARCHAR(40)", "varchar(40)"},
    {"CIDADE", "TEXT", "text"},
};

const char* const kNames[] = {
    "João Silva",      "JOÃO SANTOS",     "joão de souza",   "Joao Pereira",   "JOAO ALVES",
    "Maria Gonçalves", "MARIA GONÇALVES", "Pedro Goncalves", "Joaquim Simões", "Zoë Ångström"};
const char* const kCities[] = {"São Paulo", "Sao Paulo", "SÃO PAULO", "Belém", "Niterói"};

constexpr host::FilterOption kIgnoreAccents = host::FilterOption::IgnoreAccents;

class IgnoreAccentsSqlTest : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override { db = std::make_unique<sql_test::TestDatabase>(GetParam()); }

    QString Customers(int count)
    {
        const QString table = db->Table(QStringLiteral("clientes"));
        db->CreateTable(table, kClientes);
        db->Exec(QStringLiteral("BEGIN"));
        for (int i = 1; i <= count; ++i) {
            db->Insert(table,
                       {i, QString::fromUtf8(kNames[i % std::size(kNames)]),
                        i % 9 == 0 ? QVariant()
                                   : QVariant(QString::fromUtf8(kCities[i % std::size(kCities)]))});
        }
        db->Exec(QStringLiteral("COMMIT"));
        return table;
    }

    // The codes of the records a filter selects, read through the cursor.
    static std::vector<qlonglong> Codes(host::Dataset& ds, const QString& filter)
    {
        ds.SetFilter(filter);
        ds.SetFiltered(true);
        std::vector<qlonglong> codes;
        for (ds.First(); !ds.Eof(); ds.Next()) {
            codes.push_back(ds.Value(ds.RecNo(), 0).toLongLong());
        }
        return codes;
    }

    // PostgreSQL's plan for the records the filter selects, with sequential scans off.
    QString Plan(const QString& table, const QString& filter, host::FilterOptions options)
    {
        QSqlDatabase writer = db->Writer();
        const std::unique_ptr<host::sql::SqlDialect> dialect =
            host::sql::SqlDialect::ForDriver(writer.driverName());
        const host::sql::TableSchema schema = host::sql::ReadTableSchema(writer, *dialect, table);
        const host::filter::NodePtr root =
            host::filter::ParseFilter(filter, schema.fields, options);
        const host::sql::SqlText condition =
            host::sql::TranslateFilter(*root, schema.fields, *dialect, schema.reads);
        QString statement =
            QStringLiteral("SELECT * FROM \"%1\" WHERE %2").arg(table, condition.sql);
        // EXPLAIN cannot be prepared: the values go in as the driver quotes them, in
        // place of the placeholders (outside the string literals).
        qsizetype at = 0;
        for (const QVariant& value : condition.values) {
            bool quoted = false;
            while (at < statement.size() && (quoted || statement[at] != u'?')) {
                quoted = statement[at] == u'\'' ? !quoted : quoted;
                ++at;
            }
            QSqlField field(QString(), value.metaType());
            field.setValue(value);
            const QString text = writer.driver()->formatValue(field);
            statement.replace(at, 1, text);
            at += text.size();
        }
        QSqlQuery plan(writer);
        EXPECT_TRUE(plan.exec(QStringLiteral("SET enable_seqscan = off")));
        EXPECT_TRUE(plan.exec(QStringLiteral("EXPLAIN ") + statement))
            << plan.lastError().text().toStdString();
        QString text;
        while (plan.next()) {
            text += plan.value(0).toString() + u'\n';
        }
        return text;
    }

    std::unique_ptr<sql_test::TestDatabase> db;
};

TEST_P(IgnoreAccentsSqlTest, LiveSearchesSetAccentsAsideAndShowTheStoredText)
{
    const QString table = Customers(40);
    auto ds = db->Dataset(table, 5);
    auto client = std::make_unique<host::ClientDataset>();
    client->AddField("CODIGO", host::FieldType::Integer);
    client->AddField("NMCLIENTE", host::FieldType::Text, 40);
    client->AddField("CIDADE", host::FieldType::Text);
    for (int i = 1; i <= 40; ++i) {
        client->AppendRecord({i, QString::fromUtf8(kNames[i % std::size(kNames)]),
                              i % 9 == 0
                                  ? QVariant()
                                  : QVariant(QString::fromUtf8(kCities[i % std::size(kCities)]))});
    }
    client->Open();
    const QString filters[] = {
        QStringLiteral("UPPER(NMCLIENTE) LIKE 'JOAO%'"),
        QString::fromUtf8("UPPER(NMCLIENTE) LIKE '%GONç%'"),
        QString::fromUtf8("LOWER(NMCLIENTE) LIKE '%gonÇ%'"),
        QStringLiteral("CIDADE = 'Sao Paulo'"),
        QString::fromUtf8("CIDADE IN ('Belém', 'NITEROI')"),
        QStringLiteral("NMCLIENTE LIKE 'Zoe Angstr_m'"),
        QString::fromUtf8("NMCLIENTE > 'João' AND NMCLIENTE < 'Joao T'"),
    };
    for (const host::FilterOptions options :
         {host::FilterOptions(kIgnoreAccents),
          host::FilterOptions(kIgnoreAccents) | host::FilterOption::CaseInsensitive}) {
        ds->SetFilterOptions(options);
        client->SetFilterOptions(options);
        for (const QString& filter : filters) {
            const std::vector<qlonglong> live = Codes(*ds, filter);
            EXPECT_EQ(live, Codes(*client, filter)) << filter.toStdString();
            EXPECT_FALSE(live.empty()) << filter.toStdString();
        }
    }
    ds->SetFilterOptions(kIgnoreAccents);
    // "JOAO" finds every spelling; without the option, only the one written so.
    EXPECT_EQ(Codes(*ds, QStringLiteral("UPPER(NMCLIENTE) LIKE 'JOAO%'")).size(), 20u);
    EXPECT_EQ(ds->DisplayText(0, 1), QString::fromUtf8("JOÃO SANTOS"));
    EXPECT_EQ(ds->DisplayText(1, 2), QString::fromUtf8("SÃO PAULO"));
    ds->SetFilterOptions({});
    EXPECT_EQ(Codes(*ds, QStringLiteral("UPPER(NMCLIENTE) LIKE 'JOAO%'")).size(), 8u);
}

TEST_P(IgnoreAccentsSqlTest, IndexesOnTheFoldedTextServeTheSearchOnPostgreSqlOnly)
{
    // Enough rows on SQLite that probing the ranges of an index beats reading them all.
    const int customers = GetParam() == Server::Sqlite ? 10000 : 300;
    const QString table = Customers(customers);
    const QStringList statements = host::SqlDataset::CreateSearchIndexes(
        db->Url(), table, {QStringLiteral("NMCLIENTE")}, kIgnoreAccents);
    if (GetParam() == Server::Sqlite) {
        // No index needs this program's function: plain SQLite still reads and writes the
        // table, and the live search scans.
        for (const QString& statement : statements) {
            EXPECT_FALSE(statement.contains(QLatin1String("ts_accent_fold")))
                << statement.toStdString();
        }
        sqlite3* plain = nullptr;
        const QString file = db->Url().mid(QStringLiteral("sqlite:").size());
        ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &plain), SQLITE_OK);
        const QString insert =
            QStringLiteral("INSERT INTO \"%1\" VALUES (1000000, 'Zé', NULL)").arg(table);
        EXPECT_EQ(sqlite3_exec(plain, insert.toUtf8().constData(), nullptr, nullptr, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(plain);
        sqlite3_close(plain);
        QSqlQuery indexes(db->Writer());
        ASSERT_TRUE(indexes.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = "
                                                "'index' AND sql LIKE '%ts_accent_fold%'")));
        ASSERT_TRUE(indexes.next());
        EXPECT_EQ(indexes.value(0).toInt(), 0);
        // The folded prefix still narrows through the index on the stored text: the
        // ranges it implies there, the folded text checked on what they hold.
        auto ds = db->Dataset(table);
        ds->SetFilterOptions(kIgnoreAccents);
        ds->SetOrderFields({QStringLiteral("NMCLIENTE")});
        // "João Silva" and "JOÃO SANTOS", a fifth of them.
        EXPECT_EQ(Codes(*ds, QStringLiteral("UPPER(NMCLIENTE) LIKE 'JOAO S%'")).size(),
                  static_cast<std::size_t>(customers / 5));
        QSqlDatabase writer = db->Writer();
        ASSERT_TRUE(host::sql::SqliteDialect::RegisterFunctions(
            *static_cast<sqlite3**>(writer.driver()->handle().data())));
        for (const bool count : {false, true}) {
            if (count) {
                EXPECT_EQ(ds->RecordCount(), customers / 5);
            }
            QSqlQuery plan(writer);
            ASSERT_TRUE(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + ds->LastStatement()))
                << plan.lastError().text().toStdString();
            QString steps;
            while (plan.next()) {
                steps += plan.value(3).toString() + u'\n';
            }
            EXPECT_TRUE(
                steps.contains(QRegularExpression(QStringLiteral("INDEX ts_[0-9a-f]+_upper"))))
                << steps.toStdString();
            EXPECT_FALSE(steps.contains(QRegularExpression(QStringLiteral("SCAN \"?clientes"))))
                << steps.toStdString();
        }
        return;
    }
    // The prefix search on UPPER and the contains search, both on the folded text.
    const QString prefix =
        Plan(table, QStringLiteral("UPPER(NMCLIENTE) LIKE 'JOAO S%'"), kIgnoreAccents);
    EXPECT_TRUE(prefix.contains(QLatin1String("_upper_unaccented"))) << prefix.toStdString();
    const QString contains =
        Plan(table, QString::fromUtf8("UPPER(NMCLIENTE) LIKE '%GONç%'"), kIgnoreAccents);
    EXPECT_TRUE(contains.contains(QLatin1String("_upper_unaccented_trgm")))
        << contains.toStdString();
    const QString plain = Plan(table, QStringLiteral("NMCLIENTE LIKE 'Joao%'"), kIgnoreAccents);
    EXPECT_TRUE(plain.contains(QRegularExpression(QStringLiteral("ts_[0-9a-f]+_unaccented"))))
        << plain.toStdString();
    // Case-insensitive as well: the field is upper-cased, the same expression.
    const QString both =
        Plan(table, QStringLiteral("NMCLIENTE LIKE 'joao s%'"),
             host::FilterOptions(kIgnoreAccents) | host::FilterOption::CaseInsensitive);
    EXPECT_TRUE(both.contains(QLatin1String("_upper_unaccented"))) << both.toStdString();
    // A live search ordered by the name reads its first window straight from the index
    // on the folded text, in the order the dataset shows, with no sort of the matches.
    QSqlDatabase writer = db->Writer();
    auto ds = db->Dataset(table);
    for (const host::FilterOptions options :
         {host::FilterOptions(kIgnoreAccents),
          host::FilterOptions(kIgnoreAccents) | host::FilterOption::CaseInsensitive}) {
        const bool folded = options.testFlag(host::FilterOption::CaseInsensitive);
        SCOPED_TRACE(folded ? "case-insensitive" : "case kept");
        ds->SetFilterOptions(options);
        ds->SetOrderFields({QStringLiteral("NMCLIENTE")});
        ds->SetFilter(folded ? QStringLiteral("NMCLIENTE LIKE 'joao%'")
                             : QStringLiteral("NMCLIENTE LIKE 'Joao%'"));
        ds->SetFiltered(true);
        ASSERT_FALSE(ds->IsEmpty());
        EXPECT_EQ(sql_test::IndexesPlanned(writer, ds->LastStatement(), sql_test::Sorts::Avoided),
                  QStringList{QLatin1String(folded ? "upper_unaccented" : "unaccented")});
        ds->SetFilter(QStringLiteral(""));
        EXPECT_EQ(sql_test::IndexesPlanned(writer, ds->LastStatement(), sql_test::Sorts::Avoided),
                  QStringList{QLatin1String(folded ? "upper_unaccented" : "unaccented")});
    }
    // Running it again creates nothing new.
    EXPECT_EQ(host::SqlDataset::CreateSearchIndexes(db->Url(), table, {QStringLiteral("NMCLIENTE")},
                                                    kIgnoreAccents),
              statements);
}

// Every letter of the fold's table, and the ASCII characters around them, fold on the
// server as in memory: the whole table in one value equals its folded form there.
TEST_P(IgnoreAccentsSqlTest, TheServerFoldsEveryLetterAsTheDatasetDoes)
{
    const QString table = db->Table(QStringLiteral("letras"));
    db->CreateTable(
        table, {{"ID", "INTEGER PRIMARY KEY", "integer PRIMARY KEY"}, {"TEXTO", "TEXT", "text"}});
    QString ascii;
    for (char c = ' '; c <= '~'; ++c) {
        ascii += QLatin1Char(c);
    }
    const QString all = ascii + host::AccentFoldTable().from + QString::fromUtf8("ßÆØ€😀");
    db->Insert(table, {1, all});
    db->Insert(table, {2, host::AccentFoldTable().to});
    auto ds = db->Dataset(table);
    ds->SetFilterOptions(kIgnoreAccents);
    const QString folded = host::AccentFoldedText(all);
    ASSERT_NE(folded, all);
    QString literal = folded;
    literal.replace(u'\'', QStringLiteral("''"));
    EXPECT_EQ(Codes(*ds, QStringLiteral("TEXTO = '%1'").arg(literal)), std::vector<qlonglong>({1}));
    // Folded, the table's letters are the letters they fold to, in order.
    EXPECT_EQ(Codes(*ds, QStringLiteral("TEXTO LIKE '%%1%'").arg(host::AccentFoldTable().to)),
              std::vector<qlonglong>({1, 2}));
    ds->SetFilterOptions({});
    EXPECT_EQ(Codes(*ds, QStringLiteral("TEXTO = '%1'").arg(literal)), std::vector<qlonglong>());
}

INSTANTIATE_TEST_SUITE_P(Servers, IgnoreAccentsSqlTest,
                         ::testing::Values(Server::Sqlite, Server::Postgres),
                         [](const ::testing::TestParamInfo<Server>& info) {
                             return std::string(sql_test::ServerName(info.param));
                         });

} // namespace
