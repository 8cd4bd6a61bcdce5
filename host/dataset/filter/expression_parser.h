#pragma once

#include "host/dataset/filter/expression.h"

#include <QString>

namespace host {
class Table;
}

namespace host::filter {

// Deepest nesting of parentheses, NOT and signs a filter may use; deeper input is
// refused with an error instead of exhausting the stack.
constexpr int kMaxFilterDepth = 200;

// Parses a filter expression against a table's fields and returns the root condition.
// Raises DatasetError "Filter: <what> at position <n>" (n counts characters from 1).
NodePtr ParseFilter(const QString& text, const Table& table);

} // namespace host::filter
