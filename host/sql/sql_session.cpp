#include "host/sql/sql_session.h"

#include "host/sql/table_schema.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <memory>
#include <touchsearch/dataset_error.h>

namespace host::sql {

SqlSession::SqlSession(QString connectionName, std::optional<DatabaseUrl> url)
    : m_connectionName(std::move(connectionName)), m_url(std::move(url))
{
}

bool SqlSession::Open(QSqlDatabase& db, const QString& lost)
{
    if (m_url && m_url->kind == DatabaseUrl::Kind::PostgreSql) {
        DatabaseUrl url = *m_url;
        url.timeoutMs = m_timeoutMs;
        url.avoidServer = lost;
        const bool opened = ConnectPostgreSql(db, url, DatabaseAccess::ReadOnly, m_openFailure);
        m_server = opened ? PostgreSqlServer(db) : QString();
        return opened;
    }
    if (db.open()) {
        return true;
    }
    m_openFailure = db.lastError().text();
    return false;
}

QSqlDatabase SqlSession::Database() const
{
    if (!QSqlDatabase::contains(m_connectionName)) {
        throw DatasetError(
            QStringLiteral("No database connection named \"%1\"").arg(m_connectionName));
    }
    return QSqlDatabase::database(m_connectionName, false);
}

void SqlSession::Start()
{
    QSqlDatabase db = Database();
    if (!m_dialect) {
        m_dialect = SqlDialect::ForDriver(db.driverName());
    }
    if (db.isOpen()) {
        m_server = PostgreSqlServer(db);
    } else if (!Open(db, QString())) {
        throw ServerUnreachable(
            QStringLiteral("Cannot open %1: %2").arg(DescribeDatabase(db), m_openFailure));
    }
    MakeReadOnly(db);
}

void SqlSession::MakeReadOnly(QSqlDatabase& db)
{
    m_planning = Planning::Unknown;
    const SocketBound bound(db, m_timeoutMs);
    QSqlQuery query(db);
    if (!query.exec(m_dialect->ReadOnlyStatement())) {
        throw DatasetError(QStringLiteral("Cannot make the connection to %1 read-only: %2")
                               .arg(DescribeDatabase(db), query.lastError().text()));
    }
    m_dialect->PrepareSession(db);
    m_dialect->Learn(db);
    m_serverTimeoutSet = 0; // a new connection, or one the host may have set again
    if (!m_ownsServerTimeout) {
        m_ownsServerTimeout = !m_dialect->HasServerTimeout(db);
    }
    BoundServerWork(db);
}

void SqlSession::BoundServerWork(QSqlDatabase& db)
{
    const int wanted = ServerTimeout(m_timeoutMs);
    if (!m_ownsServerTimeout || wanted == m_serverTimeoutSet) {
        return;
    }
    const QString setting = m_dialect->ServerTimeoutStatement(wanted);
    if (setting.isEmpty()) {
        return;
    }
    const SocketBound bound(db, m_timeoutMs);
    QSqlQuery query(db);
    if (query.exec(setting)) {
        m_serverTimeoutSet = wanted;
    }
}

bool SqlSession::Reconnect(QSqlDatabase& db)
{
    // Where it was: a connection the driver found broken tells it no more.
    const QString lost = m_server.isEmpty() ? PostgreSqlServer(db) : m_server;
    {
        const SocketBound bound(db, m_timeoutMs);
        QSqlQuery probe(db);
        if (db.isOpen() && probe.exec(QStringLiteral("SELECT 1"))) {
            return false; // the connection works: the statement itself failed
        }
    }
    m_prepared.clear(); // prepared on the connection that is gone
    db.close();
    if (!Open(db, lost)) {
        return false;
    }
    MakeReadOnly(db);
    return true;
}

QSqlQuery* SqlSession::Prepared(QSqlDatabase& db, const QString& sql, QString& failure)
{
    if (QSqlQuery* query = m_prepared.object(sql)) {
        return query;
    }
    auto query = std::make_unique<QSqlQuery>(db);
    query->setForwardOnly(true);
    if (!query->prepare(sql)) {
        failure = query->lastError().text();
        return nullptr;
    }
    QSqlQuery* kept = query.release();
    m_prepared.insert(sql, kept);
    return kept;
}

// A window over a range (a prefix search, a key) is planned once for any values: the
// range's values then never lead the planner astray, and the plan reads the window off
// the index in order. Planned for the values given, a narrow range guessed at a few
// dozen records where it holds thousands got a sort of all of them (50 ms at 1M
// rows). A LIKE checked entry by entry is planned for each pattern, whose statistics
// choose between walking the index and the trigrams (a plan for any pattern walks the
// whole index for one found nowhere: 200 ms). The setting travels only when the kind
// of statement changes.
void SqlSession::PlanFor(QSqlDatabase& db, const SqlText& statement)
{
    const Planning wanted =
        statement.scans && !statement.choosesAsItRuns ? Planning::PerValues : Planning::Generic;
    if (wanted == m_planning) {
        return;
    }
    const QString setting = m_dialect->PlanningStatement(wanted == Planning::PerValues);
    if (setting.isEmpty()) {
        return;
    }
    const SocketBound bound(db, m_timeoutMs);
    QSqlQuery query(db);
    if (query.exec(setting)) {
        m_planning = wanted;
    }
}

QSqlQuery& SqlSession::Run(const SqlText& statement, const QString& what)
{
    QSqlDatabase db = Database();
    if (!m_dialect) {
        Start();
    }
    QString failure;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!db.isOpen()) {
            m_prepared.clear();
            if (!Open(db, QString())) {
                failure = m_openFailure;
                break;
            }
            MakeReadOnly(db);
        }
        ++m_statements;
        m_last = statement;
        PlanFor(db, statement);
        BoundServerWork(db); // the time-out changed since it was set
        // A statement kept from before may have been lost with the connection (the
        // host closed and opened it again): then once more, prepared anew.
        for (bool kept = m_prepared.contains(statement.sql);; kept = false) {
            SocketBound bound(db, m_timeoutMs);
            QSqlQuery* query = Prepared(db, statement.sql, failure);
            bool done = false;
            if (query != nullptr) {
                for (qsizetype i = 0; i < statement.values.size(); ++i) {
                    query->bindValue(static_cast<int>(i), statement.values[i]);
                }
                done = query->exec();
            }
            if (bound.Fired()) {
                // Abandoned: the connection is lost, whatever the driver says.
                failure = QStringLiteral("no answer within %1 ms").arg(m_timeoutMs);
                m_prepared.remove(statement.sql);
                if (attempt == 1) {
                    m_prepared.clear();
                    db.close();
                }
                break;
            }
            if (query == nullptr) {
                break;
            }
            if (done) {
                return *query;
            }
            failure = query->lastError().text();
            m_prepared.remove(statement.sql);
            if (!kept) {
                break;
            }
        }
        if (attempt == 0 && !Reconnect(db)) {
            if (!db.isOpen()) {
                failure = m_openFailure; // no server answers: once is enough
            }
            break; // or reachable: retrying would fail the same way
        }
    }
    if (!db.isOpen()) {
        const QString where =
            m_url ? QStringLiteral("the database \"%1\"").arg(m_url->shown) : DescribeDatabase(db);
        throw ServerUnreachable(QStringLiteral("%1: %2 cannot be reached (%3); the search goes "
                                               "on when it is back")
                                    .arg(what, where, failure.simplified()));
    }
    if (failure.contains(QLatin1String("database is locked"))) {
        throw DatasetError(QStringLiteral("%1: %2 is locked by a program writing to it (waited "
                                          "%3 ms); the search goes on when it is free")
                               .arg(what, DescribeDatabase(db))
                               .arg(m_timeoutMs));
    }
    throw DatasetError(
        QStringLiteral("%1 in %2 failed: %3").arg(what, DescribeDatabase(db), failure.trimmed()));
}

QString SqlSession::LastStatement() const
{
    QString text;
    const QSqlDatabase db = Database();
    qsizetype next = 0;
    for (const QString& piece : m_last.sql.split(u'?')) {
        text += piece;
        if (next < m_last.values.size()) {
            const QVariant& value = m_last.values[next++];
            QSqlField field(QString(), value.metaType());
            field.setValue(value);
            text += db.driver()->formatValue(field);
        }
    }
    return text;
}

} // namespace host::sql
