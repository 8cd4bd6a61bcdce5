#pragma once

#include "host/storage/record_view.h"

#include <memory>

namespace host::filter {

// The candidates of a selection so far, as a bitmap over records: none at first (every
// record a candidate), then the exact matches of a term already known (shared, never
// written), then their intersection with whatever narrows them further (a copy of its
// own, made once).
class CandidateBits {
public:
    // Candidates narrowed to the known matches of a term.
    void Take(std::shared_ptr<const RecordBitmap> bits);
    // Candidates narrowed to the records set in bits.
    void NarrowTo(const RecordBitmap& bits);

    // nullptr while every record is a candidate.
    const RecordBitmap* Bits() const { return m_haveOwned ? &m_owned : m_known.get(); }
    // The candidates handed over as they are (empty while every record is one).
    std::shared_ptr<const RecordBitmap> Release();

private:
    std::shared_ptr<const RecordBitmap> m_known;
    RecordBitmap m_owned;
    bool m_haveOwned = false;
};

} // namespace host::filter
