// PostgreSQL's connections: opened through QtSql for a live search, through libpq for a
// copy, and set up for searching.
#include "host/sql/database_url.h"
#include "host/sql/postgres_dialect.h"
#include "host/sql/table_readers.h"

#include <QSqlQuery>

namespace host::sql {

QSqlDatabase PostgresDialect::Open(const DatabaseUrl& url, DatabaseAccess access) const
{
    return OpenPostgreSqlDatabase(url, access);
}

QStringList PostgresDialect::TableNames(const DatabaseUrl& url) const
{
    return PostgreSqlTableNames(url);
}

QString PostgresDialect::RelationToRead(const DatabaseUrl& url, const QString& table,
                                        const QString& source) const
{
    // TABLE or SCHEMA.TABLE (sql/table_name.h), found as the server finds it.
    return PostgreSqlRelation(url, table, source);
}

Table PostgresDialect::ReadRows(const DatabaseUrl& url, const QString& select,
                                const QString& source) const
{
    return ReadPostgreSqlRows(url, select, source);
}

QString PostgresDialect::ReadOnlyStatement() const
{
    return QStringLiteral("SET SESSION default_transaction_read_only = on");
}

void PostgresDialect::PrepareSession(QSqlDatabase& db) const
{
    QSqlQuery query(db);
    // Doubles travel as text: the shortest form that reads back the same value.
    (void)query.exec(QStringLiteral("SET extra_float_digits = 1"));
    // A keystroke's statement reads a window; compiling it to machine code (which a large
    // estimate can trigger) would cost more than running it.
    (void)query.exec(QStringLiteral("SET jit = off"));
}

QString PostgresDialect::ServerTimeoutStatement(int ms) const
{
    return QStringLiteral("SET statement_timeout = %1").arg(ms);
}

bool PostgresDialect::HasServerTimeout(QSqlDatabase& db) const
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT current_setting('statement_timeout')")) &&
           query.next() && query.value(0).toString() != QLatin1String("0");
}

QString PostgresDialect::PlanningStatement(bool perValues) const
{
    // A plan kept for any values never hands a window to parallel workers: their start
    // costs more than the window, and a guess of many rows would start them on every key.
    // Plans made per values get the session's own setting back.
    return QStringLiteral("SELECT set_config('plan_cache_mode', '%1', false), "
                          "set_config('max_parallel_workers_per_gather', '%2', false)")
        .arg(perValues ? QLatin1String("force_custom_plan") : QLatin1String("force_generic_plan"))
        .arg(perValues ? m_parallelWorkers : 0);
}

} // namespace host::sql
