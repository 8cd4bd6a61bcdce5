#pragma once

#include <QString>
#include <QStringList>
#include <touchsearch/filter_options.h>

namespace bench {

// The search form's filters when it searches words in any order over the search column
// and further fields (a live dataset's terms: "F LIKE 'p'"), written here as the form
// writes them, for one typed text.
QString WordsFilter(const QString& searchColumn, const QStringList& fields, const QString& typed);
// The form's look-up of the exact value first: the typed text as a whole in any field.
QString ExactFilter(const QString& searchColumn, const QStringList& fields, const QString& typed);

// Keystroke latency of searches by words over a live table (SqlDataset, ordered by the
// search column, under the options): "MARIA SIL", "SILVA MA", a telephone number of the
// table typed, and a 13-digit burst as a scanner sends it; each keystroke the filter the
// form writes, its first screen read, then the exact value looked up (FirstRowWhere).
// Then 1, 4 and 16 tills typing such searches at once. Prints " key=value" figures.
void MeasureWordSearches(const QString& url, const QString& table, const QString& searchColumn,
                         const QStringList& fields, host::FilterOptions options);

// Adds FONE and CPF (digits, as text) to a table of generated customers that lacks them,
// computed from CODIGO, so the searches have numbers to find.
void EnsureNumberColumns(const QString& url, const QString& table);

} // namespace bench
