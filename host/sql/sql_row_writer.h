#pragma once

#include "host/app/progress_reporter.h"
#include "host/storage/table.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>

namespace host::sql {

// Appends values read from a database straight to a table's columns, checking each the
// way the file loader does. Raises DatasetError "Cannot read SOURCE: REASON".
class SqlRowWriter {
public:
    SqlRowWriter(Table& table, QString source) : m_table(table), m_source(std::move(source)) {}

    // Adds a field, refusing names a filter could not write and names given twice.
    void AddField(FieldDef def);

    // Starts the next record (numbered from 1 in messages; a single row written without
    // it is named by no number, and reports no progress).
    void BeginRecord()
    {
        ++m_record;
        if (!m_progress) {
            m_progress =
                std::make_unique<ProgressReporter>(QStringLiteral("Copying %1").arg(m_source), -1);
        }
        m_progress->Advance(m_record);
    }
    void Null(int field) { m_table.Col(field).AppendNull(); }
    // A value in its text form (PostgreSQL's text output, SQLite's text).
    void Text(int field, std::string_view value);
    void Integer(int field, std::int64_t value);
    void Float(int field, double value);
    // A date the server wrote: a day (YYYY-MM-DD) of the years 1 to 9999, which a date
    // field holds; any other ("infinity", "0001-01-01 BC", "12345-01-01") is refused.
    void DayOrRefuse(int field, std::string_view value);
    // A binary field's value, by its length in bytes.
    void Bytes(int field, std::int64_t size);
    // Makes the appended values the table's records.
    void Finish() { m_table.AdoptAppendedColumns(); }

    [[noreturn]] void Fail(const QString& reason) const;

private:
    QString Where() const;

    Table& m_table;
    QString m_source;
    std::int64_t m_record = 0;
    std::unique_ptr<ProgressReporter> m_progress; // from the first record on
};

} // namespace host::sql
