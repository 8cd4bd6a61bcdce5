#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace host::filter {

// The text buffers one thread's evaluation of a filter writes into: a node tree holds
// no state of its own while it evaluates, so any number of threads may evaluate one tree
// at once, each with its own EvalScratch. The buffers keep their room from record to
// record: after the first few records, evaluating allocates nothing.
class EvalScratch {
public:
    EvalScratch() = default;
    EvalScratch(const EvalScratch&) = delete;
    EvalScratch& operator=(const EvalScratch&) = delete;

    // A buffer of its own for a value's text, valid until the scope it was taken in ends.
    std::string& Take()
    {
        if (m_used == m_buffers.size()) {
            m_buffers.push_back(std::make_unique<std::string>());
        }
        return *m_buffers[m_used++];
    }

    // Buffers taken within its lifetime go back when it ends: a condition's operands
    // hold theirs only while the condition is decided.
    class Scope {
    public:
        explicit Scope(EvalScratch& scratch) : m_scratch(scratch), m_mark(scratch.m_used) {}
        ~Scope() { m_scratch.m_used = m_mark; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        EvalScratch& m_scratch;
        std::size_t m_mark;
    };

    // Buffers in use now (a test's view of the scopes' bookkeeping).
    std::size_t InUse() const { return m_used; }

private:
    // Each buffer on the heap: taking another never moves one a value points into.
    std::vector<std::unique_ptr<std::string>> m_buffers;
    std::size_t m_used = 0;
};

} // namespace host::filter
