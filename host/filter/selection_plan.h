#pragma once

#include "host/filter/candidate_bits.h"
#include "host/filter/candidate_checks.h"
#include "host/filter/expression.h"
#include "host/filter/prefix_ranges.h"
#include "host/filter/selection_input.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace host::filter {

// The way SelectFast takes to its records.
enum class SelectionPath {
    FromMemo,        // a longer needle: the previous view's memo decides
    ExactRanges,     // the ranges of the order are the result: nothing to read
    FewFromBase,     // the previous view is small: its records are tested one by one
    FewInRanges,     // the ranges are small: their records are tested in view order
    ManyInRanges,    // the ranges are large: their records are picked
    FewFoldedHits,   // few hits of a folded order: tested, then put into view order
    RecordOrderScan, // many candidates: checked in record order, read out of the order
};

// What planning learnt of a filter: the path, and what the path starts from.
struct SelectionPlan {
    SelectionPath path = SelectionPath::RecordOrderScan;
    // The conjuncts whose matches are not known already.
    std::vector<const Node*> open;
    // FromMemo: the term the memo decides.
    const Node* memoTerm = nullptr;
    CandidateBits candidates;
    // A prefix search on the order's first field, as ranges of the order.
    std::optional<LeadRanges> ranges;
    // Else a prefix search on another text field, through its folded order.
    std::optional<FoldedHits> foldedHits;
    // What is left to check on each candidate.
    Checks checks;
    // Up to this many candidates are few: tested one by one where they are.
    std::size_t few = 0;
};

// How many candidates are few for a table of this many records.
std::size_t FewRecords(std::uint32_t records);

// The conjuncts of an AND (the node itself when it is none).
std::vector<const Node*> Conjuncts(const Node& root);

// The conjuncts whose matches are not known; the candidates narrowed to those of the
// others. A search the order answers as exact ranges stays open: ranges do better than
// a known bitmap, whose records would have to be put back into view order.
std::vector<const Node*> OpenTerms(const SelectionInput& input,
                                   const std::vector<const Node*>& conjuncts,
                                   CandidateBits& candidates);

// The best prefix search to start from: the smallest ranges on the order's first field,
// else the first search through a folded order.
void PlanPrefixStart(const SelectionInput& input, SelectionPlan& plan);

// The checks left once the start is known; contains searches the pair summary answers
// narrow the candidates instead, and so does the previous view's bitmap.
void PlanChecks(const SelectionInput& input, SelectionPlan& plan);

// Decides the path by what planning found (and, for many folded hits, narrows the
// candidates to them).
void ChoosePath(const SelectionInput& input, SelectionPlan& plan);

// The whole plan: each step above in turn, stopping at the memo when it decides.
SelectionPlan PlanSelection(const SelectionInput& input);

} // namespace host::filter
