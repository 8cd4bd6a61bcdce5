#include "tests/sql/sql_fixture.h"

#include "tests/sql/pg_cluster.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <stdexcept>
#include <unistd.h>

namespace sql_test {

const char* ServerName(Server server)
{
    return server == Server::Sqlite ? "SQLite" : "PostgreSQL";
}

namespace {

QString NewConnectionName()
{
    return QStringLiteral("sql-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

void Configure(QSqlDatabase& db, Server server, const QString& file, bool readOnly)
{
    if (server == Server::Sqlite) {
        db.setDatabaseName(file);
        if (readOnly) {
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        }
    } else {
        db.setHostName(PgCluster::Shared().SocketDir());
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(QStringLiteral("postgres"));
    }
}

} // namespace

TestDatabase::TestDatabase(Server server)
    : m_server(server), m_writer(NewConnectionName()),
      m_prefix(QStringLiteral("t%1_").arg(QUuid::createUuid().toString(QUuid::Id128).left(10)))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(
        server == Server::Sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), m_writer);
    Configure(db, server, m_dir.filePath(QStringLiteral("test.db")), false);
    if (!db.open()) {
        throw std::runtime_error(QStringLiteral("cannot open the %1 test database: %2")
                                     .arg(QLatin1String(ServerName(server)), db.lastError().text())
                                     .toStdString());
    }
}

TestDatabase::~TestDatabase()
{
    for (const QString& name : m_readers + QStringList{m_writer}) {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
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

void TestDatabase::CreateTable(const QString& table, const std::vector<ColumnSpec>& columns,
                               const QString& constraints)
{
    QStringList parts;
    for (const ColumnSpec& column : columns) {
        parts << u'"' + column.name + QStringLiteral("\" ") +
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
    const QString name = NewConnectionName();
    QSqlDatabase db = QSqlDatabase::addDatabase(
        m_server == Server::Sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), name);
    Configure(db, m_server, m_dir.filePath(QStringLiteral("test.db")), true);
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

} // namespace

std::vector<QStringList> CursorRows(host::Dataset& dataset)
{
    std::vector<QStringList> rows;
    dataset.First();
    while (!dataset.IsEmpty() && dataset.RecNo() >= 0) {
        rows.push_back(RowAt(dataset, dataset.RecNo()));
        const int before = dataset.RecNo();
        dataset.Next();
        if (dataset.RecNo() == before) {
            break;
        }
    }
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

} // namespace sql_test
