#pragma once

#include "tests/differential/random_table.h"

#include <QString>

namespace differential {

// A filter in the dataset's language and an SQLite WHERE condition with the same
// meaning on the same rows. The SQL spells out what the filter language does
// implicitly: a number or boolean met by text becomes its text form ("10", "1.5",
// "True"), division is real, every subexpression is bracketed.
struct FilterPair {
    QString filter;
    QString sql;
};

// A random condition over the table's fields from the whole grammar: comparisons,
// LIKE / NOT LIKE, IN / NOT IN, IS [NOT] NULL, AND, OR, NOT, + - * / and unary minus,
// UPPER, LOWER, TRIM, literals of every type, NULL, boolean fields as conditions. Only
// cases where both languages agree are generated (see the README's fuzzing section).
//
// With ignoreAccents the SQL is for a dataset under FilterOption::IgnoreAccents: every
// text field and string literal goes through the reference's own accent fold
// (SqliteReference: unaccent(x), or unaccent(x, 'U' / 'L') for a literal that meets
// UPPER or LOWER), spelt out as the option means it.
FilterPair RandomCondition(const TableShape& table, Entropy& entropy, int depth = 3,
                           bool ignoreAccents = false);

// A condition with one place kept for a search term: Fill puts a term there. The
// template is the term alone, "base AND term" as the search form writes it, or a term
// anywhere under AND, OR and NOT.
struct FilterTemplate {
    FilterPair pair; // holds kHole where the term goes
    static constexpr QChar kHole = QChar(0x0001);
    FilterPair Fill(const FilterPair& term) const;
};
FilterTemplate RandomTemplate(const TableShape& table, Entropy& entropy,
                              bool ignoreAccents = false);

// The search form's term: "UPPER(F) LIKE 'pattern'" (or "F LIKE 'pattern'" when
// upper is false) with the pattern's quotes doubled.
FilterPair SearchTerm(const TableShape& table, int field, const QString& pattern, bool upper,
                      bool ignoreAccents = false);

} // namespace differential
