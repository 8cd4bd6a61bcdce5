#include "host/dataset/column.h"

#include "host/dataset/dataset_error.h"
#include "host/dataset/text_form.h"

#include <QDate>
#include <limits>

namespace host {

void Column::EnsureFolded() const
{
    // Records are only ever appended, so the copy is extended rather than rebuilt.
    if (m_foldedCount == Count()) {
        return;
    }
    const size_t from = m_folded.size();
    m_folded.resize(m_text.size());
    const char* in = m_text.data();
    char* out = m_folded.data();
    for (size_t i = from; i < m_text.size(); ++i) {
        out[i] = AsciiUpper(in[i]);
    }
    m_foldedCount = Count();
}

void Column::Reserve(std::uint32_t records)
{
    m_nulls.reserve(records);
    if (m_type == FieldType::Float) {
        m_floats.reserve(records);
    } else if (m_type == FieldType::Text) {
        m_offsets.reserve(records + 1);
    } else {
        m_ints.reserve(records);
    }
}

void Column::NoteWidth(int width)
{
    if (width > m_longest) {
        m_longest = width;
    }
}

void Column::AppendNull()
{
    m_nulls.push_back(1);
    switch (m_type) {
    case FieldType::Float:
        m_floats.push_back(0.0);
        break;
    case FieldType::Text:
        m_offsets.push_back(m_offsets.back());
        break;
    case FieldType::Integer:
    case FieldType::Boolean:
    case FieldType::Date:
        m_ints.push_back(0);
        break;
    }
}

void Column::AppendInt(std::int64_t value)
{
    char buffer[kTextFormBuffer];
    m_nulls.push_back(0);
    m_ints.push_back(value);
    if (m_type == FieldType::Boolean) {
        NoteWidth(static_cast<int>(BooleanText(value != 0).size()));
    } else if (m_type == FieldType::Date) {
        NoteWidth(static_cast<int>(DateText(value, buffer).size()));
    } else {
        NoteWidth(static_cast<int>(IntegerText(value, buffer).size()));
    }
}

void Column::AppendFloat(double value)
{
    char buffer[kTextFormBuffer];
    m_nulls.push_back(0);
    m_floats.push_back(value);
    NoteWidth(static_cast<int>(FloatText(value, buffer).size()));
}

void Column::AppendText(std::string_view utf8)
{
    if (m_text.size() + utf8.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw DatasetError(QStringLiteral("Text column exceeds 4 GB"));
    }
    m_nulls.push_back(0);
    m_text.append(utf8);
    m_offsets.push_back(static_cast<std::uint32_t>(m_text.size()));
    NoteWidth(Utf8Length(utf8));
}

QVariant Column::ValueAt(std::uint32_t rec) const
{
    if (IsNull(rec)) {
        return {};
    }
    switch (m_type) {
    case FieldType::Text: {
        const std::string_view text = Text(rec);
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case FieldType::Integer:
        return QVariant::fromValue<qlonglong>(m_ints[rec]);
    case FieldType::Float:
        return m_floats[rec];
    case FieldType::Boolean:
        return m_ints[rec] != 0;
    case FieldType::Date:
        return QDate::fromJulianDay(m_ints[rec]);
    }
    return {};
}

} // namespace host
