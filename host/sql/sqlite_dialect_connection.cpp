// SQLite's connections: opened through QtSql for a live search, read directly for a
// copy, and given this program's functions for searching.
#include "host/sql/database_url.h"
#include "host/sql/sqlite_dialect.h"
#include "host/sql/table_readers.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <sqlite3.h>
#include <touchsearch/dataset_error.h>

namespace host::sql {

QSqlDatabase SqliteDialect::Open(const DatabaseUrl& url, DatabaseAccess access) const
{
    return OpenSqliteDatabase(url, access);
}

QStringList SqliteDialect::TableNames(const DatabaseUrl& url) const
{
    return SqliteTableNames(url);
}

QString SqliteDialect::RelationToRead(const DatabaseUrl&, const QString& table,
                                      const QString&) const
{
    // A file's table is named as it is.
    return QuoteIdentifier(table);
}

Table SqliteDialect::ReadRows(const DatabaseUrl& url, const QString& select,
                              const QString& source) const
{
    return ReadSqliteRows(url, select, source);
}

QString SqliteDialect::ReadOnlyStatement() const
{
    return QStringLiteral("PRAGMA query_only = 1");
}

void SqliteDialect::PrepareSession(QSqlDatabase& db) const
{
    const QVariant handle = db.driver()->handle();
    sqlite3* sqlite = nullptr;
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        sqlite = *static_cast<sqlite3* const*>(handle.constData());
    }
    if (sqlite == nullptr || !RegisterFunctions(sqlite)) {
        throw DatasetError(QStringLiteral("Cannot prepare %1 for searching: its SQLite "
                                          "connection does not take functions")
                               .arg(DescribeDatabase(db)));
    }
    // The file's pages mapped, not copied into each connection's own cache: many
    // connections (tills) then read the same pages from memory.
    QSqlQuery query(db);
    (void)query.exec(QStringLiteral("PRAGMA mmap_size = 1073741824"));
}

} // namespace host::sql
