#include "host/sql/sql_dialect.h"

#include "host/sql/database_url.h"
#include "host/sql/postgres_dialect.h"
#include "host/sql/sqlite_dialect.h"

#include <QCryptographicHash>
#include <touchsearch/dataset_error.h>

namespace host::sql {

ValueKind ValueKindOf(FieldType type)
{
    switch (type) {
    case FieldType::Text:
        return ValueKind::Text;
    case FieldType::Integer:
        return ValueKind::Int;
    case FieldType::Float:
        return ValueKind::Float;
    case FieldType::Boolean:
        return ValueKind::Bool;
    case FieldType::Date:
        return ValueKind::Date;
    }
    return ValueKind::Text;
}

std::unique_ptr<SqlDialect> SqlDialect::ForDriver(const QString& driverName)
{
    if (driverName == QLatin1String("QSQLITE")) {
        return std::make_unique<SqliteDialect>();
    }
    if (driverName == QLatin1String("QPSQL")) {
        return std::make_unique<PostgresDialect>();
    }
    throw DatasetError(
        QStringLiteral("The database driver \"%1\" is not supported (QSQLITE and QPSQL are)")
            .arg(driverName));
}

std::unique_ptr<SqlDialect> SqlDialect::ForUrl(const DatabaseUrl& url)
{
    if (url.kind == DatabaseUrl::Kind::PostgreSql) {
        return std::make_unique<PostgresDialect>();
    }
    return std::make_unique<SqliteDialect>();
}

QByteArray SqlDialect::WordPositionPurpose(int position)
{
    return position == 0 ? QByteArray("upper_words_beyond")
                         : "upper_word" + QByteArray::number(position);
}

QByteArray SqlDialect::BucketPurpose(const QString& orderField)
{
    return "bucket_" +
           QCryptographicHash::hash(orderField.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
}

QString DescribeDatabase(const QSqlDatabase& db)
{
    if (db.driverName() == QLatin1String("QSQLITE")) {
        return QStringLiteral("the SQLite database \"%1\"").arg(db.databaseName());
    }
    QString where = db.hostName();
    if (where.isEmpty()) {
        where = QStringLiteral("the local socket");
    }
    return QStringLiteral("the database \"%1\" on %2").arg(db.databaseName(), where);
}

QString SqlDialect::LikeAny(SqlText& out, const QString& text,
                            const std::vector<std::string>& patterns) const
{
    QStringList matches;
    for (const std::string& pattern : patterns) {
        matches << LikeLiteral(out, text, pattern);
    }
    return u'(' + matches.join(QStringLiteral(" OR ")) + u')';
}

QString SqlDialect::OrderTerm(const QString& quotedName, ValueKind kind, bool descending,
                              bool nullable) const
{
    const QString term = OrderedValue(quotedName, kind);
    if (!nullable) {
        return term + (descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    }
    return term +
           (descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" ASC NULLS FIRST"));
}

QString SqlDialect::QuoteIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace host::sql
