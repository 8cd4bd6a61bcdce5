#pragma once

#include <QString>
#include <string>
#include <touchsearch/dataset_error.h>

namespace host {
class Table;
}

namespace io_test {

// Writes the statements into the SQLite file at path, or fails the test.
void RunSql(const QString& path, const char* sql);

// The message of the DatasetError the call raises, or "" when it raises none.
template <typename Call> QString ErrorOf(Call call)
{
    try {
        call();
    } catch (const host::DatasetError& error) {
        return error.Message();
    }
    return {};
}

// "" when the two tables hold the same name, fields and values; else the first
// difference, readable.
std::string TableDifference(const host::Table& expected, const host::Table& actual);

} // namespace io_test
