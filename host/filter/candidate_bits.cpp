#include "host/filter/candidate_bits.h"

namespace host::filter {

namespace {

void Intersect(RecordBitmap& into, const RecordBitmap& other)
{
    for (std::size_t w = 0; w < into.size(); ++w) {
        into[w] &= other[w];
    }
}

} // namespace

void CandidateBits::Take(std::shared_ptr<const RecordBitmap> bits)
{
    if (!m_known && !m_haveOwned) {
        m_known = std::move(bits);
    } else {
        NarrowTo(*bits);
    }
}

void CandidateBits::NarrowTo(const RecordBitmap& bits)
{
    if (!m_haveOwned) {
        m_owned = m_known ? *m_known : bits;
        if (m_known) {
            Intersect(m_owned, bits);
        }
        m_haveOwned = true;
        m_known.reset();
    } else {
        Intersect(m_owned, bits);
    }
}

std::shared_ptr<const RecordBitmap> CandidateBits::Release()
{
    return m_haveOwned ? std::make_shared<const RecordBitmap>(std::move(m_owned)) : m_known;
}

} // namespace host::filter
