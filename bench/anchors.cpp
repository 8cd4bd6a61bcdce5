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
