#include "host/sql/table_schema.h"

#include <QSqlError>
#include <touchsearch/dataset_error.h>

namespace host::sql {

QString SchemaQualifier(const TableSchema& schema)
{
    return schema.schema.isEmpty() ? QString() : SqlDialect::QuoteIdentifier(schema.schema) + u'.';
}

void SchemaError(const QSqlDatabase& db, const QString& table, const QString& what)
{
    throw DatasetError(
        QStringLiteral("Table \"%1\" in %2: %3").arg(table, DescribeDatabase(db), what));
}

QSqlQuery CatalogueQuery(QSqlDatabase& db, const QString& table, const QString& sql,
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

void TableSchema::AddField(const FieldDef& def, const QString& read, bool indexableRead)
{
    fields.AddField(def);
    reads.push_back(read);
    indexable.push_back(indexableRead || read == SqlDialect::QuoteIdentifier(def.name));
}

void TableSchema::ChooseUniqueKey(const std::vector<QStringList>& keys,
                                  const QStringList& notNullColumns)
{
    for (const QStringList& key : keys) {
        bool usable = !key.isEmpty();
        for (const QString& column : key) {
            usable = usable && notNullColumns.contains(column);
        }
        if (usable) {
            uniqueKey = key;
            return;
        }
    }
}

TableSchema ReadTableSchema(QSqlDatabase& db, const SqlDialect& dialect, const QString& table)
{
    if (table.trimmed().isEmpty()) {
        throw DatasetError(QStringLiteral("No table named for %1").arg(DescribeDatabase(db)));
    }
    return dialect.ReadSchema(db, table);
}

} // namespace host::sql
