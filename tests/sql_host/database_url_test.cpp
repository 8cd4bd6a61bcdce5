#include "host/sql/database_url.h"
#include "tests/pgcluster/shared_pg_cluster_uri.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <touchsearch/dataset_error.h>

using host::DatasetError;
using host::sql::DatabaseAccess;
using host::sql::DatabaseUrl;
using host::sql::OpenDatabase;
using host::sql::ParseDatabaseUrl;
using host::sql::ScopedDatabase;
using testing_support::PgClusterUri;

namespace {

// The message OpenDatabase raises for the URL, or "" when it opened.
std::string OpenFailure(const QString& url, DatabaseAccess access = DatabaseAccess::ReadOnly)
{
    try {
        ScopedDatabase db(url, access);
        return {};
    } catch (const DatasetError& e) {
        return e.what();
    }
}

QString WithParameter(const QString& uri, const QString& parameter)
{
    return uri + QLatin1Char('&') + parameter;
}

// The cluster's URI with another database or user.
QString WithDatabase(const QString& uri, const QString& database)
{
    QString changed = uri;
    changed.replace(QRegularExpression(QStringLiteral("@/[^?]*\\?")),
                    QStringLiteral("@/%1?").arg(database));
    return changed;
}

TEST(DatabaseUrl, TextsThatAreNoDatabaseUrlAreRefusedNamingTheForms)
{
    for (const QString& url :
         {QString(), QStringLiteral("customers.db"), QStringLiteral("mysql://h/db"),
          QStringLiteral("postgresql:"), QStringLiteral("SQLITE:x.db")}) {
        const std::string message = OpenFailure(url);
        EXPECT_EQ(
            message,
            QStringLiteral("\"%1\" is not a database URL; expected postgresql://… or sqlite:PATH")
                .arg(url)
                .toStdString());
    }
    EXPECT_EQ(OpenFailure(QStringLiteral("sqlite:")),
              "\"sqlite:\" names no file; expected sqlite:PATH");
}

TEST(DatabaseUrl, MalformedPostgreSqlUrisNameLibpqsReasonAndHideThePassword)
{
    const std::string unknown =
        OpenFailure(QStringLiteral("postgresql://ana:s3cret@h/db?colour=red"));
    EXPECT_NE(unknown.find("\"postgresql://ana@h/db?colour=red\" is not a valid PostgreSQL URI"),
              std::string::npos)
        << unknown;
    EXPECT_NE(unknown.find("colour"), std::string::npos) << unknown;
    EXPECT_EQ(unknown.find("s3cret"), std::string::npos) << unknown;

    const std::string badPort = OpenFailure(QStringLiteral("postgresql://h:notaport/db"));
    // Refused when read, before any connection is tried.
    EXPECT_NE(badPort.find("\"postgresql://h:notaport/db\" is not a valid PostgreSQL URI: "),
              std::string::npos)
        << badPort;
    EXPECT_NE(badPort.find("\"notaport\""), std::string::npos) << badPort;
}

TEST(DatabaseUrl, UriPartsBecomeFieldsAndTheRestConnectOptions)
{
    const DatabaseUrl url =
        ParseDatabaseUrl(QStringLiteral("postgresql://ana:p%40ss@/loja?host=/run/"
                                        "pg%20x&port=6543&sslmode=disable&application_name=a'b"));
    EXPECT_EQ(url.kind, DatabaseUrl::Kind::PostgreSql);
    EXPECT_EQ(url.host, QStringLiteral("/run/pg x"));
    EXPECT_EQ(url.port, 6543);
    EXPECT_EQ(url.database, QStringLiteral("loja"));
    EXPECT_EQ(url.user, QStringLiteral("ana"));
    EXPECT_EQ(url.password, QStringLiteral("p@ss"));
    EXPECT_TRUE(url.connectOptions.contains(QStringLiteral("sslmode='disable'")))
        << url.connectOptions.join(' ').toStdString();
    EXPECT_TRUE(url.connectOptions.contains(QStringLiteral("application_name='a\\'b'")));
    EXPECT_EQ(url.shown, QStringLiteral("postgresql://ana@/loja?host=/run/"
                                        "pg%20x&port=6543&sslmode=disable&application_name=a'b"));

    EXPECT_EQ(
        host::UrlWithoutPassword(QStringLiteral("postgresql:///db?host=/s&password=x&port=1")),
        QStringLiteral("postgresql:///db?host=/s&port=1"));
    EXPECT_EQ(host::UrlWithoutPassword(QStringLiteral("postgresql:///db?password=x")),
              QStringLiteral("postgresql:///db"));

    const DatabaseUrl file = ParseDatabaseUrl(QStringLiteral("sqlite:/data/a b.db"));
    EXPECT_EQ(file.kind, DatabaseUrl::Kind::Sqlite);
    EXPECT_EQ(file.path, QStringLiteral("/data/a b.db"));
}

TEST(DatabaseUrl, SqliteFilesThatAreMissingFoldersOrNoDatabaseAreRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("none.db"));
    EXPECT_EQ(
        OpenFailure(QStringLiteral("sqlite:") + missing),
        QStringLiteral("Cannot open the database \"sqlite:%1\": the file \"%1\" does not exist")
            .arg(missing)
            .toStdString());
    // Nor does a writable connection create it.
    EXPECT_NE(OpenFailure(QStringLiteral("sqlite:") + missing, DatabaseAccess::Writable), "");
    EXPECT_FALSE(QFile::exists(missing));

    EXPECT_EQ(OpenFailure(QStringLiteral("sqlite:") + dir.path()),
              QStringLiteral("Cannot open the database \"sqlite:%1\": \"%1\" is not a file")
                  .arg(dir.path())
                  .toStdString());

    const QString text = dir.filePath(QStringLiteral("notes.db"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    const std::string notDb = OpenFailure(QStringLiteral("sqlite:") + text);
    EXPECT_NE(notDb.find("Cannot open the database \"sqlite:" + text.toStdString() + "\": "),
              std::string::npos)
        << notDb;
    EXPECT_NE(notDb.find("file is not a database"), std::string::npos) << notDb;
}

// Creates an SQLite file with one table through the driver itself.
void CreateSqliteFile(const QString& path)
{
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("create"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("CREATE TABLE t (a INTEGER)"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("create"));
}

TEST(DatabaseUrl, SqliteConnectionsAreReadOnlyUnlessAskedToWrite)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("loja.db"));
    CreateSqliteFile(path);
    const QString url = QStringLiteral("sqlite:") + path;
    {
        ScopedDatabase db(url);
        QSqlQuery query(db.Database());
        EXPECT_TRUE(query.exec(QStringLiteral("SELECT count(*) FROM t")));
        EXPECT_FALSE(query.exec(QStringLiteral("INSERT INTO t VALUES (1)")));
        EXPECT_NE(query.lastError().text().indexOf(QLatin1String("readonly")), -1)
            << query.lastError().text().toStdString();
    }
    {
        ScopedDatabase db(url, DatabaseAccess::Writable);
        QSqlQuery query(db.Database());
        EXPECT_TRUE(query.exec(QStringLiteral("INSERT INTO t VALUES (1)")))
            << query.lastError().text().toStdString();
    }
}

TEST(DatabaseUrl, ConnectionsHaveNamesOfTheirOwnAndAreForgottenWhenClosed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("a.db"));
    CreateSqliteFile(path);
    QString first;
    {
        ScopedDatabase a(QStringLiteral("sqlite:") + path);
        ScopedDatabase b(QStringLiteral("sqlite:") + path);
        EXPECT_NE(a.ConnectionName(), b.ConnectionName());
        EXPECT_TRUE(a.Database().isOpen());
        EXPECT_TRUE(b.Database().isOpen());
        first = a.ConnectionName();
    }
    EXPECT_FALSE(QSqlDatabase::contains(first));
}

TEST(DatabaseUrlPostgreSql, TheClusterOpensReadOnlyAndWritableOnRequest)
{
    const QString uri = PgClusterUri();
    ASSERT_FALSE(uri.isEmpty());
    {
        ScopedDatabase db(uri);
        QSqlQuery query(db.Database());
        ASSERT_TRUE(
            query.exec(QStringLiteral("SELECT current_setting('default_transaction_read_only')")));
        ASSERT_TRUE(query.next());
        EXPECT_EQ(query.value(0).toString(), QStringLiteral("on"));
        EXPECT_FALSE(query.exec(QStringLiteral("CREATE TABLE url_test_ro (a int)")));
        EXPECT_NE(query.lastError().text().indexOf(QLatin1String("read-only")), -1)
            << query.lastError().text().toStdString();
    }
    {
        ScopedDatabase db(uri, DatabaseAccess::Writable);
        QSqlQuery query(db.Database());
        EXPECT_TRUE(query.exec(QStringLiteral("CREATE TEMPORARY TABLE url_test_rw (a int)")))
            << query.lastError().text().toStdString();
    }
    // Server options of the URI's own stay in force beside the read-only one.
    {
        ScopedDatabase db(
            WithParameter(uri, QStringLiteral("options=-c%20statement_timeout%3D4321")));
        QSqlQuery query(db.Database());
        ASSERT_TRUE(query.exec(QStringLiteral("SELECT current_setting('statement_timeout'), "
                                              "current_setting('default_transaction_read_only')")));
        ASSERT_TRUE(query.next());
        EXPECT_EQ(query.value(0).toString(), QStringLiteral("4321ms"));
        EXPECT_EQ(query.value(1).toString(), QStringLiteral("on"));
    }
}

TEST(DatabaseUrlPostgreSql, RefusedLoginsAndUnreachableServersNameTheUrlWithoutPassword)
{
    const QString uri = PgClusterUri();
    ASSERT_FALSE(uri.isEmpty());

    const QString noDatabase = WithDatabase(uri, QStringLiteral("nowhere"));
    const std::string missing = OpenFailure(noDatabase);
    EXPECT_NE(missing.find("Cannot open the database \"" + noDatabase.toStdString() + "\": "),
              std::string::npos)
        << missing;
    EXPECT_NE(missing.find("\"nowhere\" does not exist"), std::string::npos) << missing;

    QString stranger = uri;
    stranger.replace(QLatin1String("postgresql://postgres@"),
                     QLatin1String("postgresql://zeca:segredo@"));
    const std::string refused = OpenFailure(stranger);
    EXPECT_NE(refused.find("\"zeca\" does not exist"), std::string::npos) << refused;
    EXPECT_EQ(refused.find("segredo"), std::string::npos) << refused;
    EXPECT_NE(refused.find("postgresql://zeca@/"), std::string::npos) << refused;

    const QString away =
        QStringLiteral("postgresql://postgres@/ts?host=/nonexistent/socket/folder");
    const std::string unreachable = OpenFailure(away);
    EXPECT_NE(unreachable.find("Cannot open the database \"" + away.toStdString() + "\": "),
              std::string::npos)
        << unreachable;
    EXPECT_NE(unreachable.find("/nonexistent/socket/folder"), std::string::npos) << unreachable;
}

} // namespace
