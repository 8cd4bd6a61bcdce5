#include "host/sql/postgres_dialect.h"

#include "host/text/accent_fold.h"

#include <QSqlQuery>
#include <touchsearch/dataset_error.h>

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
        // A date read as the server writes it ("infinity", "0001-01-01 BC") goes back
        // as that text.
        return QStringLiteral("CAST(%1 AS date)")
            .arg(out.Bind(value.typeId() == QMetaType::QString
                              ? value.toString()
                              : value.toDate().toString(Qt::ISODate)));
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
        // NaN and the infinities as the server writes them, which is how they show.
        return QStringLiteral(
                   "(SELECT CASE WHEN s.r IS NULL THEN NULL WHEN s.r = 0 THEN '0' "
                   "WHEN s.special IS NOT NULL THEN s.special "
                   "WHEN s.e < -4 OR s.e >= 15 THEN s.sign || left(s.d, 1) || "
                   "CASE WHEN length(s.d) > 1 THEN '.' || substr(s.d, 2) ELSE '' END || 'e' || "
                   "CASE WHEN s.e < 0 THEN '-' ELSE '+' END || "
                   "CASE WHEN abs(s.e) < 10 THEN '0' ELSE '' END || CAST(abs(s.e) AS text) "
                   "ELSE s.sign || s.t END "
                   "FROM (SELECT q.r, q.t, q.sign, q.special, "
                   "CASE WHEN abs(q.r) >= 1 THEN rtrim(replace(q.t, '.', ''), '0') "
                   "ELSE ltrim(substr(q.t, 3), '0') END AS d, "
                   "CASE WHEN abs(q.r) >= 1 THEN length(split_part(q.t, '.', 1)) - 1 "
                   "ELSE length(ltrim(substr(q.t, 3), '0')) - length(substr(q.t, 3)) - 1 END AS e "
                   "FROM (SELECT p.r, p.special, CASE WHEN p.special IS NULL THEN "
                   "CAST(trim_scale(abs(p.r)) AS text) END AS t, "
                   "CASE WHEN p.r < 0 THEN '-' ELSE '' END AS sign "
                   "FROM (SELECT CAST(v.x AS numeric) AS r, CASE WHEN v.x = 'NaN' THEN 'NaN' "
                   "WHEN v.x = 'Infinity' THEN 'Infinity' WHEN v.x = '-Infinity' "
                   "THEN '-Infinity' END AS special "
                   "FROM (SELECT CAST(%1 AS double precision) AS x) AS v) AS p) AS q) AS s)")
            .arg(expression);
    case ValueKind::Bool:
        return QStringLiteral("(CASE %1 WHEN true THEN 'True' WHEN false THEN 'False' END)")
            .arg(expression);
    case ValueKind::Date:
        // As the server writes it (DateStyle ISO): YYYY-MM-DD, and the dates no other
        // form holds as it shows them ("0001-01-01 BC", "12345-01-01", "infinity").
        return QStringLiteral("CAST(%1 AS text)").arg(expression);
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

namespace {

// A text as an SQL string literal.
QString StringLiteral(const QString& text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("''"));
    return u'\'' + quoted + u'\'';
}

// translate()'s two tables for the accent fold. translate() looks each character up from
// the start of its table (and then walks its replacement table as far), and a character it
// does not find costs the whole table: so the table holds the printable ASCII characters
// mapped to themselves as well, and starts with the characters of Portuguese names in the
// order of their frequency, accented ones among them. It holds every pair of
// AccentFoldTable() once: it is the same fold.
struct TranslateTables {
    QString from;
    QString to;
    TranslateTables()
    {
        const QString frequent =
            QStringLiteral("a oeirsndAltSRuMCcEOImNLFDãBPvGJVzgbpThóUáéçxíqÃHâfQjÁúXZêôÉõÇÂÚÊÍÔÕÓ");
        QString letters = frequent;
        for (char c = ' '; c <= '~'; ++c) {
            letters += QLatin1Char(c);
        }
        letters += AccentFoldTable().from;
        QString seen;
        for (const char32_t c : letters.toUcs4()) {
            const QString one = QString::fromUcs4(&c, 1);
            // Left out: the quote and the backslash, so that nothing needs escaping, and
            // the characters that mark placeholders, so that a tool that finds them
            // without minding SQL's quotes cannot take the table for one.
            if ((c < 0x80 && QByteArrayView("'\\?:$@").contains(static_cast<char>(c))) ||
                seen.contains(one)) {
                continue;
            }
            seen += one;
            from += one;
            const char32_t folded = AccentFolded(c);
            to += QString::fromUcs4(&folded, 1);
        }
        from = StringLiteral(from);
        to = StringLiteral(to);
    }
};

} // namespace

void PostgresDialect::Learn(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("SHOW server_encoding")) && query.next()) {
        m_encoding = query.value(0).toString();
    }
    bool number = false;
    if (query.exec(QStringLiteral("SHOW max_parallel_workers_per_gather")) && query.next()) {
        const int workers = query.value(0).toInt(&number);
        if (number) {
            m_parallelWorkers = workers;
        }
    }
}

QString PostgresDialect::AccentFolded(const QString& textExpression) const
{
    if (!m_encoding.isEmpty() && m_encoding != QLatin1String("UTF8")) {
        // The table holds letters most encodings cannot spell, and the test for ASCII
        // text counts UTF-8 bytes.
        throw DatasetError(QStringLiteral("Setting accents aside on PostgreSQL needs a database "
                                          "whose text is in UTF-8; this one's is %1")
                               .arg(m_encoding));
    }
    // translate() with a fixed table is immutable, so an index can be made on this
    // expression (unaccent() is not). The table is this program's own constant, not
    // anyone's input: it is written into the statement as a literal because an index
    // expression must be, and a query's must be spelt the same to use the index. Text
    // that is all ASCII (as many bytes as characters) is left as it is without a lookup.
    static const TranslateTables tables;
    return QStringLiteral("(CASE WHEN octet_length(%1) = char_length(%1) THEN %1 "
                          "ELSE translate(%1, %2, %3) END)")
        .arg(textExpression, tables.from, tables.to);
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

QString PostgresDialect::LikeAny(SqlText& out, const QString& text,
                                 const std::vector<std::string>& patterns) const
{
    // The patterns travel as one array value: spelt out as ARRAY[...] of bound values, a
    // plan made for any values builds that array again for every row it checks.
    // LIKE ANY takes no ESCAPE clause: its escape is the backslash, which each pattern
    // then spells doubled to mean itself (the filter language has no escape). The array's
    // text form quotes each element, escaping its backslashes and quotes once more.
    QStringList elements;
    for (const std::string& pattern : patterns) {
        QString element = QString::fromStdString(pattern);
        element.replace(u'\\', QStringLiteral("\\\\")); // for LIKE
        element.replace(u'\\', QStringLiteral("\\\\")); // for the array's text form
        element.replace(u'"', QStringLiteral("\\\""));
        elements << u'"' + element + u'"';
    }
    return QStringLiteral("(%1 LIKE ANY (CAST(%2 AS text[])))")
        .arg(Collated(text), out.Bind(u'{' + elements.join(u',') + u'}'));
}

QString PostgresDialect::WordsAfterFirst(const QString& textExpression) const
{
    return QStringLiteral("substr(%1, NULLIF(strpos(%1, ' '), 0))").arg(textExpression);
}

QString PostgresDialect::Word(const QString& textExpression, int position) const
{
    return QStringLiteral("split_part(%1, ' ', %2)").arg(textExpression).arg(position);
}

QString PostgresDialect::WordStart(const QString& textExpression, int position) const
{
    return QStringLiteral("substr(%1, 1, %2)")
        .arg(Word(textExpression, position))
        .arg(kWordStartLength);
}

QString PostgresDialect::WordsBeyond(const QString& textExpression) const
{
    return QStringLiteral("(length(%1) - length(replace(%1, ' ', '')) >= %2)")
        .arg(textExpression)
        .arg(WordPositions());
}

QString PostgresDialect::IndexesCheck(int count) const
{
    QStringList held;
    for (int i = 0; i < count; ++i) {
        held << QStringLiteral("to_regclass(CAST(? AS text)) IS NOT NULL");
    }
    return QStringLiteral("SELECT ") + held.join(QStringLiteral(", "));
}

QString PostgresDialect::Bucket(const QString& textExpression) const
{
    return QStringLiteral("substr(%1, 1, %2)").arg(textExpression).arg(kBucketLength);
}

QString PostgresDialect::LikeExpression(const QString& text, const QString& pattern) const
{
    return QStringLiteral("(%1 LIKE %2 ESCAPE '')").arg(Collated(text), pattern);
}

QString PostgresDialect::SelectedValue(const QString& read, ValueKind kind, int field) const
{
    if (kind != ValueKind::Date) {
        return read;
    }
    return QStringLiteral("CAST(%1 AS text) AS ts_date%2").arg(read).arg(field);
}

QString PostgresDialect::Unindexed(const QString& expression, ValueKind kind) const
{
    switch (kind) {
    case ValueKind::Text:
        return QStringLiteral("(%1 || '')").arg(expression);
    case ValueKind::Bool:
        return QStringLiteral("(%1 AND true)").arg(expression);
    case ValueKind::Int:
    case ValueKind::Float:
    case ValueKind::Date:
        return QStringLiteral("(%1 + 0)").arg(expression);
    case ValueKind::Null:
        break;
    }
    return expression;
}

QString PostgresDialect::OrderedValue(const QString& quotedName, ValueKind kind) const
{
    return kind == ValueKind::Text ? Collated(quotedName) : quotedName;
}

} // namespace host::sql
