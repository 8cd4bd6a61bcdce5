// The one call that writes: indexes that make a live search fast.
#include "host/dataset/dataset_error.h"
#include "host/dataset/sql/database_url.h"
#include "host/dataset/sql/sql_dialect.h"
#include "host/dataset/sql/table_schema.h"
#include "host/dataset/sql_dataset.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace host {

namespace {

using sql::SqlDialect;

QString IndexName(const QString& table, const QString& field, const char* purpose)
{
    // Short and stable: the same table and field always give the same name, so
    // running the call again creates nothing new.
    const QByteArray hash =
        QCryptographicHash::hash((table + u'\x1f' + field).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    return SqlDialect::QuoteIdentifier(
        QStringLiteral("ts_%1_%2").arg(QString::fromLatin1(hash), QLatin1String(purpose)));
}

// A writable connection to the same database, closed and removed on leaving.
class WritableConnection {
public:
    explicit WritableConnection(const QString& from)
        : m_name(QStringLiteral("ts-indexes-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        if (IsUrl(from)) {
            m_name = OpenDatabase(from, DatabaseAccess::Writable).connectionName();
            return;
        }
        if (!QSqlDatabase::contains(from)) {
            throw DatasetError(QStringLiteral("No database connection named \"%1\"").arg(from));
        }
        QSqlDatabase db = QSqlDatabase::cloneDatabase(from, m_name);
        QStringList options = db.connectOptions().split(u';', Qt::SkipEmptyParts);
        options.removeIf([](const QString& option) {
            return option.trimmed() == QLatin1String("QSQLITE_OPEN_READONLY");
        });
        db.setConnectOptions(options.join(u';'));
        if (!db.open()) {
            const QString reason = db.lastError().text();
            const QString where = sql::DescribeDatabase(db);
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_name);
            throw DatasetError(QStringLiteral("Cannot open %1 for writing: %2").arg(where, reason));
        }
    }
    ~WritableConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    WritableConnection(const WritableConnection&) = delete;
    WritableConnection& operator=(const WritableConnection&) = delete;

    QSqlDatabase Database() const { return QSqlDatabase::database(m_name, false); }

private:
    static bool IsUrl(const QString& text)
    {
        return text.startsWith(QLatin1String("postgresql:")) ||
               text.startsWith(QLatin1String("postgres:")) ||
               text.startsWith(QLatin1String("sqlite:"));
    }

    QString m_name;
};

} // namespace

QStringList SqlDataset::CreateSearchIndexes(const QString& connectionName, const QString& table,
                                            const QStringList& fields)
{
    return CreateSearchIndexes(connectionName, table, fields, {});
}

QStringList SqlDataset::CreateSearchIndexes(const QString& connectionName, const QString& table,
                                            const QStringList& fields, FilterOptions options)
{
    WritableConnection connection(connectionName);
    QSqlDatabase db = connection.Database();
    const std::unique_ptr<SqlDialect> dialect = SqlDialect::ForDriver(db.driverName());
    dialect->Learn(db);
    const bool postgres = dialect->GetServer() == SqlDialect::Server::Postgres;
    const sql::TableSchema schema = sql::ReadTableSchema(db, *dialect, table);

    QStringList statements;
    if (postgres) {
        statements << QStringLiteral("SET client_min_messages = warning")
                   << QStringLiteral("SET SESSION default_transaction_read_only = off")
                   << QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm");
    } else {
        statements << QStringLiteral("PRAGMA query_only = 0");
    }
    QStringList names = fields;
    if (names.isEmpty()) {
        for (int f = 0; f < schema.fields.FieldCount(); ++f) {
            names << schema.fields.Def(f).name;
        }
    }
    const QString quotedTable = SqlDialect::QuoteIdentifier(schema.table);
    for (const QString& name : names) {
        const int f = schema.fields.FindField(name);
        if (f < 0) {
            throw DatasetError(
                QStringLiteral("Search indexes: unknown field \"%1\" in table \"%2\"")
                    .arg(name, table));
        }
        const QString read = schema.reads[static_cast<size_t>(f)];
        if (schema.fields.Def(f).type != FieldType::Text ||
            read != SqlDialect::QuoteIdentifier(schema.fields.Def(f).name)) {
            continue; // only text columns are searched by prefix and contains
        }
        const QString fieldName = schema.fields.Def(f).name;
        // NULLS FIRST, as the dataset orders, so the index also serves an order on it.
        const QString plain = postgres ? read + QStringLiteral(" COLLATE \"C\" NULLS FIRST")
                                       : read + QStringLiteral(" COLLATE BINARY");
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                          .arg(IndexName(table, fieldName, "text"), quotedTable, plain);
        if (postgres && options.testFlag(FilterOption::IgnoreAccents)) {
            // The expressions must be spelt exactly as the filter translation spells them.
            const QString folded = dialect->AccentFolded(read);
            const QString upper = dialect->Upper(folded);
            statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3))")
                              .arg(IndexName(table, fieldName, "upper_unaccented"), quotedTable,
                                   upper)
                       << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3))")
                              .arg(IndexName(table, fieldName, "unaccented"), quotedTable,
                                   dialect->Collated(folded))
                       << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                         "gin_trgm_ops)")
                              .arg(IndexName(table, fieldName, "upper_unaccented_trgm"),
                                   quotedTable, upper)
                       << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                         "gin_trgm_ops)")
                              .arg(IndexName(table, fieldName, "unaccented_trgm"), quotedTable,
                                   folded);
            continue;
        }
        // The expressions must be spelt exactly as the filter translation spells them.
        const QString upper = dialect->Upper(read);
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3))")
                          .arg(IndexName(table, fieldName, "upper"), quotedTable, upper);
        if (postgres) {
            statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                         "gin_trgm_ops)")
                              .arg(IndexName(table, fieldName, "upper_trgm"), quotedTable, upper)
                       << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin (%3 "
                                         "gin_trgm_ops)")
                              .arg(IndexName(table, fieldName, "trgm"), quotedTable, read);
        }
    }
    if (postgres) {
        statements << QStringLiteral("ANALYZE %1").arg(quotedTable);
    } else {
        statements << QStringLiteral("ANALYZE");
    }
    for (const QString& statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            throw DatasetError(
                QStringLiteral("Search indexes on table \"%1\" in %2: %3 failed: %4")
                    .arg(table, sql::DescribeDatabase(db), statement, query.lastError().text()));
        }
    }
    return statements;
}

} // namespace host
