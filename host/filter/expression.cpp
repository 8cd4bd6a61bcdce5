#include "host/filter/expression.h"

#include "host/text/text_fold.h"
#include "host/text/text_form.h"

#include <algorithm>
#include <cmath>

namespace host::filter {

namespace {

bool IsNumber(Value::Kind kind)
{
    return kind == Value::Kind::Int || kind == Value::Kind::Float || kind == Value::Kind::Bool;
}

bool IsIntegral(Value::Kind kind)
{
    return kind == Value::Kind::Int || kind == Value::Kind::Bool;
}

double AsDouble(const Value& v)
{
    return v.kind == Value::Kind::Float ? v.d : static_cast<double>(v.i);
}

template <class T> int Order(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Numbers compare numerically, dates by day; anything else meets as text, byte by byte
// (a number met by text is turned into its text form).
int CompareValues(const Value& a, const Value& b)
{
    if (IsNumber(a.kind) && IsNumber(b.kind)) {
        if (IsIntegral(a.kind) && IsIntegral(b.kind)) {
            return Order(a.i, b.i);
        }
        return Order(AsDouble(a), AsDouble(b));
    }
    if (a.kind == Value::Kind::Date && b.kind == Value::Kind::Date) {
        return Order(a.i, b.i);
    }
    char bufferA[kTextFormBuffer];
    char bufferB[kTextFormBuffer];
    const std::string_view ta = TextOf(a, bufferA);
    const std::string_view tb = TextOf(b, bufferB);
    const int c = ta.compare(tb);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Tri FromBool(bool b)
{
    return b ? Tri::True : Tri::False;
}

Value MakeInt(std::int64_t i)
{
    Value v;
    v.kind = Value::Kind::Int;
    v.i = i;
    return v;
}

Value MakeFloat(double d)
{
    Value v;
    v.kind = Value::Kind::Float;
    v.d = d;
    return v;
}

// An arithmetic result. Not a number (infinity minus infinity, infinity times zero)
// is NULL, as in SQL: it would otherwise compare equal to every number.
Value MakeReal(double d)
{
    return std::isnan(d) ? Value{} : MakeFloat(d);
}

// Joins the parts of a node's key (appending, which also keeps GCC 12's -Wrestrict
// false positive on string concatenation at -O3 away).
template <class... Parts> std::string Join(const Parts&... parts)
{
    std::string out;
    (out.append(parts), ...);
    return out;
}

} // namespace

std::string_view TextOf(const Value& value, char* buffer)
{
    switch (value.kind) {
    case Value::Kind::Text:
        return value.s;
    case Value::Kind::Int:
        return IntegerText(value.i, buffer);
    case Value::Kind::Float:
        return FloatText(value.d, buffer);
    case Value::Kind::Bool:
        return BooleanText(value.i != 0);
    case Value::Kind::Date:
        return DateText(value.i, buffer);
    case Value::Kind::Null:
        break;
    }
    return {};
}

Value Node::Eval(std::uint32_t, EvalScratch&) const
{
    return {};
}

Tri Node::Test(std::uint32_t, EvalScratch&) const
{
    return Tri::Unknown;
}

FieldNode::FieldNode(const Column& column, int field, StaticType type, int position,
                     bool ignoreAccents)
    : ColumnNode(NodeKind::Field, column, field, type, position,
                 ignoreAccents && type == StaticType::Text)
{
    m_key = Join("F", std::to_string(field), m_ignoreAccents ? "a" : "");
}

Value FieldNode::Eval(std::uint32_t rec, EvalScratch& scratch) const
{
    Value v;
    if (m_column->IsNull(rec)) {
        return v;
    }
    switch (m_column->Type()) {
    case FieldType::Text:
        v.kind = Value::Kind::Text;
        v.s =
            m_ignoreAccents ? m_column->SearchText(rec, true, scratch.Take()) : m_column->Text(rec);
        break;
    case FieldType::Integer:
        v.kind = Value::Kind::Int;
        v.i = m_column->Int(rec);
        break;
    case FieldType::Boolean:
        v.kind = Value::Kind::Bool;
        v.i = m_column->Int(rec);
        break;
    case FieldType::Date:
        v.kind = Value::Kind::Date;
        v.i = m_column->Int(rec);
        break;
    case FieldType::Float:
        v.kind = Value::Kind::Float;
        v.d = m_column->Float(rec);
        break;
    }
    return v;
}

FoldedFieldNode::FoldedFieldNode(const Column& column, int field, int position, bool ignoreAccents)
    : ColumnNode(NodeKind::FoldedField, column, field, StaticType::Text, position, ignoreAccents)
{
    m_key = Join("U(F", std::to_string(field), m_ignoreAccents ? "a" : "", ")");
}

Value FoldedFieldNode::Eval(std::uint32_t rec, EvalScratch& scratch) const
{
    Value v;
    if (!m_column->IsNull(rec)) {
        v.kind = Value::Kind::Text;
        // Folded on the fly: no folded copy of the column is kept.
        v.s =
            m_ignoreAccents ? m_column->SearchText(rec, true, scratch.Take()) : m_column->Text(rec);
        if (!m_column->FoldsToItself(m_ignoreAccents)) {
            std::string& folded = scratch.Take();
            FoldText(v.s, folded);
            v.s = folded;
        }
    }
    return v;
}

const ColumnNode* AsTextColumn(const Node& node)
{
    if (node.Kind() == NodeKind::FoldedField ||
        (node.Kind() == NodeKind::Field && node.Type() == StaticType::Text)) {
        return static_cast<const ColumnNode*>(&node);
    }
    return nullptr;
}

LiteralNode::LiteralNode(Value value, std::string text, StaticType type, int position)
    : Node(NodeKind::Literal, type, position), m_value(value), m_text(std::move(text))
{
    if (m_value.kind == Value::Kind::Text) {
        m_value.s = m_text;
    }
    // The length keeps the key unambiguous: a text holding quotes and commas cannot
    // spell the key of a list of literals.
    m_key = Join("'", std::to_string(m_text.size()), ":", m_text, "'",
                 std::to_string(static_cast<int>(m_value.kind)));
}

Value LiteralNode::Eval(std::uint32_t, EvalScratch&) const
{
    return m_value;
}

ArithmeticNode::ArithmeticNode(char op, NodePtr left, NodePtr right, int position)
    : Node(NodeKind::Arithmetic, StaticType::Number, position), m_op(op), m_left(std::move(left)),
      m_right(std::move(right))
{
    m_key = Join(std::string_view(&m_op, 1), "(", m_left->Key(), ",", m_right->Key(), ")");
}

Value ArithmeticNode::Eval(std::uint32_t rec, EvalScratch& scratch) const
{
    const Value a = m_left->Eval(rec, scratch);
    if (a.kind == Value::Kind::Null) {
        return {};
    }
    const Value b = m_right->Eval(rec, scratch);
    if (b.kind == Value::Kind::Null) {
        return {};
    }
    if (m_op == '/') {
        // Division gives a real number; dividing by zero gives NULL.
        const double divisor = AsDouble(b);
        if (divisor == 0.0) {
            return {};
        }
        return MakeReal(AsDouble(a) / divisor);
    }
    if (IsIntegral(a.kind) && IsIntegral(b.kind)) {
        std::int64_t result = 0;
        bool overflow = false;
        switch (m_op) {
        case '+':
            overflow = __builtin_add_overflow(a.i, b.i, &result);
            break;
        case '-':
            overflow = __builtin_sub_overflow(a.i, b.i, &result);
            break;
        default:
            overflow = __builtin_mul_overflow(a.i, b.i, &result);
            break;
        }
        if (!overflow) {
            return MakeInt(result);
        }
    }
    const double x = AsDouble(a);
    const double y = AsDouble(b);
    double result = 0;
    switch (m_op) {
    case '+':
        result = x + y;
        break;
    case '-':
        result = x - y;
        break;
    default:
        result = x * y;
        break;
    }
    return MakeReal(result);
}

NegateNode::NegateNode(NodePtr operand, int position)
    : Node(NodeKind::Negate, StaticType::Number, position), m_operand(std::move(operand))
{
    m_key = Join("-(", m_operand->Key(), ")");
}

Value NegateNode::Eval(std::uint32_t rec, EvalScratch& scratch) const
{
    const Value a = m_operand->Eval(rec, scratch);
    if (a.kind == Value::Kind::Null) {
        return {};
    }
    if (IsIntegral(a.kind) && a.i != INT64_MIN) {
        return MakeInt(-a.i);
    }
    return MakeFloat(-AsDouble(a));
}

FunctionNode::FunctionNode(Function function, NodePtr argument, int position)
    : Node(NodeKind::Function, StaticType::Text, position), m_function(function),
      m_argument(std::move(argument))
{
    static const char* const names[] = {"UPPER", "LOWER", "TRIM"};
    m_key = Join(names[static_cast<int>(function)], "(", m_argument->Key(), ")");
}

Value FunctionNode::Eval(std::uint32_t rec, EvalScratch& scratch) const
{
    const Value a = m_argument->Eval(rec, scratch);
    if (a.kind == Value::Kind::Null) {
        return {};
    }
    char buffer[kTextFormBuffer];
    std::string_view text = TextOf(a, buffer);
    Value v;
    v.kind = Value::Kind::Text;
    switch (m_function) {
    case Function::Trim: {
        const size_t first = text.find_first_not_of(' ');
        if (first == std::string_view::npos) {
            v.s = {};
            return v;
        }
        text = text.substr(first, text.find_last_not_of(' ') - first + 1);
        if (text.data() == buffer) {
            std::string& kept = scratch.Take();
            kept.assign(text);
            text = kept;
        }
        v.s = text;
        return v;
    }
    case Function::Upper: {
        std::string& out = scratch.Take();
        FoldText(text, out); // the same fold as UPPER() of a field
        v.s = out;
        return v;
    }
    case Function::Lower: {
        std::string& out = scratch.Take();
        out.assign(text);
        std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
        v.s = out;
        return v;
    }
    }
    return v;
}

CompareNode::CompareNode(Op op, NodePtr left, NodePtr right, int position)
    : Node(NodeKind::Compare, StaticType::Condition, position), m_op(op), m_left(std::move(left)),
      m_right(std::move(right))
{
    m_key = Join("C", std::to_string(static_cast<int>(op)), "(", m_left->Key(), ",", m_right->Key(),
                 ")");
}

Tri CompareNode::Test(std::uint32_t rec, EvalScratch& scratch) const
{
    const EvalScratch::Scope scope(scratch);
    const Value a = m_left->Eval(rec, scratch);
    if (a.kind == Value::Kind::Null) {
        return Tri::Unknown;
    }
    const Value b = m_right->Eval(rec, scratch);
    if (b.kind == Value::Kind::Null) {
        return Tri::Unknown;
    }
    const int c = CompareValues(a, b);
    switch (m_op) {
    case Op::Eq:
        return FromBool(c == 0);
    case Op::Ne:
        return FromBool(c != 0);
    case Op::Lt:
        return FromBool(c < 0);
    case Op::Gt:
        return FromBool(c > 0);
    case Op::Le:
        return FromBool(c <= 0);
    case Op::Ge:
        return FromBool(c >= 0);
    }
    return Tri::Unknown;
}

LikeNode::LikeNode(NodePtr operand, NodePtr pattern, bool negated, int position)
    : Node(NodeKind::Like, StaticType::Condition, position), m_operand(std::move(operand)),
      m_pattern(std::move(pattern)), m_negated(negated)
{
    if (m_pattern->Kind() == NodeKind::Literal) {
        EvalScratch scratch;
        const Value p = m_pattern->Eval(0, scratch);
        if (p.kind != Value::Kind::Null) {
            char buffer[kTextFormBuffer];
            m_literal = std::make_unique<LikePattern>(std::string(TextOf(p, buffer)));
        }
    }
    m_key = Join(negated ? "NL(" : "L(", m_operand->Key(), ",", m_pattern->Key(), ")");
}

Tri LikeNode::Test(std::uint32_t rec, EvalScratch& scratch) const
{
    const EvalScratch::Scope scope(scratch);
    const Value a = m_operand->Eval(rec, scratch);
    if (a.kind == Value::Kind::Null) {
        return Tri::Unknown;
    }
    char buffer[kTextFormBuffer];
    const std::string_view text = TextOf(a, buffer);
    bool match = false;
    if (m_literal) {
        match = m_literal->Matches(text);
    } else {
        const Value p = m_pattern->Eval(rec, scratch);
        if (p.kind == Value::Kind::Null) {
            return Tri::Unknown;
        }
        char patternBuffer[kTextFormBuffer];
        match = LikeMatch(text, TextOf(p, patternBuffer));
    }
    return FromBool(match != m_negated);
}

IsNullNode::IsNullNode(NodePtr operand, bool negated, int position)
    : Node(NodeKind::IsNull, StaticType::Condition, position), m_operand(std::move(operand)),
      m_negated(negated)
{
    m_key = Join(negated ? "NN(" : "N(", m_operand->Key(), ")");
}

Tri IsNullNode::Test(std::uint32_t rec, EvalScratch& scratch) const
{
    const EvalScratch::Scope scope(scratch);
    const bool isNull = m_operand->Eval(rec, scratch).kind == Value::Kind::Null;
    return FromBool(isNull != m_negated);
}

InNode::InNode(NodePtr operand, std::vector<NodePtr> list, bool negated, int position)
    : Node(NodeKind::In, StaticType::Condition, position), m_operand(std::move(operand)),
      m_list(std::move(list)), m_negated(negated)
{
    m_key = Join(negated ? "NI(" : "I(", m_operand->Key());
    for (const NodePtr& item : m_list) {
        m_key.append(",").append(item->Key());
    }
    m_key += ")";
}

Tri InNode::Test(std::uint32_t rec, EvalScratch& scratch) const
{
    const EvalScratch::Scope scope(scratch);
    const Value a = m_operand->Eval(rec, scratch);
    if (a.kind == Value::Kind::Null) {
        return Tri::Unknown;
    }
    bool sawNull = false;
    for (const NodePtr& item : m_list) {
        const Value b = item->Eval(rec, scratch);
        if (b.kind == Value::Kind::Null) {
            sawNull = true;
        } else if (CompareValues(a, b) == 0) {
            return FromBool(!m_negated);
        }
    }
    return sawNull ? Tri::Unknown : FromBool(m_negated);
}

LogicNode::LogicNode(NodeKind kind, std::vector<NodePtr> terms, int position)
    : Node(kind, StaticType::Condition, position), m_terms(std::move(terms))
{
    m_key = kind == NodeKind::And ? "AND(" : "OR(";
    for (const NodePtr& term : m_terms) {
        m_key.append(term->Key()).append(";");
    }
    m_key += ")";
}

Tri LogicNode::Test(std::uint32_t rec, EvalScratch& scratch) const
{
    // AND: False wins, then Unknown. OR: True wins, then Unknown.
    const Tri decisive = Kind() == NodeKind::And ? Tri::False : Tri::True;
    bool unknown = false;
    for (const NodePtr& term : m_terms) {
        const Tri t = term->Test(rec, scratch);
        if (t == decisive) {
            return decisive;
        }
        unknown = unknown || t == Tri::Unknown;
    }
    if (unknown) {
        return Tri::Unknown;
    }
    return decisive == Tri::False ? Tri::True : Tri::False;
}

NotNode::NotNode(NodePtr operand, int position)
    : Node(NodeKind::Not, StaticType::Condition, position), m_operand(std::move(operand))
{
    m_key = Join("NOT(", m_operand->Key(), ")");
}

Tri NotNode::Test(std::uint32_t rec, EvalScratch& scratch) const
{
    const Tri t = m_operand->Test(rec, scratch);
    if (t == Tri::Unknown) {
        return t;
    }
    return t == Tri::True ? Tri::False : Tri::True;
}

TruthNode::TruthNode(NodePtr operand, int position)
    : Node(NodeKind::Truth, StaticType::Condition, position), m_operand(std::move(operand))
{
    m_key = Join("T(", m_operand->Key(), ")");
}

Tri TruthNode::Test(std::uint32_t rec, EvalScratch& scratch) const
{
    const EvalScratch::Scope scope(scratch);
    const Value a = m_operand->Eval(rec, scratch);
    if (a.kind == Value::Kind::Null) {
        return Tri::Unknown;
    }
    return FromBool(a.i != 0);
}

} // namespace host::filter
