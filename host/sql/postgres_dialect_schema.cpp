// PostgreSQL's catalogue: where a table's name leads, its columns and their types, and
// its keys.
#include "host/sql/postgres_dialect.h"
#include "host/sql/table_name.h"
#include "host/sql/table_schema.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <touchsearch/dataset_error.h>

namespace host::sql {

namespace {

// The significant digits every double keeps (DBL_DIG).
constexpr int kDoubleDigits = 15;

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
            schema.AddField(def, quoted);
        } else {
            // CHAR(n) pads with spaces, yet compares, LIKEs and upper-cases as text
            // without them only in some operators: read as text (the padding gone,
            // as PostgreSQL's own cast drops it) it means one thing everywhere.
            schema.AddField(def, QStringLiteral("CAST(%1 AS text)").arg(quoted), true);
        }
    } else if (type == QLatin1String("smallint") || type == QLatin1String("integer") ||
               type == QLatin1String("bigint")) {
        def.type = FieldType::Integer;
        schema.AddField(def, quoted);
    } else if (type == QLatin1String("double precision")) {
        def.type = FieldType::Float;
        schema.AddField(def, quoted);
    } else if (type.startsWith(QLatin1String("numeric")) &&
               NumericPrecision(type) > kDoubleDigits) {
        // More digits than a double holds (numeric(30,10)): read as the server writes it,
        // text, so the value shown is the value stored and the one a filter compares.
        def.type = FieldType::Text;
        schema.AddField(def, QStringLiteral("CAST(%1 AS text)").arg(quoted));
    } else if (type == QLatin1String("real") || type.startsWith(QLatin1String("numeric"))) {
        def.type = FieldType::Float;
        schema.AddField(def, QStringLiteral("CAST(%1 AS double precision)").arg(quoted));
    } else if (type == QLatin1String("boolean")) {
        def.type = FieldType::Boolean;
        schema.AddField(def, quoted);
    } else if (type == QLatin1String("date")) {
        def.type = FieldType::Date;
        schema.AddField(def, quoted);
    } else if (type == QLatin1String("bytea")) {
        def.type = FieldType::Text; // bytes, read by their length: what the field shows
        def.binary = true;
        schema.AddField(def, QStringLiteral("octet_length(%1)").arg(quoted));
    } else {
        def.type = FieldType::Text;
        schema.AddField(def, QStringLiteral("CAST(%1 AS text)").arg(quoted));
    }
}

// The primary key and the unique constraints, each as its columns in order.
std::vector<QStringList> UniqueKeys(QSqlDatabase& db, const QString& table, const QString& relation,
                                    TableSchema& schema)
{
    QSqlQuery keys = CatalogueQuery(
        db, table,
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
    return candidates;
}

} // namespace

TableSchema PostgresDialect::ReadSchema(QSqlDatabase& db, const QString& table) const
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
    QSqlQuery found = CatalogueQuery(db, table, query, {relation});
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
        CatalogueQuery(db, table,
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
    schema.ChooseUniqueKey(UniqueKeys(db, table, relation, schema), notNull);
    schema.notNull = notNull;
    return schema;
}

} // namespace host::sql
