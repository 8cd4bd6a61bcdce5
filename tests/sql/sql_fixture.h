#pragma once

#include <QSqlDatabase>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <ostream>
#include <touchsearch/client_dataset.h>
#include <touchsearch/sql_dataset.h>
#include <vector>

// Readable QStrings in GoogleTest's messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace sql_test {

enum class Server { Sqlite, Postgres };
const char* ServerName(Server server);

struct ColumnShape {
    QString name;
    QString sqliteType;
    QString postgresType;
};

// A database for one test: an SQLite file in a temporary folder, or the shared
// PostgreSQL cluster (tables named apart per test). Set-up writes through a writable
// connection of the test's own; datasets read through connections opened the way a
// host opens them.
class TestDatabase {
public:
    // PostgreSQL: the test run's cluster (the ctest fixture's), or the one at postgresUrl.
    explicit TestDatabase(Server server, const QString& postgresUrl = {});
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    Server GetServer() const { return m_server; }
    // A table name unique to this database object.
    QString Table(const QString& stem) const;
    void CreateTable(const QString& table, const std::vector<ColumnShape>& columns,
                     const QString& constraints = {});
    void Insert(const QString& table, const QVariantList& values);
    void Exec(const QString& sql, const QVariantList& values = {});
    QSqlDatabase Writer() const;
    // A new connection for a dataset, opened as a host opens it (read-only).
    QString ReaderConnection();
    const QString& Url() const { return m_url; }

    // An open SqlDataset over a table of this database.
    std::unique_ptr<host::SqlDataset> Dataset(const QString& table, int window = 100);

private:
    Server m_server;
    QTemporaryDir m_dir;
    QString m_url;
    QString m_writer;
    QStringList m_readers;
    QString m_prefix;
};

// Every row of a dataset's view as text ("<null>" for NULL), read through its cursor
// (First, then Next until the end), so paging is exercised on the way.
std::vector<QStringList> CursorRows(host::Dataset& dataset);
// The same rows walked from the last one back with Prior, given in the view's order.
std::vector<QStringList> CursorRowsBackwards(host::Dataset& dataset);
// The same by row number (MoveTo order free): ClientDataset's view as it stands.
std::vector<QStringList> IndexedRows(const host::Dataset& dataset);

// "" when equal, else the first difference between two row lists, readable.
std::string RowDifference(const std::vector<QStringList>& expected,
                          const std::vector<QStringList>& actual);

// The search indexes a PostgreSQL plan for the statement names, by purpose ("upper",
// "text", "trgm", …), planned with sequential scans off; the whole plan when it names
// none. With sorts avoided as well, "Sort" follows the purposes when the plan still
// sorts: no index gives the order, so on a large table every match would be sorted.
enum class Sorts { Allowed, Avoided };
QStringList IndexesPlanned(QSqlDatabase& db, const QString& statement,
                           Sorts sorts = Sorts::Allowed);

} // namespace sql_test
