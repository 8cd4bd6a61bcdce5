#pragma once

#include "host/sql/sql_dialect.h"

#include <QString>

struct sqlite3;

namespace host::sql {

// ts_filter_part(part, value, …): a part of a filter nested deeper than SQLite's parser
// takes, decided for one record by the evaluator ClientDataset uses. part (Describe)
// holds the part's text, the filter's options and the fields it reads; the values are
// those fields' stored values, in that order, read into a one-record table as the file
// loader reads them. Gives 1, 0, or NULL when the part is unknown for the record.
//
// Nothing outlives a statement: the function keeps no state of its own, and the part,
// parsed at its first call, is kept by SQLite with the statement (its auxiliary data
// for that argument) and dropped with it.
class SqliteRowFunction {
public:
    static constexpr const char* kName = "ts_filter_part";

    // The text bound as the part argument.
    static QString Describe(const FilterPart& part);
    static bool Register(sqlite3* db);
};

} // namespace host::sql
