#pragma once

#include "tests/differential/random_table.h"

namespace differential {

// An index over one or more fields with its options, as a client dataset defines it,
// and the SQLite ORDER BY that orders the same way: NULLs first in either direction,
// text byte by byte (after ASCII upper-casing when case-insensitive, and after the
// reference's accent fold when the dataset sets accents aside), numbers numerically,
// dates by day, ties by record number.
struct IndexShape {
    std::vector<int> fields; // empty: record order
    bool descending = false;
    bool caseInsensitive = false;

    // "A;B" as an index definition names the fields.
    QString FieldList(const TableShape& table) const;
    QString SqliteOrderBy(const TableShape& table, bool ignoreAccents = false) const;
    QString Describe(const TableShape& table) const;
};

IndexShape RandomIndex(const TableShape& table, Entropy& entropy);

// Defines the index on the dataset under a fresh name and orders the view by it (an
// empty shape goes back to record order).
void ApplyIndex(host::ClientDataset& dataset, const TableShape& table, const IndexShape& index);

} // namespace differential
