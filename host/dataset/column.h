#pragma once

#include "host/dataset/field_type.h"

#include <QVariant>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// One field's values for every record, stored contiguously. Text is UTF-8 in one byte
// buffer with an offset per record; integers, booleans and dates (as Julian days) are
// 64-bit integers; floats are doubles. NULL is a flag per record.
class Column {
public:
    explicit Column(FieldType type) : m_type(type) {}

    FieldType Type() const { return m_type; }
    std::uint32_t Count() const { return static_cast<std::uint32_t>(m_nulls.size()); }

    bool IsNull(std::uint32_t rec) const { return m_nulls[rec] != 0; }
    std::int64_t Int(std::uint32_t rec) const { return m_ints[rec]; }
    double Float(std::uint32_t rec) const { return m_floats[rec]; }
    std::string_view Text(std::uint32_t rec) const
    {
        return {m_text.data() + m_offsets[rec], m_offsets[rec + 1] - m_offsets[rec]};
    }

    // The ASCII upper-cased copy of a text column, built on first need and kept until
    // the data changes; UPPER(field) in a filter reads it without copying.
    void EnsureFolded() const;
    bool HasFolded() const { return m_foldedCount == Count() && m_foldedCount > 0; }
    std::string_view FoldedText(std::uint32_t rec) const
    {
        return {m_folded.data() + m_offsets[rec], m_offsets[rec + 1] - m_offsets[rec]};
    }
    const std::string& TextBuffer() const { return m_text; }
    const std::string& FoldedBuffer() const { return m_folded; }
    const std::vector<std::uint32_t>& Offsets() const { return m_offsets; }

    void AppendNull();
    void AppendInt(std::int64_t value);
    void AppendFloat(double value);
    void AppendText(std::string_view utf8);
    void Reserve(std::uint32_t records);

    // Longest value in characters: for text, the text itself; for other types, its
    // text form.
    int LongestText() const { return m_longest; }

    QVariant ValueAt(std::uint32_t rec) const;

private:
    void NoteWidth(int width);

    FieldType m_type;
    std::vector<std::uint8_t> m_nulls;
    std::vector<std::int64_t> m_ints;
    std::vector<double> m_floats;
    std::string m_text;
    std::vector<std::uint32_t> m_offsets{0};
    mutable std::string m_folded;
    mutable std::uint32_t m_foldedCount = 0;
    int m_longest = 0;
};

} // namespace host
