#pragma once

#include "tests/differential/random_expression.h"
#include "tests/differential/random_index.h"
#include "tests/differential/random_table.h"
#include "tests/differential/sqlite_reference.h"

#include <QStringList>
#include <memory>

namespace differential {

// One table held three ways: a client dataset with its fast paths (index ranges,
// narrowing from the previous view, column scans), one evaluating every record plainly
// (SetFastPaths(false)), and SQLite. Every step applies the same change to all three
// and compares the records selected and their order; the fast dataset keeps its state
// from step to step, as the search form's dataset does while the user types.
class FilterCheck {
public:
    // ignoreAccents: both datasets under FilterOption::IgnoreAccents (the filters' SQL
    // then spells the fold out, see RandomCondition).
    explicit FilterCheck(TableShape table, bool ignoreAccents = false);
    ~FilterCheck();

    const TableShape& Table() const { return m_table; }

    // Orders both datasets by the index and compares the unfiltered or filtered view.
    QString SetIndex(const IndexShape& index);
    // Applies the filter (an empty filter text: none) and compares. Returns "" when the
    // three agree, otherwise a report: table, index, every step so far, the three id
    // lists.
    QString Apply(const FilterPair& filter);
    // Appends a record (its id the next record number) to all three and compares.
    QString Append(const QVariantList& row);
    // Switches the filter off and on again (the view comes back from the last result).
    QString Refilter();

private:
    QString Compare(const QString& step);

    TableShape m_table;
    bool m_ignoreAccents;
    std::unique_ptr<host::ClientDataset> m_fast;
    std::unique_ptr<host::ClientDataset> m_plain;
    SqliteReference m_sqlite;
    IndexShape m_index;
    FilterPair m_filter;
    QStringList m_steps;
};

// One random case from the decisions: a random table and index, accents set aside or
// not, a few random conditions, then a search typed into one field (prefix 'J', 'JO', ... or
// contains
// '%J', '%JO', ...) inside a random filter, forward and back, with the index changed
// the filter switched off and on and records appended now and then. "" when everything agreed,
// otherwise the first divergence's report.
QString CheckRandomCase(Entropy& entropy);

} // namespace differential
