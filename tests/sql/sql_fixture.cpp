#include "tests/sql/sql_fixture.h"

#include "host/sql/database_url.h"
#include "tests/pgcluster/shared_pg_cluster_uri.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

namespace sql_test {

const char* ServerName(Server server)
{
    return server == Server::Sqlite ? "SQLite" : "PostgreSQL";
}

TestDatabase::TestDatabase(Server server, const QString& postgresUrl)
    : m_server(server),
      m_prefix(QStringLiteral("t%1_").arg(QUuid::createUuid().toString(QUuid::Id128).left(10)))
{
    if (server == Server::Sqlite) {
        const QString path = m_dir.filePath(QStringLiteral("test.db"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            throw std::runtime_error("cannot create the SQLite test database");
        }
        m_url = QStringLiteral("sqlite:") + path;
    } else {
        m_url = postgresUrl.isEmpty() ? testing_support::PgClusterUri() : postgresUrl;
        if (m_url.isEmpty()) {
            throw std::runtime_error("no PostgreSQL cluster for this test (see above)");
        }
    }
    m_writer = host::sql::OpenDatabase(m_url, host::sql::DatabaseAccess::Writable).connectionName();
}

TestDatabase::~TestDatabase()
{
    for (const QString& name : m_readers + QStringList{m_writer}) {
        host::sql::CloseDatabase(name);
    }
}

QString TestDatabase::Table(const QString& stem) const
{
    return m_server == Server::Sqlite ? stem : m_prefix + stem;
}

QSqlDatabase TestDatabase::Writer() const
{
    return QSqlDatabase::database(m_writer, false);
}

void TestDatabase::Exec(const QString& sql, const QVariantList& values)
{
    QSqlQuery query(Writer());
    if (values.isEmpty()) {
        if (!query.exec(sql)) {
            throw std::runtime_error(
                (sql + QStringLiteral(": ") + query.lastError().text()).toStdString());
        }
        return;
    }
    if (!query.prepare(sql)) {
        throw std::runtime_error(
            (sql + QStringLiteral(": ") + query.lastError().text()).toStdString());
    }
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        throw std::runtime_error(
            (sql + QStringLiteral(": ") + query.lastError().text()).toStdString());
    }
}

void TestDatabase::CreateTable(const QString& table, const std::vector<ColumnShape>& columns,
                               const QString& constraints)
{
    QStringList parts;
    for (const ColumnShape& column : columns) {
        QString name = column.name;
        name.replace(u'"', QStringLiteral("\"\""));
        parts << u'"' + name + QStringLiteral("\" ") +
                     (m_server == Server::Sqlite ? column.sqliteType : column.postgresType);
    }
    if (!constraints.isEmpty()) {
        parts << constraints;
    }
    Exec(QStringLiteral("CREATE TABLE \"%1\" (%2)").arg(table, parts.join(QStringLiteral(", "))));
}

void TestDatabase::Insert(const QString& table, const QVariantList& values)
{
    QStringList marks;
    for (qsizetype i = 0; i < values.size(); ++i) {
        marks << QStringLiteral("?");
    }
    Exec(QStringLiteral("INSERT INTO \"%1\" VALUES (%2)").arg(table, marks.join(u',')), values);
}

QString TestDatabase::ReaderConnection()
{
    const QString name =
        host::sql::OpenDatabase(m_url, host::sql::DatabaseAccess::ReadOnly).connectionName();
    m_readers << name;
    return name;
}

std::unique_ptr<host::SqlDataset> TestDatabase::Dataset(const QString& table, int window)
{
    auto dataset = std::make_unique<host::SqlDataset>();
    dataset->SetConnectionName(ReaderConnection());
    dataset->SetTableName(table);
    dataset->SetWindowSize(window);
    dataset->Open();
    return dataset;
}

namespace {

QStringList RowAt(const host::Dataset& dataset, int row)
{
    QStringList values;
    for (int f = 0; f < dataset.GetFieldCount(); ++f) {
        const QVariant value = dataset.Value(row, f);
        values << ((!value.isValid() || value.isNull()) ? QStringLiteral("<null>")
                                                        : dataset.DisplayText(row, f));
    }
    return values;
}

// The rows the cursor passes from where `begin` places it, moved by `step` until it
// stays where it is.
std::vector<QStringList> CursorWalk(host::Dataset& dataset, void (host::Dataset::*begin)(),
                                    void (host::Dataset::*step)())
{
    std::vector<QStringList> rows;
    (dataset.*begin)();
    while (!dataset.IsEmpty() && dataset.RecNo() >= 0) {
        rows.push_back(RowAt(dataset, dataset.RecNo()));
        const int before = dataset.RecNo();
        (dataset.*step)();
        if (dataset.RecNo() == before) {
            break;
        }
    }
    return rows;
}

} // namespace

std::vector<QStringList> CursorRows(host::Dataset& dataset)
{
    return CursorWalk(dataset, &host::Dataset::First, &host::Dataset::Next);
}

std::vector<QStringList> CursorRowsBackwards(host::Dataset& dataset)
{
    std::vector<QStringList> rows =
        CursorWalk(dataset, &host::Dataset::Last, &host::Dataset::Prior);
    std::reverse(rows.begin(), rows.end());
    return rows;
}

std::vector<QStringList> IndexedRows(const host::Dataset& dataset)
{
    std::vector<QStringList> rows;
    for (int row = 0; row < dataset.RecordCount(); ++row) {
        rows.push_back(RowAt(dataset, row));
    }
    return rows;
}

std::string RowDifference(const std::vector<QStringList>& expected,
                          const std::vector<QStringList>& actual)
{
    const size_t n = std::max(expected.size(), actual.size());
    for (size_t i = 0; i < n; ++i) {
        const QString e = i < expected.size() ? expected[i].join(QStringLiteral(" | "))
                                              : QStringLiteral("(none)");
        const QString a =
            i < actual.size() ? actual[i].join(QStringLiteral(" | ")) : QStringLiteral("(none)");
        if (e != a) {
            return QStringLiteral("%1 rows expected, %2 read; row %3 expected [%4], read [%5]")
                .arg(expected.size())
                .arg(actual.size())
                .arg(i)
                .arg(e, a)
                .toStdString();
        }
    }
    return {};
}

QStringList IndexesPlanned(QSqlDatabase& db, const QString& statement, Sorts sorts)
{
    QSqlQuery plan(db);
    EXPECT_TRUE(plan.exec(QStringLiteral("SET enable_seqscan = off")));
    EXPECT_TRUE(plan.exec(
        QStringLiteral("SET enable_sort = %1").arg(sorts == Sorts::Allowed ? "on" : "off")));
    EXPECT_TRUE(plan.exec(QStringLiteral("EXPLAIN ") + statement))
        << plan.lastError().text().toStdString() << "\n"
        << statement.toStdString();
    static const QRegularExpression index(QStringLiteral("ts_[0-9a-f]{12}_([a-z_]+)"));
    static const QRegularExpression sort(QStringLiteral("\\bSort\\b"));
    QStringList purposes;
    QString text;
    while (plan.next()) {
        text += plan.value(0).toString() + u'\n';
    }
    for (QRegularExpressionMatchIterator it = index.globalMatch(text); it.hasNext();) {
        purposes << it.next().captured(1);
    }
    if (sorts == Sorts::Avoided && !purposes.isEmpty() && text.contains(sort)) {
        purposes << QStringLiteral("Sort");
    }
    EXPECT_TRUE(plan.exec(QStringLiteral("RESET enable_seqscan")));
    EXPECT_TRUE(plan.exec(QStringLiteral("RESET enable_sort")));
    return purposes.isEmpty() ? QStringList{text} : purposes;
}

} // namespace sql_test
