#include "host/sql/sqlite_dialect.h"

#include "host/filter/like_pattern.h"
#include "host/sql/sqlite_row_function.h"
#include "host/text/accent_fold.h"
#include "host/text/text_form.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDriver>
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

void LikeFunction(sqlite3_context* context, int, sqlite3_value** arguments)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL ||
        sqlite3_value_type(arguments[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto view = [](sqlite3_value* value) {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
        return std::string_view(bytes ? bytes : "",
                                static_cast<std::size_t>(sqlite3_value_bytes(value)));
    };
    const std::string_view text = view(arguments[0]);
    sqlite3_result_int(context, filter::LikeMatch(text, view(arguments[1])) ? 1 : 0);
}

} // namespace

bool SqliteDialect::RegisterFunctions(sqlite3* db)
{
    constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, kFloatTextFunction, 1, kFlags, nullptr, FloatTextFunction,
                                      nullptr, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, kAccentFoldFunction, 1, kFlags, nullptr,
                                      AccentFoldFunction, nullptr, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, kLikeFunction, 2, kFlags, nullptr, LikeFunction, nullptr,
                                      nullptr, nullptr) == SQLITE_OK &&
           SqliteRowFunction::Register(db);
}

void SqliteDialect::Learn(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() != nullptr ? db.driver()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        if (sqlite3* sqlite = *static_cast<sqlite3* const*>(handle.constData())) {
            m_longestPattern = sqlite3_limit(sqlite, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1);
        }
    }
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

QString SqliteDialect::ChainedOperand(const QString& arithmetic) const
{
    // Arithmetic brackets its whole result: "(a + b)" stands as "a + b" on the left of
    // an operator that binds no more tightly (the chain then nests nothing).
    return arithmetic.mid(1, arithmetic.size() - 2);
}

QString SqliteDialect::DivideQuotient(const QString& quotient, const QString& b, ValueKind) const
{
    // A quotient is real (or NULL) already: "(q / NULLIF(…))" nests no CAST around it.
    return QStringLiteral("(%1 / NULLIF(CAST(%2 AS REAL), 0.0))")
        .arg(quotient.mid(1, quotient.size() - 2), b);
}

QString SqliteDialect::InValues(SqlText& out, const QString& operand,
                                const QVariantList& values) const
{
    // One parameter whatever the list's length (a statement takes at most
    // SQLITE_MAX_VARIABLE_NUMBER), read by json_each: its values have no affinity, so
    // they meet the operand as bound values do, and numbers keep their kind (the JSON
    // writer gives integers as integers, reals in their shortest exact form).
    const QByteArray list =
        QJsonDocument(QJsonArray::fromVariantList(values)).toJson(QJsonDocument::Compact);
    return QStringLiteral("(%1 IN (SELECT value FROM json_each(%2)))")
        .arg(operand, out.Bind(QString::fromUtf8(list)));
}

QString SqliteDialect::Truth(const QString& booleanValue) const
{
    return QStringLiteral("(%1 <> 0)").arg(booleanValue);
}

QString SqliteDialect::PartCondition(SqlText& out, const FilterPart& part) const
{
    // The stored values, read as the file loader reads them (no cast): the part is then
    // decided on what ClientDataset holds.
    QStringList arguments{out.Bind(SqliteRowFunction::Describe(part))};
    for (const FieldDef& def : part.fields) {
        arguments << QuoteIdentifier(def.name);
    }
    return QStringLiteral("(%1(%2) <> 0)")
        .arg(QLatin1String(SqliteRowFunction::kName), arguments.join(QStringLiteral(", ")));
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
    const std::string glob = GlobOf(pattern);
    if (glob.size() > static_cast<std::size_t>(m_longestPattern)) {
        // Longer than GLOB takes ("LIKE or GLOB pattern too complex"): matched by the
        // function that matches as ClientDataset does, which no index serves (nor would
        // one serve such a pattern's GLOB beyond its prefix, bounded beside it anyway).
        return QStringLiteral("(%1(%2, %3) <> 0)")
            .arg(QLatin1String(kLikeFunction), text, out.Bind(QString::fromStdString(pattern)));
    }
    return QStringLiteral("(%1 GLOB %2)").arg(text, out.Bind(QString::fromStdString(glob)));
}

QString SqliteDialect::LikeExpression(const QString& text, const QString& pattern) const
{
    // A pattern computed for each record may be of any length: matched by the function,
    // never by GLOB (which refuses a long one, and needed it rewritten in five nested
    // calls).
    return QStringLiteral("(%1(%2, %3) <> 0)").arg(QLatin1String(kLikeFunction), text, pattern);
}

QString SqliteDialect::Unindexed(const QString& expression, ValueKind) const
{
    // Unary plus: the value as it is, which SQLite takes for no column of an index.
    return QStringLiteral("(+%1)").arg(expression);
}

QString SqliteDialect::OrderedValue(const QString& quotedName, ValueKind kind) const
{
    return kind == ValueKind::Text || kind == ValueKind::Date ? Collated(quotedName) : quotedName;
}

} // namespace host::sql
