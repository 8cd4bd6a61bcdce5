#pragma once

#include "host/storage/large_array.h"
#include "host/storage/record_view.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {
class Column;
}

namespace host::filter {

// From this many records up, a word index reads the two halves of the records on two
// threads: below, a thread costs more than it saves.
constexpr std::uint32_t kParallelWords = 1U << 18;

// The words of one text column (runs of bytes between spaces, folded, as a search reads
// the text), each distinct word once, sorted, with the records that hold it: a word
// search ('w%' or '% w%') is then a range of the sorted words and the union of their
// record lists. Built in one pass over the text with a hash of the distinct words and a
// counting pass: linear, 4 bytes per record and word (a word repeated in one record
// counts once) plus the distinct words. A column without a space is not indexed: its
// words are its values, which its folded order answers.
class WordIndex {
public:
    // withWords false: only what the column's bytes tell (Spaceless, MayHold), no words.
    // From parallelFrom records up, the two halves of the records are read on two threads.
    WordIndex(const Column& column, bool ignoreAccents, bool withWords = true,
              std::uint32_t parallelFrom = kParallelWords);

    // Whether no value of the column holds a space (what Spaceless() of its index says),
    // read off its text at memory speed.
    static bool ColumnSpaceless(const Column& column);

    bool HasWords() const { return m_withWords; }

    // No value holds a space: no word but the first.
    bool Spaceless() const { return m_spaceless; }
    // Whether some value may hold every byte of the folded needle: false when one of its
    // bytes is in no folded value (a letter in a column of digits).
    bool MayHold(std::string_view foldedNeedle) const
    {
        for (const char c : foldedNeedle) {
            if (!m_bytes[static_cast<unsigned char>(c)]) {
                return false;
            }
        }
        return true;
    }
    // The range [first, last) of the distinct words that begin with the folded prefix.
    std::pair<std::uint32_t, std::uint32_t> WordRange(std::string_view foldedPrefix) const;
    // How many record entries those words hold (records may repeat across words).
    std::size_t Hits(std::pair<std::uint32_t, std::uint32_t> words) const
    {
        return m_listStart[words.second] - m_listStart[words.first];
    }
    // Sets the records of those words.
    void Mark(std::pair<std::uint32_t, std::uint32_t> words, RecordBitmap& out) const;
    // For a folded needle without a space, which can only lie within one word: how many
    // record entries the words holding it have, and setting their records.
    std::size_t ContainingHits(std::string_view foldedNeedle) const;
    void MarkContaining(std::string_view foldedNeedle, RecordBitmap& out) const;
    // The records of one word, ascending.
    const std::uint32_t* List(std::uint32_t word, std::size_t& count) const
    {
        count = m_listStart[word + 1] - m_listStart[word];
        return m_lists.data() + m_listStart[word];
    }
    std::string_view Word(std::uint32_t word) const
    {
        return std::string_view(m_chars).substr(m_wordStart[word],
                                                m_wordStart[word + 1] - m_wordStart[word]);
    }
    std::size_t MemoryBytes() const;

private:
    bool m_spaceless = false;
    bool m_withWords = true;
    std::array<bool, 256> m_bytes{}; // bytes met in the folded values (all, with accents aside)
    std::string m_chars;             // the sorted words, one after another
    std::vector<std::uint32_t> m_wordStart; // where each word begins in m_chars, and the end
    std::vector<std::uint64_t> m_listStart; // where each word's records begin, and the end
    LargeVector<std::uint32_t> m_lists;
};

} // namespace host::filter
