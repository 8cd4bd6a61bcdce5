#include "host/dataset/sql/postgres_dialect.h"

namespace host::sql {

QString PostgresDialect::Parameter(SqlText& out, ValueKind kind, const QVariant& value) const
{
    switch (kind) {
    case ValueKind::Int:
        return QStringLiteral("CAST(%1 AS bigint)").arg(out.Bind(value.toLongLong()));
    case ValueKind::Float:
        // Through text with every digit, so the server reads back the same double.
        return QStringLiteral("CAST(%1 AS double precision)")
            .arg(out.Bind(QString::number(value.toDouble(), 'g', 17)));
    case ValueKind::Bool:
        return QStringLiteral("CAST(%1 AS boolean)")
            .arg(out.Bind(value.toBool() ? QStringLiteral("true") : QStringLiteral("false")));
    case ValueKind::Date:
        return QStringLiteral("CAST(%1 AS date)")
            .arg(out.Bind(value.toDate().toString(Qt::ISODate)));
    case ValueKind::Null:
    case ValueKind::Text:
        break;
    }
    return QStringLiteral("CAST(%1 AS text)").arg(out.Bind(value.toString()));
}

QString PostgresDialect::FieldValue(const QString& quotedName, ValueKind) const
{
    return quotedName;
}

QString PostgresDialect::TextOf(const QString& expression, ValueKind kind) const
{
    switch (kind) {
    case ValueKind::Int:
        return QStringLiteral("CAST(%1 AS text)").arg(expression);
    case ValueKind::Float:
        // printf's %.15g, which ClientDataset uses, spelt in SQL: a double cast to
        // numeric keeps those 15 significant digits (PostgreSQL prints it with %.15g
        // and reads that back), in plain notation t; from t's digits d and its decimal
        // exponent e the form is t for e from -4 to 14, else d.ddde±XX. Text
        // operations only, so nothing is lost at the extremes of the range; in nested
        // subqueries so the operand and its parameters appear once.
        return QStringLiteral(
                   "(SELECT CASE WHEN s.r IS NULL THEN NULL WHEN s.r = 0 THEN '0' "
                   "WHEN s.e < -4 OR s.e >= 15 THEN s.sign || left(s.d, 1) || "
                   "CASE WHEN length(s.d) > 1 THEN '.' || substr(s.d, 2) ELSE '' END || 'e' || "
                   "CASE WHEN s.e < 0 THEN '-' ELSE '+' END || "
                   "CASE WHEN abs(s.e) < 10 THEN '0' ELSE '' END || CAST(abs(s.e) AS text) "
                   "ELSE s.sign || s.t END "
                   "FROM (SELECT q.r, q.t, q.sign, "
                   "CASE WHEN abs(q.r) >= 1 THEN rtrim(replace(q.t, '.', ''), '0') "
                   "ELSE ltrim(substr(q.t, 3), '0') END AS d, "
                   "CASE WHEN abs(q.r) >= 1 THEN length(split_part(q.t, '.', 1)) - 1 "
                   "ELSE length(ltrim(substr(q.t, 3), '0')) - length(substr(q.t, 3)) - 1 END AS e "
                   "FROM (SELECT p.r, CAST(trim_scale(abs(p.r)) AS text) AS t, "
                   "CASE WHEN p.r < 0 THEN '-' ELSE '' END AS sign "
                   "FROM (SELECT CAST(%1 AS numeric) AS r) AS p) AS q) AS s)")
            .arg(expression);
    case ValueKind::Bool:
        return QStringLiteral("(CASE %1 WHEN true THEN 'True' WHEN false THEN 'False' END)")
            .arg(expression);
    case ValueKind::Date:
        return QStringLiteral("to_char(%1, 'YYYY-MM-DD')").arg(expression);
    case ValueKind::Null:
    case ValueKind::Text:
        break;
    }
    return expression;
}

QString PostgresDialect::NumberOf(const QString& expression, ValueKind kind) const
{
    if (kind == ValueKind::Bool) {
        return QStringLiteral("CAST(%1 AS integer)").arg(expression);
    }
    return expression;
}

QString PostgresDialect::Collated(const QString& textExpression) const
{
    return QStringLiteral("(%1) COLLATE \"C\"").arg(textExpression);
}

QString PostgresDialect::Upper(const QString& textExpression) const
{
    return QStringLiteral("upper(%1 COLLATE \"C\")").arg(textExpression);
}

QString PostgresDialect::Lower(const QString& textExpression) const
{
    return QStringLiteral("lower(%1 COLLATE \"C\")").arg(textExpression);
}

QString PostgresDialect::Trim(const QString& textExpression) const
{
    return QStringLiteral("btrim(%1, ' ')").arg(textExpression);
}

namespace {

QString Wide(const QString& number, ValueKind kind)
{
    // 64-bit integers, as ClientDataset computes them (an integer column may be 32-bit).
    if (kind == ValueKind::Int || kind == ValueKind::Bool) {
        return QStringLiteral("CAST(%1 AS bigint)").arg(number);
    }
    return number;
}

} // namespace

QString PostgresDialect::Arithmetic(char op, const QString& a, ValueKind ka, const QString& b,
                                    ValueKind kb) const
{
    return QStringLiteral("(%1 %2 %3)")
        .arg(Wide(NumberOf(a, ka), ka), QString(QLatin1Char(op)), Wide(NumberOf(b, kb), kb));
}

QString PostgresDialect::Divide(const QString& a, ValueKind ka, const QString& b,
                                ValueKind kb) const
{
    return QStringLiteral(
               "(CAST(%1 AS double precision) / NULLIF(CAST(%2 AS double precision), 0))")
        .arg(NumberOf(a, ka), NumberOf(b, kb));
}

QString PostgresDialect::Negate(const QString& a, ValueKind ka) const
{
    return QStringLiteral("(-%1)").arg(Wide(NumberOf(a, ka), ka));
}

QString PostgresDialect::Truth(const QString& booleanValue) const
{
    return QStringLiteral("(%1)").arg(booleanValue);
}

QString PostgresDialect::LikeLiteral(SqlText& out, const QString& text,
                                     const std::string& pattern) const
{
    return QStringLiteral("(%1 LIKE CAST(%2 AS text) ESCAPE '')")
        .arg(Collated(text), out.Bind(QString::fromStdString(pattern)));
}

QString PostgresDialect::LikeExpression(const QString& text, const QString& pattern) const
{
    return QStringLiteral("(%1 LIKE %2 ESCAPE '')").arg(Collated(text), pattern);
}

QString PostgresDialect::OrderTerm(const QString& quotedName, ValueKind kind, bool descending,
                                   bool nullable) const
{
    const QString term = kind == ValueKind::Text ? Collated(quotedName) : quotedName;
    if (!nullable) {
        return term + (descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    }
    return term +
           (descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" ASC NULLS FIRST"));
}

} // namespace host::sql
