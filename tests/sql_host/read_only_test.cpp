// Whatever text a host passes as the table or query of a copy, or as the table, order
// fields and filter of a live dataset, the database stays as it was: on a real
// PostgreSQL server (as its superuser, the worst case) and on a real SQLite file. A
// database's state is a checksum of the victim table's rows, its relations and the
// settings kept for roles, read through a connection of the test's own.
#include "host/sql/database_url.h"
#include "tests/sql_host/sql_scratch.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>

using host::ClientDataset;
using sql_host_test::ExecSqlite;
using sql_host_test::PgScratchDatabase;

namespace {

// The message the copy raises, empty when it read the rows.
std::string CopyError(const QString& url, const QString& tableOrQuery)
{
    try {
        ClientDataset dataset;
        dataset.LoadFromDatabase(url, tableOrQuery);
    } catch (const host::DatasetError& error) {
        return error.what();
    }
    return {};
}

// The rows of each query joined into one text, read on a connection of the test's own.
std::string PgState(const QString& url)
{
    host::sql::ScopedDatabase db(url, host::sql::DatabaseAccess::Writable);
    QSqlQuery query(db.Database());
    QString state;
    const auto read = [&](const QString& sql) {
        if (!query.exec(sql)) {
            ADD_FAILURE() << sql.toStdString() << ": " << query.lastError().text().toStdString();
            return;
        }
        while (query.next())
            state += query.value(0).toString() + QLatin1Char('\n');
    };
    read(QStringLiteral("SELECT n.nspname || '.' || c.relname || ':' || c.relkind::text FROM "
                        "pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname "
                        "NOT LIKE 'pg\\_%' AND n.nspname <> 'information_schema' ORDER BY 1"));
    read(QStringLiteral("SELECT coalesce(setdatabase::text, '') || '/' || setrole::text || '=' || "
                        "array_to_string(setconfig, ' ') FROM pg_db_role_setting ORDER BY 1"));
    read(QStringLiteral("SELECT CASE WHEN to_regclass('victim') IS NULL THEN 'no victim' END"));
    QSqlQuery exists(db.Database());
    if (exists.exec(QStringLiteral("SELECT to_regclass('victim') IS NOT NULL")) && exists.next() &&
        exists.value(0).toBool()) {
        read(QStringLiteral("SELECT md5(coalesce(string_agg(v::text, ',' ORDER BY v::text), '')) "
                            "FROM victim v"));
        read(QStringLiteral("SELECT last_value || '/' || is_called FROM victim_seq"));
    }
    return state.toStdString();
}

QByteArray FileState(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

const QStringList kPgVictim = {
    QStringLiteral("CREATE SEQUENCE victim_seq"),
    QStringLiteral("CREATE TABLE victim (a integer PRIMARY KEY, b text)"),
    QStringLiteral("INSERT INTO victim VALUES (1, 'um'), (2, 'dois'), (3, 'três')"),
};
const QStringList kSqliteVictim = {
    QStringLiteral("CREATE TABLE victim (a INTEGER PRIMARY KEY, b TEXT)"),
    QStringLiteral("INSERT INTO victim VALUES (1, 'um'), (2, 'dois'), (3, 'três')"),
};

// The texts that ended the copy's read-only transaction and wrote.
TEST(ReadOnlyCopy, PostgreSqlQueriesThatEndTheTransactionAreRefusedBeforeTheyRun)
{
    PgScratchDatabase db(QStringLiteral("ro_copy_commit"));
    ASSERT_TRUE(db.Valid());
    ASSERT_TRUE(db.Exec(kPgVictim));
    const std::string before = PgState(db.Uri());

    const std::string dropped =
        CopyError(db.Uri(), QStringLiteral("SELECT 1 AS x; COMMIT; DROP TABLE victim"));
    EXPECT_NE(dropped.find("cannot insert multiple commands into a prepared statement"),
              std::string::npos)
        << dropped;
    EXPECT_EQ(PgState(db.Uri()), before);

    const std::string inserted = CopyError(
        db.Uri(), QStringLiteral("SELECT 1 AS x; COMMIT; INSERT INTO victim VALUES (666); "
                                 "SELECT 1 AS x"));
    EXPECT_NE(inserted.find("cannot insert multiple commands"), std::string::npos) << inserted;
    EXPECT_EQ(PgState(db.Uri()), before);

    // One statement cannot lift the transaction's read-only mode either.
    for (const QString& query :
         {QStringLiteral("WITH d AS (DELETE FROM victim RETURNING *) SELECT * FROM d"),
          QStringLiteral("WITH i AS (INSERT INTO victim VALUES (666) RETURNING a) SELECT a FROM i"),
          QStringLiteral("SELECT set_config('transaction_read_only', 'off', true) AS x"),
          QStringLiteral("SELECT set_config('transaction_read_only', 'off', false) AS x, "
                         "nextval('victim_seq') AS n"),
          QStringLiteral("SELECT nextval('victim_seq') AS n"),
          QStringLiteral("SELECT a INTO stolen FROM victim"),
          QStringLiteral("SELECT 1 AS x") + QChar(u'\0') + QStringLiteral("; DROP TABLE victim")}) {
        const std::string message = CopyError(db.Uri(), query);
        EXPECT_NE(message, "") << query.toStdString();
        EXPECT_EQ(PgState(db.Uri()), before) << query.toStdString() << ": " << message;
    }
    // set_config() in a first copy reaches no transaction after it: each copy has a
    // connection of its own, and a query of the second still cannot write.
    for (const QString& query :
         {QStringLiteral("SELECT set_config('default_transaction_read_only', 'off', false) AS x"),
          QStringLiteral("SELECT nextval('victim_seq') AS n")})
        (void)CopyError(db.Uri(), query);
    EXPECT_EQ(PgState(db.Uri()), before);

    // What only reads still does, a trailing ";" and a comment included.
    ClientDataset dataset;
    dataset.LoadFromDatabase(db.Uri(), QStringLiteral("SELECT a, b FROM victim ORDER BY a; "));
    dataset.Open();
    EXPECT_EQ(dataset.RecordCount(), 3);
    dataset.LoadFromDatabase(db.Uri(), QStringLiteral("TABLE victim -- every row"));
    EXPECT_EQ(dataset.RecordCount(), 3);
}

TEST(ReadOnlyCopy, SqliteQueriesThatWriteAreRefusedBeforeTheyRun)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("victim.db"));
    ASSERT_TRUE(ExecSqlite(path, kSqliteVictim));
    const QString url = QStringLiteral("sqlite:") + path;
    const QByteArray before = FileState(path);

    EXPECT_NE(CopyError(url, QStringLiteral("SELECT 1 AS x; DROP TABLE victim"))
                  .find("more than one statement"),
              std::string::npos);
    const std::string cte = CopyError(
        url, QStringLiteral("WITH x AS (SELECT 666 AS a) INSERT INTO victim (a) SELECT a FROM x"));
    EXPECT_NE(cte.find("would change the database"), std::string::npos) << cte;
    EXPECT_EQ(FileState(path), before);

    ClientDataset dataset;
    dataset.LoadFromDatabase(url, QStringLiteral("SELECT a, b FROM victim;"));
    dataset.Open();
    EXPECT_EQ(dataset.RecordCount(), 3);
}

// Random texts from statement separators, transaction commands, settings, writable
// CTEs and DML/DDL against the victim: none may change the database, whether the copy
// refuses the text or reads rows.
class QueryTexts {
public:
    explicit QueryTexts(unsigned seed) : m_random(seed) {}

    QString Next()
    {
        QString text = Pick(kLeads);
        const int statements = static_cast<int>(m_random() % 5);
        for (int i = 0; i < statements; ++i) {
            text += Pick(kSeparators);
            switch (m_random() % 3) {
            case 0:
                text += Pick(kTransactions);
                break;
            case 1:
                text += Pick(kWrites);
                break;
            default:
                text += Pick(kLeads);
                break;
            }
        }
        if (m_random() % 3 == 0)
            text += Pick(kSeparators);
        if (m_random() % 4 == 0)
            text = Pick(kPrefixes) + text;
        return text;
    }

private:
    template <size_t N> QString Pick(const char* const (&items)[N])
    {
        return QString::fromUtf8(items[m_random() % N]);
    }

    static constexpr const char* kLeads[] = {
        "SELECT 1 AS x",
        "SELECT * FROM victim",
        "TABLE victim",
        "VALUES (1)",
        "(SELECT a FROM victim)",
        "WITH d AS (DELETE FROM victim RETURNING *) SELECT * FROM d",
        "WITH i AS (INSERT INTO victim VALUES (666, 'x') RETURNING a) SELECT a FROM i",
        "WITH u AS (UPDATE victim SET b = 'mau' RETURNING a) SELECT a FROM u",
        "WITH x AS (SELECT 666 AS a) INSERT INTO victim (a) SELECT a FROM x",
        "WITH x AS (SELECT 1) DELETE FROM victim",
        "SELECT set_config('default_transaction_read_only', 'off', false) AS x",
        "SELECT set_config('transaction_read_only', 'off', true) AS x",
        "SELECT set_config('transaction_read_only', 'off', false) AS x, nextval('victim_seq') AS n",
        "SELECT nextval('victim_seq') AS n",
        "SELECT a INTO stolen FROM victim",
        "SELECT * FROM victim FOR UPDATE",
    };
    static constexpr const char* kSeparators[] = {
        ";", "; ", ";\n", " ; ; ", ";--\n", ";/* c */", "\n;\n", "; -- ;\n",
    };
    static constexpr const char* kTransactions[] = {
        "COMMIT",
        "ROLLBACK",
        "END",
        "ABORT",
        "BEGIN",
        "BEGIN READ WRITE",
        "BEGIN TRANSACTION READ WRITE",
        "START TRANSACTION READ WRITE",
        "COMMIT AND CHAIN",
        "SAVEPOINT s",
        "RELEASE s",
        "SET default_transaction_read_only = off",
        "SET SESSION default_transaction_read_only TO off",
        "SET SESSION CHARACTERISTICS AS TRANSACTION READ WRITE",
        "SET transaction_read_only = off",
        "SET TRANSACTION READ WRITE",
        "RESET ALL",
        "PRAGMA query_only = 0",
        "ATTACH DATABASE 'elsewhere.db' AS elsewhere",
    };
    static constexpr const char* kWrites[] = {
        "DROP TABLE victim",
        "INSERT INTO victim VALUES (666, 'x')",
        "UPDATE victim SET b = 'mau'",
        "DELETE FROM victim",
        "TRUNCATE victim",
        "CREATE TABLE intruder (a integer)",
        "ALTER TABLE victim ADD COLUMN c integer",
        "ALTER TABLE victim RENAME TO renamed",
        "ALTER ROLE CURRENT_USER SET default_transaction_read_only = off",
        "SELECT nextval('victim_seq')",
        "DO $$BEGIN DELETE FROM victim; END$$",
        "CREATE INDEX ON victim (b)",
        "VACUUM",
        "DROP SEQUENCE victim_seq",
        "REPLACE INTO victim VALUES (1, 'mau')",
    };
    static constexpr const char* kPrefixes[] = {"  ", "\n", "(", "/* c */ ", "-- x\n"};

    std::mt19937 m_random;
};

TEST(ReadOnlyCopy, RandomStatementMixesNeverChangeAPostgreSqlDatabase)
{
    PgScratchDatabase db(QStringLiteral("ro_copy_random"));
    ASSERT_TRUE(db.Valid());
    ASSERT_TRUE(db.Exec(kPgVictim));
    const std::string before = PgState(db.Uri());
    QueryTexts texts(20240611);
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
        const QString text = texts.Next();
        if (!CopyError(db.Uri(), text).empty())
            ++refused;
        const std::string after = PgState(db.Uri());
        ASSERT_EQ(after, before) << "after: " << text.toStdString();
    }
    EXPECT_GT(refused, 100); // most mixes hold a second statement or a write
}

TEST(ReadOnlyCopy, RandomStatementMixesNeverChangeAnSqliteFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("victim.db"));
    ASSERT_TRUE(ExecSqlite(path, kSqliteVictim));
    const QByteArray before = FileState(path);
    QueryTexts texts(77);
    for (int i = 0; i < 300; ++i) {
        const QString text = texts.Next();
        (void)CopyError(QStringLiteral("sqlite:") + path, text);
        ASSERT_EQ(FileState(path), before) << "after: " << text.toStdString();
        ASSERT_FALSE(QFile::exists(QStringLiteral("elsewhere.db")));
    }
}

// A live dataset puts the host's table name, order fields and filter into SQL only as
// identifiers checked against the table's columns and as bound values.
TEST(ReadOnlyLive, HostileNamesOrdersAndFiltersNeverChangeTheDatabase)
{
    PgScratchDatabase pg(QStringLiteral("ro_live"));
    ASSERT_TRUE(pg.Valid());
    ASSERT_TRUE(pg.Exec(kPgVictim));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("victim.db"));
    ASSERT_TRUE(ExecSqlite(path, kSqliteVictim));
    const QString file = QStringLiteral("sqlite:") + path;
    const std::string pgBefore = PgState(pg.Uri());
    const QByteArray fileBefore = FileState(path);

    const QStringList tables = {
        QStringLiteral("victim\"; DROP TABLE victim; --"),
        QStringLiteral("victim; DROP TABLE victim"),
        QStringLiteral("victim\" WHERE 1=1; DELETE FROM victim; --"),
        QStringLiteral("public.victim"),
        QStringLiteral("victim") + QChar(u'\0') + QStringLiteral("\"; DROP TABLE victim; --"),
        QStringLiteral("victim"),
    };
    const QStringList orders = {
        QStringLiteral("a; DROP TABLE victim"),
        QStringLiteral("a\" DESC; DROP TABLE victim; --"),
        QStringLiteral("(SELECT 1); DELETE FROM victim"),
        QStringLiteral("b"),
    };
    const QStringList filters = {
        QStringLiteral("a = 1; DROP TABLE victim"),
        QStringLiteral("b = '1''; DROP TABLE victim; --'"),
        QStringLiteral("b = \"x\"\"; COMMIT; DROP TABLE victim; --\""),
        QStringLiteral("b LIKE '%'; COMMIT; DELETE FROM victim"),
        QStringLiteral("b = '%1' OR a > 0"),
    };
    std::mt19937 random(4242);
    int opened = 0;
    for (int i = 0; i < 60; ++i) {
        const QString url = i % 2 == 0 ? pg.Uri() : file;
        const QString table = tables[static_cast<qsizetype>(random() % tables.size())];
        const QString order = orders[static_cast<qsizetype>(random() % orders.size())];
        const QString filter = filters[static_cast<qsizetype>(random() % filters.size())];
        try {
            host::SqlDataset dataset;
            dataset.SetDatabaseUrl(url);
            dataset.SetTableName(table);
            if (random() % 2 == 0)
                dataset.SetOrderFields({order});
            dataset.Open();
            ++opened;
            try {
                dataset.SetOrderFields({order});
            } catch (const host::DatasetError&) {
            }
            try {
                dataset.SetFilter(filter);
                dataset.SetFiltered(true);
                (void)dataset.RecordCount();
            } catch (const host::DatasetError&) {
            }
        } catch (const host::DatasetError&) {
        }
        ASSERT_EQ(PgState(pg.Uri()), pgBefore)
            << table.toStdString() << " / " << order.toStdString() << " / " << filter.toStdString();
        ASSERT_EQ(FileState(path), fileBefore) << table.toStdString();
    }
    EXPECT_GT(opened, 0); // the plain table name opens
}

// The role the host developer's guide recommends: one that may only read the table it
// searches. It copies that table and can do nothing else.
TEST(ReadOnlyCopy, ASelectOnlyRoleCopiesItsTable)
{
    PgScratchDatabase db(QStringLiteral("ro_role"));
    ASSERT_TRUE(db.Valid());
    ASSERT_TRUE(db.Exec(kPgVictim));
    const QString role = QStringLiteral("ts_reader_%1").arg(QCoreApplication::applicationPid());
    QString database = db.Uri().section(QLatin1Char('/'), 3).section(QLatin1Char('?'), 0, 0);
    ASSERT_TRUE(db.Exec({QStringLiteral("DROP ROLE IF EXISTS %1").arg(role),
                         QStringLiteral("CREATE ROLE %1 LOGIN").arg(role),
                         QStringLiteral("GRANT CONNECT ON DATABASE %1 TO %2").arg(database, role),
                         QStringLiteral("GRANT USAGE ON SCHEMA public TO %1").arg(role),
                         QStringLiteral("GRANT SELECT ON victim TO %1").arg(role)}));
    QString url = db.Uri();
    url.replace(QLatin1String("postgresql://postgres@"),
                QStringLiteral("postgresql://%1@").arg(role));
    ASSERT_NE(url, db.Uri());
    const std::string before = PgState(db.Uri());

    ClientDataset dataset;
    dataset.LoadFromDatabase(url, QStringLiteral("victim"));
    dataset.Open();
    EXPECT_EQ(dataset.RecordCount(), 3);
    QueryTexts texts(5);
    for (int i = 0; i < 40; ++i)
        (void)CopyError(url, texts.Next());
    EXPECT_EQ(PgState(db.Uri()), before);
    // Its privileges, the database's included, go with DROP OWNED; then the role.
    EXPECT_TRUE(db.Exec(
        {QStringLiteral("DROP OWNED BY %1").arg(role), QStringLiteral("DROP ROLE %1").arg(role)}));
}

} // namespace
