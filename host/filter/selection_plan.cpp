#include "host/filter/selection_plan.h"

#include "host/filter/bigram_summary.h"
#include "host/filter/memo_narrowing.h"
#include "host/storage/table.h"
#include "host/text/text_fold.h"

#include <algorithm>
#include <string>

namespace host::filter {

namespace {

void CollectConjuncts(const Node& node, std::vector<const Node*>& out)
{
    if (node.Kind() == NodeKind::And) {
        for (const NodePtr& term : static_cast<const LogicNode&>(node).Terms()) {
            CollectConjuncts(*term, out);
        }
    } else {
        out.push_back(&node);
    }
}

const SortField* LeadField(const SelectionInput& input)
{
    return input.orderFields.empty() ? nullptr : &input.orderFields[0];
}

// Whether the term was settled by the start: its records are exactly the start's.
bool SettledByStart(const SelectionPlan& plan, const Node* term)
{
    return (plan.ranges && plan.ranges->exact && term == plan.ranges->search.term) ||
           (plan.foldedHits && plan.foldedHits->exact && term == plan.foldedHits->search.term);
}

} // namespace

std::size_t FewRecords(std::uint32_t records)
{
    return std::max<std::size_t>(records / 64, 256);
}

std::vector<const Node*> Conjuncts(const Node& root)
{
    std::vector<const Node*> conjuncts;
    CollectConjuncts(root, conjuncts);
    return conjuncts;
}

std::vector<const Node*> OpenTerms(const SelectionInput& input,
                                   const std::vector<const Node*>& conjuncts,
                                   CandidateBits& candidates)
{
    const SortField* lead = LeadField(input);
    std::vector<const Node*> open;
    for (const Node* term : conjuncts) {
        std::shared_ptr<const RecordBitmap> bits =
            input.knownMatches && !AnsweredByRanges(*input.table, lead, *term)
                ? input.knownMatches(term->Key())
                : nullptr;
        if (!bits) {
            open.push_back(term);
        } else {
            candidates.Take(std::move(bits));
        }
    }
    return open;
}

void PlanPrefixStart(const SelectionInput& input, SelectionPlan& plan)
{
    const SortField* lead = LeadField(input);
    for (const Node* term : plan.open) {
        PrefixSearch search;
        if (!AsPrefixSearch(*term, search)) {
            continue;
        }
        const Column& column = input.table->Col(search.field);
        if (OnLeadOrder(lead, search)) {
            LeadRanges found = RangesOnLeadOrder(column, *input.order, *lead, search);
            if (!plan.ranges || RangesSize(found.ranges) < RangesSize(plan.ranges->ranges)) {
                plan.ranges = std::move(found);
            }
        } else if (!plan.ranges && !plan.foldedHits && input.foldedOrder &&
                   search.accents == input.ignoreAccents) {
            plan.foldedHits = HitsInFoldedOrder(column, input.foldedOrder(search.field), search);
        }
    }
    if (plan.ranges) {
        plan.foldedHits.reset(); // the ranges are the better start
    }
}

void PlanChecks(const SelectionInput& input, SelectionPlan& plan)
{
    const std::uint32_t n = input.table->RecordCount();
    for (const Node* term : plan.open) {
        if (SettledByStart(plan, term)) {
            continue;
        }
        ContainsSearch search;
        if (!AsContainsSearch(*term, search)) {
            plan.checks.terms.push_back(term);
            continue;
        }
        // With few candidates already, the needle is looked for in their text instead.
        const bool fewAlready =
            (plan.ranges && RangesSize(plan.ranges->ranges) <= plan.few) ||
            (input.narrowBase != nullptr && input.narrowBase->Size() <= plan.few);
        if (input.summary && search.accents == input.ignoreAccents && !fewAlready) {
            std::string folded;
            FoldText(search.needle, folded);
            if (search.folded && folded != search.needle) {
                // A folded text never holds a byte folding changes.
                plan.candidates.NarrowTo(MakeRecordBitmap(n));
                continue;
            }
            bool exact = false;
            const RecordBitmap bits = input.summary(search.field).Candidates(folded, exact);
            plan.candidates.NarrowTo(bits);
            if (exact && search.folded) {
                continue;
            }
        }
        plan.checks.contains.push_back(search);
    }
    // The previous view, when the filter only narrows it.
    const RecordView* base = input.narrowBase;
    if (base != nullptr && base->Size() > plan.few && base->Picks() != nullptr) {
        plan.candidates.NarrowTo(*base->Picks());
    }
}

void ChoosePath(const SelectionInput& input, SelectionPlan& plan)
{
    const RecordView* base = input.narrowBase;
    const std::size_t rangeSize = plan.ranges ? RangesSize(plan.ranges->ranges) : SIZE_MAX;
    if (plan.ranges && plan.checks.Empty() && plan.candidates.Bits() == nullptr) {
        plan.path = SelectionPath::ExactRanges;
        return;
    }
    // The ranges are in view order and exact: walking them beats testing the prefix
    // term on the previous view's records unless that view is far smaller.
    const bool baseFirst = !plan.ranges || base == nullptr || base->Size() * 4 < rangeSize;
    if (base != nullptr && base->Size() <= plan.few && baseFirst) {
        plan.path = SelectionPath::FewFromBase;
        return;
    }
    if (plan.ranges) {
        plan.path =
            rangeSize <= plan.few ? SelectionPath::FewInRanges : SelectionPath::ManyInRanges;
        return;
    }
    if (plan.foldedHits) {
        if (plan.foldedHits->records.size() <= plan.few) {
            plan.path = SelectionPath::FewFoldedHits;
            return;
        }
        RecordBitmap marks = MakeRecordBitmap(input.table->RecordCount());
        for (const std::uint32_t rec : plan.foldedHits->records) {
            SetBit(marks, rec);
        }
        plan.candidates.NarrowTo(marks);
    }
    plan.path = SelectionPath::RecordOrderScan;
}

SelectionPlan PlanSelection(const SelectionInput& input)
{
    SelectionPlan plan;
    plan.few = FewRecords(input.table->RecordCount());
    plan.open = OpenTerms(input, Conjuncts(*input.root), plan.candidates);
    // A longer needle for the previous view's contains search: its memo decides.
    if (input.narrowMemo != nullptr && input.narrowBase != nullptr) {
        plan.memoTerm = FindMemoTerm(*input.narrowMemo, plan.open);
        if (plan.memoTerm != nullptr) {
            plan.path = SelectionPath::FromMemo;
            return plan;
        }
    }
    PlanPrefixStart(input, plan);
    PlanChecks(input, plan);
    ChoosePath(input, plan);
    return plan;
}

} // namespace host::filter
