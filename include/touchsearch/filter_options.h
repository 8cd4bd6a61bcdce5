#pragma once

#include <QFlags>

namespace host {

enum class FilterOption {
    // Text comparisons and LIKE ignore ASCII case: both sides are upper-cased (ASCII)
    // before they meet, so a prefix search can still use an upper-cased order or index.
    CaseInsensitive = 0x1,
    // Every text value in a filter, field values and literals alike, is read with its
    // accents set aside before anything else applies to it: a letter whose Unicode
    // decomposition is a basic Latin letter and combining marks becomes that letter
    // in its own case ("ã" to "a", "Ã" to "A"), every other character stays ("ß",
    // "Ø"), and "João" compares as "Joao". A literal that meets UPPER(x) or LOWER(x)
    // has the letters the fold produced in that function's case ("%GONç%" against
    // UPPER(x) is "%GONC%"). Index orders of a ClientDataset compare the folded text;
    // values shown and handed back stay as stored.
    IgnoreAccents = 0x2,
};
using FilterOptions = QFlags<FilterOption>;

} // namespace host
