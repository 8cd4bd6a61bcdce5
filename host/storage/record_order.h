#pragma once

#include "host/storage/table.h"

#include <cstdint>
#include <vector>

namespace host {

struct SortField {
    int field = 0;
    bool descending = false;
    bool caseInsensitive = false;
    // Text compares as a search reads it with accents set aside (Column::SearchText).
    bool ignoreAccents = false;
};

// Record numbers ordered by the given fields: stable (equal keys keep record order),
// NULLs first, text byte by byte (UTF-8, so code-point order), numbers numerically.
std::vector<std::uint32_t> SortRecords(const Table& table, const std::vector<SortField>& fields);

// Whether record a comes before record b in SortRecords' order for the same fields
// (equal keys: the lower record number first).
bool RecordLess(const Table& table, const std::vector<SortField>& fields, std::uint32_t a,
                std::uint32_t b);

// Puts a few records into SortRecords' order for the fields, as sorting them by RecordLess
// does; a first text field read with accents set aside is folded once per record rather
// than once per comparison.
void SortIntoOrder(const Table& table, const std::vector<SortField>& fields,
                   std::vector<std::uint32_t>& records);

} // namespace host
