#include "form/search_condition.h"

#include "form/search_text.h"

#include <touchsearch/filter_text.h>

namespace pesquisa {

namespace {

QString Term(const QString& field, const QString& pattern, bool upperTerms)
{
    // No escaping: a "%" or "_" typed acts as a pattern character, as in every search.
    const QString name = host::FieldNameInFilter(field);
    const QString column = upperTerms ? QStringLiteral("UPPER(") + name + u')' : name;
    return column + QStringLiteral(" LIKE '") + pattern + u'\'';
}

// (t(F0,p0) OR t(F0,p1) ... OR t(F1,p0) ...): every pattern on one field before the next.
QString Alternatives(const QStringList& fields, const QStringList& patterns, bool upperTerms)
{
    QStringList terms;
    for (const QString& field : fields) {
        for (const QString& pattern : patterns) {
            terms.append(Term(field, pattern, upperTerms));
        }
    }
    return u'(' + terms.join(QStringLiteral(" OR ")) + u')';
}

} // namespace

QString SearchCondition(const QString& text, const QStringList& fields, bool upperTerms, bool words)
{
    if (!words) {
        return Alternatives(fields, {text + u'%'}, upperTerms);
    }
    const bool contains = text.startsWith(u'%');
    const QStringList typed = (contains ? text.mid(1) : text).split(u' ', Qt::SkipEmptyParts);
    QStringList groups;
    for (const QString& word : typed) {
        const QStringList patterns =
            contains ? QStringList{u'%' + word + u'%'}
                     : QStringList{word + u'%', QStringLiteral("% ") + word + u'%'};
        groups.append(Alternatives(fields, patterns, upperTerms));
    }
    return groups.join(QStringLiteral(" AND "));
}

QStringList TextsAhead()
{
    return {QStringLiteral("A"),          QStringLiteral("QXWZ"), QStringLiteral("QXWZ A"),
            QStringLiteral("1"),          QStringLiteral("QXW"),  QStringLiteral("123"),
            QStringLiteral("19283746501")};
}

QString ExactValue(const QString& text)
{
    return AsciiUpper(text.startsWith(u'%') ? text.mid(1) : text);
}

QString ExactCondition(const QString& value, const QStringList& fields, bool upperTerms)
{
    return Alternatives(fields, {value}, upperTerms);
}

} // namespace pesquisa
