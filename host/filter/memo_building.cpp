#include "host/filter/memo_building.h"

#include <algorithm>
#include <string>

namespace host::filter {

std::size_t MemoCap(std::uint32_t records)
{
    return std::max<std::size_t>(records / 16, 4096);
}

MemoBuilder::MemoBuilder(const ContainsSearch& search, bool viewOrder, std::size_t cap) : m_cap(cap)
{
    m_memo.field = search.field;
    m_memo.folded = search.folded;
    m_memo.accents = search.accents;
    m_memo.needle = std::string(search.needle);
    m_memo.viewOrder = viewOrder;
}

void MemoBuilder::Expect(std::size_t records)
{
    const std::size_t room = std::min(records, m_cap);
    m_memo.records.reserve(room);
    m_memo.tails.reserve(room);
    m_memo.info.reserve(room);
}

void MemoBuilder::Deliver(std::shared_ptr<const ContainsMemo>* out)
{
    if (out != nullptr && !m_full) {
        if (m_memo.records.capacity() > m_memo.records.size() + m_memo.records.size() / 4) {
            m_memo.records.shrink_to_fit();
            m_memo.tails.shrink_to_fit();
            m_memo.info.shrink_to_fit();
        }
        *out = std::make_shared<const ContainsMemo>(std::move(m_memo));
    }
}

std::shared_ptr<const ContainsMemo> MemoOfNotes(const ContainsSearch& search,
                                                LargeVector<std::uint32_t> candidates,
                                                LargeVector<std::uint64_t> tails,
                                                LargeVector<std::uint8_t> infos)
{
    auto handed = std::make_shared<ContainsMemo>();
    handed->field = search.field;
    handed->folded = search.folded;
    handed->accents = search.accents;
    handed->needle = std::string(search.needle);
    handed->records = std::move(candidates);
    handed->tails = std::move(tails);
    handed->info = std::move(infos);
    return handed;
}

} // namespace host::filter
