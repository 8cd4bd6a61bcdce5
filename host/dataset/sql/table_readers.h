#pragma once

#include "host/dataset/sql/database_url.h"
#include "host/dataset/table.h"

#include <QString>
#include <QStringList>

namespace host {

// Readers behind ReadSqlTable, one per server, each through its own client library
// (libpq, SQLite) so that values go from the wire into the columns without a QVariant.
// select is a complete query; source is what messages name ("\"clientes\" from \"URL\"").
Table ReadPostgreSqlRows(const DatabaseUrl& url, const QString& select, const QString& source);
Table ReadSqliteRows(const DatabaseUrl& url, const QString& select, const QString& source);

QStringList PostgreSqlTableNames(const DatabaseUrl& url);
QStringList SqliteTableNames(const DatabaseUrl& url);

// An identifier in double quotes, for either server.
QString QuoteSqlIdentifier(const QString& name);

} // namespace host
