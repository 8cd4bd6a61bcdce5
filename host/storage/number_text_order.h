#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace host {

class Column;

// The records of an integer column that are not NULL, ordered by the text of their value
// ("-1" < "-10" < "-2" < "0" < "1" < "10" < "2", as bytes compare): what a LIKE on the
// value's text reads, as the folded order of a text column is. Equal values keep
// record order.
std::vector<std::uint32_t> IntegerTextOrder(const Column& column);

// The range [first, last) of such an order whose text begins with prefix.
std::pair<std::uint32_t, std::uint32_t> IntegerTextRange(const Column& column,
                                                         const std::vector<std::uint32_t>& order,
                                                         std::string_view prefix);

} // namespace host
