#include "host/sql/socket_watchdog.h"

#include <QSqlDriver>
#include <QVariant>
#include <chrono>
#include <condition_variable>
#include <libpq-fe.h>
#include <map>
#include <mutex>
#include <sys/socket.h>
#include <thread>

namespace host::sql {
namespace {

using Clock = std::chrono::steady_clock;

// One thread for the process, asleep until the nearest deadline.
class Watchdog {
public:
    static Watchdog& Instance()
    {
        static Watchdog watchdog;
        return watchdog;
    }

    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    long long Arm(int socket, int ms)
    {
        const std::lock_guard lock(m_mutex);
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { Watch(); });
        }
        const long long ticket = ++m_next;
        m_armed[ticket] = {socket, Clock::now() + std::chrono::milliseconds(ms), false};
        m_wake.notify_all();
        return ticket;
    }

    // Whether it fired.
    bool Disarm(long long ticket)
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_armed.find(ticket);
        if (it == m_armed.end()) {
            return false;
        }
        const bool fired = it->second.fired;
        m_armed.erase(it);
        return fired;
    }

private:
    struct Entry {
        int socket;
        Clock::time_point deadline;
        bool fired;
    };

    void Watch()
    {
        std::unique_lock lock(m_mutex);
        while (!m_stopping) {
            Clock::time_point next = Clock::time_point::max();
            const Clock::time_point now = Clock::now();
            for (auto& [ticket, entry] : m_armed) {
                if (entry.fired) {
                    continue;
                }
                if (entry.deadline <= now) {
                    ::shutdown(entry.socket, SHUT_RDWR);
                    entry.fired = true;
                } else {
                    next = std::min(next, entry.deadline);
                }
            }
            if (next == Clock::time_point::max()) {
                m_wake.wait(lock);
            } else {
                m_wake.wait_until(lock, next);
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<long long, Entry> m_armed;
    long long m_next = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

PGconn* Connection(const QSqlDatabase& db)
{
    if (!db.isValid() || !db.isOpen() || db.driverName() != QLatin1String("QPSQL")) {
        return nullptr;
    }
    const QVariant handle = db.driver()->handle();
    // Qt 6 names the type as the compiler does (PGconn is a typedef of struct pg_conn).
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "pg_conn*") != 0 &&
                              qstrcmp(handle.typeName(), "PGconn*") != 0)) {
        return nullptr;
    }
    return *static_cast<PGconn* const*>(handle.constData());
}

} // namespace

SocketBound::SocketBound(int socket, int ms)
{
    if (socket >= 0 && ms > 0) {
        m_ticket = Watchdog::Instance().Arm(socket, ms);
    }
}

SocketBound::SocketBound(const QSqlDatabase& db, int ms) : SocketBound(PostgreSqlSocket(db), ms) {}

SocketBound::~SocketBound()
{
    (void)Fired();
}

bool SocketBound::Fired()
{
    if (m_ticket != 0) {
        m_fired = Watchdog::Instance().Disarm(m_ticket);
        m_ticket = 0;
    }
    return m_fired;
}

int PostgreSqlSocket(const QSqlDatabase& db)
{
    PGconn* connection = Connection(db);
    return connection ? PQsocket(connection) : -1;
}

QString PostgreSqlServer(const QSqlDatabase& db)
{
    PGconn* connection = Connection(db);
    if (!connection || !PQhost(connection)) {
        return {};
    }
    return QString::fromUtf8(PQhost(connection)) + QLatin1Char(':') +
           QString::fromUtf8(PQport(connection));
}

} // namespace host::sql
