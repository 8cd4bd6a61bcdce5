#include "host/sql/table_schema.h"

#include "host/io/dataset_file.h"
#include "host/sql/table_name.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <map>
#include <touchsearch/dataset_error.h>

namespace host::sql {

namespace {

// The significant digits every double keeps (DBL_DIG).
constexpr int kDoubleDigits = 15;

[[noreturn]] void SchemaError(const QSqlDatabase& db, const QString& table, const QString& what)
{
    throw DatasetError(
        QStringLiteral("Table \"%1\" in %2: %3").arg(table, DescribeDatabase(db), what));
}

QSqlQuery Run(QSqlDatabase& db, const QString& table, const QString& sql,
              const QVariantList& values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        SchemaError(
            db, table,
            QStringLiteral("the catalogue cannot be read (%1)").arg(query.lastError().text()));
    }
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        SchemaError(
            db, table,
            QStringLiteral("the catalogue cannot be read (%1)").arg(query.lastError().text()));
    }
    return query;
}

void AddField(TableSchema& schema, const FieldDef& def, const QString& read, bool indexable = false)
{
    schema.fields.AddField(def);
    schema.reads.push_back(read);
    schema.indexable.push_back(indexable || read == SqlDialect::QuoteIdentifier(def.name));
}

// Keys as lists of column names; the first whose columns are all NOT NULL is used.
void ChooseUniqueKey(TableSchema& schema, const std::vector<QStringList>& keys,
                     const QStringList& notNull)
{
    for (const QStringList& key : keys) {
        bool usable = !key.isEmpty();
        for (const QString& column : key) {
            usable = usable && notNull.contains(column);
        }
        if (usable) {
            schema.uniqueKey = key;
            return;
        }
    }
}

// A value SQLite keeps in a column of numeric affinity would be converted when it
// meets text (and a text operand turned into a number): fields the filter language
// sees as text or dates are read as text unless their column has text affinity.
QString SqliteRead(const FieldDef& def, const QString& declared)
{
    const QString quoted = SqlDialect::QuoteIdentifier(def.name);
    if (def.type != FieldType::Text && def.type != FieldType::Date) {
        return quoted;
    }
    const QString type = declared.toUpper();
    const bool textAffinity =
        !type.contains(QLatin1String("INT")) &&
        (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
         type.contains(QLatin1String("TEXT")));
    return textAffinity ? quoted : QStringLiteral("CAST(%1 AS TEXT)").arg(quoted);
}

TableSchema ReadSqlite(QSqlDatabase& db, const QString& table)
{
    TableSchema schema;
    schema.table = table;
    schema.relation = SqlDialect::QuoteIdentifier(table);
    QSqlQuery columns = Run(
        db, table,
        QStringLiteral("SELECT name, type, \"notnull\", pk FROM pragma_table_info(?) ORDER BY cid"),
        {table});
    std::map<int, QString> primary;
    QStringList notNull;
    while (columns.next()) {
        const QString name = columns.value(0).toString();
        const QString declared = columns.value(1).toString();
        const FieldDef def = io::DefFromDeclared(name, declared);
        // Bytes are read by their length alone: that is what the field shows.
        AddField(schema, def,
                 def.binary ? QStringLiteral("length(CAST(%1 AS BLOB))")
                                  .arg(SqlDialect::QuoteIdentifier(def.name))
                            : SqliteRead(def, declared));
        if (columns.value(2).toInt() != 0) {
            notNull << name;
        }
        if (const int pk = columns.value(3).toInt(); pk > 0) {
            primary[pk] = name;
        }
    }
    if (schema.fields.FieldCount() == 0) {
        SchemaError(db, table, QStringLiteral("no such table"));
    }
    QSqlQuery kind = Run(db, table,
                         QStringLiteral("SELECT type FROM sqlite_master WHERE name = ? "
                                        "COLLATE NOCASE AND type IN ('table', 'view')"),
                         {table});
    schema.view = kind.next() && kind.value(0).toString() == QLatin1String("view");
    schema.rowIdentity = !schema.view;
    for (const auto& [position, name] : primary) {
        schema.primaryKey << name;
    }
    // An INTEGER PRIMARY KEY is the rowid: never NULL whatever the declaration says.
    if (schema.primaryKey.size() == 1) {
        const int field = schema.fields.FindField(schema.primaryKey.front());
        if (field >= 0 && schema.fields.Def(field).type == FieldType::Integer) {
            notNull << schema.primaryKey.front();
        }
    }
    std::vector<QStringList> keys{schema.primaryKey};
    QSqlQuery indexes = Run(
        db, table,
        QStringLiteral("SELECT name FROM pragma_index_list(?) WHERE \"unique\" = 1 AND partial = 0 "
                       "ORDER BY name"),
        {table});
    QStringList names;
    while (indexes.next()) {
        names << indexes.value(0).toString();
    }
    for (const QString& index : names) {
        QSqlQuery parts =
            Run(db, table, QStringLiteral("SELECT name FROM pragma_index_info(?) ORDER BY seqno"),
                {index});
        QStringList key;
        bool plain = true;
        while (parts.next()) {
            if (parts.value(0).isNull()) {
                plain = false; // an expression, not a column
            }
            key << parts.value(0).toString();
        }
        if (plain) {
            keys.push_back(key);
        }
    }
    ChooseUniqueKey(schema, keys, notNull);
    schema.notNull = notNull;
    return schema;
}

// The precision declared in "numeric(p,s)" or "numeric(p)"; 0 when none is (a numeric
// of any size, read as a number as it always was).
int NumericPrecision(const QString& type)
{
    static const QRegularExpression declared(QStringLiteral("^numeric\\((\\d+)"));
    const QRegularExpressionMatch m = declared.match(type);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// PostgreSQL's type names to field types; a type the filter language does not know
// is read as text.
void AddPostgresField(TableSchema& schema, const QString& name, const QString& type)
{
    static const QRegularExpression sized(QStringLiteral("\\((\\d+)\\)"));
    const QString quoted = SqlDialect::QuoteIdentifier(name);
    FieldDef def;
    def.name = name;
    if (type.startsWith(QLatin1String("character")) || type == QLatin1String("text") ||
        type == QLatin1String("bpchar")) {
        def.type = FieldType::Text;
        const QRegularExpressionMatch m = sized.match(type);
        def.size = m.hasMatch() ? m.captured(1).toInt() : 0;
        if (type.startsWith(QLatin1String("character varying")) || type == QLatin1String("text")) {
            AddField(schema, def, quoted);
        } else {
            // CHAR(n) pads with spaces, yet compares, LIKEs and upper-cases as text
            // without them only in some operators: read as text (the padding gone,
            // as PostgreSQL's own cast drops it) it means one thing everywhere.
            AddField(schema, def, QStringLiteral("CAST(%1 AS text)").arg(quoted), true);
        }
    } else if (type == QLatin1String("smallint") || type == QLatin1String("integer") ||
               type == QLatin1String("bigint")) {
        def.type = FieldType::Integer;
        AddField(schema, def, quoted);
    } else if (type == QLatin1String("double precision")) {
        def.type = FieldType::Float;
        AddField(schema, def, quoted);
    } else if (type.startsWith(QLatin1String("numeric")) &&
               NumericPrecision(type) > kDoubleDigits) {
        // More digits than a double holds (numeric(30,10)): read as the server writes it,
        // text, so the value shown is the value stored and the one a filter compares.
        def.type = FieldType::Text;
        AddField(schema, def, QStringLiteral("CAST(%1 AS text)").arg(quoted));
    } else if (type == QLatin1String("real") || type.startsWith(QLatin1String("numeric"))) {
        def.type = FieldType::Float;
        AddField(schema, def, QStringLiteral("CAST(%1 AS double precision)").arg(quoted));
    } else if (type == QLatin1String("boolean")) {
        def.type = FieldType::Boolean;
        AddField(schema, def, quoted);
    } else if (type == QLatin1String("date")) {
        def.type = FieldType::Date;
        AddField(schema, def, quoted);
    } else if (type == QLatin1String("bytea")) {
        def.type = FieldType::Text; // bytes, read by their length: what the field shows
        def.binary = true;
        AddField(schema, def, QStringLiteral("octet_length(%1)").arg(quoted));
    } else {
        def.type = FieldType::Text;
        AddField(schema, def, QStringLiteral("CAST(%1 AS text)").arg(quoted));
    }
}

TableSchema ReadPostgres(QSqlDatabase& db, const QString& table)
{
    TableSchema schema;
    TableName name;
    try {
        name = TableName::Parse(table);
    } catch (const DatasetError& error) {
        SchemaError(db, table, error.Message());
    }
    schema.table = name.Written();
    schema.schema = name.schema;
    schema.relation = name.Sql();
    const QString relation = schema.relation;
    // Where the name leads, through the search path when no schema is named.
    QString query = QString::fromLatin1(kPostgresRelationQuery);
    query.replace(QLatin1String("$1"), QLatin1String("?"));
    QSqlQuery found = Run(db, table, query, {relation});
    if (!found.next()) {
        SchemaError(db, table, PostgresMissingRelation(name));
    }
    if (const QString problem =
            PostgresRelationProblem(found.value(0).toString(), found.value(1).toString());
        !problem.isEmpty()) {
        SchemaError(db, table, problem);
    }
    // Tables and materialised views keep their rows in one heap each: ctid tells them apart.
    schema.rowIdentity = found.value(1).toString() == QLatin1String("r") ||
                         found.value(1).toString() == QLatin1String("m");
    schema.view = found.value(1).toString() == QLatin1String("v");
    QSqlQuery columns =
        Run(db, table,
            QStringLiteral("SELECT a.attname, format_type(a.atttypid, a.atttypmod), "
                           "a.attnotnull FROM pg_attribute a "
                           "WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 "
                           "AND NOT a.attisdropped ORDER BY a.attnum"),
            {relation});
    QStringList notNull;
    while (columns.next()) {
        const QString name = columns.value(0).toString();
        AddPostgresField(schema, name, columns.value(1).toString());
        if (columns.value(2).toBool()) {
            notNull << name;
        }
    }
    if (schema.fields.FieldCount() == 0) {
        SchemaError(db, table, QStringLiteral("the table has no columns"));
    }
    QSqlQuery keys =
        Run(db, table,
            QStringLiteral("SELECT c.contype, c.conname, a.attname FROM pg_constraint c "
                           "CROSS JOIN LATERAL unnest(c.conkey) WITH ORDINALITY AS k(attnum, ord) "
                           "JOIN pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = k.attnum "
                           "WHERE c.conrelid = to_regclass(?) AND c.contype IN ('p', 'u') "
                           "ORDER BY c.contype, c.conname, k.ord"),
            {relation});
    std::vector<QStringList> candidates;
    QString current;
    while (keys.next()) {
        const QString constraint = keys.value(1).toString();
        if (constraint != current || candidates.empty()) {
            candidates.emplace_back();
            current = constraint;
            if (keys.value(0).toString() == QLatin1String("p")) {
                schema.primaryKey.clear();
            }
        }
        candidates.back() << keys.value(2).toString();
        if (keys.value(0).toString() == QLatin1String("p")) {
            schema.primaryKey = candidates.back();
        }
    }
    ChooseUniqueKey(schema, candidates, notNull);
    schema.notNull = notNull;
    return schema;
}

} // namespace

TableSchema ReadTableSchema(QSqlDatabase& db, const SqlDialect& dialect, const QString& table)
{
    if (table.trimmed().isEmpty()) {
        throw DatasetError(QStringLiteral("No table named for %1").arg(DescribeDatabase(db)));
    }
    return dialect.GetServer() == SqlDialect::Server::Sqlite ? ReadSqlite(db, table)
                                                             : ReadPostgres(db, table);
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

} // namespace host::sql
