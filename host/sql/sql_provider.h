#pragma once

#include "host/storage/table.h"

#include <QString>
#include <QStringList>
#include <touchsearch/database.h>

namespace host::sql {

// Reads tables for client datasets from a database named by URL (postgresql://… or sqlite:PATH;
// see sql/database_url.h), for hosts that want the records in memory.
//
// tableOrQuery is a table's name (on PostgreSQL TABLE or SCHEMA.TABLE, each part as it
// is or in double quotes: "Loja"."Clientes"), a query (starting with SELECT, WITH, VALUES
// or TABLE), or empty for the database's only table. A system catalogue is refused. Field types
// come from the columns' types (PostgreSQL's, or SQLite's declared ones), text sizes from
// VARCHAR(n) and CHAR(n); NULLs stay NULL. The connection is read-only.
//
// Refusals name the source and the place, as the file loader's do: a NUL byte, text
// that is not UTF-8, text longer than its declared size, a value not of its field's type
// ("field "NAME" in record R …"), field names a filter could not write.

// Reads the rows into a new table.
Table ReadSqlTable(const QString& url, const QString& tableOrQuery);

} // namespace host::sql
