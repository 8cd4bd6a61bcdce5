#include "host/filter/expression_parser.h"

#include "host/storage/table.h"
#include "host/text/accent_fold.h"
#include "host/text/text_form.h"

#include <algorithm>
#include <touchsearch/dataset_error.h>
#include <vector>

namespace host::filter {

namespace {

enum class Tok { Ident, QuotedIdent, Number, String, Op, LParen, RParen, Comma, End };

struct Token {
    Tok type = Tok::End;
    QString text;
    int position = 0; // 1-based
    int end = 0;      // from 0, where its text ends
};

// A piece of the input quoted in a message: long pieces are cut, so that a 10 MB
// literal does not make a 10 MB message.
QString Shown(const QString& piece)
{
    constexpr qsizetype kLongest = 40;
    return piece.size() <= kLongest ? piece : piece.left(kLongest) + QStringLiteral("...");
}

[[noreturn]] void Fail(const QString& what, int position)
{
    throw DatasetError(QStringLiteral("Filter: %1 at position %2").arg(what).arg(position));
}

// Moves i past a run of digits.
void SkipDigits(const QString& text, qsizetype& i)
{
    while (i < text.size() && text[i].isDigit()) {
        ++i;
    }
}

// A number from i on: digits, a fraction, an exponent (taken only when digits follow).
Token ReadNumber(const QString& text, qsizetype& i)
{
    const qsizetype n = text.size();
    const int position = static_cast<int>(i) + 1;
    qsizetype j = i;
    SkipDigits(text, j);
    if (j < n && text[j] == u'.') {
        ++j;
        SkipDigits(text, j);
    }
    if (j < n && (text[j] == u'e' || text[j] == u'E')) {
        qsizetype k = j + 1;
        if (k < n && (text[k] == u'+' || text[k] == u'-')) {
            ++k;
        }
        if (k < n && text[k].isDigit()) {
            SkipDigits(text, k);
            j = k;
        }
    }
    if (j < n && (text[j].isLetter() || text[j] == u'_')) {
        Fail(QStringLiteral("malformed number \"%1\"").arg(Shown(text.mid(i, j - i + 1))),
             position);
    }
    Token token{Tok::Number, text.mid(i, j - i), position};
    i = j;
    return token;
}

// The text between the quote at i and the next lone one, a quote inside doubled (as SQL
// writes both strings and names); i moves past the closing quote.
QString ReadQuoted(const QString& text, qsizetype& i, QChar quote, const char* unterminated)
{
    const qsizetype n = text.size();
    const int position = static_cast<int>(i) + 1;
    QString value;
    qsizetype j = i + 1;
    for (;;) {
        if (j >= n) {
            Fail(QLatin1String(unterminated), position);
        }
        if (text[j] == quote) {
            if (j + 1 < n && text[j + 1] == quote) {
                value += quote;
                j += 2;
                continue;
            }
            break;
        }
        value += text[j];
        ++j;
    }
    i = j + 1;
    return value;
}

// "<", ">", "!" and the pairs they begin: "<=", ">=", "<>", "!=" ("!" alone is none).
Token ReadComparison(const QString& text, qsizetype& i)
{
    const QChar c = text[i];
    const int position = static_cast<int>(i) + 1;
    QString op(c);
    if (i + 1 < text.size() && (text[i + 1] == u'=' || (c == u'<' && text[i + 1] == u'>'))) {
        op += text[i + 1];
    }
    if (op == QStringLiteral("!")) {
        Fail(QStringLiteral("invalid character \"!\""), position);
    }
    i += op.size();
    return {Tok::Op, op, position};
}

// A character no token begins with.
[[noreturn]] void FailInvalid(QChar c, int position)
{
    if (c.isPrint()) {
        Fail(QStringLiteral("invalid character \"%1\"").arg(c), position);
    }
    // NUL and other control characters are named by code, not written raw.
    Fail(QStringLiteral("invalid character U+%1")
             .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0')),
         position);
}

// The token that begins at i (not a space); i moves past it.
Token ReadToken(const QString& text, qsizetype& i)
{
    const qsizetype n = text.size();
    const QChar c = text[i];
    const int position = static_cast<int>(i) + 1;
    if (c.isLetter() || c == u'_') {
        qsizetype j = i + 1;
        while (j < n && (text[j].isLetterOrNumber() || text[j] == u'_')) {
            ++j;
        }
        Token token{Tok::Ident, text.mid(i, j - i), position};
        i = j;
        return token;
    }
    if (c.isDigit() || (c == u'.' && i + 1 < n && text[i + 1].isDigit())) {
        return ReadNumber(text, i);
    }
    if (c == u'\'') {
        return {Tok::String, ReadQuoted(text, i, c, "unterminated string"), position};
    }
    if (c == u'"') {
        // A field name in double quotes, as SQL writes one: any characters, a quote
        // inside doubled ("NM CLIENTE", "O ""APELIDO"").
        return {Tok::QuotedIdent, ReadQuoted(text, i, c, "unterminated field name"), position};
    }
    if (c == u'[') {
        // The bracketed form, for names without "]": [NM CLIENTE].
        const qsizetype j = text.indexOf(u']', i + 1);
        if (j < 0) {
            Fail(QStringLiteral("unterminated field name"), position);
        }
        Token token{Tok::QuotedIdent, text.mid(i + 1, j - i - 1), position};
        i = j + 1;
        return token;
    }
    if (c == u'<' || c == u'>' || c == u'!') {
        return ReadComparison(text, i);
    }
    Tok type = Tok::Op;
    if (c == u'(') {
        type = Tok::LParen;
    } else if (c == u')') {
        type = Tok::RParen;
    } else if (c == u',') {
        type = Tok::Comma;
    } else if (!(c == u'=' || c == u'+' || c == u'-' || c == u'*' || c == u'/')) {
        FailInvalid(c, position);
    }
    ++i;
    return {type, QString(c), position};
}

std::vector<Token> Tokenize(const QString& text)
{
    std::vector<Token> tokens;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        if (text[i].isSpace()) {
            ++i;
            continue;
        }
        tokens.push_back(ReadToken(text, i));
        tokens.back().end = static_cast<int>(i); // each pass past a space takes one token
    }
    tokens.push_back({Tok::End, QString(), static_cast<int>(n) + 1, static_cast<int>(n)});
    return tokens;
}

bool IsValueType(StaticType t)
{
    return t != StaticType::Condition;
}

bool IsNumeric(StaticType t)
{
    return t == StaticType::Number || t == StaticType::Boolean || t == StaticType::Null;
}

const char* TypeName(StaticType t)
{
    switch (t) {
    case StaticType::Null:
        return "NULL";
    case StaticType::Number:
        return "a number";
    case StaticType::Boolean:
        return "a boolean";
    case StaticType::Date:
        return "a date";
    case StaticType::Text:
        return "text";
    case StaticType::Condition:
        return "a condition";
    }
    return "a value";
}

class Parser {
public:
    Parser(const QString& text, const Table& table, FilterOptions options)
        : m_tokens(Tokenize(text)), m_table(table),
          m_caseInsensitive(options.testFlag(FilterOption::CaseInsensitive)),
          m_ignoreAccents(options.testFlag(FilterOption::IgnoreAccents))
    {
    }

    NodePtr ParseRoot()
    {
        NodePtr root = ParseOr();
        if (Peek().type != Tok::End) {
            Fail(QStringLiteral("unexpected \"%1\"").arg(Shown(Peek().text)), Peek().position);
        }
        return AsCondition(std::move(root));
    }

private:
    const Token& Peek() const { return m_tokens[m_pos]; }
    const Token& Take() { return m_tokens[m_pos++]; }

    bool IsKeyword(const char* word) const
    {
        return Peek().type == Tok::Ident &&
               Peek().text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool IsKeywordAt(size_t at, const char* word) const
    {
        return at < m_tokens.size() && m_tokens[at].type == Tok::Ident &&
               m_tokens[at].text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool IsOp(const char* op) const
    {
        return Peek().type == Tok::Op && Peek().text == QLatin1String(op);
    }

    void Expect(Tok type, const char* what)
    {
        if (Peek().type != type) {
            Unexpected(QStringLiteral("expected %1").arg(QLatin1String(what)));
        }
        ++m_pos;
    }

    [[noreturn]] void Unexpected(const QString& expectation) const
    {
        if (Peek().type == Tok::End) {
            Fail(expectation + QStringLiteral(", found the end of the expression"),
                 Peek().position);
        }
        Fail(expectation + QStringLiteral(", found \"%1\"").arg(Shown(Peek().text)),
             Peek().position);
    }

    // Depth guard shared by every recursive rule.
    class Depth {
    public:
        explicit Depth(Parser& parser) : m_parser(parser)
        {
            if (++m_parser.m_depth > kMaxFilterDepth) {
                Fail(QStringLiteral("expression nested deeper than %1 levels").arg(kMaxFilterDepth),
                     m_parser.Peek().position);
            }
        }
        ~Depth() { --m_parser.m_depth; }
        Depth(const Depth&) = delete;
        Depth& operator=(const Depth&) = delete;

    private:
        Parser& m_parser;
    };

    // Notes where a node's text lies: from the token at first to the last one taken.
    NodePtr Spanned(NodePtr node, size_t first) const
    {
        node->SetText(m_tokens[first].position - 1, m_tokens[m_pos - 1].end);
        return node;
    }

    static NodePtr AsCondition(NodePtr node)
    {
        if (node->Type() == StaticType::Condition) {
            return node;
        }
        if (node->Type() == StaticType::Boolean) {
            const int position = node->Position();
            const int begin = node->TextBegin();
            const int end = node->TextEnd();
            NodePtr truth = std::make_unique<TruthNode>(std::move(node), position);
            truth->SetText(begin, end);
            return truth;
        }
        Fail(QStringLiteral("expected a condition, found %1")
                 .arg(QLatin1String(TypeName(node->Type()))),
             node->Position());
    }

    static NodePtr AsValue(NodePtr node)
    {
        if (!IsValueType(node->Type())) {
            Fail(QStringLiteral("expected a value, found a condition"), node->Position());
        }
        return node;
    }

    NodePtr ParseOr()
    {
        Depth depth(*this);
        const size_t first = m_pos;
        const int position = Peek().position;
        std::vector<NodePtr> terms;
        terms.push_back(ParseAnd());
        while (IsKeyword("OR")) {
            ++m_pos;
            terms.push_back(ParseAnd());
        }
        if (terms.size() == 1) {
            return Spanned(std::move(terms.front()), first);
        }
        return Spanned(MakeLogic(NodeKind::Or, std::move(terms), position), first);
    }

    NodePtr ParseAnd()
    {
        const size_t first = m_pos;
        const int position = Peek().position;
        std::vector<NodePtr> terms;
        terms.push_back(ParseNot());
        while (IsKeyword("AND")) {
            ++m_pos;
            terms.push_back(ParseNot());
        }
        if (terms.size() == 1) {
            return Spanned(std::move(terms.front()), first);
        }
        return Spanned(MakeLogic(NodeKind::And, std::move(terms), position), first);
    }

    static NodePtr MakeLogic(NodeKind kind, std::vector<NodePtr> terms, int position)
    {
        for (NodePtr& term : terms) {
            term = AsCondition(std::move(term));
        }
        return std::make_unique<LogicNode>(kind, std::move(terms), position);
    }

    NodePtr ParseNot()
    {
        const size_t first = m_pos;
        if (IsKeyword("NOT")) {
            Depth depth(*this);
            const int position = Take().position;
            return Spanned(std::make_unique<NotNode>(AsCondition(ParseNot()), position), first);
        }
        return Spanned(ParsePredicate(), first);
    }

    NodePtr ParsePredicate()
    {
        NodePtr left = ParseAdditive();
        const Token& t = Peek();
        if (t.type == Tok::Op && (t.text == QLatin1String("=") || t.text == QLatin1String("<>") ||
                                  t.text == QLatin1String("!=") || t.text == QLatin1String("<") ||
                                  t.text == QLatin1String(">") || t.text == QLatin1String("<=") ||
                                  t.text == QLatin1String(">="))) {
            const Token op = Take();
            NodePtr right = ParseAdditive();
            CheckComparable(*left, *right, op.position);
            TakeLetterCase(*left, right);
            TakeLetterCase(*right, left);
            if (m_caseInsensitive && MeetAsText(left->Type(), right->Type())) {
                left = Folded(std::move(left));
                right = Folded(std::move(right));
            }
            CompareNode::Op kind = CompareNode::Op::Eq;
            if (op.text == QLatin1String("<>") || op.text == QLatin1String("!=")) {
                kind = CompareNode::Op::Ne;
            } else if (op.text == QLatin1String("<")) {
                kind = CompareNode::Op::Lt;
            } else if (op.text == QLatin1String(">")) {
                kind = CompareNode::Op::Gt;
            } else if (op.text == QLatin1String("<=")) {
                kind = CompareNode::Op::Le;
            } else if (op.text == QLatin1String(">=")) {
                kind = CompareNode::Op::Ge;
            }
            return std::make_unique<CompareNode>(kind, std::move(left), std::move(right),
                                                 op.position);
        }
        bool negated = false;
        if (IsKeyword("NOT") && (IsKeywordAt(m_pos + 1, "LIKE") || IsKeywordAt(m_pos + 1, "IN"))) {
            negated = true;
            ++m_pos;
        }
        if (IsKeyword("LIKE")) {
            const int position = Take().position;
            NodePtr pattern = ParseAdditive();
            left = AsValue(std::move(left));
            pattern = AsValue(std::move(pattern));
            TakeLetterCase(*left, pattern);
            if (m_caseInsensitive) {
                left = Folded(std::move(left));
                pattern = Folded(std::move(pattern));
            }
            return std::make_unique<LikeNode>(std::move(left), std::move(pattern), negated,
                                              position);
        }
        if (IsKeyword("IN")) {
            const int position = Take().position;
            Expect(Tok::LParen, "\"(\" after IN");
            std::vector<NodePtr> list;
            for (;;) {
                NodePtr item = ParseAdditive();
                CheckComparable(*left, *item, item->Position());
                list.push_back(std::move(item));
                if (Peek().type == Tok::Comma) {
                    ++m_pos;
                    continue;
                }
                Expect(Tok::RParen, "\",\" or \")\" in the IN list");
                break;
            }
            for (NodePtr& item : list) {
                TakeLetterCase(*left, item);
            }
            if (m_caseInsensitive &&
                std::any_of(list.begin(), list.end(), [&](const NodePtr& item) {
                    return MeetAsText(left->Type(), item->Type());
                })) {
                // One operand meets every item: once any item meets it as text, the
                // whole list is compared as upper-cased text.
                left = Folded(std::move(left));
                for (NodePtr& item : list) {
                    item = Folded(std::move(item));
                }
            }
            return std::make_unique<InNode>(std::move(left), std::move(list), negated, position);
        }
        if (IsKeyword("IS")) {
            const int position = Take().position;
            bool isNot = false;
            if (IsKeyword("NOT")) {
                ++m_pos;
                isNot = true;
            }
            if (!IsKeyword("NULL")) {
                Unexpected(QStringLiteral("expected NULL after IS"));
            }
            ++m_pos;
            return std::make_unique<IsNullNode>(AsValue(std::move(left)), isNot, position);
        }
        return left;
    }

    static void CheckComparable(const Node& a, const Node& b, int position)
    {
        AsValueCheck(a);
        AsValueCheck(b);
        const StaticType x = a.Type();
        const StaticType y = b.Type();
        const bool dateVsNumber =
            (x == StaticType::Date && (y == StaticType::Number || y == StaticType::Boolean)) ||
            (y == StaticType::Date && (x == StaticType::Number || x == StaticType::Boolean));
        if (dateVsNumber) {
            Fail(QStringLiteral("cannot compare %1 with %2")
                     .arg(QLatin1String(TypeName(x)), QLatin1String(TypeName(y))),
                 position);
        }
    }

    // The case a value's text is in by construction: UPPER's or LOWER's (through TRIM).
    static FoldedLetterCase CaseOf(const Node& node)
    {
        if (node.Kind() == NodeKind::FoldedField) {
            return FoldedLetterCase::Upper;
        }
        if (node.Kind() != NodeKind::Function) {
            return FoldedLetterCase::Own;
        }
        const auto& function = static_cast<const FunctionNode&>(node);
        switch (function.GetFunction()) {
        case FunctionNode::Function::Upper:
            return FoldedLetterCase::Upper;
        case FunctionNode::Function::Lower:
            return FoldedLetterCase::Lower;
        case FunctionNode::Function::Trim:
            break;
        }
        return CaseOf(function.Argument());
    }

    // With accents set aside, a string literal that meets UPPER(x) or LOWER(x) (compared,
    // matched or listed) has the letters the fold produced in that function's case: the
    // screen keyboard's "ç" then finds "Ç" under UPPER, and "%GONç%" finds GONÇALVES as
    // well as Gonçalves. Letters the fold does not touch keep their case, as they would
    // without the option.
    static void TakeLetterCase(const Node& other, NodePtr& literal)
    {
        if (literal->Kind() != NodeKind::Literal) {
            return;
        }
        const std::string* written = static_cast<const LiteralNode&>(*literal).WrittenText();
        const FoldedLetterCase letterCase = CaseOf(other);
        if (written == nullptr || letterCase == FoldedLetterCase::Own) {
            return;
        }
        literal = TextLiteral(AccentFoldedText(*written, letterCase), literal->Position());
    }

    static std::unique_ptr<LiteralNode> TextLiteral(std::string text, int position)
    {
        Value v;
        v.kind = Value::Kind::Text;
        return std::make_unique<LiteralNode>(v, std::move(text), StaticType::Text, position);
    }

    // Whether two values of these types are compared as text (see CompareValues).
    static bool MeetAsText(StaticType a, StaticType b)
    {
        if (a == StaticType::Null || b == StaticType::Null) {
            return false; // the comparison is unknown whatever the case
        }
        if (IsNumeric(a) && IsNumeric(b)) {
            return false;
        }
        return !(a == StaticType::Date && b == StaticType::Date);
    }

    // The value upper-cased by the ASCII rule: literals at once, a text field through
    // its folded column, anything else through UPPER.
    static NodePtr Folded(NodePtr node)
    {
        const int position = node->Position();
        switch (node->Kind()) {
        case NodeKind::FoldedField:
            return node;
        case NodeKind::Literal: {
            EvalScratch scratch;
            const Value v = node->Eval(0, scratch);
            if (v.kind == Value::Kind::Null) {
                return node;
            }
            char buffer[kTextFormBuffer];
            std::string text(TextOf(v, buffer));
            std::transform(text.begin(), text.end(), text.begin(), AsciiUpper);
            Value folded;
            folded.kind = Value::Kind::Text;
            return std::make_unique<LiteralNode>(folded, std::move(text), StaticType::Text,
                                                 position);
        }
        case NodeKind::Field:
            if (node->Type() == StaticType::Text) {
                const auto& field = static_cast<const FieldNode&>(*node);
                return std::make_unique<FoldedFieldNode>(field.GetColumn(), field.FieldIndex(),
                                                         position, field.IgnoresAccents());
            }
            break;
        default:
            if (node->Type() == StaticType::Null) {
                return node;
            }
            break;
        }
        return std::make_unique<FunctionNode>(FunctionNode::Function::Upper, std::move(node),
                                              position);
    }

    static void AsValueCheck(const Node& node)
    {
        if (!IsValueType(node.Type())) {
            Fail(QStringLiteral("expected a value, found a condition"), node.Position());
        }
    }

    // A chain "a + b + c ..." builds a tree as deep as it is long: each link counts
    // towards the nesting limit, released when the chain ends.
    class ChainDepth {
    public:
        explicit ChainDepth(Parser& parser) : m_parser(parser) {}
        ~ChainDepth() { m_parser.m_depth -= m_links; }
        ChainDepth(const ChainDepth&) = delete;
        ChainDepth& operator=(const ChainDepth&) = delete;

        void Link()
        {
            ++m_links;
            if (++m_parser.m_depth > kMaxFilterDepth) {
                Fail(QStringLiteral("expression nested deeper than %1 levels").arg(kMaxFilterDepth),
                     m_parser.Peek().position);
            }
        }

    private:
        Parser& m_parser;
        int m_links = 0;
    };

    NodePtr ParseAdditive()
    {
        NodePtr left = ParseMultiplicative();
        ChainDepth chain(*this);
        while (IsOp("+") || IsOp("-")) {
            chain.Link();
            const Token op = Take();
            NodePtr right = ParseMultiplicative();
            left = MakeArithmetic(op, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr ParseMultiplicative()
    {
        NodePtr left = ParseUnary();
        ChainDepth chain(*this);
        while (IsOp("*") || IsOp("/")) {
            chain.Link();
            const Token op = Take();
            NodePtr right = ParseUnary();
            left = MakeArithmetic(op, std::move(left), std::move(right));
        }
        return left;
    }

    static NodePtr MakeArithmetic(const Token& op, NodePtr left, NodePtr right)
    {
        for (const Node* operand : {left.get(), right.get()}) {
            if (!IsNumeric(operand->Type())) {
                Fail(QStringLiteral("\"%1\" needs numbers, found %2")
                         .arg(op.text, QLatin1String(TypeName(operand->Type()))),
                     operand->Position());
            }
        }
        return std::make_unique<ArithmeticNode>(op.text[0].toLatin1(), std::move(left),
                                                std::move(right), op.position);
    }

    NodePtr ParseUnary()
    {
        if (IsOp("-") || IsOp("+")) {
            Depth depth(*this);
            const Token op = Take();
            NodePtr operand = ParseUnary();
            if (!IsNumeric(operand->Type())) {
                Fail(QStringLiteral("\"%1\" needs a number, found %2")
                         .arg(op.text, QLatin1String(TypeName(operand->Type()))),
                     operand->Position());
            }
            if (op.text == QLatin1String("+")) {
                return operand;
            }
            return std::make_unique<NegateNode>(std::move(operand), op.position);
        }
        return ParsePrimary();
    }

    NodePtr ParsePrimary()
    {
        const Token& t = Peek();
        switch (t.type) {
        case Tok::Number:
            return ParseNumber(Take());
        case Tok::String: {
            const Token& s = Take();
            std::string text = s.text.toStdString();
            if (!m_ignoreAccents) {
                return TextLiteral(std::move(text), s.position);
            }
            // Read with its accents set aside; where it meets UPPER or LOWER the letters
            // the fold produced take that case instead (TakeLetterCase).
            std::unique_ptr<LiteralNode> literal = TextLiteral(AccentFoldedText(text), s.position);
            literal->SetWrittenText(std::move(text));
            return literal;
        }
        case Tok::LParen: {
            Take();
            NodePtr inner = ParseOr();
            Expect(Tok::RParen, "\")\"");
            return inner;
        }
        case Tok::QuotedIdent:
            return MakeField(Take());
        case Tok::Ident:
            break;
        case Tok::Op:
        case Tok::RParen:
        case Tok::Comma:
        case Tok::End:
            Unexpected(QStringLiteral("expected a value"));
        }
        if (IsKeyword("NULL")) {
            const int position = Take().position;
            return std::make_unique<LiteralNode>(Value{}, "NULL", StaticType::Null, position);
        }
        if (IsKeyword("TRUE") || IsKeyword("FALSE")) {
            const Token& b = Take();
            Value v;
            v.kind = Value::Kind::Bool;
            v.i = b.text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ? 1 : 0;
            return std::make_unique<LiteralNode>(v, v.i ? "TRUE" : "FALSE", StaticType::Boolean,
                                                 b.position);
        }
        for (const char* reserved : {"AND", "OR", "NOT", "LIKE", "IN", "IS"}) {
            if (IsKeyword(reserved)) {
                Unexpected(QStringLiteral("expected a value"));
            }
        }
        if (m_pos + 1 < m_tokens.size() && m_tokens[m_pos + 1].type == Tok::LParen) {
            return ParseFunction();
        }
        return MakeField(Take());
    }

    NodePtr ParseNumber(const Token& t)
    {
        Value v;
        bool ok = false;
        const qlonglong i = t.text.toLongLong(&ok);
        if (ok) {
            v.kind = Value::Kind::Int;
            v.i = i;
        } else {
            v.kind = Value::Kind::Float;
            v.d = t.text.toDouble(&ok);
            if (!ok) {
                Fail(QStringLiteral("malformed number \"%1\"").arg(Shown(t.text)), t.position);
            }
        }
        return std::make_unique<LiteralNode>(v, t.text.toStdString(), StaticType::Number,
                                             t.position);
    }

    NodePtr ParseFunction()
    {
        Depth depth(*this);
        const Token name = Take();
        FunctionNode::Function function = FunctionNode::Function::Upper;
        if (name.text.compare(QLatin1String("UPPER"), Qt::CaseInsensitive) == 0) {
            function = FunctionNode::Function::Upper;
        } else if (name.text.compare(QLatin1String("LOWER"), Qt::CaseInsensitive) == 0) {
            function = FunctionNode::Function::Lower;
        } else if (name.text.compare(QLatin1String("TRIM"), Qt::CaseInsensitive) == 0) {
            function = FunctionNode::Function::Trim;
        } else {
            Fail(QStringLiteral("unknown function \"%1\"").arg(Shown(name.text)), name.position);
        }
        Expect(Tok::LParen, "\"(\"");
        NodePtr argument = AsValue(ParseOr());
        Expect(Tok::RParen, "\")\"");
        if (function == FunctionNode::Function::Upper && argument->Kind() == NodeKind::Field &&
            argument->Type() == StaticType::Text) {
            const auto& field = static_cast<const FieldNode&>(*argument);
            return std::make_unique<FoldedFieldNode>(field.GetColumn(), field.FieldIndex(),
                                                     name.position, field.IgnoresAccents());
        }
        return std::make_unique<FunctionNode>(function, std::move(argument), name.position);
    }

    NodePtr MakeField(const Token& t)
    {
        const int index = m_table.FindField(t.text);
        if (index < 0) {
            Fail(QStringLiteral("unknown field \"%1\"").arg(Shown(t.text)), t.position);
        }
        if (m_table.Def(index).binary) {
            Fail(QStringLiteral("field \"%1\" holds binary data, which a filter cannot search")
                     .arg(m_table.Def(index).name),
                 t.position);
        }
        StaticType type = StaticType::Text;
        switch (m_table.Def(index).type) {
        case FieldType::Text:
            type = StaticType::Text;
            break;
        case FieldType::Integer:
        case FieldType::Float:
            type = StaticType::Number;
            break;
        case FieldType::Boolean:
            type = StaticType::Boolean;
            break;
        case FieldType::Date:
            type = StaticType::Date;
            break;
        }
        return std::make_unique<FieldNode>(m_table.Col(index), index, type, t.position,
                                           m_ignoreAccents);
    }

    std::vector<Token> m_tokens;
    size_t m_pos = 0;
    int m_depth = 0;
    const Table& m_table;
    bool m_caseInsensitive = false;
    bool m_ignoreAccents = false;
};

} // namespace

bool IsPlainFieldName(const QString& name)
{
    if (name.isEmpty() || !(name[0].isLetter() || name[0] == u'_')) {
        return false;
    }
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() || c == u'_')) {
            return false;
        }
    }
    for (const char* word : {"AND", "OR", "NOT", "LIKE", "IN", "IS", "NULL", "TRUE", "FALSE"}) {
        if (name.compare(QLatin1String(word), Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    return true;
}

QString FieldNameInFilter(const QString& name)
{
    if (IsPlainFieldName(name)) {
        return name;
    }
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString FieldNameProblem(const QString& name)
{
    if (name.isEmpty()) {
        return QStringLiteral("a field needs a name");
    }
    if (name.front().isSpace() || name.back().isSpace()) {
        return QStringLiteral("a field name cannot begin or end with a space");
    }
    if (name.contains(u';')) {
        return QStringLiteral("a field name cannot hold \";\", which separates the fields of "
                              "an index");
    }
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control) {
            return QStringLiteral("a field name cannot hold a control character (U+%1)")
                .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0'));
        }
    }
    return {};
}

NodePtr ParseFilter(const QString& text, const Table& table, FilterOptions options)
{
    Parser parser(text, table, options);
    return parser.ParseRoot();
}

} // namespace host::filter
