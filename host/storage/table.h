#pragma once

#include "host/storage/column.h"

#include <QString>
#include <QVariantList>
#include <cstdint>
#include <touchsearch/field_type.h>
#include <vector>

namespace host {

struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    int size = 0; // text: declared characters, 0 = as long as the longest value
    // Bytes, not text (an SQLite BLOB, a PostgreSQL bytea): a text field whose value is
    // what it is, "(binary, 2,048 bytes)" (BinaryText), and which no filter may name.
    bool binary = false;
};

// The records of a client dataset: field definitions and one column per field.
// Loading builds a Table aside and the dataset swaps it in only when it is complete.
class Table {
public:
    void AddField(const FieldDef& def);
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    const FieldDef& Def(int field) const { return m_fields[static_cast<size_t>(field)]; }
    const Column& Col(int field) const { return m_columns[static_cast<size_t>(field)]; }
    Column& Col(int field) { return m_columns[static_cast<size_t>(field)]; }
    std::uint32_t RecordCount() const { return m_count; }
    int FindField(const QString& name) const; // case-insensitive, -1 when unknown

    // Appends one record; values are converted to the field types. Raises naming the
    // field and the record when a value does not fit, and leaves the table unchanged.
    void AppendRecord(const QVariantList& values);
    // Size a field reports: text, its declared size (or its longest value when
    // declared 0); other types, the width of their longest text form.
    int ReportedSize(int field) const;

    QString tableName; // name of the table it was loaded from, if any

    void Reserve(std::uint32_t records);
    void ShrinkToFit();
    // After values were appended straight to the columns (bulk loading): takes their
    // common length as the record count.
    void AdoptAppendedColumns();
    // Drops every record, keeping the fields (and where their columns are).
    void ClearRecords();

private:
    std::vector<FieldDef> m_fields;
    std::vector<Column> m_columns;
    std::uint32_t m_count = 0;
};

// Converts one value to a field's type; what the value is written as in the column.
struct CellValue {
    bool null = true;
    std::int64_t i = 0;
    double d = 0;
    QByteArray text;
};
CellValue ConvertCell(const FieldDef& def, const QVariant& value, const QString& where);

} // namespace host
