#pragma once

#include "host/filter/contains_matching.h"
#include "host/filter/eval_scratch.h"
#include "host/filter/expression.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace host::filter {

// What is left to check on each candidate: contains terms (a substring test) and the
// other terms (evaluated, with the scratch of the thread that checks).
struct Checks {
    std::vector<ContainsSearch> contains;
    std::vector<const Node*> terms;

    bool Empty() const { return contains.empty() && terms.empty(); }
    bool Pass(std::uint32_t rec, EvalScratch& scratch) const { return PassFrom(rec, 0, scratch); }
    // The checks but the first `skip` contains searches.
    bool PassFrom(std::uint32_t rec, std::size_t skip, EvalScratch& scratch) const
    {
        for (std::size_t i = skip; i < contains.size(); ++i) {
            if (!Contains(contains[i], rec)) {
                return false;
            }
        }
        for (const Node* term : terms) {
            if (term->Test(rec, scratch) != Tri::True) {
                return false;
            }
        }
        return true;
    }
};

} // namespace host::filter
