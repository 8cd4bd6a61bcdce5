// The one call that writes: indexes that make a live search fast.
#include "host/app/progress_reporter.h"
#include "host/sql/database_url.h"
#include "host/sql/sql_dialect.h"
#include "host/sql/table_schema.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>

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
            m_name = sql::OpenDatabase(from, sql::DatabaseAccess::Writable).connectionName();
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

// A search index of that name whose NULLs are placed otherwise than the column now
// needs (an earlier run made NULLS FIRST indexes on NOT NULL columns too, which no
// order of the dataset could use): the statement that drops it, so that it is made
// again; empty when there is none, or it is right.
QString StaleNullsPlacement(const QSqlDatabase& db, const QString& quotedIndex, bool nullsFirst)
{
    QSqlQuery query(db);
    // indoption's bit 2 is NULLS FIRST (INDOPTION_NULLS_FIRST), for the first key.
    query.prepare(QStringLiteral("SELECT (i.indoption[0] & 2) <> 0 FROM pg_index i "
                                 "WHERE i.indexrelid = to_regclass(?)"));
    query.addBindValue(quotedIndex);
    if (!query.exec() || !query.next() || query.value(0).toBool() == nullsFirst) {
        return {};
    }
    return QStringLiteral("DROP INDEX %1").arg(quotedIndex);
}

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
    if (schema.view) {
        throw DatasetError(QStringLiteral("Search indexes on table \"%1\" in %2: it is a view, "
                                          "which holds no index; create them on the tables it "
                                          "reads")
                               .arg(table, sql::DescribeDatabase(db)));
    }

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
    const QString quotedTable = schema.relation;
    // An index is made in its table's schema; elsewhere it is named through it.
    const QString qualifier =
        schema.schema.isEmpty() ? QString() : SqlDialect::QuoteIdentifier(schema.schema) + u'.';
    // The unique key ends the dataset's order; ending the ordered indexes with it too
    // lets a window come straight off the index, with no sort of the matches however
    // many share a name. (SQLite's INTEGER PRIMARY KEY is the rowid, which ends every
    // index already.)
    QString keySuffix;
    const bool rowidKey =
        !postgres && schema.uniqueKey.size() == 1 && schema.primaryKey == schema.uniqueKey &&
        schema.fields.Def(schema.fields.FindField(schema.uniqueKey.front())).type ==
            FieldType::Integer;
    if (!rowidKey) {
        for (const QString& key : schema.uniqueKey) {
            const int k = schema.fields.FindField(key);
            const QString read = schema.reads[static_cast<size_t>(k)];
            const FieldType type = schema.fields.Def(k).type;
            keySuffix += QStringLiteral(", ") +
                         (type == FieldType::Text || (type == FieldType::Date && !postgres)
                              ? dialect->Collated(read)
                              : read);
        }
    }
    for (const QString& name : names) {
        const int f = schema.fields.FindField(name);
        if (f < 0) {
            throw DatasetError(
                QStringLiteral("Search indexes: unknown field \"%1\" in table \"%2\"")
                    .arg(name, table));
        }
        const QString read = schema.reads[static_cast<size_t>(f)];
        if (schema.fields.Def(f).type != FieldType::Text ||
            !schema.indexable[static_cast<size_t>(f)]) {
            continue; // only text columns are searched by prefix and contains
        }
        const QString fieldName = schema.fields.Def(f).name;
        // Built on the field's read exactly as the filter translation and the order
        // spell it (a CHAR(n) column as text): an index on anything else goes unused.
        // NULLs placed as the dataset orders them, so each also serves an order on the
        // field: first for a column that may hold NULL; a NOT NULL column is ordered
        // plainly (so that its ordinary indexes serve too), and PostgreSQL's planner
        // takes an index with NULLS FIRST for no plain order, NOT NULL or not.
        const bool nullable = !schema.notNull.contains(fieldName);
        const QString upper = dialect->Upper(read);
        const QString nullsFirst =
            postgres && nullable ? QStringLiteral(" NULLS FIRST") : QString();
        if (postgres) {
            // Only the indexes this call makes again: an accent-folded one stays unless
            // the call makes those.
            QList<const char*> ordered = {"upper", "text"};
            if (options.testFlag(FilterOption::IgnoreAccents)) {
                ordered << "upper_unaccented"
                        << "unaccented";
            }
            for (const char* purpose : ordered) {
                if (const QString drop = StaleNullsPlacement(
                        db, qualifier + IndexName(schema.table, fieldName, purpose), nullable);
                    !drop.isEmpty()) {
                    statements << drop;
                }
            }
        }
        const QString plain = postgres ? QStringLiteral("(%1) COLLATE \"C\"").arg(read)
                                       : read + QStringLiteral(" COLLATE BINARY");
        // The upper-cased order still ends with the key as it is, the field included.
        const QString key = schema.uniqueKey.contains(fieldName) ? QString() : keySuffix;
        // On PostgreSQL an index on an expression also holds the column itself, so a
        // search that needs only the column and the key is answered from the index
        // alone (index-only), never visiting the rows it passes over.
        const QString column = SqlDialect::QuoteIdentifier(fieldName);
        const QString include = postgres ? QStringLiteral(" INCLUDE (%1)").arg(column) : QString();
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3)%4%5)%6")
                          .arg(IndexName(schema.table, fieldName, "upper"), quotedTable, upper,
                               nullsFirst, keySuffix, include)
                   << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3%4%5)%6")
                          .arg(IndexName(schema.table, fieldName, "text"), quotedTable, plain,
                               nullsFirst, key, read == column ? QString() : include);
        if (postgres && options.testFlag(FilterOption::IgnoreAccents)) {
            // With accents set aside the filter and the order read translate(...) of the
            // field: its own indexes, spelt exactly as the filter translation spells
            // them, ordered as the dataset orders (the folded text, then the key).
            const QString folded = dialect->AccentFolded(read);
            const QString foldedUpper = dialect->Upper(folded);
            statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3)%4%5)%6")
                              .arg(IndexName(schema.table, fieldName, "upper_unaccented"),
                                   quotedTable, foldedUpper, nullsFirst, keySuffix, include)
                       << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3%4%5)%6")
                              .arg(IndexName(schema.table, fieldName, "unaccented"), quotedTable,
                                   dialect->Collated(folded), nullsFirst, keySuffix, include)
                       << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                         "gin_trgm_ops)")
                              .arg(IndexName(schema.table, fieldName, "upper_unaccented_trgm"),
                                   quotedTable, foldedUpper)
                       << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin (%3 "
                                         "gin_trgm_ops)")
                              .arg(IndexName(schema.table, fieldName, "unaccented_trgm"),
                                   quotedTable, dialect->Collated(folded));
        }
        if (postgres) {
            // A finer histogram of the values: a contains search is planned for its
            // pattern from the share of the histogram that matches it, which then tells
            // walking the index from the trigrams better.
            // (A column's own statistics are the table's; an expression's, its index's.)
            statements << QStringLiteral("ALTER INDEX %1 ALTER COLUMN 1 SET STATISTICS 1000")
                              .arg(qualifier + IndexName(schema.table, fieldName, "upper"));
            statements << (read == SqlDialect::QuoteIdentifier(fieldName)
                               ? QStringLiteral(
                                     "ALTER TABLE %1 ALTER COLUMN %2 SET STATISTICS 1000")
                                     .arg(quotedTable, read)
                               : QStringLiteral("ALTER INDEX %1 ALTER COLUMN 1 SET STATISTICS 1000")
                                     .arg(qualifier + IndexName(schema.table, fieldName, "text")));
            statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                         "gin_trgm_ops)")
                              .arg(IndexName(schema.table, fieldName, "upper_trgm"), quotedTable,
                                   upper)
                       << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin (%3 "
                                         "gin_trgm_ops)")
                              .arg(IndexName(schema.table, fieldName, "trgm"), quotedTable, plain);
        }
    }
    if (postgres) {
        // VACUUM marks the pages all-visible, which lets index-only scans skip the rows.
        statements << QStringLiteral("VACUUM (ANALYZE) %1").arg(quotedTable);
    } else {
        statements << QStringLiteral("ANALYZE");
    }
    ProgressReporter progress(QStringLiteral("Creating search indexes on \"%1\"").arg(table),
                              statements.size());
    qint64 done = 0;
    for (const QString& statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            throw DatasetError(
                QStringLiteral("Search indexes on table \"%1\" in %2: %3 failed: %4")
                    .arg(table, sql::DescribeDatabase(db), statement, query.lastError().text()));
        }
        progress.Advance(++done);
    }
    return statements;
}

} // namespace host
