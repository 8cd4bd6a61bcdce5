#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace sql_test {

// A throwaway PostgreSQL cluster of the suite's own, which the suite may stop and
// start again (server faults) without touching the test run's shared cluster: initdb
// into a temporary folder, a Unix socket there, trust authentication, no TCP; run as
// the postgres user when the tests run as root. Stopped and removed when the process
// ends.
class PgCluster {
public:
    // The process's cluster, started on first use. Raises std::runtime_error saying
    // why when it cannot start: a suite that needs it then fails.
    static PgCluster& Shared();

    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    QString SocketDir() const;
    // Its libpq URI.
    QString Url() const;
    // Stops the server (fast shutdown) and starts it again, for fault tests.
    void Stop();
    void Start();
    bool Running() const { return m_running; }

private:
    PgCluster();
    QString Run(const QStringList& command, bool asServerUser) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bin;
    bool m_running = false;
};

} // namespace sql_test
