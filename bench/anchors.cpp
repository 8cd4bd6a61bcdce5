#include "bench/anchors.h"

#include "bench/timing.h"

#include <QAbstractTableModel>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <sqlite3.h>
#include <stdexcept>

namespace bench {

SqliteAnchor::SqliteAnchor(const QString& databaseFile, const QString& table) : m_table(table)
{
    if (sqlite3_open(":memory:", &m_db) != SQLITE_OK) {
        throw std::runtime_error("cannot open an in-memory SQLite database");
    }
    sqlite3* source = nullptr;
    if (sqlite3_open_v2(databaseFile.toUtf8().constData(), &source, SQLITE_OPEN_READONLY,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(source);
        throw std::runtime_error("cannot open " + databaseFile.toStdString());
    }
    sqlite3_backup* backup = sqlite3_backup_init(m_db, "main", source, "main");
    if (backup) {
        sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
    }
    sqlite3_close(source);
}

SqliteAnchor::~SqliteAnchor()
{
    sqlite3_close(m_db);
}

long long SqliteAnchor::Query(const QString& where, const QString& orderBy)
{
    QString sql = QStringLiteral("SELECT rowid FROM %1").arg(m_table);
    if (!where.isEmpty()) {
        sql += QStringLiteral(" WHERE ") + where;
    }
    sql += QStringLiteral(" ORDER BY ") + orderBy;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(m_db));
    }
    long long rows = 0;
    long long checksum = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        checksum += sqlite3_column_int64(statement, 0);
        ++rows;
    }
    sqlite3_finalize(statement);
    return checksum == -1 ? -1 : rows;
}

void SqliteAnchor::Exec(const QString& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "error";
        sqlite3_free(error);
        throw std::runtime_error("SQLite: " + message + " in " + sql.toStdString());
    }
}

namespace {

sqlite3_stmt* Prepare(sqlite3* db, const QString& sql, const QList<QByteArray>& binds)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db));
    }
    for (int i = 0; i < binds.size(); ++i) {
        sqlite3_bind_text(statement, i + 1, binds[i].constData(), static_cast<int>(binds[i].size()),
                          SQLITE_TRANSIENT);
    }
    return statement;
}

// The smallest text above every text that starts with prefix (bytewise).
QByteArray PrefixEnd(QByteArray prefix)
{
    while (!prefix.isEmpty() && static_cast<unsigned char>(prefix.back()) == 0xFF) {
        prefix.chop(1);
    }
    if (!prefix.isEmpty()) {
        prefix.back() = static_cast<char>(prefix.back() + 1);
    }
    return prefix;
}

} // namespace

long long SqliteAnchor::Count(const QString& sql, const QList<QByteArray>& binds)
{
    sqlite3_stmt* statement = Prepare(m_db, sql, binds);
    long long count = 0;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        count = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    return count;
}

void SqliteAnchor::ReadRows(const QString& sql, const QList<QByteArray>& binds, int rows)
{
    sqlite3_stmt* statement = Prepare(m_db, sql, binds);
    sqlite3_bind_int(statement, static_cast<int>(binds.size()) + 1, rows);
    long long sink = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            sink += sqlite3_column_bytes(statement, c);
            (void)sqlite3_column_text(statement, c);
        }
    }
    sqlite3_finalize(statement);
    (void)sink;
}

void SqliteAnchor::CreatePrefixIndex(const QString& field)
{
    Exec(QStringLiteral("CREATE INDEX anchor_upper ON %1 (UPPER(%2))").arg(m_table, field));
    Exec(QStringLiteral("ANALYZE"));
}

void SqliteAnchor::CreateTrigramIndex(const QString& field)
{
    Exec(QStringLiteral("CREATE VIRTUAL TABLE anchor_fts USING fts5(%2, content='%1', "
                        "content_rowid='rowid', tokenize='trigram')")
             .arg(m_table, field));
    Exec(QStringLiteral("INSERT INTO anchor_fts(anchor_fts) VALUES ('rebuild')"));
}

long long SqliteAnchor::IndexedPrefix(const QString& field, const QString& foldedPrefix,
                                      int screenRows)
{
    const QByteArray low = foldedPrefix.toUtf8();
    const QList<QByteArray> binds{low, PrefixEnd(low)};
    const QString range = QStringLiteral("UPPER(%1) >= ?1 AND UPPER(%1) < ?2").arg(field);
    const long long count =
        Count(QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(m_table, range), binds);
    ReadRows(QStringLiteral("SELECT * FROM %1 WHERE %2 ORDER BY UPPER(%3) LIMIT ?3")
                 .arg(m_table, range, field),
             binds, screenRows);
    return count;
}

long long SqliteAnchor::TrigramContains(const QString& field, const QString& text, int screenRows)
{
    const QList<QByteArray> binds{(u'%' + text + u'%').toUtf8()};
    const long long count =
        Count(QStringLiteral("SELECT count(*) FROM anchor_fts WHERE %1 LIKE ?1").arg(field), binds);
    ReadRows(QStringLiteral("SELECT t.* FROM anchor_fts f JOIN %1 t ON t.rowid = f.rowid "
                            "WHERE f.%2 LIKE ?1 LIMIT ?2")
                 .arg(m_table, field),
             binds, screenRows);
    return count;
}

namespace {

class NameModel : public QAbstractTableModel {
public:
    explicit NameModel(QStringList names) : m_names(std::move(names)) {}
    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_names.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 1; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid()) {
            return {};
        }
        return m_names.at(index.row());
    }

private:
    QStringList m_names;
};

} // namespace

class ProxyAnchor::Impl {
public:
    explicit Impl(QStringList names) : model(std::move(names))
    {
        proxy.setSourceModel(&model);
        proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
        proxy.setSortCaseSensitivity(Qt::CaseSensitive);
        proxy.setFilterKeyColumn(0);
    }
    NameModel model;
    QSortFilterProxyModel proxy;
};

ProxyAnchor::ProxyAnchor(QStringList names) : d(std::make_unique<Impl>(std::move(names)))
{
    m_sortMs = TimeMs([&] { d->proxy.sort(0); });
}

ProxyAnchor::~ProxyAnchor() = default;

int ProxyAnchor::Filter(const QString& text, bool contains, int screenRows)
{
    const QString pattern =
        (contains ? QString() : QStringLiteral("^")) + QRegularExpression::escape(text);
    d->proxy.setFilterRegularExpression(
        QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption));
    const int rows = d->proxy.rowCount();
    for (int row = 0; row < std::min(rows, screenRows); ++row) {
        (void)d->proxy.data(d->proxy.index(row, 0));
    }
    return rows;
}

} // namespace bench
