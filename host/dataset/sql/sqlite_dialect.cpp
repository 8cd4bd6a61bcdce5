#include "host/dataset/sql/sqlite_dialect.h"

namespace host::sql {

QString SqliteDialect::Parameter(SqlText& out, ValueKind kind, const QVariant& value) const
{
    if (kind == ValueKind::Bool) {
        return out.Bind(QVariant::fromValue<qlonglong>(value.toBool() ? 1 : 0));
    }
    return out.Bind(value);
}

QString SqliteDialect::FieldValue(const QString& quotedName, ValueKind) const
{
    return quotedName;
}

QString SqliteDialect::TextOf(const QString& expression, ValueKind kind) const
{
    switch (kind) {
    case ValueKind::Int:
        return QStringLiteral("CAST(%1 AS TEXT)").arg(expression);
    case ValueKind::Float:
        // printf's %.15g is the form ClientDataset gives a real number; SQLite's printf
        // prints NULL as a number, so NULL is kept apart (in a subquery, so that the
        // expression and its parameters appear once).
        return QStringLiteral("(SELECT CASE WHEN ts_v.v IS NULL THEN NULL ELSE printf('%.15g', "
                              "ts_v.v) END FROM (SELECT %1 AS v) AS ts_v)")
            .arg(expression);
    case ValueKind::Bool:
        return QStringLiteral("(CASE %1 WHEN 0 THEN 'False' WHEN 1 THEN 'True' END)")
            .arg(expression);
    case ValueKind::Null:
    case ValueKind::Date: // stored as ISO text
    case ValueKind::Text:
        break;
    }
    return expression;
}

QString SqliteDialect::NumberOf(const QString& expression, ValueKind) const
{
    return expression;
}

QString SqliteDialect::Collated(const QString& textExpression) const
{
    return QStringLiteral("(%1) COLLATE BINARY").arg(textExpression);
}

QString SqliteDialect::Upper(const QString& textExpression) const
{
    return QStringLiteral("upper(%1)").arg(textExpression);
}

QString SqliteDialect::Lower(const QString& textExpression) const
{
    return QStringLiteral("lower(%1)").arg(textExpression);
}

QString SqliteDialect::Trim(const QString& textExpression) const
{
    return QStringLiteral("trim(%1)").arg(textExpression);
}

QString SqliteDialect::Arithmetic(char op, const QString& a, ValueKind, const QString& b,
                                  ValueKind) const
{
    // Integer overflow turns the result real, as ClientDataset does.
    return QStringLiteral("(%1 %2 %3)").arg(a, QString(QLatin1Char(op)), b);
}

QString SqliteDialect::Divide(const QString& a, ValueKind, const QString& b, ValueKind) const
{
    return QStringLiteral("(CAST(%1 AS REAL) / NULLIF(CAST(%2 AS REAL), 0.0))").arg(a, b);
}

QString SqliteDialect::Negate(const QString& a, ValueKind) const
{
    return QStringLiteral("(-%1)").arg(a);
}

QString SqliteDialect::Truth(const QString& booleanValue) const
{
    return QStringLiteral("(%1 <> 0)").arg(booleanValue);
}

std::string SqliteDialect::GlobOf(const std::string& likePattern)
{
    std::string glob;
    glob.reserve(likePattern.size() + 8);
    for (const char c : likePattern) {
        switch (c) {
        case '%':
            glob += '*';
            break;
        case '_':
            glob += '?';
            break;
        case '*':
            glob += "[*]";
            break;
        case '?':
            glob += "[?]";
            break;
        case '[':
            glob += "[[]";
            break;
        default:
            glob += c;
            break;
        }
    }
    return glob;
}

QString SqliteDialect::LikeLiteral(SqlText& out, const QString& text,
                                   const std::string& pattern) const
{
    return QStringLiteral("(%1 GLOB %2)")
        .arg(text, out.Bind(QString::fromStdString(GlobOf(pattern))));
}

QString SqliteDialect::LikeExpression(const QString& text, const QString& pattern) const
{
    // The same rewriting as GlobOf, in SQL: '[' first, so the brackets added for '*'
    // and '?' stay as they are.
    return QStringLiteral("(%1 GLOB replace(replace(replace(replace(replace(%2, '[', '[[]'), "
                          "'*', '[*]'), '?', '[?]'), '%', '*'), '_', '?'))")
        .arg(text, pattern);
}

QString SqliteDialect::OrderTerm(const QString& quotedName, ValueKind kind, bool descending) const
{
    const QString term =
        kind == ValueKind::Text || kind == ValueKind::Date ? Collated(quotedName) : quotedName;
    return term +
           (descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" ASC NULLS FIRST"));
}

} // namespace host::sql
