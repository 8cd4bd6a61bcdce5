#pragma once

#include <QFlags>

namespace host {

enum class FilterOption {
    // Text comparisons and LIKE ignore ASCII case: both sides are upper-cased (ASCII)
    // before they meet, so a prefix search can still use an upper-cased order or index.
    CaseInsensitive = 0x1,
};
using FilterOptions = QFlags<FilterOption>;

} // namespace host
