#pragma once

#include "host/storage/large_array.h"
#include "host/text/accent_fold.h"

#include <QVariant>
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <touchsearch/field_type.h>
#include <vector>

namespace host {

// One field's values for every record, stored contiguously and compactly. Text is
// UTF-8 in one byte buffer with a 32-bit offset per record; booleans are bits;
// integers and dates (as Julian days) are 32-bit until a value needs 64; floats are
// doubles. NULL flags are bits, kept only once the column holds a NULL.
class Column {
public:
    explicit Column(FieldType type) : m_type(type) {}

    FieldType Type() const { return m_type; }
    std::uint32_t Count() const { return m_count; }

    bool IsNull(std::uint32_t rec) const { return m_hasNulls && Bit(m_nulls, rec); }
    std::int64_t Int(std::uint32_t rec) const
    {
        if (m_type == FieldType::Boolean) {
            return Bit(m_bits, rec) ? 1 : 0;
        }
        return m_wide ? m_ints64[rec] : m_ints32[rec];
    }
    double Float(std::uint32_t rec) const { return m_floats[rec]; }
    std::string_view Text(std::uint32_t rec) const
    {
        return {m_text.data() + m_offsets[rec], m_offsets[rec + 1] - m_offsets[rec]};
    }

    // True when folding (text_fold.h) leaves every value as it is: the column then
    // sorts and compares the same with and without case. With ignoreAccents, of the
    // values as a search reads them (SearchText).
    bool FoldsToItself() const { return m_unfoldedValues == 0; }
    bool FoldsToItself(bool ignoreAccents) const
    {
        return (ignoreAccents ? m_unfoldedSearchValues : m_unfoldedValues) == 0;
    }
    // True when some value holds a letter that accent folding (accent_fold.h) changes.
    bool HasFoldableAccents() const { return m_accentedValues != 0; }
    // A record's text as a search reads it: the stored text, or with ignoreAccents its
    // accent-folded form, computed on the fly (into scratch, and only for a value that
    // has a foldable letter): no folded copy of the column is kept.
    std::string_view SearchText(std::uint32_t rec, bool ignoreAccents, std::string& scratch) const
    {
        const std::string_view text = Text(rec);
        return ignoreAccents && m_accentedValues != 0 ? AccentFoldedView(text, scratch) : text;
    }
    // The byte of the search text at `at`, -1 past its end.
    int SearchByteAt(std::uint32_t rec, std::size_t at, bool ignoreAccents) const
    {
        const std::string_view text = Text(rec);
        if (ignoreAccents && m_accentedValues != 0) {
            return AccentFoldedByteAt(text, at);
        }
        return text.size() > at ? static_cast<unsigned char>(text[at]) : -1;
    }
    // Starts reading a record's text into the cache, with the `past` bytes that follow
    // it for reads wider than the text, for loops that jump from record to record. Both
    // ends: a text crosses into a second cache line about as often as not. Always
    // inlined: GCC takes a function that only prefetches for one without effects, and
    // drops the calls to it that it did not inline.
    [[gnu::always_inline]] void PrefetchText(std::uint32_t rec, std::size_t past = 0) const
    {
        const std::size_t begin = m_offsets[rec];
        const std::size_t end = std::min<std::size_t>(m_offsets[rec + 1] + past, m_text.size());
        __builtin_prefetch(m_text.data() + begin);
        if (end > begin) {
            __builtin_prefetch(m_text.data() + end - 1);
        }
    }
    [[gnu::always_inline]] void PrefetchOffsets(std::uint32_t rec) const
    {
        __builtin_prefetch(&m_offsets[rec]);
    }
    // Starts reading a record's integer into the cache.
    [[gnu::always_inline]] void PrefetchInt(std::uint32_t rec) const
    {
        if (m_wide) {
            __builtin_prefetch(&m_ints64[rec]);
        } else {
            __builtin_prefetch(&m_ints32[rec]);
        }
    }
    // Whether `bytes` bytes past a record's text can be read (they hold later records'
    // text), for reads wider than the text itself.
    bool ReadableAfter(std::uint32_t rec, std::size_t bytes) const
    {
        return m_offsets[rec + 1] + bytes <= m_text.size();
    }
    const LargeText& TextBuffer() const { return m_text; }
    const LargeVector<std::uint32_t>& Offsets() const { return m_offsets; }

    void AppendNull();
    void AppendInt(std::int64_t value);
    void AppendFloat(double value);
    void AppendText(std::string_view utf8);
    void Reserve(std::uint32_t records);
    // Gives back the spare capacity that growing by appends left.
    void ShrinkToFit();

    // Longest value in characters: for text, the text itself; for other types, its
    // text form.
    int LongestText() const { return m_longest; }

    QVariant ValueAt(std::uint32_t rec) const;

    // Bytes held for the values (capacity aside): what the column costs in memory.
    std::size_t StorageBytes() const;

private:
    using Bits = std::vector<std::uint64_t>;
    static bool Bit(const Bits& bits, std::uint32_t rec)
    {
        return ((bits[rec >> 6] >> (rec & 63)) & 1U) != 0;
    }
    static void PushBit(Bits& bits, std::uint32_t rec, bool value);
    void PushNullFlag(bool null);
    void PushInt(std::int64_t value);
    void NoteWidth(int width);

    FieldType m_type;
    std::uint32_t m_count = 0;
    Bits m_nulls;            // kept only from the first NULL on
    bool m_hasNulls = false; // a flag, not m_nulls.empty(): before record 64 it may be empty
    Bits m_bits;             // booleans
    std::vector<std::int32_t> m_ints32;
    std::vector<std::int64_t> m_ints64; // once a value does not fit 32 bits
    bool m_wide = false;
    std::vector<double> m_floats;
    LargeText m_text;
    LargeVector<std::uint32_t> m_offsets{0};
    std::size_t m_unfoldedValues = 0;       // values that folding changes
    std::size_t m_accentedValues = 0;       // values with a letter accent folding changes
    std::size_t m_unfoldedSearchValues = 0; // accent-folded values that folding changes
    int m_longest = 0;
};

} // namespace host
