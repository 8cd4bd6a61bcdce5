// The one call that writes: indexes that make a live search fast.
#include "host/app/progress_reporter.h"
#include "host/sql/database_url.h"
#include "host/sql/search_index_target.h"
#include "host/sql/sql_dialect.h"
#include "host/sql/table_schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>

namespace host {

namespace {

using sql::SqlDialect;

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

// The unique key ends the dataset's order; ending the ordered indexes with it too lets a
// window come straight off the index, with no sort of the matches however many share a
// name: ", KEY…" as the order compares each key field.
QString KeySuffix(const sql::TableSchema& schema, const SqlDialect& dialect)
{
    if (dialect.KeyEndsEveryIndex(schema)) {
        return {};
    }
    QString suffix;
    for (const QString& key : schema.uniqueKey) {
        const int k = schema.fields.FindField(key);
        const QString read = schema.reads[static_cast<size_t>(k)];
        const FieldType type = schema.fields.Def(k).type;
        suffix += QStringLiteral(", ") + (type == FieldType::Text   ? dialect.Collated(read)
                                          : type == FieldType::Date ? dialect.DateCompared(read)
                                                                    : read);
    }
    return suffix;
}

// The columns of the other fields named that an ordered index of field f also holds:
// numbers, and texts of a short declared length (a long text could pass the size an
// index entry may have); the key is in every such index already.
QStringList SearchedWith(const sql::TableSchema& schema, const QStringList& names, int f)
{
    constexpr int kLongestHeld = 64;
    QStringList columns;
    for (const QString& name : names) {
        const int o = schema.fields.FindField(name);
        if (o < 0 || o == f) {
            continue;
        }
        const FieldDef& def = schema.fields.Def(o);
        const bool small = def.type != FieldType::Text ||
                           (!def.binary && def.size > 0 && def.size <= kLongestHeld);
        if (small && !schema.uniqueKey.contains(def.name)) {
            columns << SqlDialect::QuoteIdentifier(def.name);
        }
    }
    columns.removeDuplicates();
    return columns;
}

void RunStatements(QSqlDatabase& db, const QString& table, const QStringList& statements)
{
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
    const sql::TableSchema schema = sql::ReadTableSchema(db, *dialect, table);
    if (schema.view) {
        throw DatasetError(QStringLiteral("Search indexes on table \"%1\" in %2: it is a view, "
                                          "which holds no index; create them on the tables it "
                                          "reads")
                               .arg(table, sql::DescribeDatabase(db)));
    }

    QStringList statements = dialect->SearchIndexSetup();
    QStringList names = fields;
    if (names.isEmpty()) {
        for (int f = 0; f < schema.fields.FieldCount(); ++f) {
            names << schema.fields.Def(f).name;
        }
    }
    sql::SearchIndexTarget target;
    target.table = schema.table;
    target.relation = schema.relation;
    // An index is made in its table's schema; elsewhere it is named through it.
    target.qualifier = sql::SchemaQualifier(schema);
    target.keySuffix = KeySuffix(schema, *dialect);
    // A text search column orders the other fields' prefix buckets.
    const int searchColumn = fields.isEmpty() ? -1 : schema.fields.FindField(fields.front());
    const bool bucketed = names.size() > 1 && searchColumn >= 0 &&
                          schema.fields.Def(searchColumn).type == FieldType::Text &&
                          schema.indexable[static_cast<size_t>(searchColumn)];
    for (const QString& name : names) {
        const int f = schema.fields.FindField(name);
        if (f < 0) {
            throw DatasetError(
                QStringLiteral("Search indexes: unknown field \"%1\" in table \"%2\"")
                    .arg(name, table));
        }
        const FieldType type = schema.fields.Def(f).type;
        // Text is searched by prefix and contains; an integer named is searched by its text
        // (a search over several fields), one not named is left as it is.
        const bool integer = type == FieldType::Integer && !fields.isEmpty();
        if ((type != FieldType::Text && !integer) || !schema.indexable[static_cast<size_t>(f)]) {
            continue;
        }
        target.field = schema.fields.Def(f).name;
        target.read = schema.reads[static_cast<size_t>(f)];
        target.textForm = integer ? dialect->TextOf(target.read, sql::ValueKind::Int) : QString();
        // NULLs placed as the dataset orders them: a NOT NULL column is ordered plainly,
        // so that its ordinary indexes serve too.
        target.nullable = !schema.notNull.contains(target.field);
        target.inKey = schema.uniqueKey.contains(target.field);
        // The first field named is the search column, whose order a search over them all
        // walks. Every field's ordered indexes hold the others named: the walk reads the
        // search column's alone, and the records of another field's prefix are read with
        // the order's values and checked off that field's alone.
        target.searchedWith = fields.isEmpty() ? QStringList() : SearchedWith(schema, names, f);
        target.searchColumn = searchColumn == f && names.size() > 1;
        const bool ordersBuckets = bucketed && searchColumn != f;
        target.orderField = ordersBuckets ? schema.fields.Def(searchColumn).name : QString();
        target.orderRead =
            ordersBuckets ? schema.reads[static_cast<size_t>(searchColumn)] : QString();
        target.orderNullable =
            ordersBuckets && !schema.notNull.contains(schema.fields.Def(searchColumn).name);
        statements << dialect->StaleSearchIndexes(db, target, options)
                   << dialect->SearchIndexes(target, options);
    }
    statements << dialect->SearchIndexClosing(schema.relation);
    RunStatements(db, table, statements);
    return statements;
}

} // namespace host
