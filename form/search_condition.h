#pragma once

#include <QString>
#include <QStringList>

namespace pesquisa {

// The search condition when the host set search options. `text` is the search text
// upper-cased (ASCII); `fields` the search column first, then the other searched
// fields. A client dataset's terms read UPPER(F) LIKE 'p', any other dataset's
// F LIKE 'p'. Without words: one bracketed alternative per field, the text as the
// prefix (or anywhere, after a leading "%"). With words: one bracketed group per word,
// in the order typed, joined by AND; in each, the word begins the field or a word of
// it (or, after a leading "%", stands anywhere). Empty when no word is left.
QString SearchCondition(const QString& text, const QStringList& fields, bool upperTerms,
                        bool words);

// Texts of each kind a cashier's first keys make, whose statements a live search has
// the server plan as the dialog opens: a letter, a word long enough to be looked up
// among the words apart, such a word and the start of another, a digit (a code, a
// phone), and three letters and three digits, which another field's prefix buckets
// serve; and a whole phone number, which few records meet, so that the keys that narrow
// a view read whole are planned too (SqlDataset::PlanAhead). Each is run: one that many
// records meet ends among the first rows of the order, and one that begins no word ends
// at the first entry of each index.
QStringList TextsAhead();

// The value the exact-first search looks for: the text without a leading "%",
// upper-cased (ASCII).
QString ExactValue(const QString& text);

// The condition a record equal to the value meets in one of the fields:
// (t(F0,'X') OR t(F1,'X') ...), LIKE without wildcards of its own.
QString ExactCondition(const QString& value, const QStringList& fields, bool upperTerms);

} // namespace pesquisa
