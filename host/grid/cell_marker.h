#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <touchsearch/filter_text.h>

namespace host::grid {

// The parts of a cell's text to mark, given the cell's field name and text; empty
// for none.
using CellMarker = std::function<QList<TextSpan>(const QString& fieldName, const QString& text)>;

} // namespace host::grid
