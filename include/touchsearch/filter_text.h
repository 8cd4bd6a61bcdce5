#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <touchsearch/export.h>
#include <touchsearch/filter_options.h>

// Writing filters (Dataset::SetFilter) from code.
namespace host {

// A field's name as a filter writes it: as it is when plain (a letter or "_", then
// letters, digits or "_", and not a word of the language such as AND or NULL), else in
// double quotes with a quote inside doubled: "NM CLIENTE", "O ""APELIDO""".
TOUCHSEARCH_HOST_EXPORT QString FieldNameInFilter(const QString& name);

// Where a search's pieces may match a value.
enum class MatchPlace {
    Start,      // at the start of the value: a prefix search
    WordStarts, // at the start of the value or right after a space: words in any order
    Anywhere,   // anywhere: a contains search
};

// A part of a text, in UTF-16 code units: [start, start + length).
struct TextSpan {
    qsizetype start = 0;
    qsizetype length = 0;
    // Spelled out: hosts may build with C++17.
    friend bool operator==(const TextSpan& a, const TextSpan& b)
    {
        return a.start == b.start && a.length == b.length;
    }
};

// The characters of value that the pieces of a search match, as a LIKE pattern would
// match them ("_" stands for any one character), for showing why a record is there:
// every place where some piece matches, ascending and merged where they touch. Case
// counts unless options say otherwise or upperValue is set (a search on UPPER(field),
// whose pieces are upper-cased already); accents are set aside under IgnoreAccents,
// as the filter does.
TOUCHSEARCH_HOST_EXPORT QList<TextSpan> SearchMatches(const QString& value,
                                                      const QStringList& pieces, MatchPlace place,
                                                      FilterOptions options, bool upperValue);

} // namespace host
