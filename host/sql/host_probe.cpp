#include "host/sql/host_probe.h"

#include <QDeadlineTimer>
#include <libpq-fe.h>
#include <poll.h>
#include <vector>

namespace host::sql {
namespace {

QString Entry(const QStringList& list, qsizetype i)
{
    if (list.isEmpty()) {
        return {};
    }
    return list.size() == 1 ? list.front() : list.value(i);
}

struct Attempt {
    qsizetype index = 0;
    QString server;
    PGconn* connection = nullptr;
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    bool done = false;
    bool answered = false;
    QString failure;
};

void Start(const DatabaseUrl& url, Attempt& attempt)
{
    const QByteArray uri = url.original.toUtf8();
    const QByteArray host = Entry(url.hosts, attempt.index).toUtf8();
    const QByteArray port = Entry(url.ports, attempt.index).toUtf8();
    const QByteArray hostaddr = Entry(url.hostaddrs, attempt.index).toUtf8();
    // The URI as written, then this one host: later keywords override it.
    std::vector<const char*> keywords{"dbname", "target_session_attrs"};
    std::vector<const char*> values{uri.constData(), "any"};
    keywords.push_back("host");
    values.push_back(host.constData());
    keywords.push_back("port");
    values.push_back(port.constData());
    keywords.push_back("hostaddr");
    values.push_back(hostaddr.constData());
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    attempt.connection = PQconnectStartParams(keywords.data(), values.data(), 1);
    if (attempt.connection == nullptr || PQstatus(attempt.connection) == CONNECTION_BAD) {
        attempt.done = true;
        attempt.failure = attempt.connection
                              ? QString::fromUtf8(PQerrorMessage(attempt.connection)).simplified()
                              : QStringLiteral("out of memory");
    }
}

void Advance(Attempt& attempt)
{
    attempt.state = PQconnectPoll(attempt.connection);
    if (attempt.state == PGRES_POLLING_OK) {
        attempt.done = attempt.answered = true;
    } else if (attempt.state == PGRES_POLLING_FAILED) {
        attempt.done = true;
        attempt.failure = QString::fromUtf8(PQerrorMessage(attempt.connection)).simplified();
    }
}

} // namespace

HostChoice ChooseHosts(const DatabaseUrl& url)
{
    const qsizetype count = std::max<qsizetype>({1, url.hosts.size(), url.hostaddrs.size()});
    std::vector<Attempt> attempts;
    for (qsizetype i = 0; i < count; ++i) {
        Attempt attempt;
        attempt.index = i;
        const QString host = Entry(url.hosts, i);
        attempt.server =
            (host.isEmpty() ? Entry(url.hostaddrs, i) : host) + QLatin1Char(':') +
            (Entry(url.ports, i).isEmpty() ? QStringLiteral("5432") : Entry(url.ports, i));
        if (count > 1 && attempt.server == url.avoidServer) {
            continue; // just lost: the others first
        }
        attempts.push_back(attempt);
    }
    for (Attempt& attempt : attempts) {
        Start(url, attempt);
    }
    const QDeadlineTimer deadline(std::max(1, url.timeoutMs));
    for (;;) {
        std::vector<pollfd> waiting;
        std::vector<Attempt*> owners;
        for (Attempt& attempt : attempts) {
            if (attempt.done) {
                continue;
            }
            const int socket = PQsocket(attempt.connection);
            if (socket < 0) {
                Advance(attempt);
                continue;
            }
            const short events = attempt.state == PGRES_POLLING_READING ? POLLIN : POLLOUT;
            waiting.push_back({socket, events, 0});
            owners.push_back(&attempt);
        }
        if (waiting.empty() || deadline.hasExpired()) {
            break;
        }
        const int ready = ::poll(waiting.data(), waiting.size(),
                                 static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (size_t i = 0; i < waiting.size(); ++i) {
            if (waiting[i].revents != 0) {
                Advance(*owners[i]);
            }
        }
    }

    HostChoice choice;
    QStringList hosts;
    QStringList ports;
    QStringList hostaddrs;
    for (Attempt& attempt : attempts) {
        if (attempt.answered) {
            ++choice.answering;
            hosts << Entry(url.hosts, attempt.index);
            ports << Entry(url.ports, attempt.index);
            hostaddrs << Entry(url.hostaddrs, attempt.index);
        } else {
            choice.failures
                << attempt.server + QStringLiteral(": ") +
                       (attempt.done ? attempt.failure
                                     : QStringLiteral("no answer within %1 ms").arg(url.timeoutMs));
        }
        if (attempt.connection != nullptr) {
            PQfinish(attempt.connection);
        }
    }
    if (!url.hosts.isEmpty()) {
        choice.hosts = hosts.join(QLatin1Char(','));
    }
    if (!url.ports.isEmpty()) {
        choice.ports = ports.join(QLatin1Char(','));
    }
    if (!url.hostaddrs.isEmpty()) {
        choice.hostaddrs = hostaddrs.join(QLatin1Char(','));
    }
    return choice;
}

} // namespace host::sql
