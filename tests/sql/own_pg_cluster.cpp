#include "tests/sql/own_pg_cluster.h"

#include <QDir>
#include <QProcess>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace sql_test {

namespace {

QString ServerBinDir()
{
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::sort(versions.begin(), versions.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& version : versions) {
        const QString bin = root.filePath(version + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb"))) {
            return bin;
        }
    }
    throw std::runtime_error("PostgreSQL server programs not found under /usr/lib/postgresql "
                             "(install postgresql-15: scripts/ensure-deps)");
}

} // namespace

PgCluster& PgCluster::Shared()
{
    static PgCluster cluster;
    return cluster;
}

PgCluster::PgCluster() : m_dir(std::make_unique<QTemporaryDir>()), m_bin(ServerBinDir())
{
    if (!m_dir->isValid()) {
        throw std::runtime_error("cannot create a temporary folder for the PostgreSQL cluster");
    }
    if (geteuid() == 0) {
        // initdb refuses root: the cluster belongs to the postgres user.
        const passwd* user = getpwnam("postgres");
        if (user == nullptr) {
            throw std::runtime_error("running as root and there is no postgres user");
        }
        if (chown(QFile::encodeName(m_dir->path()).constData(), user->pw_uid, user->pw_gid) != 0) {
            throw std::runtime_error("cannot give the cluster folder to the postgres user");
        }
    }
    Run({m_bin + QStringLiteral("/initdb"), QStringLiteral("-D"), m_dir->filePath("data"),
         QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
         QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-U"),
         QStringLiteral("postgres")},
        true);
    Start();
}

PgCluster::~PgCluster()
{
    if (m_running) {
        try {
            Stop();
        } catch (...) {
        }
    }
}

QString PgCluster::SocketDir() const
{
    return m_dir->path();
}

QString PgCluster::Url() const
{
    return QStringLiteral("postgresql://postgres@/postgres?host=%1").arg(m_dir->path());
}

void PgCluster::Start()
{
    Run({m_bin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), m_dir->filePath("data"),
         QStringLiteral("-l"), m_dir->filePath("server.log"), QStringLiteral("-w"),
         QStringLiteral("-o"),
         QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off").arg(m_dir->path()),
         QStringLiteral("start")},
        true);
    m_running = true;
}

void PgCluster::Stop()
{
    Run({m_bin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), m_dir->filePath("data"),
         QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
         QStringLiteral("stop")},
        true);
    m_running = false;
}

QString PgCluster::Run(const QStringList& command, bool asServerUser) const
{
    QStringList line = command;
    if (asServerUser && geteuid() == 0) {
        line = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"),
                           QStringLiteral("postgres"), QStringLiteral("--")} +
               command;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(line.front(), line.mid(1));
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        throw std::runtime_error(
            QStringLiteral("PostgreSQL cluster: \"%1\" failed: %2")
                .arg(line.join(u' '), QString::fromLocal8Bit(process.readAll()).trimmed())
                .toStdString());
    }
    return QString::fromLocal8Bit(process.readAll());
}

} // namespace sql_test
