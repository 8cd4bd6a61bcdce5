// SQLite's catalogue: a table's columns and keys from its pragmas, and the values its
// columns hold against their declared types.
#include "host/io/dataset_file.h"
#include "host/sql/sqlite_dialect.h"
#include "host/sql/table_schema.h"

#include <QSqlQuery>
#include <map>

namespace host::sql {

namespace {

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

// The unique indexes on plain columns (not expressions), each as its columns.
std::vector<QStringList> UniqueIndexes(QSqlDatabase& db, const QString& table)
{
    QSqlQuery indexes = CatalogueQuery(
        db, table,
        QStringLiteral("SELECT name FROM pragma_index_list(?) WHERE \"unique\" = 1 AND partial = 0 "
                       "ORDER BY name"),
        {table});
    QStringList names;
    while (indexes.next()) {
        names << indexes.value(0).toString();
    }
    std::vector<QStringList> keys;
    for (const QString& index : names) {
        QSqlQuery parts = CatalogueQuery(
            db, table, QStringLiteral("SELECT name FROM pragma_index_info(?) ORDER BY seqno"),
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
    return keys;
}

} // namespace

TableSchema SqliteDialect::ReadSchema(QSqlDatabase& db, const QString& table) const
{
    TableSchema schema;
    schema.table = table;
    schema.relation = QuoteIdentifier(table);
    QSqlQuery columns = CatalogueQuery(
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
        schema.AddField(
            def, def.binary
                     ? QStringLiteral("length(CAST(%1 AS BLOB))").arg(QuoteIdentifier(def.name))
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
    QSqlQuery kind = CatalogueQuery(db, table,
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
    for (QStringList& key : UniqueIndexes(db, table)) {
        keys.push_back(std::move(key));
    }
    schema.ChooseUniqueKey(keys, notNull);
    schema.notNull = notNull;
    return schema;
}

std::vector<SqlText> SqliteDialect::StrayValueQueries(const Table& fields,
                                                      const QString& quotedTable,
                                                      std::vector<int>& checked) const
{
    QStringList conditions;
    QStringList fieldCases;
    QStringList valueCases;
    for (int f = 0; f < fields.FieldCount(); ++f) {
        const FieldDef& def = fields.Def(f);
        const QString q = QuoteIdentifier(def.name);
        QString bad;
        switch (def.type) {
        case FieldType::Text:
            continue;
        case FieldType::Integer:
            bad = QStringLiteral("typeof(%1) NOT IN ('integer', 'null')").arg(q);
            break;
        case FieldType::Float:
            bad = QStringLiteral("typeof(%1) NOT IN ('integer', 'real', 'null')").arg(q);
            break;
        case FieldType::Boolean:
            bad = QStringLiteral("(%1 IS NOT NULL AND (typeof(%1) <> 'integer' OR %1 NOT IN "
                                 "(0, 1)))")
                      .arg(q);
            break;
        case FieldType::Date:
            bad =
                QStringLiteral("(%1 IS NOT NULL AND (typeof(%1) <> 'text' OR %1 IS NOT date(%1)))")
                    .arg(q);
            break;
        }
        fieldCases << QStringLiteral("WHEN %1 THEN %2").arg(bad).arg(checked.size());
        valueCases << QStringLiteral("WHEN %1 THEN %2").arg(bad, q);
        conditions << bad;
        checked.push_back(f);
    }
    if (checked.empty()) {
        return {};
    }
    // The record counted in the table's order, as the file loader and the copy count it;
    // a table WITHOUT ROWID has no such order to count in.
    const auto statement = [&](bool rowid) {
        SqlText text;
        text.sql =
            QStringLiteral("SELECT ts_bad.ts_f, ts_bad.ts_v, %1 FROM (SELECT %2CASE %3 END "
                           "AS ts_f, CASE %4 END AS ts_v FROM %5 WHERE %6%7 LIMIT 1) AS ts_bad")
                .arg(rowid ? QStringLiteral("(SELECT count(*) FROM %1 WHERE _rowid_ <= "
                                            "ts_bad.ts_id)")
                                 .arg(quotedTable)
                           : QStringLiteral("NULL"),
                     rowid ? QStringLiteral("_rowid_ AS ts_id, ") : QString(),
                     fieldCases.join(u' '), valueCases.join(u' '), quotedTable,
                     conditions.join(QStringLiteral(" OR ")),
                     rowid ? QStringLiteral(" ORDER BY _rowid_") : QString());
        return text;
    };
    return {statement(true), statement(false)};
}

} // namespace host::sql
