#pragma once

#include <QString>
#include <QTemporaryDir>

namespace testing_support {

// A primary and a hot standby of the suite's own (scripts/pg-cluster start-replicated),
// for tests that halt or freeze a server. Raises std::runtime_error saying why when the
// pair cannot start, so a suite that needs it fails rather than skips. Destroying it
// thaws and stops both servers and removes their folders, however the test ended.
class ReplicatedCluster {
public:
    enum class Role { Primary, Standby };

    ReplicatedCluster();
    ~ReplicatedCluster();
    ReplicatedCluster(const ReplicatedCluster&) = delete;
    ReplicatedCluster& operator=(const ReplicatedCluster&) = delete;

    // Both hosts, the standby first, target_session_attrs=prefer-standby.
    QString Uri() const { return m_uri; }
    QString PrimaryUri() const { return m_primaryUri; }
    QString StandbyUri() const { return m_standbyUri; }

    void Halt(Role role);    // pg_ctl stop -m immediate
    void Freeze(Role role);  // SIGSTOP: a server that hangs
    void Thaw(Role role);    // SIGCONT
    void Restart(Role role); // thawed and started again
    // Waits (bounded) until the standby holds what the primary wrote so far.
    void WaitForReplay();

private:
    QString Run(const QStringList& arguments) const;

    QTemporaryDir m_dir;
    QString m_state;
    QString m_uri;
    QString m_primaryUri;
    QString m_standbyUri;
};

} // namespace testing_support
