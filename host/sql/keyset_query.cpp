#include "host/sql/keyset_query.h"

#include "host/text/accent_fold.h"

#include <algorithm>

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
                         std::vector<OrderColumn> order, QStringList keys)
    : m_dialect(dialect), m_table(std::move(table)), m_selectList(std::move(selectList)),
      m_order(std::move(order)), m_keys(std::move(keys)),
      m_keyList(m_keys.join(QStringLiteral(", ")))
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
        out.spread = out.spread || condition.spread;
    }
}

SqlText KeysetQuery::Window(const RowValues* anchor, bool descending, int limit, int offset) const
{
    return WindowWhere(m_condition, anchor, descending, limit, offset, false, m_few);
}

SqlText KeysetQuery::FirstWhere(const SqlText& further) const
{
    SqlText both;
    QStringList terms;
    AppendCondition(both, terms, m_condition);
    AppendCondition(both, terms, further);
    both.sql = terms.join(QStringLiteral(" AND "));
    return WindowWhere(both, nullptr, false, 1, 0, true);
}

QStringList KeysetQuery::AnchorTerms(SqlText& out, const RowValues* anchor, bool descending) const
{
    QStringList terms;
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
    return terms;
}

QString KeysetQuery::OrderBy(bool descending, bool unindexed) const
{
    QStringList orderBy;
    for (const OrderColumn& column : m_order) {
        const ValueKind kind = column.rowIdentity ? ValueKind::Int : column.kind;
        const QString read = unindexed && !column.rowIdentity
                                 ? m_dialect.Unindexed(Ordered(column), kind)
                                 : Ordered(column);
        orderBy << m_dialect.OrderTerm(read, kind, descending, !column.notNull);
    }
    return QStringLiteral(" ORDER BY ") + orderBy.join(QStringLiteral(", "));
}

SqlText KeysetQuery::WindowWhere(const SqlText& condition, const RowValues* anchor, bool descending,
                                 int limit, int offset, bool unindexed, bool few) const
{
    const bool twoSteps = !m_keyList.isEmpty() && condition.scans;
    if (twoSteps && condition.spread && offset == 0 && !unindexed) {
        return WalkOrFind(condition, anchor, descending, limit, few);
    }
    SqlText out;
    QStringList terms;
    AppendCondition(out, terms, condition);
    terms << AnchorTerms(out, anchor, descending);
    const QString ordered = OrderBy(descending, unindexed);
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
    // A search that passes over entries (contains) takes the window's keys first, then
    // reads just the window's rows. (A prefix range's first entries are the window: one
    // step.)
    out.sql = QStringLiteral("SELECT %1 FROM %2 WHERE (%3) IN (%4)%5")
                  .arg(m_selectList, m_table, m_keyList, window, ordered);
    return out;
}

// The order's values as further columns (ts_o0, ts_o1, ...), and the order by them as the
// relation named `relation` hands them on: ordered by those, it comes in the order its
// rows were read in, which the server then needs no sort for.
void KeysetQuery::OrderValues(const QString& relation, bool descending, QStringList& values,
                              QStringList& orderBy, QStringList* distinct) const
{
    for (size_t i = 0; i < m_order.size(); ++i) {
        const OrderColumn& column = m_order[i];
        const QString alias = QStringLiteral("ts_o%1").arg(i);
        values << QStringLiteral("%1 AS %2")
                      .arg(column.rowIdentity ? column.read : Ordered(column), alias);
        const ValueKind kind = column.rowIdentity ? ValueKind::Int : column.kind;
        orderBy << m_dialect.OrderTerm(relation + u'.' + alias, kind, descending, !column.notNull);
        if (distinct) {
            *distinct << m_dialect.OrderedValue(relation + u'.' + alias, kind);
        }
    }
}

// The keys of the first `limit` rows the condition selects among the first `rows` rows of
// the order (after the anchor). The walk hands its rows on in the order's own values, so
// the server stops walking as soon as it has the window: a search many records meet
// costs a few rows of the index, however far the bound.
QString KeysetQuery::Walk(SqlText& out, const SqlText& condition, const RowValues* anchor,
                          bool descending, int skipped, int rows, const QString& limit) const
{
    QStringList values;
    QStringList orderBy;
    OrderValues(QStringLiteral("ts_w"), descending, values, orderBy);
    const QStringList walked = AnchorTerms(out, anchor, descending);
    QString walk =
        QStringLiteral("SELECT *, %1 FROM %2").arg(values.join(QStringLiteral(", ")), m_table);
    if (!walked.isEmpty()) {
        walk += QStringLiteral(" WHERE ") + walked.join(QStringLiteral(" AND "));
    }
    walk += OrderBy(descending, false) + QStringLiteral(" LIMIT %1").arg(rows);
    if (skipped > 0) {
        walk += QStringLiteral(" OFFSET %1").arg(skipped);
    }
    QStringList met;
    AppendCondition(out, met, condition);
    // The folded text the order reads comes off its index with each row: the condition,
    // which spells it as the order does, reads that instead of folding every row again.
    QString checked = met.join(QStringLiteral(" AND "));
    for (size_t i = 0; i < m_order.size(); ++i) {
        const OrderColumn& column = m_order[i];
        if (!column.rowIdentity && (column.folded || column.accents)) {
            checked.replace(Ordered(column), QStringLiteral("ts_w.ts_o%1").arg(i));
        }
    }
    return QStringLiteral("SELECT %1 FROM (%2) AS ts_w WHERE %3 ORDER BY %4 LIMIT %5")
        .arg(m_keyList, walk, checked, orderBy.join(QStringLiteral(", ")), limit);
}

// The keys of the first `limit` rows the condition selects, found through its indexes and
// sorted.
QString KeysetQuery::Found(SqlText& out, const SqlText& condition, const RowValues* anchor,
                           bool descending, int limit) const
{
    QStringList found;
    AppendCondition(out, found, condition);
    found << AnchorTerms(out, anchor, descending);
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3%4 LIMIT %5")
        .arg(m_keyList, m_table, found.join(QStringLiteral(" AND ")), OrderBy(descending, true))
        .arg(limit);
}

// The same where the condition's alternatives include a prefix range of the order's first
// column (a word that begins the search column, among its other alternatives): that
// alternative's records are read off the order's index in order, a range that may hold
// many records (every name that begins with it), and only the others are found through
// their indexes and sorted; the first rows of both, each record once.
QString KeysetQuery::FoundInRange(SqlText& out, const SqlAlternatives& alternatives,
                                  std::size_t inRange, const RowValues* anchor, bool descending,
                                  int limit) const
{
    QStringList values;
    QStringList outerOrder;
    QStringList distinct;
    for (int k = 0; k < m_keys.size(); ++k) {
        values << QStringLiteral("%1 AS ts_k%2").arg(m_keys[k]).arg(k);
    }
    OrderValues(QStringLiteral("ts_u"), descending, values, outerOrder, &distinct);
    // The other alternatives with the rest of the condition once, not once each: the
    // server would take the rest out of each anyway, after reading and planning it as
    // many times.
    SqlText others;
    QStringList otherTerms;
    std::vector<const SqlAlternative*> positional;
    std::vector<const SqlAlternative*> ranges;
    for (std::size_t a = 0; a < alternatives.options.size(); ++a) {
        if (a == inRange) {
            continue;
        }
        if (ReadByPositions(alternatives.options[a])) {
            positional.push_back(&alternatives.options[a]);
        } else if (!alternatives.options[a].rangeOf.isEmpty()) {
            ranges.push_back(&alternatives.options[a]);
        } else {
            AppendCondition(others, otherTerms, alternatives.options[a].own);
        }
    }
    others.sql = u'(' + otherTerms.join(QStringLiteral(" OR ")) + u')';
    // The range's records in order, the others' sorted; each field's own range apart, so
    // that its records come off that field's index alone (it holds the order's values and
    // the other fields).
    const auto branch = [&](const SqlText& own, const SqlText& rest, bool unindexed) {
        QStringList terms;
        AppendCondition(out, terms, own);
        AppendCondition(out, terms, rest);
        terms << AnchorTerms(out, anchor, descending);
        return QStringLiteral("(SELECT %1 FROM %2 WHERE %3%4 LIMIT %5)")
            .arg(values.join(QStringLiteral(", ")), m_table, terms.join(QStringLiteral(" AND ")),
                 OrderBy(descending, unindexed))
            .arg(limit);
    };
    // With the word positions, the rest is checked on each row the indexes give, as a
    // whole: the planner neither looks for indexes of its terms (which cost more to plan
    // than the branches to run) nor reads the records they find in place of the
    // branches' own. A short lead word's branches leave the planner that choice.
    SqlText checked = alternatives.restPerRow;
    if (!checked.sql.isEmpty()) {
        checked.sql = QStringLiteral("(%1) IS TRUE").arg(checked.sql);
    }
    QStringList branches{branch(alternatives.options[inRange].own,
                                positional.empty() ? alternatives.rest : checked, false)};
    if (!otherTerms.isEmpty()) {
        branches << branch(others, alternatives.rest, true);
    }
    for (const SqlAlternative* option : ranges) {
        if (!Bucketed(*option)) {
            branches << branch(option->own, alternatives.rest, true);
            continue;
        }
        // The prefix's bucket, in order, the rest checked on each row as with the word
        // positions.
        SqlText bucket;
        bucket.sql = QStringLiteral("%1 = %2").arg(
            m_dialect.Bucket(option->rangeText),
            m_dialect.Parameter(bucket, ValueKind::Text, option->prefix));
        branches << branch(bucket, checked.sql.isEmpty() ? alternatives.rest : checked, false);
    }
    for (const SqlAlternative* option : positional) {
        branches << PositionBranches(out, *option, checked, values.join(QStringLiteral(", ")),
                                     anchor, descending, limit);
    }
    QStringList keys;
    for (int k = 0; k < m_keys.size(); ++k) {
        keys << QStringLiteral("ts_u.ts_k%1").arg(k);
    }
    // Each branch comes in the order (a sorted one sorts its few rows), so the server
    // merges them and stops at the window: a branch reads only the rows that rank in it,
    // not a window of its own each ("SILVA MA": 3,000 index entries read, 900 merged). A
    // record that two branches give (a word at two positions) is kept once, by the order's
    // values, which end in the key.
    return QStringLiteral("SELECT DISTINCT ON (%1) %2 FROM (%3) AS ts_u ORDER BY %4 LIMIT %5")
        .arg(distinct.join(QStringLiteral(", ")), keys.join(QStringLiteral(", ")),
             branches.join(QStringLiteral(" UNION ALL ")), outerOrder.join(QStringLiteral(", ")))
        .arg(limit);
}

// Whether the alternative is a word start after the first word of the order's first
// column ("% w%"), the word holding a letter.
bool KeysetQuery::LetterWordOfOrder(const SqlAlternative& option) const
{
    const OrderColumn& first = m_order.front();
    return !option.wordOf.isEmpty() && !first.rowIdentity &&
           m_dialect.Collated(option.wordOf) == Compared(first) &&
           std::any_of(option.word.begin(), option.word.end(),
                       [](QChar c) { return c.isLetter(); });
}

// Whether such a word is read off the word positions' indexes: at least as long as their
// word starts. (A word of digits, a phone's or a code's, is rare among the words of
// names: its few records are found through the trigrams at less cost than planning the
// positions.)
bool KeysetQuery::ReadByPositions(const SqlAlternative& option) const
{
    return m_wordPositions && LetterWordOfOrder(option) &&
           option.word.toUcs4().size() >= SqlDialect::kWordStartLength;
}

// Whether such a word is shorter than that, so that its records are found through the
// trigrams of the words, which a word of a letter or two begins in a large share of the
// records. (A longer one is found there too where no word positions are indexed, but
// begins few enough words.)
bool KeysetQuery::FoundThroughTrigrams(const SqlAlternative& option) const
{
    return LetterWordOfOrder(option) && option.word.toUcs4().size() < SqlDialect::kWordStartLength;
}

// Whether the alternative is a prefix range exactly as long as the buckets of its text,
// which the database holds in this order.
bool KeysetQuery::Bucketed(const SqlAlternative& option) const
{
    return !option.rangeText.isEmpty() && m_bucketed.contains(option.rangeText) &&
           option.prefix.toUcs4().size() == SqlDialect::kBucketLength;
}

// Whether there are prefix ranges of other texts than the order's and each comes off its
// bucket.
bool KeysetQuery::EveryRangeBucketed(const SqlAlternatives& alternatives, std::size_t inRange) const
{
    bool any = false;
    for (std::size_t a = 0; a < alternatives.options.size(); ++a) {
        const SqlAlternative& option = alternatives.options[a];
        if (a == inRange || option.rangeOf.isEmpty() || ReadByPositions(option)) {
            continue;
        }
        if (!Bucketed(option)) {
            return false;
        }
        any = true;
    }
    return any;
}

// The records whose word at each indexed position begins with the word, each position's
// first rows off its index in order (the word's start equal, then the order); and those
// of a text with more words, found through their own small index and sorted.
QStringList KeysetQuery::PositionBranches(SqlText& out, const SqlAlternative& option,
                                          const SqlText& checked, const QString& values,
                                          const RowValues* anchor, bool descending, int limit) const
{
    const QList<uint> letters = option.word.toUcs4();
    const QString start = QString::fromUcs4(reinterpret_cast<const char32_t*>(letters.constData()),
                                            SqlDialect::kWordStartLength);
    const std::string pattern = option.word.toStdString() + '%';
    QStringList branches;
    for (int position = 2; position <= m_dialect.WordPositions() + 1; ++position) {
        const bool beyond = position > m_dialect.WordPositions();
        QStringList terms;
        if (beyond) {
            terms << m_dialect.WordsBeyond(option.wordOf);
            AppendCondition(out, terms, option.own);
        } else {
            const QString word = m_dialect.Word(option.wordOf, position);
            terms << QStringLiteral("%1 <> ''").arg(word)
                  << QStringLiteral("%1 = %2").arg(m_dialect.WordStart(option.wordOf, position),
                                                   m_dialect.Parameter(out, ValueKind::Text, start))
                  << m_dialect.LikeLiteral(out, word, pattern);
        }
        AppendCondition(out, terms, checked);
        terms << AnchorTerms(out, anchor, descending);
        branches << QStringLiteral("(SELECT %1 FROM %2 WHERE %3%4 LIMIT %5)")
                        .arg(values, m_table, terms.join(QStringLiteral(" AND ")),
                             OrderBy(descending, beyond))
                        .arg(limit);
    }
    return branches;
}

// A condition over several fields that no index gives in order (contains, words) is found
// one of three ways, in one statement: the first rows of the order are walked, a bounded
// number of them, and when they hold the whole window that is it (a search that many
// records meet). When they held enough of it that a walk of kFarRows should find the rest,
// that walk is taken. Else the records are found through the condition's indexes and
// sorted (a search that few meet, which a walk of the order would pass over most of the
// table to find). The server decides once each walk is done: the parts not chosen never run.
SqlText KeysetQuery::WalkOrFind(const SqlText& condition, const RowValues* anchor, bool descending,
                                int limit, bool few) const
{
    // Found through the indexes: apart, where the condition is alternatives one of which
    // is a prefix range of the order's first column.
    std::size_t inRange = 0;
    const OrderColumn& first = m_order.front();
    if (condition.alternatives && !first.rowIdentity && first.kind == ValueKind::Text) {
        const QString compared = Compared(first);
        while (inRange < condition.alternatives->options.size() &&
               condition.alternatives->options[inRange].rangeOf != compared) {
            ++inRange;
        }
    }
    const bool ranged = condition.alternatives && inRange < condition.alternatives->options.size();
    // Read off the word positions' indexes, the records are found at a few rows' cost
    // each, sooner than a far walk would find them: there is none.
    const bool positional =
        ranged &&
        std::any_of(condition.alternatives->options.begin(), condition.alternatives->options.end(),
                    [&](const SqlAlternative& option) { return ReadByPositions(option); });
    // A short word of letters that begins later words of the search column is found
    // through its trigrams, which hold a large share of the table.
    const bool trigrams =
        ranged &&
        std::any_of(condition.alternatives->options.begin(), condition.alternatives->options.end(),
                    [&](const SqlAlternative& option) { return FoundThroughTrigrams(option); });
    // The find reads its records in order, a window's worth a branch, where the word
    // positions serve the lead word or the other fields' prefixes all come off their
    // buckets: no far walk ("789": 5,000 rows walked in 2.1 ms, found in 0.7).
    const bool inOrder =
        positional || (ranged && !trigrams && EveryRangeBucketed(*condition.alternatives, inRange));
    SqlText out;
    const QString ordered = OrderBy(descending, false);
    // Planned once and kept for the next key where no value can lead the planner astray:
    // one word's alternatives and no rest, each branch driven by its own term; or a lead
    // word read off the word positions, whose many branches check the rest on each row
    // whatever the values. Else (a short lead word and more words) the planner picks the
    // index that drives each branch, the lead's or the rest's, by the values: a plan made
    // for any values drove "A 98765" by every name with a word beginning with A (150 ms).
    out.choosesAsItRuns = positional || (ranged && condition.alternatives->rest.sql.isEmpty());
    // With fewer records than a window (few) no walk could fill one: the find alone.
    QString nearWalk;
    QString farWalk;
    if (!few) {
        const SqlText& walked = condition.perRow ? *condition.perRow : condition;
        nearWalk = Walk(out, walked, anchor, descending, 0, kWalkedRows, QString::number(limit));
        // The far walk goes on where the near one ended: the rows it checked are passed
        // over in the index, unchecked, and its matches taken as they are (it holds every
        // match among them when it falls short).
        if (!inOrder) {
            farWalk = Walk(out, walked, anchor, descending, kWalkedRows, kFarRows - kWalkedRows,
                           QStringLiteral("%1 - (SELECT count(*) FROM ts_walk)").arg(limit));
        }
    }
    const QString sorted =
        ranged ? FoundInRange(out, *condition.alternatives, inRange, anchor, descending, limit)
               : Found(out, condition, anchor, descending, limit);
    QString keys;
    if (few) {
        keys = sorted;
    } else if (inOrder) {
        keys = QStringLiteral("WITH ts_walk AS MATERIALIZED (%1) "
                              "SELECT * FROM ts_walk WHERE (SELECT count(*) FROM ts_walk) >= %3 "
                              "UNION ALL SELECT * FROM (%2) AS ts_s WHERE "
                              "(SELECT count(*) FROM ts_walk) < %3")
                   .arg(nearWalk, sorted)
                   .arg(limit);
    } else {
        // Matches among the first rows at this rate or more: the far walk is expected to
        // find the window within its bound, reading fewer rows than the find would (one
        // index entry per match, read and sorted: at a million records the two meet near
        // 7 matches in 1,000). Where the find goes through the trigrams the far walk goes
        // first, however few the first rows held ("J": 100 ms found, 8 walked; "JO S" 72
        // and 13). When it falls short too, both are paid ("JO SO": 35 to 40 ms).
        const int dense =
            trigrams ? 0 : std::max(8, (limit * kWalkedRows + kFarRows - 1) / kFarRows);
        keys = QStringLiteral(
                   "WITH ts_walk AS MATERIALIZED (%1), ts_far AS MATERIALIZED (SELECT * FROM "
                   "ts_walk UNION ALL (%2)) "
                   "SELECT * FROM ts_walk WHERE (SELECT count(*) FROM ts_walk) >= %4 "
                   "UNION ALL SELECT * FROM ts_far WHERE (SELECT count(*) FROM ts_walk) BETWEEN "
                   "%5 AND %6 AND (SELECT count(*) FROM ts_far) >= %4 "
                   "UNION ALL SELECT * FROM (%3) AS ts_s WHERE (SELECT count(*) FROM ts_walk) < "
                   "%4 AND ((SELECT count(*) FROM ts_walk) < %5 OR (SELECT count(*) FROM ts_far) "
                   "< %4)")
                   .arg(nearWalk, farWalk, sorted)
                   .arg(limit)
                   .arg(dense)
                   .arg(limit - 1);
    }
    out.sql = QStringLiteral("SELECT %1 FROM %2 WHERE (%3) IN (%4)%5")
                  .arg(m_selectList, m_table, m_keyList, keys, ordered);
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
