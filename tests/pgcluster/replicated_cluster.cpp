#include "tests/pgcluster/replicated_cluster.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <stdexcept>

namespace testing_support {
namespace {

QString ReadLine(const QString& path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("replicated cluster: cannot read " + path.toStdString());
    }
    return QString::fromUtf8(in.readAll()).trimmed();
}

QString RoleName(ReplicatedCluster::Role role)
{
    return role == ReplicatedCluster::Role::Primary ? QStringLiteral("primary")
                                                    : QStringLiteral("standby");
}

} // namespace

ReplicatedCluster::ReplicatedCluster()
{
    if (!m_dir.isValid()) {
        throw std::runtime_error("replicated cluster: cannot create a temporary folder");
    }
    m_state = m_dir.filePath(QStringLiteral("pair"));
    Run({QStringLiteral("start-replicated"), m_state});
    m_uri = ReadLine(m_state + QStringLiteral("/uri"));
    m_primaryUri = ReadLine(m_state + QStringLiteral("/primary-uri"));
    m_standbyUri = ReadLine(m_state + QStringLiteral("/standby-uri"));
}

ReplicatedCluster::~ReplicatedCluster()
{
    try {
        Run({QStringLiteral("stop"), m_state}); // thaws first
    } catch (const std::exception&) {
    }
}

void ReplicatedCluster::Halt(Role role)
{
    Run({QStringLiteral("halt"), m_state, RoleName(role)});
}

void ReplicatedCluster::Freeze(Role role)
{
    Run({QStringLiteral("freeze"), m_state, RoleName(role)});
}

void ReplicatedCluster::Thaw(Role role)
{
    Run({QStringLiteral("thaw"), m_state, RoleName(role)});
}

void ReplicatedCluster::Restart(Role role)
{
    Run({QStringLiteral("restart"), m_state, RoleName(role)});
}

void ReplicatedCluster::WaitForReplay()
{
    const QString psql = QStringLiteral("/usr/lib/postgresql/15/bin/psql");
    auto ask = [&](const QString& uri, const char* sql) {
        QProcess process;
        process.start(psql, {uri, QStringLiteral("-tAc"), QString::fromLatin1(sql)});
        if (!process.waitForFinished(30000) || process.exitCode() != 0) {
            throw std::runtime_error("replicated cluster: psql failed: " +
                                     process.readAllStandardError().toStdString());
        }
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    };
    // Where the primary inserted its last record: with synchronous_commit off, the last
    // commit may not be written yet, and the write position would lie before it.
    const QString target = ask(m_primaryUri, "SELECT pg_current_wal_insert_lsn()");
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        const QString query =
            QStringLiteral("SELECT pg_last_wal_replay_lsn() >= '%1'::pg_lsn").arg(target);
        if (ask(m_standbyUri, query.toUtf8().constData()) == QLatin1String("t")) {
            return;
        }
        QThread::msleep(20); // a bounded poll on the standby's replay position
    }
    throw std::runtime_error("replicated cluster: the standby did not catch up in 30 s");
}

QString ReplicatedCluster::Run(const QStringList& arguments) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(TS_PG_CLUSTER_SCRIPT), arguments);
    if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        throw std::runtime_error(
            QStringLiteral("scripts/pg-cluster %1 failed: %2")
                .arg(arguments.join(u' '), QString::fromLocal8Bit(process.readAll()).trimmed())
                .toStdString());
    }
    return QString::fromLocal8Bit(process.readAll());
}

} // namespace testing_support
