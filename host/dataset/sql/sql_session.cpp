#include "host/dataset/sql/sql_session.h"

#include "host/dataset/dataset_error.h"
#include "host/dataset/sql/sqlite_dialect.h"
#include "host/dataset/sql/table_schema.h"

#include <QSqlDriver>
#include <QSqlError>
#include <sqlite3.h>

namespace host::sql {

SqlSession::SqlSession(QString connectionName) : m_connectionName(std::move(connectionName)) {}

QSqlDatabase SqlSession::Database() const
{
    if (!QSqlDatabase::contains(m_connectionName)) {
        throw DatasetError(
            QStringLiteral("No database connection named \"%1\"").arg(m_connectionName));
    }
    return QSqlDatabase::database(m_connectionName, false);
}

void SqlSession::Start()
{
    QSqlDatabase db = Database();
    if (!m_dialect) {
        m_dialect = SqlDialect::ForDriver(db.driverName());
    }
    if (!db.isOpen() && !db.open()) {
        throw DatasetError(
            QStringLiteral("Cannot open %1: %2").arg(DescribeDatabase(db), db.lastError().text()));
    }
    MakeReadOnly(db);
}

void SqlSession::MakeReadOnly(QSqlDatabase& db)
{
    QSqlQuery query(db);
    const QString statement =
        m_dialect->GetServer() == SqlDialect::Server::Sqlite
            ? QStringLiteral("PRAGMA query_only = 1")
            : QStringLiteral("SET SESSION default_transaction_read_only = on");
    if (!query.exec(statement)) {
        throw DatasetError(QStringLiteral("Cannot make the connection to %1 read-only: %2")
                               .arg(DescribeDatabase(db), query.lastError().text()));
    }
    if (m_dialect->GetServer() == SqlDialect::Server::Sqlite) {
        const QVariant handle = db.driver()->handle();
        sqlite3* sqlite = nullptr;
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
            sqlite = *static_cast<sqlite3* const*>(handle.constData());
        }
        if (sqlite == nullptr || !SqliteDialect::RegisterFunctions(sqlite)) {
            throw DatasetError(QStringLiteral("Cannot prepare %1 for searching: its SQLite "
                                              "connection does not take functions")
                                   .arg(DescribeDatabase(db)));
        }
    }
    if (m_dialect->GetServer() == SqlDialect::Server::Postgres) {
        // Doubles travel as text: the shortest form that reads back the same value.
        (void)query.exec(QStringLiteral("SET extra_float_digits = 1"));
    }
    m_dialect->Learn(db);
}

bool SqlSession::Reconnect(QSqlDatabase& db)
{
    {
        QSqlQuery probe(db);
        if (db.isOpen() && probe.exec(QStringLiteral("SELECT 1"))) {
            return false; // the connection works: the statement itself failed
        }
    }
    db.close();
    if (!db.open()) {
        return false;
    }
    MakeReadOnly(db);
    return true;
}

QSqlQuery SqlSession::Run(const SqlText& statement, const QString& what)
{
    QSqlDatabase db = Database();
    if (!m_dialect) {
        Start();
    }
    QString failure;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!db.isOpen()) {
            if (!db.open()) {
                failure = db.lastError().text();
                continue;
            }
            MakeReadOnly(db);
        }
        QSqlQuery query(db);
        query.setForwardOnly(true);
        ++m_statements;
        if (query.prepare(statement.sql)) {
            for (const QVariant& value : statement.values) {
                query.addBindValue(value);
            }
            if (query.exec()) {
                return query;
            }
        }
        failure = query.lastError().text();
        query = QSqlQuery();
        if (attempt == 0 && !Reconnect(db)) {
            if (db.isOpen()) {
                break; // reachable: retrying would fail the same way
            }
        }
    }
    if (!db.isOpen()) {
        throw DatasetError(QStringLiteral("%1: %2 cannot be reached (%3); the search goes on "
                                          "when it is back")
                               .arg(what, DescribeDatabase(db), failure.trimmed()));
    }
    throw DatasetError(
        QStringLiteral("%1 in %2 failed: %3").arg(what, DescribeDatabase(db), failure.trimmed()));
}

} // namespace host::sql
