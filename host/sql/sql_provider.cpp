#include "host/sql/sql_provider.h"

#include "host/sql/database_url.h"
#include "host/sql/sql_dialect.h"

#include <QRegularExpression>
#include <atomic>
#include <touchsearch/dataset_error.h>

namespace host::sql {
namespace {

bool IsQuery(const QString& text)
{
    static const QRegularExpression query(
        QStringLiteral("^\\s*\\(*\\s*(SELECT|WITH|VALUES|TABLE)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return query.match(text).hasMatch();
}

QStringList TableNames(const DatabaseUrl& url)
{
    return SqlDialect::ForUrl(url)->TableNames(url);
}

QString OnlyTable(const DatabaseUrl& url)
{
    const QStringList names = TableNames(url);
    if (names.isEmpty())
        throw DatasetError(QStringLiteral("The database \"%1\" holds no table").arg(url.shown));
    if (names.size() > 1) {
        throw DatasetError(QStringLiteral("The database \"%1\" holds %2 tables (%3); name one")
                               .arg(url.shown)
                               .arg(names.size())
                               .arg(names.join(QStringLiteral(", "))));
    }
    return names.front();
}

} // namespace

Table ReadSqlTable(const QString& url, const QString& tableOrQuery)
{
    const DatabaseUrl parsed = ParseDatabaseUrl(url);
    const std::unique_ptr<SqlDialect> dialect = SqlDialect::ForUrl(parsed);
    QString select;
    QString source;
    QString tableName;
    if (IsQuery(tableOrQuery)) {
        select = tableOrQuery.trimmed();
        while (select.endsWith(QLatin1Char(';')))
            select.chop(1);
        source = QStringLiteral("the query from \"%1\"").arg(parsed.shown);
    } else {
        tableName = tableOrQuery.isEmpty() ? OnlyTable(parsed) : tableOrQuery;
        source = QStringLiteral("\"%1\" from \"%2\"").arg(tableName, parsed.shown);
        select =
            QStringLiteral("SELECT * FROM ") + dialect->RelationToRead(parsed, tableName, source);
    }
    Table table = dialect->ReadRows(parsed, select, source);
    table.tableName = tableName;
    return table;
}

} // namespace host::sql

// Declared in the public <touchsearch/database.h>.
namespace host {

QStringList SqlTableNames(const QString& url)
{
    return sql::TableNames(sql::ParseDatabaseUrl(url));
}

QString OnlySqlTable(const QString& url)
{
    return sql::OnlyTable(sql::ParseDatabaseUrl(url));
}

namespace {
constexpr int kDefaultCopyTimeoutMs = 60000;
std::atomic<int> copyTimeoutMs{kDefaultCopyTimeoutMs};
} // namespace

void SetCopyTimeout(int ms)
{
    copyTimeoutMs = ms > 0 ? ms : kDefaultCopyTimeoutMs;
}

int CopyTimeout()
{
    return copyTimeoutMs;
}

} // namespace host
