#include "host/sql/sql_row_writer.h"

#include "host/filter/expression_parser.h"
#include "host/text/text_form.h"

#include <QDate>
#include <charconv>
#include <cmath>
#include <touchsearch/dataset_error.h>

namespace host::sql {
namespace {

bool ParseInt(std::string_view text, std::int64_t& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool ParseDouble(std::string_view text, double& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// "YYYY-MM-DD", the ISO form both servers write dates in.
bool ParseDate(std::string_view text, std::int64_t& julianDay)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    std::int64_t year = 0;
    std::int64_t month = 0;
    std::int64_t day = 0;
    if (!ParseInt(text.substr(0, 4), year) || !ParseInt(text.substr(5, 2), month) ||
        !ParseInt(text.substr(8, 2), day))
        return false;
    const QDate date(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
    if (!date.isValid())
        return false;
    julianDay = date.toJulianDay();
    return true;
}

} // namespace

void SqlRowWriter::Fail(const QString& reason) const
{
    throw DatasetError(QStringLiteral("Cannot read %1: %2").arg(m_source, reason));
}

QString SqlRowWriter::Where() const
{
    return m_record > 0 ? QStringLiteral(" in record %1").arg(m_record) : QString();
}

void SqlRowWriter::AddField(FieldDef def)
{
    // A filter names any other field in double quotes ("NM CLIENTE").
    if (const QString problem = filter::FieldNameProblem(def.name); !problem.isEmpty()) {
        Fail(QStringLiteral("field %1 is named \"%2\"; %3")
                 .arg(m_table.FieldCount() + 1)
                 .arg(def.name, problem));
    }
    if (m_table.FindField(def.name) >= 0)
        Fail(QStringLiteral("field \"%1\" appears twice").arg(def.name));
    m_table.AddField(def);
}

void SqlRowWriter::Integer(int field, std::int64_t value)
{
    const FieldDef& def = m_table.Def(field);
    if (def.type == FieldType::Integer ||
        (def.type == FieldType::Boolean && (value == 0 || value == 1))) {
        m_table.Col(field).AppendInt(value);
    } else if (def.type == FieldType::Float) {
        m_table.Col(field).AppendFloat(static_cast<double>(value));
    } else {
        char buffer[kTextFormBuffer];
        Text(field, IntegerText(value, buffer));
    }
}

void SqlRowWriter::Float(int field, double value)
{
    const FieldDef& def = m_table.Def(field);
    if (def.type == FieldType::Float && std::isfinite(value)) {
        m_table.Col(field).AppendFloat(value);
    } else {
        char buffer[kTextFormBuffer];
        Text(field, FloatText(value, buffer));
    }
}

void SqlRowWriter::DayOrRefuse(int field, std::string_view value)
{
    std::int64_t day = 0;
    if (!ParseDate(value, day)) {
        // Worded as any other value that is not a date: "0001-01-01 BC" begins with one.
        Fail(QStringLiteral("Field \"%1\"%2: \"%3\" is not a date (YYYY-MM-DD)")
                 .arg(m_table.Def(field).name, Where(),
                      QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()))));
    }
    m_table.Col(field).AppendInt(day);
}

void SqlRowWriter::Bytes(int field, std::int64_t size)
{
    m_table.Col(field).AppendText(BinaryText(size));
}

void SqlRowWriter::Text(int field, std::string_view value)
{
    const FieldDef& def = m_table.Def(field);
    Column& column = m_table.Col(field);
    switch (def.type) {
    case FieldType::Text:
        if (value.find('\0') != std::string_view::npos)
            Fail(QStringLiteral("field \"%1\"%2 holds a NUL byte").arg(def.name, Where()));
        if (!IsValidUtf8(value))
            Fail(QStringLiteral("field \"%1\"%2 is not UTF-8 text").arg(def.name, Where()));
        if (def.size > 0 && Utf8Length(value) > def.size)
            Fail(QStringLiteral("field \"%1\"%2 is longer than %3 characters")
                     .arg(def.name, Where())
                     .arg(def.size));
        column.AppendText(value);
        return;
    case FieldType::Integer: {
        std::int64_t i = 0;
        if (ParseInt(value, i)) {
            column.AppendInt(i);
            return;
        }
        break;
    }
    case FieldType::Float: {
        double d = 0;
        if (ParseDouble(value, d)) {
            column.AppendFloat(d);
            return;
        }
        break;
    }
    case FieldType::Boolean:
        if (value == "t" || value == "1") {
            column.AppendInt(1);
            return;
        }
        if (value == "f" || value == "0") {
            column.AppendInt(0);
            return;
        }
        break;
    case FieldType::Date: {
        std::int64_t day = 0;
        if (ParseDate(value, day)) {
            column.AppendInt(day);
            return;
        }
        break;
    }
    }
    // Forms the quick parse does not take ("  12 ", "true", a date with a time) go the
    // general way, which also words the refusal.
    if (!IsValidUtf8(value) || value.find('\0') != std::string_view::npos)
        Fail(QStringLiteral("field \"%1\"%2 is not UTF-8 text").arg(def.name, Where()));
    CellValue cell;
    try {
        cell = ConvertCell(
            def, QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())), Where());
    } catch (const DatasetError& error) {
        Fail(error.Message());
    }
    if (def.type == FieldType::Float)
        column.AppendFloat(cell.d);
    else
        column.AppendInt(cell.i);
}

} // namespace host::sql
