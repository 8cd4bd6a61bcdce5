#include "host/dataset/sql/sqlite_dialect.h"

#include "host/dataset/accent_fold.h"
#include "host/dataset/text_form.h"

#include <sqlite3.h>

namespace host::sql {

namespace {

void FloatTextFunction(sqlite3_context* context, int, sqlite3_value** arguments)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    char buffer[kTextFormBuffer];
    const std::string_view text = FloatText(sqlite3_value_double(arguments[0]), buffer);
    sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void AccentFoldFunction(sqlite3_context* context, int, sqlite3_value** arguments)
{
    if (sqlite3_value_type(arguments[0]) != SQLITE_TEXT) {
        sqlite3_result_value(context, arguments[0]); // NULL, or a value that is not text
        return;
    }
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    const std::string_view text(bytes, static_cast<std::size_t>(sqlite3_value_bytes(arguments[0])));
    std::string scratch;
    const std::string_view folded = AccentFoldedView(text, scratch);
    if (folded.data() == text.data()) {
        sqlite3_result_value(context, arguments[0]);
        return;
    }
    sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

} // namespace

bool SqliteDialect::RegisterFunctions(sqlite3* db)
{
    constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, kFloatTextFunction, 1, kFlags, nullptr, FloatTextFunction,
                                      nullptr, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, kAccentFoldFunction, 1, kFlags, nullptr,
                                      AccentFoldFunction, nullptr, nullptr, nullptr) == SQLITE_OK;
}

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
        // SQLite's own printf rounds some ties apart from C's, so the form comes from
        // the function that gives ClientDataset its (registered on every connection).
        return QStringLiteral("%1(%2)").arg(QLatin1String(kFloatTextFunction), expression);
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

QString SqliteDialect::AccentFolded(const QString& textExpression) const
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(kAccentFoldFunction), textExpression);
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

QString SqliteDialect::OrderTerm(const QString& quotedName, ValueKind kind, bool descending,
                                 bool nullable) const
{
    const QString term =
        kind == ValueKind::Text || kind == ValueKind::Date ? Collated(quotedName) : quotedName;
    if (!nullable) {
        return term + (descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    }
    return term +
           (descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" ASC NULLS FIRST"));
}

} // namespace host::sql
