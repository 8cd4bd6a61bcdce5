#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

struct sqlite3;

namespace bench {

// The same search a user could run in an in-memory SQLite database: the form's
// filter text as a WHERE clause, ordered by the search field, every row id read.
class SqliteAnchor {
public:
    SqliteAnchor(const QString& databaseFile, const QString& table);
    ~SqliteAnchor();
    SqliteAnchor(const SqliteAnchor&) = delete;
    SqliteAnchor& operator=(const SqliteAnchor&) = delete;

    // Returns the number of matching rows.
    long long Query(const QString& where, const QString& orderBy);

    // What a developer who knows SQLite would build for the same search, timed apart:
    // an expression index on UPPER(field) for prefixes, and an FTS5 table with the
    // trigram tokenizer (external content) for contains searches.
    void CreatePrefixIndex(const QString& field);
    void CreateTrigramIndex(const QString& field);
    // A prefix keystroke through the index: count(*) of the range, then the first
    // screen of rows (every column) in index order. Returns the count.
    long long IndexedPrefix(const QString& field, const QString& foldedPrefix, int screenRows);
    // A contains keystroke through FTS5: count(*) of "field LIKE '%text%'", then the
    // first screen of rows (every column). Returns the count.
    long long TrigramContains(const QString& field, const QString& text, int screenRows);

private:
    void Exec(const QString& sql);
    long long Count(const QString& sql, const QList<QByteArray>& binds);
    void ReadRows(const QString& sql, const QList<QByteArray>& binds, int rows);

    sqlite3* m_db = nullptr;
    QString m_table;
};

// Qt's stock answer: a sorted QSortFilterProxyModel with a case-insensitive filter
// over a table model holding the same names.
class ProxyAnchor {
public:
    explicit ProxyAnchor(QStringList names);
    ~ProxyAnchor();
    ProxyAnchor(const ProxyAnchor&) = delete;
    ProxyAnchor& operator=(const ProxyAnchor&) = delete;

    double SortMs() const { return m_sortMs; }
    // Applies a prefix or contains filter and reads the first screen; returns the row count.
    int Filter(const QString& text, bool contains, int screenRows);

private:
    class Impl;
    std::unique_ptr<Impl> d;
    double m_sortMs = 0.0;
};

} // namespace bench
