#pragma once

#include <QSqlDatabase>

namespace host::sql {

// Bounds a blocking call on a connection's socket: if the call has not returned when
// the time is up, another thread shuts the socket down (shutdown(2), both ways), so the
// blocked read or write returns at once with an error and the connection is lost. A
// server that hangs (stopped, not closed) never answers and never closes: neither a
// server-side statement_timeout nor a cancel request (PQcancel connects to that same
// server and waits for it) can end the wait, and QtSql's PostgreSQL driver blocks inside
// libpq with no time-out of its own. Hand-written: neither libpq nor Qt has such a bound
// for a synchronous call.
//
// Disarming takes the watchdog's lock, so once the guard is gone the watchdog never
// touches the socket again (its number may then be reused).
class SocketBound {
public:
    // No bound when socket < 0 or ms <= 0.
    SocketBound(int socket, int ms);
    // The socket of a QPSQL connection (none for other drivers or a closed one).
    SocketBound(const QSqlDatabase& db, int ms);
    ~SocketBound();
    SocketBound(const SocketBound&) = delete;
    SocketBound& operator=(const SocketBound&) = delete;

    // Whether the time ran out and the socket was shut down (ends the bound).
    bool Fired();

private:
    long long m_ticket = 0;
    bool m_fired = false;
};

// The PostgreSQL socket of a QPSQL connection, or -1.
int PostgreSqlSocket(const QSqlDatabase& db);
// "HOST:PORT" of the server a QPSQL connection is on (empty when none).
QString PostgreSqlServer(const QSqlDatabase& db);

} // namespace host::sql
