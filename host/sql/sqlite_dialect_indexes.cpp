// SQLite's search indexes: ordered ones on the text and on its upper-cased form, which
// serve prefix searches and the dataset's orders alike.
#include "host/sql/search_index_target.h"
#include "host/sql/sqlite_dialect.h"
#include "host/sql/table_schema.h"

namespace host::sql {

QStringList SqliteDialect::SearchIndexSetup() const
{
    return {QStringLiteral("PRAGMA query_only = 0")};
}

bool SqliteDialect::KeyEndsEveryIndex(const TableSchema& schema) const
{
    // An INTEGER PRIMARY KEY is the rowid, which ends every index already.
    return schema.uniqueKey.size() == 1 && schema.primaryKey == schema.uniqueKey &&
           schema.fields.Def(schema.fields.FindField(schema.uniqueKey.front())).type ==
               FieldType::Integer;
}

QStringList SqliteDialect::SearchIndexes(const SearchIndexTarget& target, FilterOptions) const
{
    // A column that may hold NULL needs no NULLS FIRST: SQLite sorts NULLs first anyway.
    // No index on the accent fold: another program opening the file without this
    // program's function could not use the table.
    if (!target.textForm.isEmpty()) {
        // An integer searched by its text: ordered, for a prefix.
        return {
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                .arg(target.IndexName("text_form"), target.relation, Collated(target.textForm))};
    }
    const QString key = target.inKey ? QString() : target.keySuffix;
    return {
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3)%4)")
            .arg(target.IndexName("upper"), target.relation, Upper(target.read), target.keySuffix),
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3 COLLATE BINARY%4)")
            .arg(target.IndexName("text"), target.relation, target.read, key)};
}

QString SqliteDialect::SearchIndexClosing(const QString&) const
{
    return QStringLiteral("ANALYZE");
}

} // namespace host::sql
