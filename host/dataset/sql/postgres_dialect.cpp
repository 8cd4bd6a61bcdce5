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
        // numeric keeps 15 significant digits; the form is plain for exponents from
        // -4 to 14 and d.ddde±XX otherwise. Evaluated once per record in a subquery.
        return QStringLiteral(
                   "(SELECT CASE WHEN ts_e.r IS NULL THEN NULL WHEN ts_e.r = 0 THEN '0' "
                   "WHEN ts_e.e < -4 OR ts_e.e >= 15 THEN "
                   "CAST(trim_scale(ts_e.r * power(CAST(10 AS numeric), -ts_e.e)) AS text) || "
                   "'e' || CASE WHEN ts_e.e < 0 THEN '-' ELSE '+' END || "
                   "lpad(CAST(abs(ts_e.e) AS text), 2, '0') "
                   "ELSE CAST(trim_scale(ts_e.r) AS text) END "
                   "FROM (SELECT ts_l.r, CASE WHEN ts_l.r = 0 THEN 0 "
                   "WHEN power(CAST(10 AS numeric), ts_l.g) > abs(ts_l.r) THEN ts_l.g - 1 "
                   "WHEN power(CAST(10 AS numeric), ts_l.g + 1) <= abs(ts_l.r) THEN ts_l.g + 1 "
                   "ELSE ts_l.g END AS e "
                   "FROM (SELECT ts_n.r, CASE WHEN ts_n.r = 0 THEN 0 "
                   "ELSE CAST(floor(log(abs(ts_n.r))) AS integer) END AS g "
                   "FROM (SELECT CAST(%1 AS numeric) AS r) AS ts_n) AS ts_l) AS ts_e)")
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

QString PostgresDialect::OrderTerm(const QString& quotedName, ValueKind kind, bool descending) const
{
    const QString term = kind == ValueKind::Text ? Collated(quotedName) : quotedName;
    return term +
           (descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" ASC NULLS FIRST"));
}

} // namespace host::sql
