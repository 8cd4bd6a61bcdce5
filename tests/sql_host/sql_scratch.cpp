#include "tests/sql_host/sql_scratch.h"

#include "host/sql/database_url.h"
#include "tests/pgcluster/shared_pg_cluster_uri.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace sql_host_test {
namespace {

bool ExecOn(const QString& uri, const QStringList& statements)
{
    host::sql::ScopedDatabase db(uri, host::sql::DatabaseAccess::Writable);
    QSqlQuery query(db.Database());
    for (const QString& statement : statements) {
        if (!query.exec(statement)) {
            ADD_FAILURE() << statement.left(200).toStdString() << ": "
                          << query.lastError().text().toStdString();
            return false;
        }
    }
    return true;
}

} // namespace

PgScratchDatabase::PgScratchDatabase(const QString& name)
    : m_clusterUri(testing_support::PgClusterUri()),
      m_name(QStringLiteral("%1_%2").arg(name).arg(QCoreApplication::applicationPid()))
{
    if (m_clusterUri.isEmpty())
        return;
    if (!ExecOn(m_clusterUri, {QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_name),
                               QStringLiteral("CREATE DATABASE %1").arg(m_name)}))
        return;
    m_uri = m_clusterUri;
    m_uri.replace(QRegularExpression(QStringLiteral("@/[^?]*\\?")),
                  QStringLiteral("@/%1?").arg(m_name));
}

PgScratchDatabase::~PgScratchDatabase()
{
    if (Valid())
        ExecOn(m_clusterUri, {QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(m_name)});
}

bool PgScratchDatabase::Exec(const QStringList& statements) const
{
    return ExecOn(m_uri, statements);
}

bool ExecSqlite(const QString& path, const QStringList& statements)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path.toStdString();
        sqlite3_close(db);
        return false;
    }
    for (const QString& statement : statements) {
        char* message = nullptr;
        if (sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, &message) !=
            SQLITE_OK) {
            ADD_FAILURE() << statement.left(200).toStdString() << ": " << (message ? message : "?");
            sqlite3_free(message);
            sqlite3_close(db);
            return false;
        }
    }
    sqlite3_close(db);
    return true;
}

} // namespace sql_host_test
