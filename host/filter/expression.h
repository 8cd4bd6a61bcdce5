#pragma once

#include "host/filter/eval_scratch.h"
#include "host/filter/like_pattern.h"
#include "host/storage/column.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host::filter {

// Three-valued truth: a record shows only where its filter is True.
enum class Tri : std::uint8_t { False, True, Unknown };

// A value met while evaluating one record. Text points into column storage or into a
// buffer of the EvalScratch the evaluation was given: nothing is allocated per record.
struct Value {
    enum class Kind : std::uint8_t { Null, Int, Float, Bool, Date, Text };
    Kind kind = Kind::Null;
    std::int64_t i = 0; // Int, Bool (0/1), Date (Julian day)
    double d = 0;       // Float
    std::string_view s; // Text
};

// Types known while parsing, used to reject impossible comparisons up front.
enum class StaticType { Null, Number, Boolean, Date, Text, Condition };

enum class NodeKind {
    Field,
    FoldedField, // UPPER(text field): the field's text, folded (text_fold.h)
    Literal,
    Arithmetic,
    Negate,
    Function,
    Compare,
    Like,
    IsNull,
    In,
    And,
    Or,
    Not,
    Truth // a boolean value used as a condition
};

class Node {
public:
    Node(NodeKind kind, StaticType type, int position)
        : m_kind(kind), m_type(type), m_position(position)
    {
    }
    virtual ~Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // Evaluating writes into nothing but scratch: a tree is immutable once built.
    virtual Value Eval(std::uint32_t rec, EvalScratch& scratch) const;
    virtual Tri Test(std::uint32_t rec, EvalScratch& scratch) const;

    NodeKind Kind() const { return m_kind; }
    StaticType Type() const { return m_type; }
    int Position() const { return m_position; }
    // Where the node's text lies in the filter (from 0, the end excluded): set for the
    // conditions and for what stands as one, so that a part of a filter can be parsed
    // again on its own.
    int TextBegin() const { return m_textBegin; }
    int TextEnd() const { return m_textEnd; }
    void SetText(int begin, int end)
    {
        m_textBegin = begin;
        m_textEnd = end;
    }
    // Canonical form: two nodes with the same key compute the same thing.
    const std::string& Key() const { return m_key; }

protected:
    std::string m_key;

private:
    NodeKind m_kind;
    StaticType m_type;
    int m_position;
    int m_textBegin = 0;
    int m_textEnd = 0;
};

using NodePtr = std::unique_ptr<Node>;

// A field's value, as stored or upper-cased. A text field read with accents set aside
// (FilterOption::IgnoreAccents) gives its search text (Column::SearchText).
class ColumnNode : public Node {
public:
    ColumnNode(NodeKind kind, const Column& column, int field, StaticType type, int position,
               bool ignoreAccents)
        : Node(kind, type, position), m_column(&column), m_field(field),
          m_ignoreAccents(ignoreAccents)
    {
    }
    const Column& GetColumn() const { return *m_column; }
    int FieldIndex() const { return m_field; }
    bool IgnoresAccents() const { return m_ignoreAccents; }

protected:
    const Column* m_column;
    int m_field;
    bool m_ignoreAccents;
};

class FieldNode : public ColumnNode {
public:
    FieldNode(const Column& column, int field, StaticType type, int position,
              bool ignoreAccents = false);
    Value Eval(std::uint32_t rec, EvalScratch& scratch) const override;
};

class FoldedFieldNode : public ColumnNode {
public:
    FoldedFieldNode(const Column& column, int field, int position, bool ignoreAccents = false);
    Value Eval(std::uint32_t rec, EvalScratch& scratch) const override;
};

// A text field, as stored or folded; nullptr for anything else.
const ColumnNode* AsTextColumn(const Node& node);

class LiteralNode : public Node {
public:
    LiteralNode(Value value, std::string text, StaticType type, int position);
    Value Eval(std::uint32_t rec, EvalScratch& scratch) const override;
    const std::string& TextValue() const { return m_text; }
    // A string literal read with its accents set aside keeps the text as written, from
    // which the parser folds it again where the letter case is given (UPPER, LOWER).
    void SetWrittenText(std::string written)
    {
        m_written = std::move(written);
        m_hasWritten = true;
    }
    const std::string* WrittenText() const { return m_hasWritten ? &m_written : nullptr; }

private:
    Value m_value;
    std::string m_text;
    std::string m_written;
    bool m_hasWritten = false;
};

class ArithmeticNode : public Node {
public:
    ArithmeticNode(char op, NodePtr left, NodePtr right, int position);
    Value Eval(std::uint32_t rec, EvalScratch& scratch) const override;
    char Op() const { return m_op; }
    const Node& Left() const { return *m_left; }
    const Node& Right() const { return *m_right; }

private:
    char m_op;
    NodePtr m_left;
    NodePtr m_right;
};

class NegateNode : public Node {
public:
    NegateNode(NodePtr operand, int position);
    Value Eval(std::uint32_t rec, EvalScratch& scratch) const override;
    const Node& Operand() const { return *m_operand; }

private:
    NodePtr m_operand;
};

class FunctionNode : public Node {
public:
    enum class Function { Upper, Lower, Trim };
    FunctionNode(Function function, NodePtr argument, int position);
    Value Eval(std::uint32_t rec, EvalScratch& scratch) const override;
    Function GetFunction() const { return m_function; }
    const Node& Argument() const { return *m_argument; }

private:
    Function m_function;
    NodePtr m_argument;
};

class CompareNode : public Node {
public:
    enum class Op { Eq, Ne, Lt, Gt, Le, Ge };
    CompareNode(Op op, NodePtr left, NodePtr right, int position);
    Tri Test(std::uint32_t rec, EvalScratch& scratch) const override;
    Op GetOp() const { return m_op; }
    const Node& Left() const { return *m_left; }
    const Node& Right() const { return *m_right; }

private:
    Op m_op;
    NodePtr m_left;
    NodePtr m_right;
};

class LikeNode : public Node {
public:
    LikeNode(NodePtr operand, NodePtr pattern, bool negated, int position);
    Tri Test(std::uint32_t rec, EvalScratch& scratch) const override;

    const Node& Operand() const { return *m_operand; }
    bool Negated() const { return m_negated; }
    const Node& Pattern() const { return *m_pattern; }
    // The compiled pattern when it is a literal, else nullptr.
    const LikePattern* Literal() const { return m_literal.get(); }

private:
    NodePtr m_operand;
    NodePtr m_pattern;
    bool m_negated;
    std::unique_ptr<LikePattern> m_literal;
};

class IsNullNode : public Node {
public:
    IsNullNode(NodePtr operand, bool negated, int position);
    Tri Test(std::uint32_t rec, EvalScratch& scratch) const override;
    const Node& Operand() const { return *m_operand; }
    bool Negated() const { return m_negated; }

private:
    NodePtr m_operand;
    bool m_negated;
};

class InNode : public Node {
public:
    InNode(NodePtr operand, std::vector<NodePtr> list, bool negated, int position);
    Tri Test(std::uint32_t rec, EvalScratch& scratch) const override;
    const Node& Operand() const { return *m_operand; }
    const std::vector<NodePtr>& List() const { return m_list; }
    bool Negated() const { return m_negated; }

private:
    NodePtr m_operand;
    std::vector<NodePtr> m_list;
    bool m_negated;
};

// AND / OR over two or more terms (nested ANDs are flattened into one node).
class LogicNode : public Node {
public:
    LogicNode(NodeKind kind, std::vector<NodePtr> terms, int position);
    Tri Test(std::uint32_t rec, EvalScratch& scratch) const override;
    const std::vector<NodePtr>& Terms() const { return m_terms; }

private:
    std::vector<NodePtr> m_terms;
};

class NotNode : public Node {
public:
    NotNode(NodePtr operand, int position);
    Tri Test(std::uint32_t rec, EvalScratch& scratch) const override;
    const Node& Operand() const { return *m_operand; }

private:
    NodePtr m_operand;
};

class TruthNode : public Node {
public:
    TruthNode(NodePtr operand, int position);
    Tri Test(std::uint32_t rec, EvalScratch& scratch) const override;
    const Node& Operand() const { return *m_operand; }

private:
    NodePtr m_operand;
};

// Text form of any non-NULL value (numbers as digits, booleans "True"/"False", dates
// YYYY-MM-DD); buffer holds at least kTextFormBuffer bytes.
std::string_view TextOf(const Value& value, char* buffer);

} // namespace host::filter
