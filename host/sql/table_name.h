#pragma once

#include <QString>

namespace host::sql {

// A table's name as a host or a person writes it for PostgreSQL: TABLE or SCHEMA.TABLE,
// each part as it is (its letter case kept) or in double quotes, a quote inside doubled,
// for a part that holds a dot or a quote, or begins or ends with a space
// ("Loja"."Clientes", loja."itens.2024").
struct TableName {
    QString schema; // empty: the table is found through the search path
    QString name;

    // The name read back from what was written; raises DatasetError saying what is
    // wrong with it (an unclosed quote, an empty part, more than two parts).
    static TableName Parse(const QString& written);

    // SQL naming the relation: each part quoted, the schema only when given.
    QString Sql() const;
    // As a person writes it: the parts joined by a dot, quoted only where needed.
    QString Written() const;
    // One part as Written() writes it.
    static QString WrittenPart(const QString& part);
};

// PostgreSQL: the schema and the kind (pg_class.relkind) of the relation the one
// parameter, a relation's SQL name, leads to; no row when there is none.
extern const char* const kPostgresRelationQuery;

// Why a relation found by kPostgresRelationQuery cannot be searched, or empty when it
// can: the system's catalogues (which the search path always holds) and relations that
// are no table or view (sequences, indexes, composite types).
QString PostgresRelationProblem(const QString& schema, const QString& kind);

// Why no relation was found: the schema named, or the search path's.
QString PostgresMissingRelation(const TableName& name);

} // namespace host::sql
