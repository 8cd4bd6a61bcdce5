#pragma once

#include "host/sql/database_url.h"
#include "host/storage/table.h"

#include <QString>
#include <QStringList>

namespace host::sql {

// Readers behind ReadSqlTable (each dialect's ReadRows), one per server, each through its own
// client library (libpq, SQLite) so that values go from the wire into the columns without a
// QVariant. select is a complete query; source is what messages name ("\"clientes\" from \"URL\"").
Table ReadPostgreSqlRows(const DatabaseUrl& url, const QString& select, const QString& source);
Table ReadSqliteRows(const DatabaseUrl& url, const QString& select, const QString& source);

// The tables and views the role can read: every schema it may use but the system's,
// each name as written for a search (schema-qualified outside the search path's first
// schema; see sql/table_name.h).
QStringList PostgreSqlTableNames(const DatabaseUrl& url);
// SQL naming the table a name (TABLE or SCHEMA.TABLE) leads to; refuses, as a reader
// does, a name that leads nowhere or to a system catalogue.
QString PostgreSqlRelation(const DatabaseUrl& url, const QString& table, const QString& source);
QStringList SqliteTableNames(const DatabaseUrl& url);

} // namespace host::sql
