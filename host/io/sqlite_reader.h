#pragma once

#include "host/io/sqlite_handles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string_view>

namespace host::io {

// What SQLite holds in one place of a row: its storage class, whatever the column's
// declared type says.
enum class SqliteValue { Null, Integer, Float, Text, Blob };

// Reads one statement over an SQLite database, row by row, for the file loader and the
// SQL provider alike: each checks and converts the values its own way and words its own
// refusals, with ErrorString() as SQLite's reason.
class SqliteReader {
public:
    // Opens the file read-only; false with the reason in ErrorString().
    bool Open(const QString& path);
    // Makes the connection itself refuse any change, a temporary table too.
    bool ForbidChanges();

    // Prepares the first statement of sql; false with SQLite's reason.
    bool Prepare(const QString& sql);
    // After Prepare: whether sql held a statement, text after it other than ";", and
    // whether the statement only reads.
    bool HasStatement() const { return m_statement != nullptr; }
    bool HasMoreStatements() const;
    bool IsReadOnly() const;

    int ColumnCount() const;
    QString ColumnName(int column) const;
    // The column's declared type; empty for an expression.
    QString DeclaredType(int column) const;

    // Steps to the next row: false at the end, or on a failure (Failed()).
    bool Next();
    bool Failed() const { return m_failed; }
    const QString& ErrorString() const { return m_error; }

    // The current row's values.
    SqliteValue Type(int column) const;
    std::int64_t Integer(int column) const;
    double Float(int column) const;
    // Text as stored, or SQLite's text form of the value; NUL-terminated in memory.
    std::string_view Text(int column) const;
    // The value's size in bytes (a BLOB's length).
    std::int64_t Bytes(int column) const;

    // The first column of every row a query gives; false on a failure.
    bool ReadStrings(const QString& sql, QStringList& out);

private:
    bool Fail();

    SqliteConnection m_db;
    SqliteStatement m_statement;
    QByteArray m_rest; // the text after the prepared statement
    QString m_error;
    bool m_failed = false;
};

} // namespace host::io
