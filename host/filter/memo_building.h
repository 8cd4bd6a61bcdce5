#pragma once

#include "host/filter/contains_matching.h"
#include "host/filter/contains_memo.h"
#include "host/storage/large_array.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace host::filter {

// Memos are kept for results of up to one record in 16.
std::size_t MemoCap(std::uint32_t records);

// Collects a memo while a contains search is checked on the text, giving up past a cap.
class MemoBuilder {
public:
    MemoBuilder(const ContainsSearch& search, bool viewOrder, std::size_t cap);
    // Room for about as many records as the search is expected to match.
    void Expect(std::size_t records);
    void Add(std::uint32_t rec, std::uint64_t tail, std::uint8_t info)
    {
        if (m_full) {
            return;
        }
        if (m_memo.records.size() >= m_cap) {
            m_full = true;
            m_memo = {};
            return;
        }
        m_memo.records.push_back(rec);
        m_memo.tails.push_back(tail);
        m_memo.info.push_back(static_cast<std::uint8_t>(info | ContainsMemo::kKept));
    }
    // Hands the memo to out (when there is one to have).
    void Deliver(std::shared_ptr<const ContainsMemo>* out);

private:
    ContainsMemo m_memo;
    std::size_t m_cap;
    bool m_full = false;
};

// The memo of a search noted candidate by candidate, as the lists are: candidates in
// record order, the tails and infos of those that failed without kKept.
std::shared_ptr<const ContainsMemo> MemoOfNotes(const ContainsSearch& search,
                                                LargeVector<std::uint32_t> candidates,
                                                LargeVector<std::uint64_t> tails,
                                                LargeVector<std::uint8_t> infos);

} // namespace host::filter
