#include "host/storage/column.h"

#include "host/text/text_fold.h"
#include "host/text/text_form.h"

#include <QDate>
#include <algorithm>
#include <limits>
#include <touchsearch/dataset_error.h>

namespace host {

void Column::ShrinkToFit()
{
    m_ints32.shrink_to_fit();
    m_ints64.shrink_to_fit();
    m_floats.shrink_to_fit();
    m_text.shrink_to_fit();
    m_offsets.shrink_to_fit();
    m_bits.shrink_to_fit();
    m_nulls.shrink_to_fit();
}

void Column::Reserve(std::uint32_t records)
{
    switch (m_type) {
    case FieldType::Float:
        m_floats.reserve(records);
        break;
    case FieldType::Text:
        m_offsets.reserve(records + 1);
        break;
    case FieldType::Boolean:
        m_bits.reserve((records + 63) / 64);
        break;
    case FieldType::Integer:
    case FieldType::Date:
        if (m_wide) {
            m_ints64.reserve(records);
        } else {
            m_ints32.reserve(records);
        }
        break;
    }
}

void Column::PushBit(Bits& bits, std::uint32_t rec, bool value)
{
    if ((rec & 63) == 0) {
        bits.push_back(0);
    }
    if (value) {
        bits[rec >> 6] |= std::uint64_t{1} << (rec & 63);
    }
}

void Column::PushNullFlag(bool null)
{
    if (null && !m_hasNulls) {
        // The first NULL: every earlier record was not NULL. With no earlier record the
        // bit vector is still empty, so the flag, not its size, says flags are kept.
        m_nulls.assign((static_cast<size_t>(m_count) + 63) / 64, 0);
        m_hasNulls = true;
    }
    if (m_hasNulls) {
        PushBit(m_nulls, m_count, null);
    }
}

void Column::PushInt(std::int64_t value)
{
    if (m_type == FieldType::Boolean) {
        PushBit(m_bits, m_count, value != 0);
        return;
    }
    const bool fits = value >= std::numeric_limits<std::int32_t>::min() &&
                      value <= std::numeric_limits<std::int32_t>::max();
    if (!m_wide && !fits) {
        m_ints64.assign(m_ints32.begin(), m_ints32.end());
        m_ints32 = {};
        m_wide = true;
    }
    if (m_wide) {
        m_ints64.push_back(value);
    } else {
        m_ints32.push_back(static_cast<std::int32_t>(value));
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
    PushNullFlag(true);
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
        PushInt(0);
        break;
    }
    ++m_count;
}

void Column::AppendInt(std::int64_t value)
{
    char buffer[kTextFormBuffer];
    PushNullFlag(false);
    PushInt(value);
    ++m_count;
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
    PushNullFlag(false);
    m_floats.push_back(value);
    ++m_count;
    NoteWidth(static_cast<int>(FloatText(value, buffer).size()));
}

void Column::AppendText(std::string_view utf8)
{
    if (m_text.size() + utf8.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw DatasetError(QStringLiteral("Text column exceeds 4 GB"));
    }
    PushNullFlag(false);
    m_text.append(utf8);
    m_offsets.push_back(static_cast<std::uint32_t>(m_text.size()));
    ++m_count;
    const bool unfolded = FoldChanges(utf8);
    m_unfoldedValues += unfolded ? 1 : 0;
    const AccentScan accents = ScanAccents(utf8);
    m_accentedValues += accents.foldable ? 1 : 0;
    m_unfoldedSearchValues += unfolded || accents.lowerLetter ? 1 : 0;
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
        return QVariant::fromValue<qlonglong>(Int(rec));
    case FieldType::Float:
        return m_floats[rec];
    case FieldType::Boolean:
        return Int(rec) != 0;
    case FieldType::Date:
        return QDate::fromJulianDay(Int(rec));
    }
    return {};
}

std::size_t Column::StorageBytes() const
{
    return m_nulls.size() * 8 + m_bits.size() * 8 + m_ints32.size() * 4 + m_ints64.size() * 8 +
           m_floats.size() * 8 + m_text.size() + m_offsets.size() * 4;
}

} // namespace host
