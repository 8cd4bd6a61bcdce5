#pragma once

#include "host/filter/expression.h"
#include "host/storage/table.h"

#include <QString>
#include <cstdint>
#include <touchsearch/filter_options.h>
#include <vector>

namespace filter_test {

// Records of three fields: NOME (text: names that share beginnings, differ in case,
// hold accents; NULL in the first record and now and then), CODIGO (integer, NULL now
// and then) and CIDADE (text with accents and spaces around).
host::Table NamesTable(std::uint32_t records, unsigned seed);

// The parsed filter, which the test keeps alive.
host::filter::NodePtr Parse(const QString& filter, const host::Table& table,
                            host::FilterOptions options = {});

// The records for which the node is True, one at a time in record order.
std::vector<std::uint32_t> PlainMatches(const host::filter::Node& root, const host::Table& table);

} // namespace filter_test
