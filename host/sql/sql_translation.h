#pragma once

#include "host/sql/sql_dialect.h"

#include <vector>

namespace host {
class Table;
namespace filter {
class Node;
}
} // namespace host

namespace host::sql {

// The text a filter's tree was parsed from, and the options it was parsed with.
struct FilterSource {
    QString text;
    FilterOptions options;
};

// Translates a parsed filter into a condition for the server: one more walk over the
// tree the parser gave (parsed against the table's schema), so the server selects
// exactly the records ClientDataset selects. Every literal is a bound parameter;
// every identifier is one of the schema's fields, quoted. fieldSql, when given, holds
// the expression that reads each field (a column the filter language sees as text
// may need a cast); otherwise a field is its quoted name. With the source, a part
// nested deeper than the dialect's SQL may nest is decided by the dialect's
// PartCondition; without it every part is SQL.
SqlText TranslateFilter(const filter::Node& root, const Table& schema, const SqlDialect& dialect,
                        const std::vector<QString>& fieldSql = {}, const FilterSource& source = {});

// The smallest text greater than every text that starts with prefix (UTF-8, code-point
// order); empty when there is none.
std::string PrefixSuccessor(std::string prefix);

} // namespace host::sql
