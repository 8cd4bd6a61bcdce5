#pragma once

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace host::io {

// Owners of SQLite's handles: the connection closed, the statement finalised, when
// they go.
struct SqliteCloser {
    void operator()(sqlite3* db) const;
    void operator()(sqlite3_stmt* statement) const;
};

using SqliteConnection = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteCloser>;

} // namespace host::io
