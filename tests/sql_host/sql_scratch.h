#pragma once

#include <QString>
#include <QStringList>

namespace sql_host_test {

// A database of its own on the test run's cluster for one test (suites run in parallel
// on the same cluster), dropped at the end. Valid() is false when there is no cluster;
// the failure is already recorded.
class PgScratchDatabase {
public:
    explicit PgScratchDatabase(const QString& name);
    ~PgScratchDatabase();
    PgScratchDatabase(const PgScratchDatabase&) = delete;
    PgScratchDatabase& operator=(const PgScratchDatabase&) = delete;

    bool Valid() const { return !m_uri.isEmpty(); }
    const QString& Uri() const { return m_uri; }
    // Runs statements on a writable connection; records a failure naming the one that fails.
    bool Exec(const QStringList& statements) const;

private:
    QString m_clusterUri;
    QString m_name;
    QString m_uri;
};

// Runs statements on an SQLite file (created when missing) through the SQLite library.
bool ExecSqlite(const QString& path, const QStringList& statements);

} // namespace sql_host_test
