#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <touchsearch/database.h>
#include <touchsearch/dataset_error.h>

namespace host::sql {

// No server of the database answered (or the connection was lost and could not be
// made again): a dataset may carry on over its local copy.
class ServerUnreachable : public DatasetError {
public:
    using DatasetError::DatasetError;
};

enum class DatabaseAccess {
    ReadOnly, // every transaction read-only (PostgreSQL), the file opened read-only (SQLite)
    Writable, // only for the host's explicit call that creates indexes
};

// A database named by URL: a libpq URI "postgresql://…" (or "postgres://…"), or
// "sqlite:PATH" with PATH a file path as written.
struct DatabaseUrl {
    enum class Kind { PostgreSql, Sqlite };
    Kind kind = Kind::Sqlite;
    // PostgreSQL: the URI's parts; every other parameter (sslmode, options, …) in
    // connectOptions as libpq "key='value'" pairs.
    QString host;
    int port = -1;
    QString database;
    QString user;
    QString password;
    QStringList connectOptions;
    // The URI's own "options" (server settings for the session), as libpq read them.
    QString serverOptions;
    // libpq's lists, one entry a server (a single port applies to every host); the
    // driver gets those of the hosts that answer (sql/host_probe.h).
    QStringList hosts;
    QStringList ports;
    QStringList hostaddrs;
    // How long a connection attempt or a statement may wait on a server, and the server
    // ("HOST:PORT") a connection was just lost on, tried last. Set by the caller.
    int timeoutMs = kDefaultTimeoutMs;
    QString avoidServer;
    static constexpr int kDefaultTimeoutMs = 1000;
    // SQLite: the file.
    QString path;
    // The URL as given, and as messages show it (UrlWithoutPassword).
    QString original;
    QString shown;
};

// Raises DatasetError "… is not a database URL; expected postgresql://… or sqlite:PATH"
// or naming what in the URL is wrong. A PostgreSQL URI is read as libpq reads it; one
// where it is unclear where the user name and password end is refused: an "@" past them
// that libpq would read as part of a host, port, database or parameter name, or a "?"
// before their "@" (a password holding "@", "/" or "?" not percent-encoded, which libpq
// would cut elsewhere and take the rest of for a host, a port or a database).
DatabaseUrl ParseDatabaseUrl(const QString& url);

// The statement that makes a PostgreSQL session read-only. It runs once the connection
// is made, not as a start-up option: libpq's target_session_attrs=read-write reads the
// session's default_transaction_read_only to tell a primary, so a session read-only from
// its start would be taken for a standby.
extern const char* const kPostgreSqlReadOnly;

// libpq's connection settings that bound waiting on a server, for those the URL leaves
// unset: connect_timeout (libpq's last bound behind the probe), TCP keepalives and
// tcp_user_timeout, so that a dead link is noticed while idle or sending.
QStringList BoundingOptions(const DatabaseUrl& url);

// Connects a QPSQL connection to the URL's hosts that answer (sql/host_probe.h), read-only
// when asked. Returns false with the reason in failure.
bool ConnectPostgreSql(QSqlDatabase& db, const DatabaseUrl& url, DatabaseAccess access,
                       QString& failure);

// Opens a connection under a name of its own and returns it open. Raises DatasetError
// naming the URL (without password) and the driver's reason: a server that cannot be
// reached, a refused login, a missing database or SQLite file, a file that is no database.
// Close it with CloseDatabase once no query on it is left.
QSqlDatabase OpenDatabase(const QString& url, DatabaseAccess access = DatabaseAccess::ReadOnly);
QSqlDatabase OpenDatabase(const DatabaseUrl& url, DatabaseAccess access = DatabaseAccess::ReadOnly);
// The same for each server, through its QtSql driver (the dialect chooses).
QSqlDatabase OpenPostgreSqlDatabase(const DatabaseUrl& url, DatabaseAccess access);
QSqlDatabase OpenSqliteDatabase(const DatabaseUrl& url, DatabaseAccess access);

// Closes the connection and forgets its name. Every QSqlDatabase and QSqlQuery copy of it
// must be gone.
void CloseDatabase(const QString& connectionName);

// Owns one connection: opens it, closes and forgets it when destroyed.
class ScopedDatabase {
public:
    explicit ScopedDatabase(const QString& url, DatabaseAccess access = DatabaseAccess::ReadOnly);
    ~ScopedDatabase();
    ScopedDatabase(const ScopedDatabase&) = delete;
    ScopedDatabase& operator=(const ScopedDatabase&) = delete;

    QSqlDatabase Database() const;
    const QString& ConnectionName() const { return m_name; }
    const DatabaseUrl& Url() const { return m_url; }

private:
    DatabaseUrl m_url;
    QString m_name;
};

} // namespace host::sql
