#include "host/filter/record_selection.h"

#include "host/filter/memo_narrowing.h"
#include "host/filter/reach_selection.h"
#include "host/filter/selection_paths.h"
#include "host/filter/selection_plan.h"
#include "host/filter/selection_views.h"

namespace host::filter {

RecordView SelectPlain(const SelectionInput& input)
{
    std::vector<std::uint32_t> out;
    const Node& root = *input.root;
    EvalScratch scratch;
    for (const std::uint32_t rec : *input.order) {
        if (root.Test(rec, scratch) == Tri::True) {
            out.push_back(rec);
        }
    }
    return Listed(std::move(out));
}

RecordView SelectFast(const SelectionInput& input)
{
    if (std::optional<RecordView> reached = SelectReach(input)) {
        return std::move(*reached);
    }
    SelectionPlan plan = PlanSelection(input);
    switch (plan.path) {
    case SelectionPath::FromMemo:
        return SelectFromMemo(input, plan.open, *plan.memoTerm, plan.candidates.Bits());
    case SelectionPath::ExactRanges:
        return RecordView(input.order, std::move(plan.ranges->ranges));
    case SelectionPath::FewFromBase:
        return SelectFewFromBase(input, plan);
    case SelectionPath::FewInRanges:
    case SelectionPath::ManyInRanges:
        return SelectInRanges(input, plan);
    case SelectionPath::FewFoldedHits:
        return SelectFewFoldedHits(input, plan);
    case SelectionPath::RecordOrderScan:
        break;
    }
    return SelectByScan(input, plan);
}

bool Narrows(const Node& newer, const Node& older)
{
    if (newer.Key() == older.Key()) {
        return true;
    }
    if (newer.Kind() != older.Kind()) {
        return false;
    }
    switch (newer.Kind()) {
    case NodeKind::And:
    case NodeKind::Or: {
        // Both are monotone: narrowing each term narrows the whole.
        const auto& a = static_cast<const LogicNode&>(newer).Terms();
        const auto& b = static_cast<const LogicNode&>(older).Terms();
        if (a.size() != b.size()) {
            return false;
        }
        for (size_t i = 0; i < a.size(); ++i) {
            if (!Narrows(*a[i], *b[i])) {
                return false;
            }
        }
        return true;
    }
    case NodeKind::Like: {
        // s LIKE A||B implies s LIKE A||'%': the older pattern minus its final '%' must
        // begin the newer one.
        const auto& a = static_cast<const LikeNode&>(newer);
        const auto& b = static_cast<const LikeNode&>(older);
        if (a.Negated() || b.Negated() || a.Literal() == nullptr || b.Literal() == nullptr ||
            a.Operand().Key() != b.Operand().Key()) {
            return false;
        }
        const std::string& oldPattern = b.Literal()->Text();
        const std::string& newPattern = a.Literal()->Text();
        if (oldPattern.empty() || oldPattern.back() != '%') {
            return false;
        }
        const std::string_view stem(oldPattern.data(), oldPattern.size() - 1);
        return std::string_view(newPattern).substr(0, stem.size()) == stem;
    }
    default:
        return false;
    }
}

} // namespace host::filter
