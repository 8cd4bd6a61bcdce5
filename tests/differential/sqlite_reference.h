#pragma once

#include "tests/differential/random_table.h"

#include <QString>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace differential {

// The table's rows in an in-memory SQLite database, table "t" with the shape's field
// names and the record number as rowid. Types: text and date as TEXT ('YYYY-MM-DD'),
// integer and boolean (0/1) as INTEGER, float as REAL. LIKE is case-sensitive there, as
// in the filter language.
//
// The connection has unaccent(text) and unaccent(text, 'U' or 'L'): accent folding as
// FilterOption::IgnoreAccents defines it, written apart from the dataset's own (by
// Unicode's canonical decomposition, QString::normalized): a character whose
// decomposition is a basic Latin letter followed by marks becomes that letter, in its
// own case or, given 'U' or 'L', upper or lower case; everything else stays.
class SqliteReference {
public:
    explicit SqliteReference(const TableShape& table);
    ~SqliteReference();
    SqliteReference(const SqliteReference&) = delete;
    SqliteReference& operator=(const SqliteReference&) = delete;

    // The id field of the records WHERE where (empty: every record) selects, ORDER BY
    // orderBy (empty: record order). Raises std::runtime_error with SQLite's message
    // and the statement when SQLite refuses it.
    std::vector<qint64> SelectIds(const QString& where, const QString& orderBy) const;

    // Appends one row (the next record number).
    void Insert(const TableShape& table, const QVariantList& row);

    sqlite3* Handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    QString m_idColumn;
};

} // namespace differential
