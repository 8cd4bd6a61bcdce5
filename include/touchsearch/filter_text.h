#pragma once

#include <QString>
#include <touchsearch/export.h>

// Writing filters (Dataset::SetFilter) from code.
namespace host {

// A field's name as a filter writes it: as it is when plain (a letter or "_", then
// letters, digits or "_", and not a word of the language such as AND or NULL), else in
// double quotes with a quote inside doubled: "NM CLIENTE", "O ""APELIDO""".
TOUCHSEARCH_HOST_EXPORT QString FieldNameInFilter(const QString& name);

} // namespace host
