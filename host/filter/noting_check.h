#pragma once

#include "host/filter/candidate_checks.h"
#include "host/filter/memo_building.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace host::filter {

// The checks on one candidate at a time which, when a memo is wanted, note what the
// first contains search finds in the records that pass: checked on the text, it is kept
// for the next keystroke.
class NotingCheck {
public:
    // memoOut: where the memo goes; nullptr when none is wanted.
    NotingCheck(const Checks& checks, std::shared_ptr<const ContainsMemo>* memoOut,
                std::uint32_t records)
        : m_checks(checks), m_memoOut(memoOut), m_cap(MemoCap(records)),
          m_wanted(memoOut != nullptr && !checks.contains.empty())
    {
    }

    // Begins noting (when a memo is wanted), for records met in view order or not.
    void Start(bool viewOrder)
    {
        if (m_wanted) {
            m_memo.emplace(m_checks.contains.front(), viewOrder, m_cap);
        }
    }
    bool Noting() const { return m_memo.has_value(); }
    // Notes nothing more and delivers nothing: the caller keeps the memo another way.
    void Stop() { m_memo.reset(); }

    bool Check(std::uint32_t rec, EvalScratch& scratch)
    {
        if (!m_memo) {
            return m_checks.Pass(rec, scratch);
        }
        const ContainsMatch match = MatchContains(m_checks.contains.front(), rec);
        if (!match.found || !m_checks.PassFrom(rec, 1, scratch)) {
            return false;
        }
        m_memo->Add(rec, match.tail, match.info);
        return true;
    }

    void Deliver()
    {
        if (m_memo) {
            m_memo->Deliver(m_memoOut);
        }
    }

private:
    const Checks& m_checks;
    std::shared_ptr<const ContainsMemo>* m_memoOut;
    std::size_t m_cap;
    bool m_wanted;
    std::optional<MemoBuilder> m_memo;
};

} // namespace host::filter
