#pragma once

#include "host/sql/database_url.h"
#include "host/sql/socket_watchdog.h"
#include "host/sql/sql_dialect.h"

#include <QCache>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <memory>
#include <optional>
#include <touchsearch/dataset_error.h>

namespace host::sql {

// The dataset's use of one QtSql connection: read-only from the first statement on
// (PostgreSQL's default_transaction_read_only, SQLite's query_only), and one
// reconnection when a statement finds the connection lost (the server restarted),
// so the next search after the server is back works. Every statement waits on the
// server at most the session's time-out (sql/socket_watchdog.h); one that does not
// answer in time counts as a lost connection, and the connection is made again to the
// URL's servers that answer, the one just lost tried last (failover). Statements stay prepared and
// are run again with new values: a keystroke's statement has the same text as the
// one before it, so it costs the server no parsing and one round trip.
class SqlSession {
public:
    // url: the database the connection was opened from, to connect again to whichever
    // of its servers answers; none for a connection the host opened.
    explicit SqlSession(QString connectionName, std::optional<DatabaseUrl> url = {});

    void SetTimeout(int ms) { m_timeoutMs = ms; }
    int Timeout() const { return m_timeoutMs; }
    // How long the server itself lets a statement run (PostgreSQL's statement_timeout,
    // unless the URL or the host's connection set one): a little past the time-out, so
    // that work the client stopped waiting for ends there too.
    static int ServerTimeout(int timeoutMs) { return timeoutMs + kServerTimeoutMarginMs; }
    static constexpr int kServerTimeoutMarginMs = 500;
    // Bounds a block of statements run on the connection outside Run.
    SocketBound Bound() const { return SocketBound(Database(), m_timeoutMs); }

    // Opens the connection if needed and makes it read-only; raises naming the
    // connection or the database.
    void Start();
    QSqlDatabase Database() const;
    const SqlDialect& Dialect() const { return *m_dialect; }

    // Runs a statement with its bound values. Raises DatasetError saying what failed,
    // where, and what the server said; ServerUnreachable when no server answers. The query stays
    // the session's (prepared for the next time): read it, then finish() it, before the next Run.
    QSqlQuery& Run(const SqlText& statement, const QString& what);

    // Lets go of the statements kept prepared (the dataset closes: the host may close
    // or remove its connection next).
    void ReleasePrepared() { m_prepared.clear(); }

    // Statements run so far (for measuring what a keystroke costs).
    int StatementCount() const { return m_statements; }
    // The last statement run, its values written in as the driver quotes them (for
    // EXPLAIN and diagnostics).
    QString LastStatement() const;

private:
    void MakeReadOnly(QSqlDatabase& db);
    bool Reconnect(QSqlDatabase& db);
    // The statement prepared on the connection (from the cache, else prepared now and
    // kept), or null with the failure in failure.
    QSqlQuery* Prepared(QSqlDatabase& db, const QString& sql, QString& failure);
    // PostgreSQL: how the next statement is planned (see Run).
    void PlanFor(QSqlDatabase& db, const SqlText& statement);
    // Has the server end a statement a little after the client gives up on it, unless
    // the session came with a bound of its own (see ServerTimeout).
    void BoundServerWork(QSqlDatabase& db);

    // Opens the closed connection again; false when it cannot.
    bool Open(QSqlDatabase& db, const QString& lost);

    QString m_connectionName;
    std::optional<DatabaseUrl> m_url;
    int m_timeoutMs = DatabaseUrl::kDefaultTimeoutMs;
    QString m_openFailure;
    QString m_server; // "HOST:PORT" of the server connected to
    std::unique_ptr<SqlDialect> m_dialect;
    int m_statements = 0;
    enum class Planning { Unknown, Generic, PerValues } m_planning = Planning::Unknown;
    // Whether the session's server-side bound is this session's to set (none came with
    // the connection), and the value last set on the connection (0: not yet).
    bool m_ownsServerTimeout = false;
    int m_serverTimeoutSet = 0;
    SqlText m_last;
    QCache<QString, QSqlQuery> m_prepared{16}; // by text, the least recently used goes first
};

} // namespace host::sql
