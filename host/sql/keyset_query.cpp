#include "host/sql/keyset_query.h"

#include "host/text/accent_fold.h"

namespace host::sql {

namespace {

bool IsNull(const QVariant& value)
{
    return !value.isValid() || value.isNull();
}

QString AsciiUpper(QString text)
{
    for (QChar& c : text) {
        if (c >= u'a' && c <= u'z') {
            c = QChar(c.unicode() - (u'a' - u'A'));
        }
    }
    return text;
}

} // namespace

KeysetQuery::KeysetQuery(const SqlDialect& dialect, QString table, QString selectList,
                         std::vector<OrderColumn> order, QString keyList)
    : m_dialect(dialect), m_table(std::move(table)), m_selectList(std::move(selectList)),
      m_order(std::move(order)), m_keyList(std::move(keyList))
{
}

// The column as the order sees it: accents set aside, then upper-cased, when asked;
// spelt as the filter translation and the search indexes spell it.
QString KeysetQuery::Ordered(const OrderColumn& column) const
{
    const QString read = column.accents ? m_dialect.AccentFolded(column.read) : column.read;
    return column.folded ? m_dialect.Upper(read) : read;
}

QString KeysetQuery::Compared(const OrderColumn& column) const
{
    if (column.rowIdentity) {
        return column.read;
    }
    if (column.kind == ValueKind::Text) {
        return m_dialect.Collated(Ordered(column));
    }
    // A date is ordered by its text, never folded: as the dialect compares dates.
    return column.kind == ValueKind::Date ? m_dialect.DateCompared(column.read) : column.read;
}

QString KeysetQuery::Parameter(SqlText& out, const OrderColumn& column, const QVariant& value) const
{
    if (column.rowIdentity) {
        return m_dialect.RowIdentityParameter(out, value);
    }
    if (column.folded || column.accents) {
        const QString text = column.accents ? AccentFoldedText(value.toString()) : value.toString();
        return m_dialect.Parameter(out, column.kind, column.folded ? AsciiUpper(text) : text);
    }
    return m_dialect.Parameter(out, column.kind, value);
}

// Rows after the anchor from column i on, NULLs first:
//   anchor NULL:  c IS NOT NULL OR (c IS NULL AND rest)
//   anchor x:     c > x OR (c = x AND rest)
// and at the last column (a unique key) only the strict part.
QString KeysetQuery::After(SqlText& out, const RowValues& anchor, size_t i) const
{
    const OrderColumn& column = m_order[i];
    const QVariant& x = anchor[column.valueIndex];
    const QString c = Compared(column);
    const bool last = i + 1 == m_order.size();
    if (IsNull(x)) {
        if (last) {
            return QStringLiteral("(%1 IS NOT NULL)").arg(c);
        }
        return QStringLiteral("(%1 IS NOT NULL OR (%1 IS NULL AND %2))")
            .arg(c, After(out, anchor, i + 1));
    }
    const QString greater = QStringLiteral("%1 > %2").arg(c, Parameter(out, column, x));
    if (last) {
        return u'(' + greater + u')';
    }
    const QString equal = QStringLiteral("%1 = %2").arg(c, Parameter(out, column, x));
    return QStringLiteral("(%1 OR (%2 AND %3))").arg(greater, equal, After(out, anchor, i + 1));
}

// Rows before the anchor, NULLs first:
//   anchor NULL:  c IS NULL AND rest   (nothing is before a NULL at the last column)
//   anchor x:     c IS NULL OR c < x OR (c = x AND rest)
QString KeysetQuery::Before(SqlText& out, const RowValues& anchor, size_t i) const
{
    const OrderColumn& column = m_order[i];
    const QVariant& x = anchor[column.valueIndex];
    const QString c = Compared(column);
    const bool last = i + 1 == m_order.size();
    if (IsNull(x)) {
        if (last) {
            return QStringLiteral("(1 = 0)");
        }
        return QStringLiteral("(%1 IS NULL AND %2)").arg(c, Before(out, anchor, i + 1));
    }
    const QString less = QStringLiteral("%1 IS NULL OR %1 < %2").arg(c, Parameter(out, column, x));
    if (last) {
        return u'(' + less + u')';
    }
    const QString equal = QStringLiteral("%1 = %2").arg(c, Parameter(out, column, x));
    return QStringLiteral("(%1 OR (%2 AND %3))").arg(less, equal, Before(out, anchor, i + 1));
}

void KeysetQuery::AppendCondition(SqlText& out, QStringList& terms, const SqlText& condition)
{
    if (!condition.sql.isEmpty()) {
        terms << condition.sql;
        out.values += condition.values;
        out.scans = out.scans || condition.scans;
    }
}

SqlText KeysetQuery::Window(const RowValues* anchor, bool descending, int limit, int offset) const
{
    return WindowWhere(m_condition, anchor, descending, limit, offset);
}

SqlText KeysetQuery::FirstWhere(const SqlText& further) const
{
    SqlText both;
    QStringList terms;
    AppendCondition(both, terms, m_condition);
    AppendCondition(both, terms, further);
    both.sql = terms.join(QStringLiteral(" AND "));
    return WindowWhere(both, nullptr, false, 1, 0);
}

SqlText KeysetQuery::WindowWhere(const SqlText& condition, const RowValues* anchor, bool descending,
                                 int limit, int offset) const
{
    SqlText out;
    QStringList terms;
    AppendCondition(out, terms, condition);
    if (anchor != nullptr) {
        const OrderColumn& first = m_order.front();
        const QVariant& x = (*anchor)[first.valueIndex];
        if (!descending && !IsNull(x)) {
            // Implied by the keyset condition; lets an index on the first column start
            // the scan at the anchor.
            terms << QStringLiteral("%1 >= %2").arg(Compared(first), Parameter(out, first, x));
        }
        terms << (descending ? Before(out, *anchor, 0) : After(out, *anchor, 0));
    }
    QStringList orderBy;
    for (const OrderColumn& column : m_order) {
        orderBy << m_dialect.OrderTerm(Ordered(column),
                                       column.rowIdentity ? ValueKind::Int : column.kind,
                                       descending, !column.notNull);
    }
    const QString ordered = QStringLiteral(" ORDER BY ") + orderBy.join(QStringLiteral(", "));
    const bool twoSteps = !m_keyList.isEmpty() && condition.scans;
    QString window =
        QStringLiteral("SELECT %1 FROM %2").arg(twoSteps ? m_keyList : m_selectList, m_table);
    if (!terms.isEmpty()) {
        window += QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
    }
    window += ordered + QStringLiteral(" LIMIT %1").arg(limit);
    if (offset > 0) {
        window += QStringLiteral(" OFFSET %1").arg(offset);
    }
    if (!twoSteps) {
        out.sql = window;
        return out;
    }
    // A search that passes over entries (contains) takes the window's keys first: when
    // the condition and the order need only what an index holds, the server finds them
    // in the index alone, however many entries it passes over, and then reads just the
    // window's rows. (A prefix range's first entries are the window: one step.)
    out.sql = QStringLiteral("SELECT %1 FROM %2 WHERE (%3) IN (%4)%5")
                  .arg(m_selectList, m_table, m_keyList, window, ordered);
    return out;
}

SqlText KeysetQuery::CountBefore(const RowValues& row) const
{
    SqlText out;
    QStringList terms;
    AppendCondition(out, terms, m_condition);
    terms << Before(out, row, 0);
    out.sql = QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2")
                  .arg(m_table, terms.join(QStringLiteral(" AND ")));
    return out;
}

SqlText KeysetQuery::Count() const
{
    SqlText out;
    QStringList terms;
    AppendCondition(out, terms, m_condition);
    out.sql = QStringLiteral("SELECT COUNT(*) FROM %1").arg(m_table);
    if (!terms.isEmpty()) {
        out.sql += QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
    }
    return out;
}

} // namespace host::sql
