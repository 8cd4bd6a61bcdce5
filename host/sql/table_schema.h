#pragma once

#include "host/sql/sql_dialect.h"
#include "host/storage/table.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <vector>

namespace host::sql {

// What the server says about one table: its fields (as a Table with no records, for
// the filter parser), how to read each, and a key that tells its records apart.
struct TableSchema {
    // The name as written (PostgreSQL: TABLE or SCHEMA.TABLE, see table_name.h), the
    // same spelt alike whichever way it was quoted; names the search indexes.
    QString table;
    QString relation; // SQL that names the table, schema-qualified when a schema was named
    QString schema;   // the schema named, empty when the search path found the table
    Table fields;     // field definitions only
    std::vector<QString> reads; // SQL that reads each field (its quoted name, or a cast)
    // Whether an index may be built on a field's read: the column itself, or a cast of
    // it the server computes the same way every time (CHAR(n) as text).
    std::vector<bool> indexable;
    QStringList primaryKey; // the table's primary key, empty when none
    QStringList notNull;    // columns that can hold no NULL
    // A unique key of NOT NULL columns (the primary key first), or empty: the dialect's
    // row identity then tells records apart, where there is one.
    QStringList uniqueKey;
    // Whether the dialect's row identity (ctid, rowid) tells the records apart: a table's
    // does; a view has none (SQLite gives NULL), and on PostgreSQL a partitioned table's
    // ctid is unique only within each partition, a foreign table's not at all.
    bool rowIdentity = true;
    bool view = false; // a view: it holds no rows of its own, nor indexes

    // Adds a field read by read; indexableRead: an index may be built on the read though
    // it is no plain column (it always may on the column itself).
    void AddField(const FieldDef& def, const QString& read, bool indexableRead = false);
    // The first of the keys (each its columns' names) whose columns are all NOT NULL
    // becomes the unique key.
    void ChooseUniqueKey(const std::vector<QStringList>& keys, const QStringList& notNullColumns);
};

// The table's schema as SQL names what is in it ("SCHEMA."), empty when the search path
// found the table.
QString SchemaQualifier(const TableSchema& schema);

// Reads a table's columns and keys; raises naming the table and the database when
// the table does not exist or the catalogue cannot be read.
TableSchema ReadTableSchema(QSqlDatabase& db, const SqlDialect& dialect, const QString& table);

// For the dialects' catalogue readers: raises "Table "TABLE" in DATABASE: WHAT".
[[noreturn]] void SchemaError(const QSqlDatabase& db, const QString& table, const QString& what);
// A catalogue query run with its values, forward only; raises through SchemaError when
// the catalogue cannot be read.
QSqlQuery CatalogueQuery(QSqlDatabase& db, const QString& table, const QString& sql,
                         const QVariantList& values);

} // namespace host::sql
