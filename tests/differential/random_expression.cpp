#include "tests/differential/random_expression.h"

#include <cmath>

namespace differential {

namespace {

using host::FieldType;

enum class Kind { Text, Int, Real, Bool, Date, Null, Condition };

// Binding levels of the filter grammar, loosest first: a subexpression below the
// level its place needs is bracketed in the filter text.
enum Level { kOr, kAnd, kNot, kPredicate, kAdditive, kMultiplicative, kUnary, kPrimary };

// Integers stay exact in a double and never overflow below this bound, so both
// languages compute the same integers and compare them with reals the same way.
constexpr double kExactBound = 4503599627370496.0; // 2^52

struct Expr {
    QString ours;
    QString sql;
    Kind kind = Kind::Null;
    int level = kPrimary;
    bool negativeZero = false; // a real that may be -0 (text form "-0" here, "0" in SQLite)
    double bound = 0;          // integers: the largest magnitude the value can have
    // With accents set aside: a string literal's text (which the fold reads again where
    // it meets UPPER or LOWER), and the case UPPER or LOWER gives a value: 'U', 'L' or 0.
    bool stringLiteral = false;
    QString text;
    char letterCase = 0;
};

bool IsNumeric(Kind k)
{
    return k == Kind::Int || k == Kind::Real || k == Kind::Bool || k == Kind::Null;
}

bool IsIntegral(Kind k)
{
    return k == Kind::Int || k == Kind::Bool;
}

QString Bracketed(const QString& sql)
{
    return u'(' + sql + u')';
}

QString TextLiteral(const QString& text)
{
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

QString QuotedName(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// The SQL of a string literal: with accents set aside, through the reference's fold, in
// the letter case of what it meets.
QString LiteralSql(const QString& text, bool ignoreAccents, char letterCase = 0)
{
    if (!ignoreAccents) {
        return TextLiteral(text);
    }
    if (letterCase == 0) {
        return QStringLiteral("unaccent(%1)").arg(TextLiteral(text));
    }
    return QStringLiteral("unaccent(%1, '%2')")
        .arg(TextLiteral(text), QChar::fromLatin1(letterCase));
}

// A text field's SQL: with accents set aside, through the reference's fold.
QString TextFieldSql(const QString& name, bool ignoreAccents)
{
    return ignoreAccents ? QStringLiteral("unaccent(%1)").arg(QuotedName(name)) : QuotedName(name);
}

// The text form the filter language gives a value where it meets text.
QString TextForm(const Expr& x)
{
    const QString s = Bracketed(x.sql);
    switch (x.kind) {
    case Kind::Int:
        return QStringLiteral("CAST(%1 AS TEXT)").arg(s);
    case Kind::Real:
        // Up to 15 significant digits, no trailing zeros: "10", "1.5", "1e+20". SQLite's
        // own text form of a real is "10.0"; printf of NULL would be "0".
        return QStringLiteral("(CASE WHEN %1 IS NULL THEN NULL ELSE printf('%.15g', %1) END)")
            .arg(s);
    case Kind::Bool:
        return QStringLiteral("(CASE %1 WHEN 1 THEN 'True' WHEN 0 THEN 'False' END)").arg(s);
    case Kind::Text:
    case Kind::Date:
    case Kind::Null:
    case Kind::Condition:
        break;
    }
    return s;
}

class Generator {
public:
    Generator(const TableShape& table, Entropy& entropy, bool ignoreAccents)
        : m_table(table), m_e(entropy), m_accents(ignoreAccents)
    {
        for (int f = 0; f < table.FieldCount(); ++f) {
            m_byType[static_cast<int>(table.fields[static_cast<size_t>(f)].type)].push_back(f);
        }
    }

    Expr Condition(int depth)
    {
        const unsigned pick = m_e.Below(depth > 0 ? 20 : 14);
        if (pick < 4) {
            return Compare(depth);
        }
        if (pick < 7) {
            return Like(depth);
        }
        if (pick < 10) {
            return SearchLike();
        }
        if (pick < 11) {
            return In(depth);
        }
        if (pick < 13) {
            return IsNull(depth);
        }
        if (pick < 14) {
            return Truth();
        }
        if (pick < 18) {
            return Logic(depth, m_e.Chance(55));
        }
        return Not(Condition(depth - 1));
    }

    Expr WithHole(int depth)
    {
        Expr hole;
        hole.ours = hole.sql = QString(FilterTemplate::kHole);
        hole.kind = Kind::Condition;
        hole.level = kPredicate;
        if (depth <= 0 || m_e.Chance(30)) {
            return hole;
        }
        if (m_e.Chance(15)) {
            return Not(WithHole(depth - 1));
        }
        const bool isAnd = m_e.Chance(60);
        const int terms = 2 + static_cast<int>(m_e.Below(2));
        const int at = static_cast<int>(m_e.Below(static_cast<std::uint32_t>(terms)));
        std::vector<Expr> parts;
        for (int i = 0; i < terms; ++i) {
            parts.push_back(i == at ? WithHole(depth - 1) : Condition(depth - 1));
        }
        return Join(parts, isAnd);
    }

    Expr Not(const Expr& c)
    {
        Expr x;
        x.kind = Kind::Condition;
        x.level = kNot;
        x.ours = QStringLiteral("NOT ") + Ours(c, kNot);
        x.sql = QStringLiteral("NOT ") + Bracketed(c.sql);
        return x;
    }

    Expr Join(const std::vector<Expr>& parts, bool isAnd)
    {
        Expr x;
        x.kind = Kind::Condition;
        x.level = isAnd ? kAnd : kOr;
        QStringList ours;
        QStringList sql;
        for (const Expr& p : parts) {
            ours << Ours(p, isAnd ? kNot : kAnd);
            sql << Bracketed(p.sql);
        }
        x.ours = ours.join(isAnd ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
        x.sql = sql.join(isAnd ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
        return x;
    }

    Expr FieldRef(int f)
    {
        const FieldShape& shape = m_table.fields[static_cast<size_t>(f)];
        Expr x;
        // Field names are found without regard to case, bare or quoted.
        switch (m_e.Below(6)) {
        case 0:
            x.ours = shape.name.toUpper();
            break;
        case 1:
            x.ours = shape.name.toLower();
            break;
        case 2:
            x.ours = u'"' + shape.name + u'"';
            break;
        case 3:
            x.ours = u'[' + shape.name + u']';
            break;
        default:
            x.ours = shape.name;
            break;
        }
        x.sql = QuotedName(shape.name);
        switch (shape.type) {
        case FieldType::Text:
            x.kind = Kind::Text;
            x.sql = TextFieldSql(shape.name, m_accents);
            break;
        case FieldType::Integer:
            x.kind = Kind::Int;
            x.bound = m_table.IntegerBound(f);
            break;
        case FieldType::Float:
            x.kind = Kind::Real;
            break;
        case FieldType::Boolean:
            x.kind = Kind::Bool;
            x.bound = 1;
            break;
        case FieldType::Date:
            x.kind = Kind::Date;
            break;
        }
        return x;
    }

private:
    // The filter text of a subexpression in a place that needs the given level;
    // sometimes bracketed where it need not be.
    QString Ours(const Expr& x, int need)
    {
        if (x.level < need || m_e.Chance(8)) {
            return u'(' + x.ours + u')';
        }
        return x.ours;
    }

    const std::vector<int>& Fields(FieldType type) const
    {
        return m_byType[static_cast<int>(type)];
    }

    bool Has(FieldType type) const { return !Fields(type).empty(); }

    Expr AnyField(FieldType type)
    {
        const std::vector<int>& fields = Fields(type);
        return FieldRef(fields[m_e.Below(static_cast<std::uint32_t>(fields.size()))]);
    }

    Expr Literal(QString ours, QString sql, Kind kind, double bound = 0)
    {
        Expr x;
        x.ours = std::move(ours);
        x.sql = std::move(sql);
        x.kind = kind;
        x.bound = bound;
        return x;
    }

    Expr NullLiteral()
    {
        return Literal(m_e.Chance(50) ? QStringLiteral("NULL") : QStringLiteral("null"),
                       QStringLiteral("NULL"), Kind::Null);
    }

    Expr StringLit(const QString& text)
    {
        Expr x = Literal(TextLiteral(text), LiteralSql(text, m_accents), Kind::Text);
        x.stringLiteral = true;
        x.text = text;
        return x;
    }

    // A string literal that meets `other` takes the letter case of its UPPER or LOWER.
    void TakeLetterCase(const Expr& other, Expr& literal) const
    {
        if (literal.stringLiteral && other.letterCase != 0) {
            literal.sql = LiteralSql(literal.text, m_accents, other.letterCase);
        }
    }

    Expr TextLit() { return StringLit(RandomText(m_e, 3)); }

    Expr BoolLit()
    {
        static const char* const words[] = {"TRUE", "true", "FALSE", "False"};
        const QString word = QLatin1String(m_e.Pick(words));
        const bool value = word.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
        return Literal(word, value ? QStringLiteral("1") : QStringLiteral("0"), Kind::Bool, 1);
    }

    Expr NumberLit()
    {
        if (m_e.Chance(30)) {
            static const char* const reals[] = {"1.5",  "0.25", "2.0",  "1e3",        ".5",
                                                "10.0", "1e-3", "0.01", "123456.789", "2.5e1"};
            const QString text = QLatin1String(m_e.Pick(reals));
            return Literal(text, text, Kind::Real);
        }
        static const qint64 ints[] = {0, 1, 2, 3, 5, 9, 10, 12, 20, 100000, 4294967296};
        const qint64 v = m_e.Chance(70) ? m_e.Pick(ints) : m_e.Between(0, 40);
        return Literal(QString::number(v), QString::number(v), Kind::Int, static_cast<double>(v));
    }

    Expr Text(int depth)
    {
        const unsigned pick = m_e.Below(depth > 0 ? 10 : 7);
        if (pick < 4 && Has(FieldType::Text)) {
            return AnyField(FieldType::Text);
        }
        if (pick < 6) {
            return TextLit();
        }
        if (pick < 7) {
            return m_e.Chance(30) ? NullLiteral() : TextLit();
        }
        return Function(depth);
    }

    Expr Function(int depth)
    {
        static const char* const names[] = {"UPPER", "LOWER", "TRIM", "upper", "Trim"};
        const QString name = QLatin1String(m_e.Pick(names));
        const Expr arg = TextSafe(Value(depth - 1), depth - 1);
        Expr x;
        x.kind = Kind::Text;
        x.ours = name + u'(' + Ours(arg, kOr) + u')';
        x.sql = name.toLower() + u'(' + TextForm(arg) + u')';
        const QString upper = name.toUpper();
        x.letterCase = upper == QLatin1String("UPPER")   ? 'U'
                       : upper == QLatin1String("LOWER") ? 'L'
                                                         : arg.letterCase;
        return x;
    }

    // A value that meets text: a real that may be -0 is replaced by a plain number
    // (its text forms differ, see TextForm).
    Expr TextSafe(Expr x, int depth)
    {
        while (x.negativeZero) {
            x = Number(std::min(depth, 0));
        }
        return x;
    }

    Expr Number(int depth)
    {
        const unsigned pick = m_e.Below(depth > 0 ? 12 : 8);
        if (pick < 2 && Has(FieldType::Integer)) {
            return AnyField(FieldType::Integer);
        }
        if (pick < 3 && Has(FieldType::Float)) {
            return AnyField(FieldType::Float);
        }
        if (pick < 4 && Has(FieldType::Boolean) && m_e.Chance(40)) {
            return AnyField(FieldType::Boolean);
        }
        if (pick < 7) {
            return NumberLit();
        }
        if (pick < 8) {
            return m_e.Chance(25) ? NullLiteral() : (m_e.Chance(20) ? BoolLit() : NumberLit());
        }
        if (pick < 10) {
            return Arithmetic(depth);
        }
        return Negate(Number(depth - 1));
    }

    Expr Negate(const Expr& a)
    {
        Expr x;
        x.ours = QStringLiteral("-") + Ours(a, kUnary);
        x.sql = QStringLiteral("-") + Bracketed(a.sql);
        x.level = kUnary;
        // A number, even when it is always NULL: the parser types "-NULL" a number.
        x.kind = a.kind == Kind::Bool || a.kind == Kind::Null ? Kind::Int : a.kind;
        x.bound = a.bound;
        x.negativeZero = a.kind == Kind::Real;
        return x;
    }

    Expr Arithmetic(int depth)
    {
        static const QChar ops[] = {u'+', u'-', u'*', u'/'};
        QChar op = m_e.Pick(ops);
        const Expr a = Number(depth - 1);
        const Expr b = Number(depth - 1);
        const bool integral = IsIntegral(a.kind) && IsIntegral(b.kind);
        double bound = op == u'*' ? a.bound * b.bound : a.bound + b.bound;
        if (integral && op == u'*' && bound > kExactBound) {
            op = u'+';
            bound = a.bound + b.bound;
        }
        if (integral && op != u'/' && bound > kExactBound) {
            return a;
        }
        Expr x;
        const bool additive = op == u'+' || op == u'-';
        x.level = additive ? kAdditive : kMultiplicative;
        x.ours = Ours(a, x.level) + u' ' + op + u' ' + Ours(b, additive ? kMultiplicative : kUnary);
        if (op == u'/') {
            // Division is real in the filter language; SQLite divides integers as integers.
            x.sql = QStringLiteral("CAST(%1 AS REAL) / %2").arg(Bracketed(a.sql), Bracketed(b.sql));
        } else {
            x.sql = Bracketed(a.sql) + u' ' + op + u' ' + Bracketed(b.sql);
        }
        if (a.kind == Kind::Null || b.kind == Kind::Null) {
            x.kind = Kind::Int; // always NULL, but a number to the parser: never meets a date
        } else if (integral && op != u'/') {
            x.kind = Kind::Int;
            x.bound = bound;
        } else {
            x.kind = Kind::Real;
            // -0 comes from a product or quotient with a zero, from -0 - 0, -0 + -0.
            x.negativeZero = op == u'*' || op == u'/' ||
                             (op == u'-' ? a.negativeZero : a.negativeZero && b.negativeZero);
        }
        return x;
    }

    Expr Value(int depth)
    {
        switch (m_e.Below(9)) {
        case 0:
        case 1:
        case 2:
            return Text(depth);
        case 3:
        case 4:
        case 5:
            return Number(depth);
        case 6:
            if (Has(FieldType::Boolean)) {
                return AnyField(FieldType::Boolean);
            }
            return BoolLit();
        case 7:
            if (Has(FieldType::Date)) {
                return AnyField(FieldType::Date);
            }
            return Text(depth);
        default:
            return m_e.Chance(20) ? NullLiteral() : Text(depth);
        }
    }

    // A value the filter language lets meet `a` in a comparison or an IN list: dates
    // meet dates and text, never numbers or booleans.
    Expr Comparable(const Expr& a, int depth)
    {
        switch (a.kind) {
        case Kind::Date: {
            const unsigned pick = m_e.Below(4);
            if (pick == 0) {
                return AnyField(FieldType::Date);
            }
            if (pick == 1) {
                static const char* const days[] = {"1990-01-01", "1989-12-31", "1990-01-03",
                                                   "2000",       "19",         "1990-01-01 "};
                return StringLit(QLatin1String(m_e.Pick(days)));
            }
            return pick == 2 ? Text(depth) : NullLiteral();
        }
        case Kind::Int:
        case Kind::Real:
        case Kind::Bool: {
            Expr b = Value(depth);
            while (b.kind == Kind::Date) {
                b = Value(depth);
            }
            if (m_e.Chance(50)) {
                b = Number(depth);
            }
            return b;
        }
        case Kind::Text:
        case Kind::Null:
        case Kind::Condition:
            break;
        }
        return Value(depth);
    }

    // The SQL for "a OP b" with the filter language's meaning of OP on these kinds.
    static QString SqlCompare(const Expr& a, const char* op, const Expr& b)
    {
        const bool direct = (IsNumeric(a.kind) && IsNumeric(b.kind)) ||
                            (a.kind == Kind::Date && b.kind == Kind::Date) ||
                            a.kind == Kind::Null || b.kind == Kind::Null;
        if (direct) {
            return Bracketed(a.sql) + u' ' + QLatin1String(op) + u' ' + Bracketed(b.sql);
        }
        return TextForm(a) + u' ' + QLatin1String(op) + u' ' + TextForm(b);
    }

    bool Textual(const Expr& a, const Expr& b) const
    {
        return !(IsNumeric(a.kind) && IsNumeric(b.kind)) &&
               !(a.kind == Kind::Date && b.kind == Kind::Date);
    }

    Expr Compare(int depth)
    {
        Expr a = Value(depth - 1);
        Expr b = Comparable(a, depth - 1);
        if (Textual(a, b)) {
            a = TextSafe(a, depth - 1);
            b = TextSafe(b, depth - 1);
        }
        TakeLetterCase(a, b);
        TakeLetterCase(b, a);
        static const char* const ops[] = {"=", "<>", "!=", "<", ">", "<=", ">="};
        const char* op = m_e.Pick(ops);
        Expr x;
        x.kind = Kind::Condition;
        x.level = kPredicate;
        x.ours = Ours(a, kAdditive) + u' ' + QLatin1String(op) + u' ' + Ours(b, kAdditive);
        x.sql = SqlCompare(a, op, b);
        return x;
    }

    QString Pattern()
    {
        static const char* const pieces[] = {
            "%", "%", "_", "J", "JO",  "Jo", "jo", "A", "a", "ç", "Ç",     "ã", "1", "12",
            "-", "'", " ", "S", "SIL", "_A", "%S", "T", "e", "9", "1990-", "😀", "Ã", "é"};
        QString pattern;
        const int n = 1 + static_cast<int>(m_e.Below(3));
        for (int i = 0; i < n; ++i) {
            pattern += QString::fromUtf8(m_e.Pick(pieces));
        }
        if (m_e.Chance(60)) {
            pattern += u'%';
        }
        return pattern;
    }

    Expr MakeLike(const Expr& a, Expr p, bool negated)
    {
        TakeLetterCase(a, p);
        Expr x;
        x.kind = Kind::Condition;
        x.level = kPredicate;
        x.ours = Ours(a, kAdditive) +
                 (negated ? QStringLiteral(" NOT LIKE ") : QStringLiteral(" LIKE ")) +
                 Ours(p, kAdditive);
        x.sql = TextForm(a) + (negated ? QStringLiteral(" NOT LIKE ") : QStringLiteral(" LIKE ")) +
                TextForm(p);
        return x;
    }

    Expr Like(int depth)
    {
        const Expr a = TextSafe(m_e.Chance(60) ? Text(depth - 1) : Value(depth - 1), depth - 1);
        Expr p;
        if (m_e.Chance(80)) {
            p = StringLit(Pattern());
        } else {
            p = TextSafe(Value(depth - 1), depth - 1);
        }
        return MakeLike(a, p, m_e.Chance(20));
    }

    // The shapes the fast paths take: UPPER(F) or F LIKE a prefix or a '%...%' search.
    Expr SearchLike()
    {
        if (!Has(FieldType::Text)) {
            return Like(0);
        }
        Expr field = AnyField(FieldType::Text);
        if (m_e.Chance(65)) {
            Expr upper;
            upper.kind = Kind::Text;
            upper.ours = (m_e.Chance(80) ? QStringLiteral("UPPER(") : QStringLiteral("upper(")) +
                         field.ours + u')';
            upper.sql = QStringLiteral("upper(%1)").arg(Bracketed(field.sql));
            upper.letterCase = 'U';
            field = upper;
        }
        QString text = RandomText(m_e, 2);
        if (text.isEmpty()) {
            text = QStringLiteral("J");
        }
        if (m_e.Chance(50)) {
            text = text.toUpper();
        }
        const QString pattern = m_e.Chance(35)
                                    ? u'%' + text + u'%'
                                    : text + (m_e.Chance(85) ? QStringLiteral("%") : QString());
        return MakeLike(field, StringLit(pattern), m_e.Chance(10));
    }

    Expr In(int depth)
    {
        // The left side may meet text in some item: never a possible -0.
        const Expr a = TextSafe(Value(depth - 1), depth - 1);
        const int count = 1 + static_cast<int>(m_e.Below(4));
        std::vector<Expr> items;
        bool allNumeric = true;
        bool allTextual = true;
        for (int i = 0; i < count; ++i) {
            Expr item = Comparable(a, depth - 1);
            const bool null = a.kind == Kind::Null || item.kind == Kind::Null;
            if (Textual(a, item) && !null) {
                item = TextSafe(item, depth - 1);
            }
            TakeLetterCase(a, item);
            allNumeric = allNumeric && (null || !Textual(a, item));
            const bool dates = a.kind == Kind::Date && item.kind == Kind::Date;
            allTextual = allTextual && (null || (Textual(a, item) && !dates));
            items.push_back(std::move(item));
        }
        const Expr& left = a;
        const bool negated = m_e.Chance(30);
        Expr x;
        x.kind = Kind::Condition;
        x.level = kPredicate;
        QStringList ours;
        QStringList sql;
        for (const Expr& item : items) {
            ours << Ours(item, kAdditive);
        }
        x.ours = Ours(left, kAdditive) +
                 (negated ? QStringLiteral(" NOT IN (") : QStringLiteral(" IN (")) +
                 ours.join(QStringLiteral(", ")) + u')';
        if (allNumeric || allTextual) {
            for (const Expr& item : items) {
                sql << (allNumeric ? Bracketed(item.sql) : TextForm(item));
            }
            x.sql = (allNumeric ? Bracketed(left.sql) : TextForm(left)) +
                    (negated ? QStringLiteral(" NOT IN (") : QStringLiteral(" IN (")) +
                    sql.join(QStringLiteral(", ")) + u')';
        } else {
            // Items of mixed kinds compare each its own way: one equality per item.
            for (const Expr& item : items) {
                sql << Bracketed(SqlCompare(left, "=", item));
            }
            x.sql = (negated ? QStringLiteral("NOT (") : QStringLiteral("(")) +
                    sql.join(QStringLiteral(" OR ")) + u')';
        }
        return x;
    }

    Expr IsNull(int depth)
    {
        const Expr a = Value(depth - 1);
        const bool negated = m_e.Chance(40);
        Expr x;
        x.kind = Kind::Condition;
        x.level = kPredicate;
        x.ours = Ours(a, kAdditive) +
                 (negated ? QStringLiteral(" IS NOT NULL") : QStringLiteral(" IS NULL"));
        x.sql = Bracketed(a.sql) +
                (negated ? QStringLiteral(" IS NOT NULL") : QStringLiteral(" IS NULL"));
        return x;
    }

    Expr Truth()
    {
        Expr b =
            Has(FieldType::Boolean) && m_e.Chance(80) ? AnyField(FieldType::Boolean) : BoolLit();
        b.kind = Kind::Condition;
        return b;
    }

    Expr Logic(int depth, bool isAnd)
    {
        const int terms = 2 + static_cast<int>(m_e.Below(2));
        std::vector<Expr> parts;
        for (int i = 0; i < terms; ++i) {
            parts.push_back(Condition(depth - 1));
        }
        return Join(parts, isAnd);
    }

    const TableShape& m_table;
    Entropy& m_e;
    bool m_accents;
    std::vector<int> m_byType[5];
};

} // namespace

FilterPair RandomCondition(const TableShape& table, Entropy& entropy, int depth, bool ignoreAccents)
{
    Generator generator(table, entropy, ignoreAccents);
    const Expr x = generator.Condition(depth);
    return {x.ours, x.sql};
}

FilterTemplate RandomTemplate(const TableShape& table, Entropy& entropy, bool ignoreAccents)
{
    Generator generator(table, entropy, ignoreAccents);
    FilterTemplate t;
    const unsigned pick = entropy.Below(10);
    Expr x;
    if (pick < 4) {
        x = generator.WithHole(0);
    } else if (pick < 7) {
        // The search form brackets a base filter with alternatives before joining.
        const Expr base = generator.Condition(2);
        Expr hole = generator.WithHole(0);
        const FilterPair pair{base.ours, base.sql};
        t.pair.filter = u'(' + pair.filter + QStringLiteral(") AND ") + hole.ours;
        t.pair.sql = u'(' + pair.sql + QStringLiteral(") AND (") + hole.sql + u')';
        return t;
    } else {
        x = generator.WithHole(3);
    }
    t.pair = {x.ours, x.sql};
    return t;
}

FilterPair FilterTemplate::Fill(const FilterPair& term) const
{
    FilterPair out = pair;
    out.filter.replace(kHole, term.filter);
    out.sql.replace(kHole, Bracketed(term.sql));
    return out;
}

FilterPair SearchTerm(const TableShape& table, int field, const QString& pattern, bool upper,
                      bool ignoreAccents)
{
    const auto& shape = table.fields[static_cast<size_t>(field)];
    Expr f;
    f.kind = Kind::Text;
    f.sql = shape.type == FieldType::Text ? TextFieldSql(shape.name, ignoreAccents)
                                          : QuotedName(shape.name);
    f.ours = shape.name;
    switch (shape.type) {
    case FieldType::Integer:
        f.kind = Kind::Int;
        break;
    case FieldType::Float:
        f.kind = Kind::Real;
        break;
    case FieldType::Boolean:
        f.kind = Kind::Bool;
        break;
    case FieldType::Text:
    case FieldType::Date:
        break;
    }
    FilterPair term;
    const QString literal = TextLiteral(pattern);
    if (upper) {
        term.filter = QStringLiteral("UPPER(%1) LIKE %2").arg(f.ours, literal);
        term.sql = QStringLiteral("upper(%1) LIKE %2")
                       .arg(TextForm(f), LiteralSql(pattern, ignoreAccents, 'U'));
    } else {
        term.filter = QStringLiteral("%1 LIKE %2").arg(f.ours, literal);
        term.sql =
            QStringLiteral("%1 LIKE %2").arg(TextForm(f), LiteralSql(pattern, ignoreAccents));
    }
    return term;
}

} // namespace differential
