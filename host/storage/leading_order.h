#pragma once

#include "host/storage/large_array.h"

#include <cstdint>
#include <string_view>
#include <utility>

namespace host {

class Column;

// The records of a text or integer column that are not NULL, ordered by the first 8 bytes
// of their text as a search reads it (folded; accents set aside with ignoreAccents; an
// integer's digits), records with equal bytes in record order: what a search for a value's
// prefix reads. Sorting by 8 bytes only is a radix sort of a few passes, linear; a prefix
// of up to 8 bytes is then a range of the order, a longer one a range whose records are
// checked for the rest.
LargeVector<std::uint32_t> LeadingBytesOrder(const Column& column, bool ignoreAccents);

// Whether that order sorts its keys packed into 32 bits: at most 16 distinct folded bytes,
// the zero that pads a short key among them, begin the values (an integer column's always
// do), and accents set aside do not fold bytes of the column into others.
bool LeadingBytesPacked(const Column& column, bool ignoreAccents);

// The range [first, last) of such an order whose first bytes are those of the folded
// prefix (all of them when it has up to 8 bytes, else its first 8).
std::pair<std::uint32_t, std::uint32_t> LeadingBytesRange(const Column& column,
                                                          const LargeVector<std::uint32_t>& order,
                                                          std::string_view foldedPrefix,
                                                          bool ignoreAccents);

// A record's text as such an order reads it (folded, an integer's digits), into scratch.
std::string_view LeadingBytesText(const Column& column, std::uint32_t rec, bool ignoreAccents,
                                  std::string& scratch);

} // namespace host
