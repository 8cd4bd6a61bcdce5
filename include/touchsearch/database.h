#pragma once

#include <QString>
#include <QStringList>
#include <touchsearch/export.h>

// What a host may ask of a database before it opens a dataset on it, and how to
// name one in a message. url is "postgresql://…" or "sqlite:PATH", as
// SqlDataset::SetDatabase and ClientDataset::LoadFromDatabase take it.
namespace host {

// What every message, log line and report shows of a database URL (or of a text given
// as one): never any part of a password, however the text is written. A URI keeps its
// user name, hosts, database and parameters but loses the password after "user:", every
// parameter whose name holds "password", and any parameter after one of those that is
// not a libpq keyword (the rest of a password holding "&"); when it is unclear where
// the user name and password end (see ParseDatabaseUrl), only the scheme and what comes
// before the first ":", "@", "/" or "?" are shown. A libpq keyword/value string keeps its
// keywords but the passwords; other text without "@" or "password" is shown as given.
TOUCHSEARCH_HOST_EXPORT QString UrlWithoutPassword(const QString& url);

// The tables of an SQLite file, by name; of a PostgreSQL database, those the role may
// read in every schema it may use but the system's, a table outside the search path's
// first schema named SCHEMA.TABLE.
TOUCHSEARCH_HOST_EXPORT QStringList SqlTableNames(const QString& url);

// The only table of the database; raises naming the database when it holds none or
// several ("… holds 2 tables (a, b); name one").
TOUCHSEARCH_HOST_EXPORT QString OnlySqlTable(const QString& url);

// How long a copy's query (ClientDataset::LoadFromDatabase, the local copy of
// SqlDataset::SetLocalCopy) may run on a PostgreSQL server before it is abandoned with a
// message saying so: the server cancels it (statement_timeout), and a server that stops
// answering altogether is left a little later. Process-wide; default 60,000 ms; <= 0
// restores the default.
TOUCHSEARCH_HOST_EXPORT void SetCopyTimeout(int ms);
TOUCHSEARCH_HOST_EXPORT int CopyTimeout();

} // namespace host
