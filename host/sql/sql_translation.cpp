#include "host/sql/sql_translation.h"

#include "host/filter/expression.h"
#include "host/storage/table.h"
#include "host/text/accent_fold.h"
#include "host/text/text_form.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <touchsearch/dataset_error.h>

namespace host::sql {

namespace {

using filter::Node;
using filter::NodeKind;

ValueKind KindOfValue(filter::Value::Kind kind)
{
    switch (kind) {
    case filter::Value::Kind::Null:
        return ValueKind::Null;
    case filter::Value::Kind::Int:
        return ValueKind::Int;
    case filter::Value::Kind::Float:
        return ValueKind::Float;
    case filter::Value::Kind::Bool:
        return ValueKind::Bool;
    case filter::Value::Kind::Date:
        return ValueKind::Date;
    case filter::Value::Kind::Text:
        return ValueKind::Text;
    }
    return ValueKind::Null;
}

bool IsIntegralKind(ValueKind kind)
{
    return kind == ValueKind::Int || kind == ValueKind::Bool;
}

QString Parenthesised(const QString& sql)
{
    return u'(' + sql + u')';
}

// How deeply SQL text nests: a bracket counts one level, a function call's two (the
// parser keeps more for a call's arguments). Quoted names and texts are passed over.
int Nesting(const QString& sql)
{
    std::vector<int> open;
    int depth = 0;
    int deepest = 0;
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote; // a doubled quote closes and opens again
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'(') {
            const bool call = i > 0 && (sql[i - 1].isLetterOrNumber() || sql[i - 1] == u'_');
            open.push_back(call ? 2 : 1);
            depth += open.back();
            deepest = std::max(deepest, depth);
        } else if (c == u')' && !open.empty()) {
            depth -= open.back();
            open.pop_back();
        }
    }
    return deepest;
}

// How a pattern match is written.
enum class Spelling {
    // For the indexes: a prefix as a range, which an ordered index serves.
    Indexed,
    // The same, with word starts after the first word ("% w%") matched over the words
    // after the first (see WordsAfterFirst), for a search over several fields.
    WordsAfterFirst,
    // As a row is checked against it, for a walk that reads every row: the match alone,
    // each text computed once.
    PerRow,
};

class Translator {
public:
    Translator(const Table& schema, const std::vector<QString>& fieldSql, const SqlDialect& dialect,
               const FilterSource& source, SqlText& out, Spelling spelling = Spelling::Indexed)
        : m_schema(schema), m_fieldSql(fieldSql), m_dialect(dialect), m_source(source),
          m_parts(!source.text.isEmpty() && dialect.DeepestNesting() > 0), m_spelling(spelling),
          m_out(out)
    {
    }

    QString Translate(const Node& root)
    {
        return Condition(root, m_parts ? m_dialect.DeepestNesting()
                                       : std::numeric_limits<int>::max() / 2);
    }

    // The condition as the OR of the alternatives of one of its groups that hold a prefix
    // range, each with the condition's other terms ANDed to it (see SqlText), each
    // translated apart; null when no group holds one, or parts of it are decided apart.
    // The group is the one with the longest word of four characters or more, or three
    // digits (else the first): its alternatives drive the search, the others are checked on the
    // records they find, and a longer word begins fewer of them ("M 7828356416" found the names
    // beginning with M to check each one's phone: 75 ms).
    std::shared_ptr<const SqlAlternatives> Alternatives(const Node& root) const
    {
        if (m_parts) {
            return nullptr;
        }
        std::vector<const Node*> terms;
        bool negated = false;
        const Node& top = WithoutNots(root, negated);
        if (!negated && top.Kind() == NodeKind::And) {
            Collect(top, NodeKind::And, terms);
        } else {
            terms.push_back(&root);
        }
        std::shared_ptr<SqlAlternatives> chosen;
        std::size_t chosenGroup = 0;
        qsizetype longest = -1;
        for (std::size_t g = 0; g < terms.size(); ++g) {
            bool groupNegated = false;
            const Node& group = WithoutNots(*terms[g], groupNegated);
            if (groupNegated || group.Kind() != NodeKind::Or) {
                continue;
            }
            std::vector<const Node*> options;
            Collect(group, NodeKind::Or, options);
            auto alternatives = std::make_shared<SqlAlternatives>();
            bool ranged = false;
            qsizetype length = 0;
            bool digits = false; // the word is all digits
            for (const Node* option : options) {
                SqlAlternative alternative;
                Translator own(m_schema, m_fieldSql, m_dialect, m_source, alternative.own,
                               m_spelling);
                alternative.own.sql = own.Translate(*option);
                if (option->Kind() == NodeKind::Like) {
                    alternative.rangeOf = own.m_rangeOf;
                    alternative.rangeText = own.m_rangeText;
                    alternative.prefix = own.m_prefix;
                    alternative.wordOf = own.m_wordOf;
                    alternative.word = own.m_word;
                    length = std::max(length, alternative.word.toUcs4().size());
                    digits =
                        digits || (!alternative.word.isEmpty() &&
                                   std::all_of(alternative.word.begin(), alternative.word.end(),
                                               [](QChar c) { return c.isDigit(); }));
                }
                ranged = ranged || !alternative.rangeOf.isEmpty();
                alternatives->options.push_back(std::move(alternative));
            }
            // A word of letters shorter than the word positions' starts begins later words
            // by the ten thousand ("SOU"), and two digits begin a hundredth of the numbers:
            // such a word leads only where no other may.
            const qsizetype shortest = digits ? 3 : SqlDialect::kWordStartLength;
            const qsizetype weight = length >= shortest ? length : 0;
            if (ranged && weight > longest) {
                chosen = std::move(alternatives);
                chosenGroup = g;
                longest = weight;
            }
        }
        if (!chosen) {
            return nullptr;
        }
        QStringList rest;
        QStringList restPerRow;
        for (std::size_t r = 0; r < terms.size(); ++r) {
            if (r != chosenGroup) {
                Translator other(m_schema, m_fieldSql, m_dialect, m_source, chosen->rest,
                                 m_spelling);
                rest << other.Translate(*terms[r]);
                if (m_spelling == Spelling::WordsAfterFirst) {
                    // Only a search of words reads the word positions, which check it.
                    Translator row(m_schema, m_fieldSql, m_dialect, m_source, chosen->restPerRow,
                                   Spelling::PerRow);
                    restPerRow << row.Translate(*terms[r]);
                }
            }
        }
        if (!rest.isEmpty()) {
            chosen->rest.sql = Grouped(rest, QStringLiteral(" AND "));
            if (!restPerRow.isEmpty()) {
                chosen->restPerRow.sql = Grouped(restPerRow, QStringLiteral(" AND "));
            }
        }
        return chosen;
    }

private:
    // A condition whose SQL nests at most room levels (see Nesting): where the dialect
    // nests only so deep, a part that would nest deeper is decided by PartCondition.
    // The top of the tree stays SQL (and an index can serve it); what lies too deep is
    // one part.
    QString Condition(const Node& node, int room)
    {
        switch (node.Kind()) {
        case NodeKind::And:
        case NodeKind::Or: {
            std::vector<const Node*> terms;
            Collect(node, node.Kind(), terms);
            const int inner = room - GroupLevels(static_cast<qsizetype>(terms.size()));
            if (m_parts && inner < SqlDialect::kPartNesting) {
                return Part(node);
            }
            if (node.Kind() == NodeKind::Or && m_spelling == Spelling::PerRow && !m_parts) {
                return AlternativesPerRow(terms, inner);
            }
            QStringList sql;
            for (const Node* term : terms) {
                sql << Condition(*term, inner);
            }
            return Grouped(sql, node.Kind() == NodeKind::And ? QStringLiteral(" AND ")
                                                             : QStringLiteral(" OR "));
        }
        case NodeKind::Not: {
            // NOT NOT x is x in three-valued logic too: a run of NOTs is one or none.
            bool negated = false;
            const Node& inner = WithoutNots(node, negated);
            if (!negated) {
                return Condition(inner, room);
            }
            if (m_parts && room - 1 < SqlDialect::kPartNesting) {
                return Part(node);
            }
            ++m_negations;
            const QString negation = QStringLiteral("(NOT %1)").arg(Condition(inner, room - 1));
            --m_negations;
            return negation;
        }
        default:
            break;
        }
        const qsizetype mark = m_out.values.size();
        const QString sql = Predicate(node);
        if (m_parts && Nesting(sql) > room) {
            m_out.values.resize(mark);
            return Part(node);
        }
        return sql;
    }

    // The terms an OR joins, checked on each row: the patterns matched against one text
    // are matched at once (LIKE ANY, where the dialect has it), so that the text (a field
    // upper-cased, its accents set aside) is computed once a row, not once a pattern.
    QString AlternativesPerRow(const std::vector<const Node*>& terms, int inner)
    {
        std::vector<QString> texts;
        texts.reserve(terms.size());
        for (const Node* term : terms) {
            texts.push_back(MatchedPerRow(*term));
        }
        std::vector<bool> joined(terms.size(), false);
        QStringList sql;
        for (std::size_t t = 0; t < terms.size(); ++t) {
            if (joined[t]) {
                continue;
            }
            if (texts[t].isEmpty()) {
                sql << Condition(*terms[t], inner);
                continue;
            }
            // Spelt here from the text already read, as Like spells a single one.
            std::vector<std::string> patterns;
            for (std::size_t o = t; o < terms.size(); ++o) {
                if (texts[o] == texts[t]) {
                    patterns.push_back(
                        static_cast<const filter::LikeNode&>(*terms[o]).Literal()->Text());
                    joined[o] = true;
                }
            }
            m_out.scans = true;
            sql << (patterns.size() == 1 ? m_dialect.LikeLiteral(m_out, texts[t], patterns.front())
                                         : m_dialect.LikeAny(m_out, texts[t], patterns));
        }
        return Grouped(sql, QStringLiteral(" OR "));
    }

    // The text a term matches per row against its literal pattern, as Like spells it there;
    // empty for any other term, or one whose text holds a bound value of its own.
    QString MatchedPerRow(const Node& term)
    {
        if (term.Kind() != NodeKind::Like) {
            return {};
        }
        const auto& like = static_cast<const filter::LikeNode&>(term);
        const filter::LikePattern* literal = like.Literal();
        if (like.Negated() || literal == nullptr) {
            return {};
        }
        const std::string& pattern = literal->Text();
        (void)SendableText(pattern, like.Pattern().Position());
        if (NeverMatches(like.Operand(), pattern)) {
            return {};
        }
        const qsizetype mark = m_out.values.size();
        ValueKind kind = ValueKind::Null;
        const QString text = Text(like.Operand(), kind);
        if (m_out.values.size() != mark || kind == ValueKind::Null) {
            m_out.values.resize(mark);
            return {};
        }
        NoteMatched(text);
        const QString stored = LetterlessPattern(pattern) ? StoredForm(like.Operand()) : QString();
        return stored.isEmpty() ? text : stored;
    }

    // A condition decided by the dialect's PartCondition: its text, parsed again over the
    // fields it reads.
    QString Part(const Node& node)
    {
        std::vector<bool> read(static_cast<size_t>(m_schema.FieldCount()), false);
        NoteFieldsRead(node, read);
        FilterPart part;
        part.text = m_source.text.mid(node.TextBegin(), node.TextEnd() - node.TextBegin());
        part.options = m_source.options;
        for (int f = 0; f < m_schema.FieldCount(); ++f) {
            if (read[static_cast<size_t>(f)]) {
                FieldDef def;
                def.name = m_schema.Def(f).name;
                def.type = m_schema.Def(f).type;
                part.fields.push_back(def);
            }
        }
        m_out.scans = true; // decided entry by entry, as a LIKE no range serves
        return m_dialect.PartCondition(m_out, part);
    }

    static void NoteFieldsRead(const Node& node, std::vector<bool>& read)
    {
        const auto note = [&read](const Node& inner) { NoteFieldsRead(inner, read); };
        switch (node.Kind()) {
        case NodeKind::Field:
        case NodeKind::FoldedField:
            read[static_cast<size_t>(static_cast<const filter::ColumnNode&>(node).FieldIndex())] =
                true;
            break;
        case NodeKind::Literal:
            break;
        case NodeKind::Arithmetic:
            note(static_cast<const filter::ArithmeticNode&>(node).Left());
            note(static_cast<const filter::ArithmeticNode&>(node).Right());
            break;
        case NodeKind::Negate:
            note(static_cast<const filter::NegateNode&>(node).Operand());
            break;
        case NodeKind::Function:
            note(static_cast<const filter::FunctionNode&>(node).Argument());
            break;
        case NodeKind::Compare:
            note(static_cast<const filter::CompareNode&>(node).Left());
            note(static_cast<const filter::CompareNode&>(node).Right());
            break;
        case NodeKind::Like:
            note(static_cast<const filter::LikeNode&>(node).Operand());
            note(static_cast<const filter::LikeNode&>(node).Pattern());
            break;
        case NodeKind::IsNull:
            note(static_cast<const filter::IsNullNode&>(node).Operand());
            break;
        case NodeKind::In:
            note(static_cast<const filter::InNode&>(node).Operand());
            for (const filter::NodePtr& item : static_cast<const filter::InNode&>(node).List()) {
                note(*item);
            }
            break;
        case NodeKind::And:
        case NodeKind::Or:
            for (const filter::NodePtr& term :
                 static_cast<const filter::LogicNode&>(node).Terms()) {
                note(*term);
            }
            break;
        case NodeKind::Not:
            note(static_cast<const filter::NotNode&>(node).Operand());
            break;
        case NodeKind::Truth:
            note(static_cast<const filter::TruthNode&>(node).Operand());
            break;
        }
    }

    // A condition that holds values, not conditions.
    QString Predicate(const Node& node)
    {
        switch (node.Kind()) {
        case NodeKind::Compare:
            return Compare(static_cast<const filter::CompareNode&>(node));
        case NodeKind::Like:
            return Like(static_cast<const filter::LikeNode&>(node));
        case NodeKind::IsNull: {
            const auto& isNull = static_cast<const filter::IsNullNode&>(node);
            ValueKind kind = ValueKind::Null;
            const QString value = Value(isNull.Operand(), kind);
            return Parenthesised(value + (isNull.Negated() ? QStringLiteral(" IS NOT NULL")
                                                           : QStringLiteral(" IS NULL")));
        }
        case NodeKind::In:
            return In(static_cast<const filter::InNode&>(node));
        case NodeKind::Truth: {
            ValueKind kind = ValueKind::Null;
            const qsizetype mark = m_out.values.size();
            const QString value =
                Value(static_cast<const filter::TruthNode&>(node).Operand(), kind);
            return kind == ValueKind::Null ? Dropped(mark, m_dialect.NullCondition())
                                           : m_dialect.Truth(value);
        }
        case NodeKind::Field:
        case NodeKind::FoldedField:
        case NodeKind::Literal:
        case NodeKind::Arithmetic:
        case NodeKind::Negate:
        case NodeKind::Function:
        case NodeKind::And:
        case NodeKind::Or:
        case NodeKind::Not:
            break;
        }
        throw DatasetError(
            QStringLiteral("Filter: expected a condition at position %1").arg(node.Position()));
    }

    // A long chain of terms is grouped: SQLite nests a chain of N terms N deep (and
    // refuses a depth of 1000), and a deep nest of brackets overflows its parser's
    // stack. Groups of kGroup terms, each bracketed, nest as a tree of kGroup branches:
    // five levels hold a million terms. Up to kGroup terms are written as they always
    // were, one bracketed chain.
    static constexpr qsizetype kGroup = 16;
    static QString Grouped(const QStringList& terms, const QString& joint)
    {
        if (terms.size() <= kGroup) {
            return Parenthesised(terms.join(joint));
        }
        const qsizetype per = (terms.size() + kGroup - 1) / kGroup;
        QStringList groups;
        for (qsizetype at = 0; at < terms.size(); at += per) {
            groups << Grouped(terms.mid(at, per), joint);
        }
        return Parenthesised(groups.join(joint));
    }
    // The brackets Grouped nests a chain of this many terms in.
    static int GroupLevels(qsizetype terms)
    {
        return terms <= kGroup ? 1 : 1 + GroupLevels((terms + kGroup - 1) / kGroup);
    }

    // The node under a run of NOTs; negated tells whether their number is odd.
    static const Node& WithoutNots(const Node& node, bool& negated)
    {
        const Node* inner = &node;
        while (inner->Kind() == NodeKind::Not) {
            negated = !negated;
            inner = &static_cast<const filter::NotNode&>(*inner).Operand();
        }
        return *inner;
    }

    // The terms of an AND or an OR, those of the same operator inside it (bracketed
    // in the filter, or under an even number of NOTs) taken in, in their order.
    static void Collect(const Node& node, NodeKind kind, std::vector<const Node*>& terms)
    {
        for (const filter::NodePtr& term : static_cast<const filter::LogicNode&>(node).Terms()) {
            bool negated = false;
            const Node& inner = WithoutNots(*term, negated);
            if (!negated && inner.Kind() == kind) {
                Collect(inner, kind, terms);
            } else {
                terms.push_back(term.get());
            }
        }
    }

    // Text for a bound parameter. A NUL character cannot travel: PostgreSQL refuses it
    // and SQLite would end the text there, so the filter is refused instead.
    static QString SendableText(std::string_view text, int position)
    {
        if (text.find('\0') != std::string_view::npos) {
            throw DatasetError(
                QStringLiteral("Filter: a text holding a NUL character (U+0000) cannot be "
                               "searched on the server, at position %1")
                    .arg(position));
        }
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }

    // A part that turned out NULL whatever the record: the values bound for the
    // operands it no longer shows are dropped.
    QString Dropped(qsizetype mark, const QString& replacement)
    {
        m_out.values.resize(mark);
        return replacement;
    }

    // The value in the server's own representation; kind says what it is.
    QString Value(const Node& node, ValueKind& kind)
    {
        switch (node.Kind()) {
        case NodeKind::Field: {
            const auto& field = static_cast<const filter::FieldNode&>(node);
            kind = ValueKindOf(m_schema.Def(field.FieldIndex()).type);
            const QString value = m_dialect.FieldValue(FieldSql(field.FieldIndex()), kind);
            return field.IgnoresAccents() ? m_dialect.AccentFolded(value) : value;
        }
        case NodeKind::FoldedField: {
            const auto& field = static_cast<const filter::FoldedFieldNode&>(node);
            kind = ValueKind::Text;
            const QString value = FieldSql(field.FieldIndex());
            return m_dialect.Upper(field.IgnoresAccents() ? m_dialect.AccentFolded(value) : value);
        }
        case NodeKind::Literal:
            return Constant(node, kind);
        case NodeKind::Arithmetic:
        case NodeKind::Negate:
        case NodeKind::Function:
            if (IsConstant(node)) {
                return Constant(node, kind);
            }
            if (node.Kind() == NodeKind::Arithmetic) {
                return Arithmetic(static_cast<const filter::ArithmeticNode&>(node), kind);
            }
            if (node.Kind() == NodeKind::Negate) {
                return Negate(static_cast<const filter::NegateNode&>(node), kind);
            }
            return Function(static_cast<const filter::FunctionNode&>(node), kind);
        case NodeKind::Compare:
        case NodeKind::Like:
        case NodeKind::IsNull:
        case NodeKind::In:
        case NodeKind::And:
        case NodeKind::Or:
        case NodeKind::Not:
        case NodeKind::Truth:
            break;
        }
        throw DatasetError(
            QStringLiteral("Filter: expected a value at position %1").arg(node.Position()));
    }

    // Whether a value is the same for every record: literals, and what is computed from
    // them alone.
    static bool IsConstant(const Node& node)
    {
        switch (node.Kind()) {
        case NodeKind::Literal:
            return true;
        case NodeKind::Arithmetic: {
            const auto& arithmetic = static_cast<const filter::ArithmeticNode&>(node);
            return IsConstant(arithmetic.Left()) && IsConstant(arithmetic.Right());
        }
        case NodeKind::Negate:
            return IsConstant(static_cast<const filter::NegateNode&>(node).Operand());
        case NodeKind::Function:
            return IsConstant(static_cast<const filter::FunctionNode&>(node).Argument());
        default:
            return false;
        }
    }

    // A constant value, computed here by the evaluator ClientDataset uses and bound: what
    // the server would compute from the literals is what it gets, and "- - - 1" or
    // "1 + 1 + …" nests nothing in the statement.
    QString Constant(const Node& node, ValueKind& kind)
    {
        filter::EvalScratch scratch;
        const filter::Value v = node.Eval(0, scratch);
        kind = KindOfValue(v.kind);
        switch (v.kind) {
        case filter::Value::Kind::Null:
            return m_dialect.NullValue();
        case filter::Value::Kind::Int:
        case filter::Value::Kind::Bool:
            return m_dialect.Parameter(m_out, kind, QVariant::fromValue<qlonglong>(v.i));
        case filter::Value::Kind::Float:
            return m_dialect.Parameter(m_out, kind, v.d);
        case filter::Value::Kind::Date:
        case filter::Value::Kind::Text:
            break;
        }
        char buffer[kTextFormBuffer];
        return m_dialect.Parameter(m_out, ValueKind::Text,
                                   SendableText(TextOf(v, buffer), node.Position()));
    }

    // '+', '-', '*' and '/'. The left operand of a chain ("a + b + c", "a / b / c") is
    // written so that the chain nests no brackets where the dialect can (SQLite's parser
    // overflows past some forty nested brackets).
    QString Arithmetic(const filter::ArithmeticNode& arithmetic, ValueKind& kind)
    {
        ValueKind ka = ValueKind::Null;
        ValueKind kb = ValueKind::Null;
        const qsizetype mark = m_out.values.size();
        QString a = Value(arithmetic.Left(), ka);
        const QString b = Value(arithmetic.Right(), kb);
        if (ka == ValueKind::Null || kb == ValueKind::Null) {
            kind = ValueKind::Null;
            return Dropped(mark, m_dialect.NullValue());
        }
        const Node& left = arithmetic.Left();
        const bool leftComputed = left.Kind() == NodeKind::Arithmetic && !IsConstant(left);
        const char leftOp =
            leftComputed ? static_cast<const filter::ArithmeticNode&>(left).Op() : '\0';
        if (arithmetic.Op() == '/') {
            kind = ValueKind::Float;
            return leftOp == '/' ? m_dialect.DivideQuotient(a, b, kb)
                                 : m_dialect.Divide(a, ka, b, kb);
        }
        kind = IsIntegralKind(ka) && IsIntegralKind(kb) ? ValueKind::Int : ValueKind::Float;
        const auto binding = [](char op) { return op == '*' ? 2 : 1; };
        if (leftComputed && leftOp != '/' && binding(leftOp) >= binding(arithmetic.Op())) {
            a = m_dialect.ChainedOperand(a);
        }
        return m_dialect.Arithmetic(arithmetic.Op(), a, ka, b, kb);
    }

    // A run of minus signs: each pair of an integer's is one pair (the first may turn
    // the smallest integer into a real), a real's cancel out.
    QString Negate(const filter::NegateNode& negate, ValueKind& kind)
    {
        int signs = 1;
        const Node* operand = &negate.Operand();
        while (operand->Kind() == NodeKind::Negate) {
            ++signs;
            operand = &static_cast<const filter::NegateNode&>(*operand).Operand();
        }
        ValueKind ka = ValueKind::Null;
        const qsizetype mark = m_out.values.size();
        QString a = Value(*operand, ka);
        if (ka == ValueKind::Null) {
            kind = ValueKind::Null;
            return Dropped(mark, m_dialect.NullValue());
        }
        kind = IsIntegralKind(ka) ? ValueKind::Int : ValueKind::Float;
        if (kind == ValueKind::Float) {
            return signs % 2 == 0 ? a : m_dialect.Negate(a, ka);
        }
        a = m_dialect.Negate(a, ka);
        return signs % 2 == 0 ? m_dialect.Negate(a, ka) : a;
    }

    // UPPER, LOWER and TRIM: a run of them is the outermost of UPPER and LOWER (each
    // maps ASCII letters only, so the last one decides) over one TRIM if any (which
    // drops spaces, untouched by either).
    QString Function(const filter::FunctionNode& function, ValueKind& kind)
    {
        using F = filter::FunctionNode::Function;
        std::optional<F> letterCase;
        bool trim = false;
        const Node* argument = &function;
        while (argument->Kind() == NodeKind::Function) {
            const auto& inner = static_cast<const filter::FunctionNode&>(*argument);
            if (inner.GetFunction() == F::Trim) {
                trim = true;
            } else if (!letterCase) {
                letterCase = inner.GetFunction();
            }
            argument = &inner.Argument();
        }
        if (argument->Kind() == NodeKind::FoldedField && !letterCase) {
            letterCase = F::Upper; // UPPER(field)
        }
        ValueKind ka = ValueKind::Null;
        const qsizetype mark = m_out.values.size();
        QString text;
        if (argument->Kind() == NodeKind::FoldedField) {
            // Its field's text, folded as FoldedField folds it, with the case the run gives.
            const auto& field = static_cast<const filter::FoldedFieldNode&>(*argument);
            const QString value = FieldSql(field.FieldIndex());
            text = field.IgnoresAccents() ? m_dialect.AccentFolded(value) : value;
            ka = ValueKind::Text;
        } else {
            text = Text(*argument, ka);
        }
        if (ka == ValueKind::Null) {
            kind = ValueKind::Null;
            return Dropped(mark, m_dialect.NullValue());
        }
        kind = ValueKind::Text;
        if (ka == ValueKind::Int) {
            // An integer's text form has neither letters nor spaces: as it is, spelt as
            // the index on it is whatever the case option.
            return text;
        }
        if (trim) {
            text = m_dialect.Trim(text);
        }
        if (letterCase == F::Upper) {
            return m_dialect.Upper(text);
        }
        if (letterCase == F::Lower) {
            return m_dialect.Lower(text);
        }
        return text;
    }

    // The value's text form; a literal's is computed here and bound as text.
    QString Text(const Node& node, ValueKind& kind)
    {
        if (IsConstant(node)) {
            filter::EvalScratch scratch;
            const filter::Value v = node.Eval(0, scratch);
            kind = KindOfValue(v.kind);
            if (v.kind == filter::Value::Kind::Null) {
                return m_dialect.NullValue();
            }
            char buffer[kTextFormBuffer];
            return m_dialect.Parameter(m_out, ValueKind::Text,
                                       SendableText(TextOf(v, buffer), node.Position()));
        }
        const QString value = Value(node, kind);
        return m_dialect.TextOf(value, kind);
    }

    static const char* OpText(filter::CompareNode::Op op)
    {
        switch (op) {
        case filter::CompareNode::Op::Eq:
            return "=";
        case filter::CompareNode::Op::Ne:
            return "<>";
        case filter::CompareNode::Op::Lt:
            return "<";
        case filter::CompareNode::Op::Gt:
            return ">";
        case filter::CompareNode::Op::Le:
            return "<=";
        case filter::CompareNode::Op::Ge:
            return ">=";
        }
        return "=";
    }

    // Numbers meet numerically, dates by day, anything else as text byte by byte.
    QString Comparison(const Node& left, const Node& right, filter::CompareNode::Op op)
    {
        const filter::StaticType lt = left.Type();
        const filter::StaticType rt = right.Type();
        const QString sqlOp = QLatin1String(OpText(op));
        const bool numeric =
            (lt == filter::StaticType::Number || lt == filter::StaticType::Boolean) &&
            (rt == filter::StaticType::Number || rt == filter::StaticType::Boolean);
        const bool dates = lt == filter::StaticType::Date && rt == filter::StaticType::Date;
        ValueKind ka = ValueKind::Null;
        ValueKind kb = ValueKind::Null;
        const qsizetype mark = m_out.values.size();
        if (numeric || dates) {
            const QString a = Value(left, ka);
            const QString b = Value(right, kb);
            if (ka == ValueKind::Null || kb == ValueKind::Null) {
                return Dropped(mark, m_dialect.NullCondition());
            }
            if (dates) {
                return Parenthesised(m_dialect.DateCompared(a) + u' ' + sqlOp + u' ' + b);
            }
            return Parenthesised(m_dialect.NumberOf(a, ka) + u' ' + sqlOp + u' ' +
                                 m_dialect.NumberOf(b, kb));
        }
        const QString a = Text(left, ka);
        const QString b = Text(right, kb);
        if (ka == ValueKind::Null || kb == ValueKind::Null) {
            return Dropped(mark, m_dialect.NullCondition());
        }
        return Parenthesised(m_dialect.Collated(a) + u' ' + sqlOp + u' ' + b);
    }

    QString Compare(const filter::CompareNode& node)
    {
        return Comparison(node.Left(), node.Right(), node.GetOp());
    }

    QString Like(const filter::LikeNode& node)
    {
        ValueKind kind = ValueKind::Null;
        const qsizetype mark = m_out.values.size();
        const QString text = Text(node.Operand(), kind);
        if (kind == ValueKind::Null) {
            return Dropped(mark, m_dialect.NullCondition());
        }
        NoteMatched(text);
        QString match;
        if (const filter::LikePattern* literal = node.Literal()) {
            (void)SendableText(literal->Text(), node.Pattern().Position());
            if (NeverMatches(node.Operand(), literal->Text()) && !node.Negated() &&
                m_negations == 0) {
                // Never true, NULL or false alike where no NOT turns either: a search of
                // word starts ("% w%") over a number's field needs no index there.
                m_out.values.resize(mark);
                return QStringLiteral("(1 = 0)");
            }
            const std::string& pattern = literal->Text();
            if (m_spelling == Spelling::PerRow) {
                m_out.scans = true;
                const QString stored =
                    LetterlessPattern(pattern) ? StoredForm(node.Operand()) : QString();
                match = m_dialect.LikeLiteral(m_out, stored.isEmpty() ? text : stored, pattern);
                return node.Negated() ? QStringLiteral("(NOT %1)").arg(match) : match;
            }
            const std::string prefix(literal->LiteralPrefix());
            const std::string next = prefix.empty() ? std::string() : PrefixSuccessor(prefix);
            if (!next.empty() && m_dialect.PrefixRangeIsExact() && pattern == prefix + '%') {
                // The range alone: the planner estimates it from the index's statistics,
                // where the LIKE beside it made it guess a handful of rows and sort every
                // match instead of reading the first ones off the index in order; and no
                // LIKE is left to check on each row, whose expression (accents set aside,
                // say) may be dear to compute.
                const QString low = m_dialect.Collated(text);
                match = QStringLiteral("(%1 >= %2")
                            .arg(low, m_dialect.Parameter(m_out, ValueKind::Text,
                                                          QString::fromStdString(prefix)));
                const QString high = m_dialect.Collated(Text(node.Operand(), kind));
                match += QStringLiteral(" AND %1 < %2)")
                             .arg(high, m_dialect.Parameter(m_out, ValueKind::Text,
                                                            QString::fromStdString(next)));
                if (!node.Negated()) {
                    m_rangeOf = low;
                    m_rangeText = text;
                    m_prefix = QString::fromStdString(prefix);
                }
                return node.Negated() ? QStringLiteral("(NOT %1)").arg(match) : match;
            }
            m_out.scans = true;
            // With accents set aside where no index holds the folded text: ranges of
            // the stored text, which its index serves, hold every match. A stored text
            // with the prefix itself matches as it is (prefix%), so only the others,
            // whose letters with marks may fold into the prefix, are folded:
            //   (prefix range OR accent ranges) AND (prefix range OR folded match)
            // Each part is bound where it stands.
            const std::optional<StoredText> stored =
                node.Negated() || prefix.empty() ? std::nullopt : StoredTextOf(node.Operand());
            const bool wholePrefix = pattern == prefix + '%';
            QString storedFirst;
            if (stored && wholePrefix) {
                const QStringList candidates = StoredCandidates(*stored, prefix);
                if (candidates.size() == 1) {
                    return candidates.front(); // no letter another could fold into
                }
                storedFirst = QStringLiteral("(%1 AND (%2 OR ")
                                  .arg(Parenthesised(candidates.join(QStringLiteral(" OR "))),
                                       StoredRange(*stored, prefix));
            }
            // A word start after the first word (a search of words), where no NOT turns
            // the match: over the words after the first, which an index may hold.
            const QString words = m_spelling == Spelling::WordsAfterFirst &&
                                          pattern.starts_with("% ") && !node.Negated() &&
                                          m_negations == 0
                                      ? WordsAfterFirst(node.Operand())
                                      : QString();
            match = m_dialect.LikeLiteral(m_out, words.isEmpty() ? text : words, pattern);
            if (!words.isEmpty()) {
                NoteWord(text, pattern);
            }
            if (!node.Negated() && !prefix.empty()) {
                // A range on the same expression, implied by the match, lets an index on
                // it serve a prefix search.
                // Placeholders follow the text in order: each operand is bound before
                // its bound.
                const QString low = m_dialect.Collated(Text(node.Operand(), kind));
                match += QStringLiteral(" AND %1 >= %2")
                             .arg(low, m_dialect.Parameter(m_out, ValueKind::Text,
                                                           QString::fromStdString(prefix)));
                if (!next.empty()) {
                    const QString high = m_dialect.Collated(Text(node.Operand(), kind));
                    match += QStringLiteral(" AND %1 < %2")
                                 .arg(high, m_dialect.Parameter(m_out, ValueKind::Text,
                                                                QString::fromStdString(next)));
                }
                if (!storedFirst.isEmpty()) {
                    return storedFirst + Parenthesised(match) + QStringLiteral("))");
                }
                if (stored) {
                    match += QStringLiteral(" AND ") +
                             Parenthesised(
                                 StoredCandidates(*stored, prefix).join(QStringLiteral(" OR ")));
                }
                match = Parenthesised(match);
            }
        } else {
            ValueKind patternKind = ValueKind::Null;
            const QString pattern = Text(node.Pattern(), patternKind);
            if (patternKind == ValueKind::Null) {
                return Dropped(mark, m_dialect.NullCondition());
            }
            m_out.scans = true;
            match = m_dialect.LikeExpression(text, pattern);
        }
        return node.Negated() ? QStringLiteral("(NOT %1)").arg(match) : match;
    }

    // The operand's words after the first (from its first space on; NULL where it has
    // none), where the dialect has an index of them; else empty. A pattern that begins
    // "% " matches them exactly where it matches the whole text, and NULL stands for
    // false where no NOT turns it. That index holds nothing for a field of one word (a
    // phone, a code). Only for a field read upper-cased (a case-insensitive search), the
    // one read such an index is made on: others keep the trigram index of the whole
    // text.
    QString WordsAfterFirst(const Node& operand)
    {
        if (operand.Kind() != NodeKind::FoldedField) {
            return {};
        }
        const qsizetype mark = m_out.values.size();
        ValueKind kind = ValueKind::Null;
        const QString words = m_dialect.WordsAfterFirst(Text(operand, kind));
        if (m_out.values.size() != mark) {
            m_out.values.resize(mark);
            return {};
        }
        return words;
    }

    // A word start after the first word ("% w%" over the words after the first) of a plain
    // word w, which the word positions' indexes may serve.
    void NoteWord(const QString& text, const std::string& pattern)
    {
        std::string word = pattern.substr(2);
        if (word.ends_with('%')) {
            word.pop_back();
            if (!word.empty() && word.find_first_of("%_ ") == std::string::npos) {
                m_wordOf = text;
                m_word = QString::fromStdString(word);
            }
        }
    }

    // A text a pattern is matched against: a second one spreads the search.
    void NoteMatched(const QString& text)
    {
        if (m_matched.isEmpty()) {
            m_matched = text;
        } else if (text != m_matched) {
            m_out.spread = true;
        }
    }

    // Whether a pattern needs a character the operand's text form never holds: a space
    // in a number's or a truth value's, anything but a digit or a minus sign in an
    // integer's (upper- or lower-cased or trimmed alike).
    bool NeverMatches(const Node& operand, const std::string& pattern) const
    {
        const Node* value = &operand;
        while (value->Kind() == NodeKind::Function) {
            value = &static_cast<const filter::FunctionNode&>(*value).Argument();
        }
        const filter::StaticType type = value->Type();
        if (type != filter::StaticType::Number && type != filter::StaticType::Boolean) {
            return false;
        }
        if (pattern.find(' ') != std::string::npos) {
            return true;
        }
        if (value->Kind() != NodeKind::Field ||
            m_schema.Def(static_cast<const filter::FieldNode&>(*value).FieldIndex()).type !=
                FieldType::Integer) {
            return false;
        }
        return std::ranges::any_of(pattern, [](char c) {
            return c != '%' && c != '_' && c != '-' && (c < '0' || c > '9');
        });
    }

    // Whether a pattern holds no letter and nothing but ASCII: upper-casing and setting
    // accents aside change letters only, one character for another, so a text matches
    // it exactly when the text folded does.
    static bool LetterlessPattern(const std::string& pattern)
    {
        return std::ranges::none_of(pattern, [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte >= 0x80 || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
        });
    }

    // Which text field an operand reads folded, and how; field -1 when it reads none.
    struct FoldedRead {
        int field = -1;
        bool upper = false;
        bool accents = false;
    };
    FoldedRead FoldedReadOf(const Node& operand) const
    {
        FoldedRead read;
        if (operand.Kind() == NodeKind::Field) {
            const auto& node = static_cast<const filter::FieldNode&>(operand);
            read = {node.FieldIndex(), false, node.IgnoresAccents()};
        } else if (operand.Kind() == NodeKind::FoldedField) {
            const auto& node = static_cast<const filter::FoldedFieldNode&>(operand);
            read = {node.FieldIndex(), true, node.IgnoresAccents()};
        }
        if (read.field >= 0 && m_schema.Def(read.field).type != FieldType::Text) {
            read.field = -1;
        }
        return read;
    }

    // A text field read folded (upper-cased, or with its accents set aside) as it is
    // stored; empty for any other operand. A walk checks a letterless pattern against it
    // without computing the fold row by row.
    QString StoredForm(const Node& operand) const
    {
        const FoldedRead read = FoldedReadOf(operand);
        if (read.field < 0 || !(read.upper || read.accents)) {
            return {};
        }
        return m_dialect.TextOf(m_dialect.FieldValue(FieldSql(read.field), ValueKind::Text),
                                ValueKind::Text);
    }

    // A text field read with its accents set aside, upper-cased or not, where no index
    // holds the folded text (SQLite): the same read without the fold, which the search
    // indexes serve.
    struct StoredText {
        QString sql;
        bool upper = false;
    };
    std::optional<StoredText> StoredTextOf(const Node& operand) const
    {
        const FoldedRead read = FoldedReadOf(operand);
        if (m_dialect.IndexesAccentFolded() || read.field < 0 || !read.accents) {
            return std::nullopt;
        }
        return StoredText{m_dialect.Collated(read.upper ? m_dialect.Upper(FieldSql(read.field))
                                                        : m_dialect.FieldValue(FieldSql(read.field),
                                                                               ValueKind::Text)),
                          read.upper};
    }

    // The stored texts from low up to (not including) high, or on when high is empty.
    QString StoredRange(const StoredText& stored, const QString& low, const QString& high)
    {
        QString term = QStringLiteral("%1 >= %2")
                           .arg(stored.sql, m_dialect.Parameter(m_out, ValueKind::Text, low));
        if (!high.isEmpty()) {
            term += QStringLiteral(" AND %1 < %2")
                        .arg(stored.sql, m_dialect.Parameter(m_out, ValueKind::Text, high));
        }
        return Parenthesised(term);
    }
    // Those that begin with the prefix.
    QString StoredRange(const StoredText& stored, const std::string& prefix)
    {
        return StoredRange(stored, QString::fromStdString(prefix),
                           QString::fromStdString(PrefixSuccessor(prefix)));
    }

    // The other stored texts whose folded text may begin with the prefix (which is
    // folded already, so a text that begins with it folds to itself there): for each
    // basic letter of it, the part before followed by a letter with marks that folds
    // into it. Folding changes only such letters, each into one basic letter.
    QStringList StoredAccentRanges(const StoredText& stored, const std::string& prefix)
    {
        QStringList ranges;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            if ((static_cast<unsigned char>(prefix[i]) & 0xC0) == 0x80) {
                continue; // inside a character
            }
            const QString head = QString::fromStdString(prefix.substr(0, i));
            for (const AccentFoldRun& run : AccentFoldRunsInto(prefix[i], stored.upper)) {
                const char32_t end = run.last + 1;
                ranges << StoredRange(stored, head + QString::fromUcs4(&run.first, 1),
                                      head + QString::fromUcs4(&end, 1));
            }
        }
        return ranges;
    }

    // Every range above, the prefix's own first: the stored texts whose folded text
    // may begin with the prefix.
    QStringList StoredCandidates(const StoredText& stored, const std::string& prefix)
    {
        QStringList candidates{StoredRange(stored, prefix)};
        candidates << StoredAccentRanges(stored, prefix);
        return candidates;
    }

    QString In(const filter::InNode& node)
    {
        QString any = LiteralList(node);
        if (any.isEmpty()) {
            // Each item as an equality: OR gives IN's three-valued outcome.
            QStringList terms;
            for (const filter::NodePtr& item : node.List()) {
                terms << Comparison(node.Operand(), *item, filter::CompareNode::Op::Eq);
            }
            any = Grouped(terms, QStringLiteral(" OR "));
        }
        return node.Negated() ? QStringLiteral("(NOT %1)").arg(any) : any;
    }

    // A long list of literals that all meet the operand the same way (as numbers, or as
    // text), as one list the dialect sends whole where it can: the operand is read once,
    // and a list longer than the server takes parameters still travels. Empty when the
    // list is short, holds NULL or another kind of item, or the dialect has no such list.
    static constexpr std::size_t kLongList = 64;
    QString LiteralList(const filter::InNode& node)
    {
        const std::vector<filter::NodePtr>& list = node.List();
        if (list.size() < kLongList) {
            return {};
        }
        const auto numeric = [](filter::StaticType t) {
            return t == filter::StaticType::Number || t == filter::StaticType::Boolean;
        };
        const bool asNumbers = numeric(node.Operand().Type());
        for (const filter::NodePtr& item : list) {
            if (item->Kind() != NodeKind::Literal || item->Type() == filter::StaticType::Null ||
                numeric(item->Type()) != asNumbers ||
                (item->Type() == filter::StaticType::Date &&
                 node.Operand().Type() == filter::StaticType::Date)) {
                return {};
            }
        }
        QVariantList values;
        values.reserve(static_cast<qsizetype>(list.size()));
        char buffer[kTextFormBuffer];
        filter::EvalScratch scratch;
        for (const filter::NodePtr& item : list) {
            const filter::Value v = item->Eval(0, scratch);
            if (!asNumbers) {
                values << SendableText(TextOf(v, buffer), item->Position());
            } else if (v.kind == filter::Value::Kind::Float) {
                values << v.d;
            } else {
                values << QVariant::fromValue<qlonglong>(v.i);
            }
        }
        const qsizetype mark = m_out.values.size();
        ValueKind kind = ValueKind::Null;
        const QString operand =
            asNumbers ? Value(node.Operand(), kind) : Text(node.Operand(), kind);
        if (kind == ValueKind::Null) {
            return Dropped(mark, m_dialect.NullCondition());
        }
        const QString any = m_dialect.InValues(
            m_out, asNumbers ? m_dialect.NumberOf(operand, kind) : m_dialect.Collated(operand),
            values);
        if (any.isEmpty()) {
            m_out.values.resize(mark);
        }
        return any;
    }

    QString FieldSql(int field) const
    {
        if (field >= 0 && static_cast<size_t>(field) < m_fieldSql.size()) {
            return m_fieldSql[static_cast<size_t>(field)];
        }
        return SqlDialect::QuoteIdentifier(m_schema.Def(field).name);
    }

    const Table& m_schema;
    const std::vector<QString>& m_fieldSql;
    const SqlDialect& m_dialect;
    const FilterSource& m_source;
    const bool m_parts; // parts too deep for the dialect's SQL are decided by PartCondition
    const Spelling m_spelling;
    SqlText& m_out;
    int m_negations = 0; // NOTs around the condition being written
    QString m_rangeOf;   // the collated text of the last prefix range written alone
    QString m_rangeText; // that text not collated, and the prefix
    QString m_prefix;
    QString m_wordOf; // the text of the last word start noted (NoteWord), and the word
    QString m_word;
    QString m_matched; // the first text a pattern was matched against
};

} // namespace

std::string PrefixSuccessor(std::string prefix)
{
    while (!prefix.empty()) {
        // The last code point and where it starts.
        size_t start = prefix.size() - 1;
        while (start > 0 && (static_cast<unsigned char>(prefix[start]) & 0xC0) == 0x80) {
            --start;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(prefix.data() + start);
        const size_t length = prefix.size() - start;
        char32_t code = 0;
        if (length == 1) {
            code = bytes[0];
        } else if (length == 2) {
            code = ((bytes[0] & 0x1Fu) << 6) | (bytes[1] & 0x3Fu);
        } else if (length == 3) {
            code = ((bytes[0] & 0x0Fu) << 12) | ((bytes[1] & 0x3Fu) << 6) | (bytes[2] & 0x3Fu);
        } else {
            code = ((bytes[0] & 0x07u) << 18) | ((bytes[1] & 0x3Fu) << 12) |
                   ((bytes[2] & 0x3Fu) << 6) | (bytes[3] & 0x3Fu);
        }
        prefix.resize(start);
        if (code >= 0x10FFFF) {
            continue; // nothing above it: carry into the character before
        }
        ++code;
        if (code == 0xD800) {
            code = 0xE000; // surrogates are not characters
        }
        const QString next = QString::fromUcs4(&code, 1);
        prefix += next.toStdString();
        return prefix;
    }
    return {};
}

SqlText TranslateFilter(const filter::Node& root, const Table& schema, const SqlDialect& dialect,
                        const std::vector<QString>& fieldSql, const FilterSource& source)
{
    SqlText out;
    Translator translator(schema, fieldSql, dialect, source, out);
    out.sql = translator.Translate(root);
    if (out.spread && !dialect.WordsAfterFirst(QStringLiteral("x")).isEmpty()) {
        // A search over several fields (of words, say): again with word starts matched
        // over the words after the first. A search of one field is written as it was.
        SqlText spread;
        Translator over(schema, fieldSql, dialect, source, spread, Spelling::WordsAfterFirst);
        spread.sql = over.Translate(root);
        spread.alternatives = over.Alternatives(root);
        // And as a walk of the order checks each row.
        auto perRow = std::make_shared<SqlText>();
        Translator row(schema, fieldSql, dialect, source, *perRow, Spelling::PerRow);
        perRow->sql = row.Translate(root);
        spread.perRow = std::move(perRow);
        return spread;
    }
    out.alternatives = translator.Alternatives(root);
    return out;
}

} // namespace host::sql
