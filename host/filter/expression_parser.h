#pragma once

#include "host/filter/expression.h"

#include <QString>
#include <touchsearch/filter_options.h>

namespace host {
class Table;
}

namespace host::filter {

// Deepest nesting of parentheses, NOT, signs and chained arithmetic a filter may use;
// deeper input is refused with an error instead of exhausting the stack.
constexpr int kMaxFilterDepth = 200;

// Parses a filter expression against a table's fields and returns the root condition.
// Raises DatasetError "Filter: <what> at position <n>" (n counts characters from 1).
// With FilterOption::CaseInsensitive both sides of every text comparison, LIKE and IN
// are upper-cased (ASCII) in the tree itself, so every evaluator gives them one meaning.
// With FilterOption::IgnoreAccents text fields read their accent-folded text and string
// literals are folded in the tree (in the letter case of an UPPER or LOWER they meet).
NodePtr ParseFilter(const QString& text, const Table& table, FilterOptions options = {});

// True when a filter can name the field without quotes: a letter or "_", then letters,
// digits or "_", and not a word of the language (AND, OR, NOT, LIKE, IN, IS, NULL,
// TRUE, FALSE). Any other name is written in double quotes, a quote inside doubled:
// "NM CLIENTE", "1CODIGO", "AND", "O ""APELIDO""" ([NM CLIENTE] is read too).
bool IsPlainFieldName(const QString& name);

// The name as a filter writes it: as it is when plain, else quoted (host::FieldNameInFilter).
QString FieldNameInFilter(const QString& name);

// Why a dataset's field cannot have this name, or empty when it can: a filter reaches
// any name quoted, but an index's field list is split at ";" and its names trimmed,
// and a name must be there to be written at all. Control characters are refused too:
// such a name could not be shown or typed.
QString FieldNameProblem(const QString& name);

} // namespace host::filter
