// SqlDataset as the form and the grid use it: windows read around what is shown,
// cursor moves that never read the whole result, a count only when asked, a
// read-only connection, errors that say what and where, and the search indexes.
#include "host/filter/expression_parser.h"
#include "host/grid/data_source.h"
#include "host/grid/db_grid.h"
#include "host/sql/database_url.h"
#include "host/sql/sql_dialect.h"
#include "host/sql/sql_provider.h"
#include "host/sql/sql_translation.h"
#include "host/sql/table_schema.h"
#include "tests/sql/sql_fixture.h"

#include <QApplication>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <gtest/gtest.h>
#include <map>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/disabled_controls.h>

namespace {

using sql_test::Server;

const std::vector<sql_test::ColumnShape> kClientes = {
    {"CODIGO", "INTEGER PRIMARY KEY", "integer PRIMARY KEY"},
    {"NMCLIENTE", "VARCHAR(40)", "varchar(40)"},
    {"CIDADE", "TEXT", "text"},
};

const char* const kNames[] = {"JOAO SILVA", "joana", "Maria",          "ANA", "antonio",
                              "Bruno",      "joão",  "MARIA DA SILVA", "Zé",  "jOSE"};

class SqlDatasetTest : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override { db = std::make_unique<sql_test::TestDatabase>(GetParam()); }

    // CODIGO 1..count; names cycle through kNames; every seventh city is NULL.
    QString Customers(int count, const QString& stem = QStringLiteral("clientes"))
    {
        const QString table = db->Table(stem);
        db->CreateTable(table, kClientes);
        db->Exec(QStringLiteral("BEGIN"));
        for (int i = 1; i <= count; ++i) {
            db->Insert(table,
                       {i, QString::fromUtf8(kNames[i % std::size(kNames)]),
                        i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("C%1").arg(i % 13))});
        }
        db->Exec(QStringLiteral("COMMIT"));
        return table;
    }

    static qlonglong Code(const host::Dataset& ds, int row)
    {
        return ds.Value(row, 0).toLongLong();
    }

    std::unique_ptr<sql_test::TestDatabase> db;
};

TEST_P(SqlDatasetTest, CursorMovesReadWindowsAroundTheRowNotTheWholeResult)
{
    const QString table = Customers(1000);
    auto ds = db->Dataset(table, 10);
    EXPECT_EQ(ds->FetchedRowCount(), 11); // one window and one row beyond it
    EXPECT_TRUE(ds->CanFetchMore());
    EXPECT_EQ(ds->RecNo(), 0);
    EXPECT_EQ(Code(*ds, 0), 1);

    const int before = ds->StatementCount();
    EXPECT_FALSE(ds->IsEmpty());
    EXPECT_EQ(ds->StatementCount(), before) << "IsEmpty must not ask the server";

    for (int i = 0; i < 25; ++i) {
        ds->Next();
    }
    EXPECT_EQ(ds->RecNo(), 25);
    EXPECT_EQ(ds->GetField(0)->AsInteger(), 26);
    EXPECT_LE(ds->FetchedRowCount(), 40);
    EXPECT_LE(ds->StatementCount() - before, 3);

    ds->Last();
    EXPECT_EQ(ds->RecNo(), 999);
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(Code(*ds, 999), 1000);
    EXPECT_EQ(ds->FetchedRowCount(), 1000);
    EXPECT_FALSE(ds->CanFetchMore());
    ds->Prior();
    EXPECT_EQ(Code(*ds, ds->RecNo()), 999);

    // A row far from every window read so far, and its neighbours.
    const int far = ds->StatementCount();
    ds->MoveTo(500);
    EXPECT_EQ(Code(*ds, 500), 501);
    EXPECT_EQ(Code(*ds, 497), 498);
    EXPECT_EQ(Code(*ds, 503), 504);
    EXPECT_LE(ds->StatementCount() - far, 1);

    ds->First();
    EXPECT_EQ(ds->RecNo(), 0);
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(Code(*ds, 0), 1);
    // Every row by number, in order, across evicted windows.
    for (int row = 0; row < 1000; row += 37) {
        ASSERT_EQ(Code(*ds, row), row + 1) << row;
    }
}

TEST_P(SqlDatasetTest, AKeystrokeCostsOneStatementWhateverTheTableHolds)
{
    for (const int count : {200, 4000}) {
        const QString table = Customers(count, QStringLiteral("k%1").arg(count));
        auto ds = db->Dataset(table, 20);
        ds->SetFilterOptions(host::FilterOption::CaseInsensitive);
        for (const char* filter :
             {"NMCLIENTE LIKE 'J%'", "NMCLIENTE LIKE 'JO%'", "NMCLIENTE LIKE '%SILVA%'"}) {
            const int before = ds->StatementCount();
            // As the form applies a filter: text, switch off and on, controls held.
            host::WithControlsDisabled(*ds, [&] {
                ds->SetFilter(QString::fromLatin1(filter));
                ds->SetFiltered(false);
                ds->SetFiltered(true);
            });
            EXPECT_FALSE(ds->IsEmpty());
            EXPECT_EQ(ds->StatementCount() - before, 1) << filter << " over " << count;
        }
        EXPECT_EQ(ds->RecNo(), 0);
        const int counted = ds->RecordCount();
        EXPECT_EQ(counted, count * 2 / 10) << "JOAO SILVA and MARIA DA SILVA";
    }
}

TEST_P(SqlDatasetTest, CaseInsensitiveOptionFoldsBothSidesAsciiOnly)
{
    const QString table = Customers(20);
    auto ds = db->Dataset(table);
    ds->SetFilter(QStringLiteral("NMCLIENTE LIKE 'JO%'"));
    ds->SetFiltered(true);
    EXPECT_EQ(ds->RecordCount(), 2); // JOAO SILVA twice: case-sensitive by default
    ds->SetFilterOptions(host::FilterOption::CaseInsensitive);
    QStringList names;
    for (int row = 0; row < ds->RecordCount(); ++row) {
        names << ds->Value(row, 1).toString();
    }
    names.removeDuplicates();
    EXPECT_EQ(names, (QStringList{"joana", "joão", "jOSE", "JOAO SILVA"}));
    // ASCII only: "é" is not "É".
    ds->SetFilter(QStringLiteral("NMCLIENTE = 'ZÉ'"));
    EXPECT_TRUE(ds->IsEmpty());
    ds->SetFilter(QStringLiteral("NMCLIENTE = 'zé'"));
    EXPECT_FALSE(ds->IsEmpty());
}

TEST_P(SqlDatasetTest, OrderDefaultsToThePrimaryKeyAndTiesBreakOnAUniqueKey)
{
    const QString table = Customers(30);
    auto ds = db->Dataset(table, 4);
    EXPECT_EQ(ds->GetEffectiveOrder(), QStringList{"CODIGO"});
    ds->SetOrderFields({QStringLiteral("nmcliente")});
    EXPECT_EQ(ds->GetEffectiveOrder(), (QStringList{"NMCLIENTE", "CODIGO"}));
    EXPECT_EQ(ds->Value(0, 1).toString(), QStringLiteral("ANA"));
    const QString error = [&] {
        try {
            ds->SetOrderFields({QStringLiteral("NOPE")});
        } catch (const host::DatasetError& e) {
            return e.Message();
        }
        return QString();
    }();
    EXPECT_TRUE(error.contains(QLatin1String("NOPE"))) << error.toStdString();
    EXPECT_EQ(ds->GetOrderFields(), QStringList{"nmcliente"});

    // No key at all: the server's row identity tells equal records apart.
    const QString bare = db->Table(QStringLiteral("sem_chave"));
    db->CreateTable(bare, {{"NOME", "TEXT", "text"}});
    for (int i = 0; i < 9; ++i) {
        db->Insert(bare, {i % 2 ? QStringLiteral("b") : QStringLiteral("a")});
    }
    auto plain = db->Dataset(bare, 2);
    EXPECT_EQ(plain->GetEffectiveOrder().size(), 2);
    const std::vector<QStringList> rows = sql_test::CursorRows(*plain);
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows.front(), QStringList{"a"});
    EXPECT_EQ(rows.back(), QStringList{"b"});
}

TEST_P(SqlDatasetTest, ABadFilterRaisesAndChangesNothing)
{
    const QString table = Customers(20);
    auto ds = db->Dataset(table);
    ds->SetFilter(QStringLiteral("CODIGO > 15"));
    ds->SetFiltered(true);
    ASSERT_EQ(ds->RecordCount(), 5);
    EXPECT_THROW(ds->SetFilter(QStringLiteral("CODIGO >")), host::DatasetError);
    EXPECT_THROW(ds->SetFilter(QStringLiteral("NOPE = 1")), host::DatasetError);
    EXPECT_EQ(ds->GetFilter(), QStringLiteral("CODIGO > 15"));
    EXPECT_EQ(ds->RecordCount(), 5);
}

TEST_P(SqlDatasetTest, LiteralsAreBoundAndIdentifiersQuoted)
{
    const QString table = db->Table(QStringLiteral("esquisita"));
    db->CreateTable(table, {{"ID", "INTEGER PRIMARY KEY", "integer PRIMARY KEY"},
                            {"we\"ird name", "TEXT", "text"}});
    db->Insert(table, {1, QStringLiteral("x'; DROP TABLE t; --")});
    db->Insert(table, {2, QStringLiteral("plain")});
    auto ds = db->Dataset(table);
    ds->SetFilter(QStringLiteral("[we\"ird name] = 'x''; DROP TABLE t; --'"));
    ds->SetFiltered(true);
    ASSERT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(ds->Value(0, 0).toInt(), 1);
    const QString condition = ds->GetServerCondition();
    EXPECT_FALSE(condition.contains(QLatin1String("DROP"))) << condition.toStdString();
    EXPECT_TRUE(condition.contains(QLatin1String("\"we\"\"ird name\""))) << condition.toStdString();
}

TEST_P(SqlDatasetTest, TheConnectionIsMadeReadOnlyEvenWhenTheHostOpenedItWritable)
{
    const QString table = Customers(5);
    // The host's own writable connection, handed over by name.
    const QString writable =
        host::sql::OpenDatabase(db->Url(), host::sql::DatabaseAccess::Writable).connectionName();
    {
        host::SqlDataset ds;
        ds.SetConnectionName(writable);
        ds.SetTableName(table);
        ds.Open();
        QSqlQuery write(QSqlDatabase::database(writable, false));
        EXPECT_FALSE(write.exec(QStringLiteral("DELETE FROM \"%1\"").arg(table)));
        EXPECT_EQ(ds.RecordCount(), 5);
    }
    host::sql::CloseDatabase(writable);
    QSqlQuery count(db->Writer());
    ASSERT_TRUE(count.exec(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table)));
    ASSERT_TRUE(count.next());
    EXPECT_EQ(count.value(0).toInt(), 5);
}

// The open dataset keeps its statements prepared on the host's connection, one per
// shape however many keystrokes; closed, it lets go of them on the server.
TEST(SqlDatasetPostgresTest, StatementsStayPreparedWhileOpenAndGoWithClose)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("preparadas"));
    db.CreateTable(table, {{"CODIGO", "", "integer PRIMARY KEY"}, {"NOME", "", "text"}});
    for (int i = 1; i <= 30; ++i) {
        db.Insert(table, {i, QStringLiteral("Nome %1").arg(i)});
    }
    const QString name =
        host::sql::OpenDatabase(db.Url(), host::sql::DatabaseAccess::ReadOnly).connectionName();
    const auto prepared = [&] {
        QSqlQuery count(QSqlDatabase::database(name, false));
        EXPECT_TRUE(count.exec(QStringLiteral("SELECT COUNT(*) FROM pg_prepared_statements")));
        return count.next() ? count.value(0).toInt() : -1;
    };
    {
        host::SqlDataset ds;
        ds.SetConnectionName(name);
        ds.SetTableName(table);
        ds.Open();
        ds.SetFiltered(true);
        ds.SetFilter(QStringLiteral("NOME LIKE 'Nome 1%'"));
        const int afterOne = prepared();
        for (const char* filter :
             {"NOME LIKE 'Nome 2%'", "NOME LIKE 'Nome 3%'", "NOME LIKE 'N%'"}) {
            ds.SetFilter(QString::fromLatin1(filter));
            EXPECT_FALSE(ds.IsEmpty()) << filter;
        }
        EXPECT_GT(afterOne, 0);
        EXPECT_EQ(prepared(), afterOne) << "one prepared statement per shape";
        ds.Close();
        EXPECT_EQ(prepared(), 0);
    }
    host::sql::CloseDatabase(name);
}

TEST_P(SqlDatasetTest, OpenFailuresNameWhatAndWhere)
{
    host::SqlDataset missing;
    missing.SetConnectionName(db->ReaderConnection());
    missing.SetTableName(QStringLiteral("nao_existe"));
    try {
        missing.Open();
        FAIL() << "a missing table must raise";
    } catch (const host::DatasetError& e) {
        EXPECT_TRUE(e.Message().contains(QLatin1String("\"nao_existe\""))) << e.what();
        EXPECT_TRUE(e.Message().contains(QLatin1String("no such table"))) << e.what();
    }
    EXPECT_FALSE(missing.IsActive());

    host::SqlDataset unknown;
    unknown.SetConnectionName(QStringLiteral("no-such-connection"));
    unknown.SetTableName(QStringLiteral("x"));
    EXPECT_THROW(unknown.Open(), host::DatasetError);

    host::SqlDataset badUrl;
    EXPECT_THROW(badUrl.SetDatabaseUrl(QStringLiteral("mysql://x")), host::DatasetError);
}

TEST_P(SqlDatasetTest, ADatabaseUrlOpensAConnectionOfTheDatasetsOwn)
{
    const QString table = Customers(12);
    QString name;
    {
        host::SqlDataset ds;
        ds.SetDatabaseUrl(db->Url());
        ds.SetTableName(table);
        ds.Open();
        name = ds.GetConnectionName();
        EXPECT_TRUE(QSqlDatabase::contains(name));
        EXPECT_EQ(ds.RecordCount(), 12);
        EXPECT_EQ(ds.GetField(1)->GetSize(), 40);
    }
    EXPECT_FALSE(QSqlDatabase::contains(name));
}

TEST_P(SqlDatasetTest, SearchIndexesServeThePrefixSearchAndAreCreatedOnce)
{
    const QString table = Customers(300);
    const QStringList first =
        host::SqlDataset::CreateSearchIndexes(db->Url(), table, {QStringLiteral("NMCLIENTE")});
    EXPECT_FALSE(first.isEmpty());
    const auto indexCount = [&] {
        QSqlQuery q(db->Writer());
        const QString sql =
            GetParam() == Server::Sqlite
                ? QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND "
                                 "tbl_name = ? AND name LIKE 'ts_%'")
                : QStringLiteral("SELECT COUNT(*) FROM pg_indexes WHERE tablename = ? AND "
                                 "indexname LIKE 'ts_%'");
        q.prepare(sql);
        q.addBindValue(table);
        q.exec();
        q.next();
        return q.value(0).toInt();
    };
    const int created = indexCount();
    EXPECT_EQ(created, GetParam() == Server::Sqlite ? 2 : 5);
    host::SqlDataset::CreateSearchIndexes(db->Url(), table, {QStringLiteral("NMCLIENTE")});
    EXPECT_EQ(indexCount(), created);

    // The translated prefix search is planned on the upper-cased index.
    QSqlDatabase writer = db->Writer();
    const std::unique_ptr<host::sql::SqlDialect> dialect =
        host::sql::SqlDialect::ForDriver(writer.driverName());
    const host::sql::TableSchema schema = host::sql::ReadTableSchema(writer, *dialect, table);
    const host::filter::NodePtr root = host::filter::ParseFilter(
        QStringLiteral("NMCLIENTE LIKE 'JO%'"), schema.fields, host::FilterOption::CaseInsensitive);
    const host::sql::SqlText condition =
        host::sql::TranslateFilter(*root, schema.fields, *dialect, schema.reads);
    QSqlQuery plan(writer);
    QString statement = QStringLiteral("SELECT * FROM \"%1\" WHERE %2").arg(table, condition.sql);
    if (GetParam() == Server::Sqlite) {
        ASSERT_TRUE(plan.prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + statement));
        for (const QVariant& value : condition.values) {
            plan.addBindValue(value);
        }
        ASSERT_TRUE(plan.exec()) << plan.lastError().text().toStdString();
    } else {
        // EXPLAIN cannot be prepared: the values go in as the driver quotes them.
        for (const QVariant& value : condition.values) {
            QSqlField field(QString(), value.metaType());
            field.setValue(value);
            statement.replace(statement.indexOf(u'?'), 1, writer.driver()->formatValue(field));
        }
        ASSERT_TRUE(plan.exec(QStringLiteral("SET enable_seqscan = off")));
        ASSERT_TRUE(plan.exec(QStringLiteral("EXPLAIN ") + statement))
            << plan.lastError().text().toStdString();
    }
    QString text;
    while (plan.next()) {
        text += plan.value(GetParam() == Server::Sqlite ? 3 : 0).toString() + u'\n';
    }
    EXPECT_TRUE(text.contains(QLatin1String("_upper"))) << text.toStdString();
}

TEST_P(SqlDatasetTest, TheGridLearnsRowsAsItScrolls)
{
    const QString table = Customers(400);
    auto ds = db->Dataset(table, 25);
    host::DataSource source;
    host::DbGrid grid;
    grid.resize(400, 300);
    grid.SetDataSource(&source);
    source.SetDataSet(ds.get());
    grid.show();
    QApplication::processEvents();
    QAbstractItemModel* model = grid.model();
    EXPECT_EQ(model->rowCount(), 26);
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    QApplication::processEvents();
    EXPECT_GT(model->rowCount(), 26);
    EXPECT_LT(model->rowCount(), 400);
    ds->Last();
    QApplication::processEvents();
    EXPECT_EQ(model->rowCount(), 400);
    EXPECT_EQ(grid.currentIndex().row(), 399);
    EXPECT_EQ(model->data(model->index(399, 0)).toString(), QStringLiteral("400"));
}

// CHAR(n) on PostgreSQL pads its values with spaces; read as text they come without
// them, the same through a live search and through a copy, and the search indexes on
// such a column are built on that same text, so prefix and contains searches use them.
TEST(SqlDatasetPostgresTest, CharColumnsAreSearchedAsTextThroughTheirIndexes)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("lojas"));
    db.CreateTable(table, {{"CODIGO", "", "integer PRIMARY KEY"},
                           {"UF", "", "char(2)"},
                           {"SIGLA", "", "character(12)"},
                           {"NOME", "", "varchar(20)"}});
    const char* const ufs[] = {"SP", "RJ", "mg", "P", "ba", "Sc"};
    db.Exec(QStringLiteral("BEGIN"));
    for (int i = 1; i <= 3000; ++i) {
        db.Insert(table, {i, i % 11 == 0 ? QVariant() : QVariant(QString::fromLatin1(ufs[i % 6])),
                          QStringLiteral("%1-%2").arg(i % 2 ? "lj" : "LJ").arg(i),
                          QStringLiteral("Loja %1").arg(i)});
    }
    db.Exec(QStringLiteral("COMMIT"));
    // Every text field, CHAR(n) ones included.
    const QStringList statements = host::SqlDataset::CreateSearchIndexes(db.Url(), table);
    EXPECT_TRUE(statements.join(u'\n').contains(QLatin1String("CAST(\"SIGLA\" AS text)")))
        << statements.join(u'\n').toStdString();

    auto ds = db.Dataset(table);
    EXPECT_EQ(ds->GetField(1)->GetSize(), 2);
    ds->SetFiltered(true);
    ds->SetFilter(QStringLiteral("UF = 'P'"));
    ASSERT_FALSE(ds->IsEmpty());
    EXPECT_EQ(ds->Value(0, 1).toString(), QStringLiteral("P"));
    EXPECT_EQ(ds->Value(0, 2).toString(), QStringLiteral("lj-3"));
    ds->SetFilter(QStringLiteral("UF LIKE 'P%' AND UF LIKE '%P'"));
    EXPECT_EQ(ds->RecordCount(), 500 - 45);

    host::ClientDataset copy;
    copy.LoadFromDatabase(db.Url(), table);
    copy.Open();
    copy.SetFilter(QStringLiteral("UF = 'P' AND SIGLA LIKE '%-3'"));
    copy.SetFiltered(true);
    ASSERT_EQ(copy.RecordCount(), 1);
    EXPECT_EQ(copy.FieldByName(QStringLiteral("UF"))->AsString(), QStringLiteral("P"));
    EXPECT_EQ(copy.FieldByName(QStringLiteral("SIGLA"))->AsString(), QStringLiteral("lj-3"));

    QSqlDatabase writer = db.Writer();
    struct Search {
        const char* field;
        const char* filter;
        bool caseInsensitive;
        const char* index; // the purpose of the index the plan must name
    };
    for (const Search& search :
         {Search{"UF", "UF LIKE 'S%'", false, "text"}, Search{"UF", "UF LIKE 'S%'", true, "upper"},
          Search{"SIGLA", "SIGLA LIKE 'LJ-12%'", false, "text"},
          Search{"SIGLA", "SIGLA LIKE 'lj-12%'", true, "upper"},
          Search{"SIGLA", "SIGLA LIKE '%-123%'", false, "trgm"},
          Search{"SIGLA", "SIGLA LIKE '%J-123%'", true, "upper_trgm"}}) {
        SCOPED_TRACE(search.filter);
        ds->SetFilterOptions(search.caseInsensitive
                                 ? host::FilterOptions(host::FilterOption::CaseInsensitive)
                                 : host::FilterOptions());
        ds->SetOrderFields({QString::fromLatin1(search.field)});
        ds->SetFilter(QString::fromLatin1(search.filter));
        ASSERT_FALSE(ds->IsEmpty());
        const QString window = ds->LastStatement();
        if (QByteArray(search.index).endsWith("trgm")) {
            // A contains search is found through the trigrams, ordered afterwards.
            (void)ds->RecordCount();
            EXPECT_EQ(sql_test::IndexesPlanned(writer, ds->LastStatement()),
                      QStringList{QString::fromLatin1(search.index)});
        } else {
            // A prefix search reads its first window straight from the index, in order.
            EXPECT_EQ(sql_test::IndexesPlanned(writer, window, sql_test::Sorts::Avoided),
                      QStringList{QString::fromLatin1(search.index)});
        }
    }
}

// The plan PostgreSQL makes for a statement, as EXPLAIN prints it.
QString PlanOf(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery plan(db);
    EXPECT_TRUE(plan.exec(QStringLiteral("EXPLAIN ") + statement))
        << plan.lastError().text().toStdString() << "\n"
        << statement.toStdString();
    QString text;
    while (plan.next()) {
        text += plan.value(0).toString() + u'\n';
    }
    return text;
}

// A keystroke's window comes straight off the search index, in order, whether the
// searched column may hold NULL or not: the order places NULLs as the index does. (A
// NOT NULL column was ordered plainly while its index put NULLs first, which the
// planner cannot match: every keystroke scanned the table and sorted the matches.)
// An index an earlier run made with NULLS FIRST on a NOT NULL column is made again.
TEST(SqlDatasetPostgresTest, AKeystrokeReadsItsWindowOffTheIndexWhetherTheColumnIsNullOrNot)
{
    sql_test::TestDatabase db(Server::Postgres);
    QSqlDatabase writer = db.Writer();
    for (const bool notNull : {false, true}) {
        const QString table = db.Table(notNull ? QStringLiteral("nn") : QStringLiteral("nl"));
        db.CreateTable(table, {{"CODIGO", "", "integer PRIMARY KEY"},
                               {"NMCLIENTE", "", notNull ? "varchar(60) NOT NULL" : "varchar(60)"},
                               {"CIDADE", "", "text"}});
        db.Exec(QStringLiteral(
                    "INSERT INTO \"%1\" SELECT i, (ARRAY['MARIA', 'JOAO', 'ana', 'PEDRO', "
                    "'Marcos', 'JULIA', 'CARLOS', 'BRUNA'])[1 + i %% 8] || ' ' || md5(i::text), "
                    "'C' || (i %% 50) FROM generate_series(1, 40000) AS i")
                    .arg(table)
                    .replace(QLatin1String("%%"), QLatin1String("%")));
        QStringList statements = host::SqlDataset::CreateSearchIndexes(
            db.Url(), table, {QStringLiteral("NMCLIENTE")}, host::FilterOption::IgnoreAccents);
        if (notNull) {
            // The indexes an earlier run made: NULLs first on the NOT NULL column.
            static const QRegularExpression made(
                QStringLiteral("CREATE INDEX IF NOT EXISTS (\"ts_[0-9a-f]{12}_(upper|text)\") ON "
                               "(\"[^\"]+\") \\((.*?)( NULLS FIRST)?, \"CODIGO\"\\)"));
            for (const QString& statement : statements) {
                const QRegularExpressionMatch m = made.match(statement);
                if (m.hasMatch()) {
                    db.Exec(QStringLiteral("DROP INDEX %1").arg(m.captured(1)));
                    db.Exec(QStringLiteral("CREATE INDEX %1 ON %2 (%3 NULLS FIRST, \"CODIGO\")")
                                .arg(m.captured(1), m.captured(3), m.captured(4)));
                }
            }
            statements = host::SqlDataset::CreateSearchIndexes(
                db.Url(), table, {QStringLiteral("NMCLIENTE")}, host::FilterOption::IgnoreAccents);
            EXPECT_EQ(statements.filter(QStringLiteral("DROP INDEX")).size(), 2)
                << statements.join(u'\n').toStdString();
        }
        auto ds = db.Dataset(table, 50);
        ds->SetOrderFields({QStringLiteral("NMCLIENTE")});
        ds->SetFiltered(true);
        const struct {
            host::FilterOptions options;
            const char* filter;
            const char* index;
        } searches[] = {
            {host::FilterOption::CaseInsensitive, "NMCLIENTE LIKE 'MAR%'", "upper"},
            {{}, "NMCLIENTE LIKE 'MA%'", "text"},
            {host::FilterOptions(host::FilterOption::CaseInsensitive) |
                 host::FilterOption::IgnoreAccents,
             "NMCLIENTE LIKE 'JOÃO%'", "upper_unaccented"},
            {host::FilterOption::IgnoreAccents, "NMCLIENTE LIKE 'Mar%'", "unaccented"},
        };
        for (const auto& search : searches) {
            SCOPED_TRACE(std::string(notNull ? "NOT NULL: " : "nullable: ") + search.filter);
            ds->SetFilterOptions(search.options);
            ds->SetFilter(QString::fromUtf8(search.filter));
            ASSERT_FALSE(ds->IsEmpty());
            const QString window = ds->LastStatement();
            // As the server plans it on its own: no sort over a sequential scan.
            const QString plan = PlanOf(writer, window);
            EXPECT_FALSE(plan.contains(QLatin1String("Sort"))) << plan.toStdString();
            EXPECT_FALSE(plan.contains(QLatin1String("Seq Scan"))) << plan.toStdString();
            // And with sorts priced out: the index alone gives the order.
            EXPECT_EQ(sql_test::IndexesPlanned(writer, window, sql_test::Sorts::Avoided),
                      QStringList{QString::fromLatin1(search.index)});
        }
    }
}

// A partitioned table without a unique key: each partition numbers its rows' places
// (ctid) alike, so paging on them skipped the rows of one partition that shared a name and
// a place with a row of the other. Such a table is paged as a view is, every row once.
TEST(SqlDatasetPostgresTest, APartitionedTableWithoutAKeyShowsEveryRowOnce)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("particoes"));
    db.Exec(QStringLiteral("CREATE TABLE \"%1\" (\"UF\" text, \"NOME\" text) PARTITION BY LIST "
                           "(\"UF\")")
                .arg(table));
    db.Exec(QStringLiteral("CREATE TABLE \"%1_sp\" PARTITION OF \"%1\" FOR VALUES IN ('SP')")
                .arg(table));
    db.Exec(QStringLiteral("CREATE TABLE \"%1_rj\" PARTITION OF \"%1\" FOR VALUES IN ('RJ')")
                .arg(table));
    for (const char* uf : {"SP", "RJ"}) {
        db.Exec(QStringLiteral("INSERT INTO \"%1\" SELECT '%2', 'NOME ' || (i % 7) FROM "
                               "generate_series(1, 40) AS i")
                    .arg(table, QLatin1String(uf)));
    }
    db.Exec(
        QStringLiteral("INSERT INTO \"%1\" VALUES ('SP', 'NOME 1'), ('SP', 'NOME 1')").arg(table));
    auto ds = db.Dataset(table, 4);
    for (const QStringList& order : {QStringList{}, QStringList{QStringLiteral("NOME")}}) {
        ds->SetOrderFields(order);
        for (const char* filter : {"", "NOME LIKE 'NOME 1%'"}) {
            SCOPED_TRACE(order.join(u',').toStdString() + " / " + filter);
            ds->SetFilter(QString::fromLatin1(filter));
            ds->SetFiltered(true);
            std::map<QString, int> seen;
            int rows = 0;
            for (const QStringList& row : sql_test::CursorRows(*ds)) {
                ++seen[row.join(u'|')];
                ++rows;
            }
            const bool all = QByteArray(filter).isEmpty();
            EXPECT_EQ(rows, all ? 82 : 14);
            EXPECT_EQ(ds->RecordCount(), rows);
            EXPECT_EQ(seen[QStringLiteral("SP|NOME 1")], 8);
            EXPECT_EQ(seen[QStringLiteral("RJ|NOME 1")], 6);
            // Backwards from the end: the same rows.
            ds->Last();
            int back = 0;
            while (!ds->Bof()) {
                ++back;
                ds->Prior();
            }
            EXPECT_EQ(back, rows);
        }
    }
}

// Display text of every row of a dataset's view, field by field.
std::vector<QStringList> Shown(const host::Dataset& ds)
{
    std::vector<QStringList> rows;
    for (int r = 0; r < ds.RecordCount(); ++r) {
        QStringList row;
        for (int f = 0; f < ds.GetFieldCount(); ++f) {
            row << ds.DisplayText(r, f);
        }
        rows.push_back(row);
    }
    return rows;
}

std::string FilterError(host::Dataset& ds, const QString& filter)
{
    try {
        ds.SetFilter(filter);
        ds.SetFiltered(true);
    } catch (const host::DatasetError& error) {
        return error.what();
    }
    return {};
}

// A BLOB (bytea) column is shown as what it is, by its length, and never searched as
// text; the rest of the table is read as usual: live, through the copy and (SQLite) from
// the file.
TEST_P(SqlDatasetTest, BinaryColumnsShowTheirLengthAndAreNotSearched)
{
    const bool sqlite = GetParam() == Server::Sqlite;
    const QString table = db->Table(QStringLiteral("fotos"));
    db->CreateTable(table, {{"ID", "INTEGER PRIMARY KEY", "integer PRIMARY KEY"},
                            {"NOME", "VARCHAR(20)", "varchar(20)"},
                            {"FOTO", "BLOB", "bytea"}});
    QByteArray photo(2048, '\0');
    for (int i = 0; i < photo.size(); ++i) {
        photo[i] = static_cast<char>(i * 7 + 0x80); // not UTF-8, NULs included
    }
    db->Insert(table, {1, QStringLiteral("Ana"), photo});
    db->Insert(table, {2, QStringLiteral("Bia"), QVariant(QMetaType(QMetaType::QByteArray))});
    db->Insert(table, {3, QStringLiteral("Caio"), QByteArray("\xFF", 1)});
    db->Exec(QStringLiteral("INSERT INTO \"%1\" VALUES (4, 'Dora', %2)")
                 .arg(table, sqlite ? QStringLiteral("X''") : QStringLiteral("'\\x'::bytea")));
    const std::vector<QStringList> expected = {
        {"1", "Ana", "(binary, 2,048 bytes)"},
        {"2", "Bia", ""},
        {"3", "Caio", "(binary, 1 byte)"},
        {"4", "Dora", "(binary, 0 bytes)"},
    };
    const std::string refusal =
        "Filter: field \"FOTO\" holds binary data, which a filter cannot search at position 12";

    auto live = db->Dataset(table);
    EXPECT_EQ(live->GetField(2)->GetType(), host::FieldType::Text);
    EXPECT_EQ(Shown(*live), expected);
    EXPECT_EQ(FilterError(*live, QStringLiteral("ID > 0 AND FOTO LIKE '%a%'")), refusal);
    EXPECT_EQ(FilterError(*live, QStringLiteral("NOME LIKE '%a'")), "");
    EXPECT_EQ(Shown(*live), (std::vector<QStringList>{expected[0], expected[1], expected[3]}));

    std::vector<std::unique_ptr<host::ClientDataset>> copies;
    copies.push_back(std::make_unique<host::ClientDataset>());
    copies.back()->LoadFromDatabase(db->Url(), table);
    if (sqlite) {
        copies.push_back(std::make_unique<host::ClientDataset>());
        copies.back()->LoadFromFile(db->Url().mid(QStringLiteral("sqlite:").size()));
    }
    for (const auto& copy : copies) {
        copy->Open();
        EXPECT_EQ(copy->GetField(2)->GetType(), host::FieldType::Text);
        EXPECT_EQ(Shown(*copy), expected);
        EXPECT_EQ(copy->GetField(2)->GetSize(), live->GetField(2)->GetSize());
        EXPECT_EQ(FilterError(*copy, QStringLiteral("ID > 0 AND FOTO LIKE '%a%'")), refusal);
        EXPECT_EQ(FilterError(*copy, QStringLiteral("NOME LIKE '%a'")), "");
        EXPECT_EQ(Shown(*copy), (std::vector<QStringList>{expected[0], expected[1], expected[3]}));
    }
}

// SQLite keeps any value in any column. One that does not fit its column's declared
// type refuses the table live as the copy and the file loader refuse it, naming the
// table, the field and the record, instead of showing 0, "" or False while comparing
// what is stored.
TEST(SqlDatasetSqliteTest, ValuesThatDoNotFitTheirDeclaredTypeAreRefusedAsTheCopyRefusesThem)
{
    struct Case {
        const char* declared;
        const char* good;
        const char* bad;
        const char* reason;
    };
    const Case cases[] = {
        {"REAL", "2.5", "'abc'", "Field \"V\" in record 2: \"abc\" is not a number"},
        {"DATE", "'2020-01-31'", "45000",
         "Field \"V\" in record 2: \"45000\" is not a date (YYYY-MM-DD)"},
        {"BOOLEAN", "1", "'yes'", "Field \"V\" in record 2: \"yes\" is not a boolean"},
        {"BOOLEAN", "0", "7", "Field \"V\" in record 2: \"7\" is not a boolean"},
        {"INTEGER", "3", "2.5", "Field \"V\" in record 2: \"2.5\" is not an integer"},
        {"INTEGER", "3", "'x1'", "Field \"V\" in record 2: \"x1\" is not an integer"},
        // Taken by the copy, which converts it, but compared live as it is stored.
        {"BOOLEAN", "1", "'true'", "Field \"V\" in record 2: \"true\" is not stored as 0 or 1"},
        {"DATE", "'2020-01-31'", "'2020-01-31 10:00'",
         "Field \"V\" in record 2: \"2020-01-31 10:00\" is not stored as a date written "
         "YYYY-MM-DD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.declared) + " holding " + c.bad);
        sql_test::TestDatabase db(Server::Sqlite);
        const QString table = db.Table(QStringLiteral("tipos"));
        db.CreateTable(table, {{"ID", "INTEGER PRIMARY KEY", ""},
                               {"NOME", "TEXT", ""},
                               {"V", QString::fromLatin1(c.declared), ""}});
        db.Exec(QStringLiteral("INSERT INTO \"%1\" VALUES (10, 'a', %2), (20, 'b', %3), "
                               "(30, 'c', NULL)")
                    .arg(table, QString::fromLatin1(c.good), QString::fromLatin1(c.bad)));
        const QString path = db.Url().mid(QStringLiteral("sqlite:").size());
        host::SqlDataset live;
        live.SetDatabaseUrl(db.Url());
        live.SetTableName(table);
        std::string error;
        try {
            live.Open();
        } catch (const host::DatasetError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, QStringLiteral("Table \"%1\" in the SQLite database \"%2\": %3")
                             .arg(table, path, QString::fromLatin1(c.reason))
                             .toStdString());
        EXPECT_FALSE(live.IsActive());
        const QString reason = QString::fromLatin1(c.reason);
        if (!reason.contains(QLatin1String("not stored as"))) {
            // The copy and the file loader give the same reason.
            host::ClientDataset copy;
            error.clear();
            try {
                copy.LoadFromDatabase(db.Url(), table);
            } catch (const host::DatasetError& e) {
                error = e.what();
            }
            EXPECT_TRUE(QString::fromStdString(error).endsWith(reason)) << error;
            error.clear();
            try {
                copy.LoadFromFile(path);
            } catch (const host::DatasetError& e) {
                error = e.what();
            }
            EXPECT_TRUE(QString::fromStdString(error).endsWith(reason)) << error;
        }
        // Without the bad value the table opens and shows what it holds.
        db.Exec(QStringLiteral("DELETE FROM \"%1\" WHERE ID = 20").arg(table));
        live.Open();
        EXPECT_EQ(live.RecordCount(), 2);
    }
}

// PostgreSQL values no double or QDate holds are shown as the server writes them, NULL
// stays NULL's alone, and a filter compares what is shown. The copy reads numeric(30,10)
// the same way and refuses the dates and reals a client dataset cannot hold, naming them.
TEST(SqlDatasetPostgresTest, ValuesBeyondADoubleOrADayShowAsTheServerWritesThem)
{
    sql_test::TestDatabase db(Server::Postgres);
    const QString table = db.Table(QStringLiteral("extremos"));
    db.CreateTable(table, {{"ID", "", "integer PRIMARY KEY"},
                           {"VALOR", "", "numeric(30,10)"},
                           {"DIA", "", "date"},
                           {"REAL", "", "double precision"}});
    db.Exec(QStringLiteral("INSERT INTO \"%1\" VALUES "
                           "(1, 99999999999999999999.9999999999, '0001-01-01 BC', 'NaN'), "
                           "(2, 1.5, '12345-06-07', 'Infinity'), "
                           "(3, NULL, 'infinity', '-Infinity'), "
                           "(4, -0.25, '-infinity', NULL), "
                           "(5, 7, NULL, 2.5), "
                           "(6, 0, '2020-01-31', 0)")
                .arg(table));
    auto live = db.Dataset(table);
    EXPECT_EQ(live->GetField(1)->GetType(), host::FieldType::Text);
    EXPECT_EQ(live->GetField(2)->GetType(), host::FieldType::Date);
    const std::vector<QStringList> expected = {
        {"1", "99999999999999999999.9999999999", "0001-01-01 BC", "NaN"},
        {"2", "1.5000000000", "12345-06-07", "Infinity"},
        {"3", "", "infinity", "-Infinity"},
        {"4", "-0.2500000000", "-infinity", ""},
        {"5", "7.0000000000", "", "2.5"},
        {"6", "0.0000000000", "2020-01-31", "0"},
    };
    EXPECT_EQ(Shown(*live), expected);
    EXPECT_EQ(live->Value(5, 2).toDate(), QDate(2020, 1, 31)); // a day is still a QDate
    EXPECT_FALSE(live->Value(2, 1).isValid());                 // NULL is NULL
    const auto ids = [&](const QString& filter) {
        EXPECT_EQ(FilterError(*live, filter), "") << filter.toStdString();
        QStringList found;
        for (const QStringList& row : Shown(*live)) {
            found << row[0];
        }
        return found.join(u',').toStdString();
    };
    EXPECT_EQ(ids(QStringLiteral("REAL IS NULL")), "4");
    EXPECT_EQ(ids(QStringLiteral("DIA IS NULL")), "5");
    EXPECT_EQ(ids(QStringLiteral("VALOR IS NULL")), "3");
    EXPECT_EQ(ids(QStringLiteral("REAL = 'NaN' OR REAL LIKE '%Infinity'")), "1,2,3");
    EXPECT_EQ(ids(QStringLiteral("DIA LIKE '% BC' OR DIA = 'infinity' OR DIA LIKE '12345%'")),
              "1,2,3");
    EXPECT_EQ(ids(QStringLiteral("VALOR LIKE '99999999999999999999.9%'")), "1");
    EXPECT_EQ(ids(QStringLiteral("DIA > '2020-01-31'")), "3"); // as text, as shown
    EXPECT_EQ(ids(QStringLiteral("REAL > 1")), "1,2,5");       // NaN above every number
    // Paging on a date order goes through them all, one window at a time.
    live->SetFilter(QString());
    live->SetWindowSize(2);
    live->SetOrderFields({QStringLiteral("DIA")});
    QStringList days;
    for (const QStringList& row : sql_test::CursorRows(*live)) {
        days << row[0];
    }
    EXPECT_EQ(days.join(u','), QStringLiteral("5,4,1,6,2,3")); // NULL first, by day

    // The copy: the numeric as text; a date or a real no client dataset holds refused.
    const auto copyError = [&](const QString& query) {
        host::ClientDataset copy;
        try {
            copy.LoadFromDatabase(db.Url(), query);
        } catch (const host::DatasetError& e) {
            return std::string(e.what());
        }
        EXPECT_EQ(copy.GetField(0)->GetType(), host::FieldType::Text);
        copy.Open();
        EXPECT_EQ(copy.DisplayText(0, 0), QStringLiteral("99999999999999999999.9999999999"));
        return std::string();
    };
    EXPECT_EQ(copyError(QStringLiteral("SELECT \"VALOR\" FROM \"%1\" ORDER BY \"ID\"").arg(table)),
              "");
    const std::string dias =
        copyError(QStringLiteral("SELECT \"DIA\" FROM \"%1\" ORDER BY \"ID\"").arg(table));
    EXPECT_TRUE(QString::fromStdString(dias).endsWith(
        QLatin1String("Field \"DIA\" in record 1: \"0001-01-01 BC\" is not a date (YYYY-MM-DD)")))
        << dias;
    const std::string reais =
        copyError(QStringLiteral("SELECT \"REAL\" FROM \"%1\" ORDER BY \"ID\"").arg(table));
    EXPECT_TRUE(QString::fromStdString(reais).endsWith(
        QLatin1String("Field \"REAL\" in record 1: \"NaN\" is not a number")))
        << reais;
}

INSTANTIATE_TEST_SUITE_P(Servers, SqlDatasetTest,
                         ::testing::Values(Server::Sqlite, Server::Postgres),
                         [](const ::testing::TestParamInfo<Server>& info) {
                             return std::string(sql_test::ServerName(info.param));
                         });

} // namespace
