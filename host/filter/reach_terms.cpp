#include "host/filter/reach_terms.h"

#include "host/text/text_fold.h"

#include <touchsearch/field_type.h>

namespace host::filter {

namespace {

bool HasWildcard(std::string_view text)
{
    return text.find_first_of("%_") != std::string_view::npos;
}

// The operand: UPPER(text field), an integer field or UPPER of one.
bool ReadOperand(const Node& operand, ReachTerm& out)
{
    if (operand.Kind() == NodeKind::FoldedField) {
        const auto& column = static_cast<const ColumnNode&>(operand);
        out.field = column.FieldIndex();
        out.accents = column.IgnoresAccents();
        return true;
    }
    const Node* field = &operand;
    if (operand.Kind() == NodeKind::Function) {
        const auto& function = static_cast<const FunctionNode&>(operand);
        if (function.GetFunction() != FunctionNode::Function::Upper) {
            return false;
        }
        field = &function.Argument();
    }
    if (field->Kind() != NodeKind::Field) {
        return false;
    }
    const auto& column = static_cast<const ColumnNode&>(*field);
    if (column.GetColumn().Type() != FieldType::Integer) {
        return false;
    }
    out.field = column.FieldIndex();
    out.number = true;
    return true;
}

} // namespace

bool AsReachTerm(const Node& node, ReachTerm& out)
{
    if (node.Kind() != NodeKind::Like) {
        return false;
    }
    const auto& like = static_cast<const LikeNode&>(node);
    if (like.Negated() || like.Literal() == nullptr || !ReadOperand(like.Operand(), out)) {
        return false;
    }
    const std::string_view pattern = like.Literal()->Text();
    std::string_view needle;
    if (pattern.size() >= 4 && pattern.substr(0, 2) == "% " && pattern.back() == '%') {
        out.shape = ReachTerm::Shape::WordStart;
        needle = pattern.substr(2, pattern.size() - 3);
    } else if (pattern.size() >= 3 && pattern.front() == '%' && pattern.back() == '%') {
        out.shape = ReachTerm::Shape::Contains;
        needle = pattern.substr(1, pattern.size() - 2);
    } else if (pattern.size() >= 2 && pattern.back() == '%') {
        out.shape = ReachTerm::Shape::Prefix;
        needle = pattern.substr(0, pattern.size() - 1);
    } else {
        out.shape = ReachTerm::Shape::Whole;
        needle = pattern;
    }
    // A word's needle holds no space: it is looked up among the words.
    if (needle.empty() || HasWildcard(needle) ||
        (out.shape == ReachTerm::Shape::WordStart && needle.find(' ') != std::string_view::npos)) {
        return false;
    }
    out.term = &node;
    out.needle = std::string(needle);
    // An integer's text holds only digits and '-'; a folded text no byte the fold changes.
    out.none = out.number ? needle.find_first_not_of("-0123456789") != std::string_view::npos
                          : FoldChanges(needle);
    return true;
}

std::vector<ReachTerm> AsReachGroup(const Node& node)
{
    std::vector<ReachTerm> group;
    if (node.Kind() != NodeKind::Or) {
        return group;
    }
    for (const NodePtr& term : static_cast<const LogicNode&>(node).Terms()) {
        ReachTerm read;
        if (!AsReachTerm(*term, read)) {
            return {};
        }
        group.push_back(std::move(read));
    }
    return group;
}

} // namespace host::filter
