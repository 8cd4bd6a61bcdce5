#pragma once

#include <QString>
#include <vector>

class QRandomGenerator;

namespace host {
class SqlDataset;
}

namespace bench {

// A simulated till's search over the customers: the name prefixes a cashier types and
// one keystroke as the search form makes it (the filter it writes, then the first
// screen of rows read), without the widgets, so that many run at once on threads.

// The start of a name a till types, chosen by the till's seeded generator.
QString TillName(QRandomGenerator& random);

// The filter the form writes for the text typed so far.
QString TillFilter(const QString& typed);

// One keystroke: the filter set and the first screen read; its time in ms.
double FilterKeystroke(host::SqlDataset& dataset, const QString& filter);
// The same for the filter the form writes for the text typed.
double TillKeystroke(host::SqlDataset& dataset, const QString& typed);

} // namespace bench
