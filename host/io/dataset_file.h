#pragma once

#include "host/storage/table.h"

#include <QString>

namespace host::io {

// Reads a file into a new table: CSV when the name ends in ".csv" (any case), else an
// SQLite database holding exactly one table. Raises DatasetError naming the file and
// the reason.
Table LoadTable(const QString& path);
Table LoadSqliteTable(const QString& path);
Table LoadCsvTable(const QString& path);

// Declared SQL type to field type and size ("VARCHAR(40)": text of 40 characters),
// following SQLite's own affinity rules where the name is not one of ours.
FieldDef DefFromDeclared(const QString& name, const QString& declared);

// Refuses a field name read from a file that a filter could not name without quotes
// (spaces, punctuation, a leading digit, a word such as AND), naming the file and the
// field's position (from 1).
void CheckFileFieldName(const QString& path, const QString& name, int position);

// Writes a table as an SQLite database with one table (named after the table it was
// loaded from, else "dados"). Written to a temporary file beside the target and renamed
// over it, so a failure leaves any existing file intact.
void SaveTable(const Table& table, const QString& path);

} // namespace host::io
