#pragma once

#include "host/sql/sql_dialect.h"

#include <QVector>
#include <vector>

namespace host::sql {

// One column of the order: how to read it, what it is and where its value sits in a
// fetched row.
struct OrderColumn {
    QString read;
    ValueKind kind = ValueKind::Text;
    int valueIndex = 0;
    bool rowIdentity = false;
    // No NULL can occur: the order says no NULLS FIRST, so an ordinary index serves it.
    bool notNull = false;
    // Text ordered by its upper-cased (ASCII) value, as a case-insensitive search
    // compares it: an index on that value then serves the search and the order at once.
    bool folded = false;
    // Text ordered with its accents set aside (before any upper-casing), as the filter
    // reads it under the accent option: "João" sorts among the "Joao"s.
    bool accents = false;
};

using RowValues = QVector<QVariant>;

// SELECT statements over one table in one order that ends in a unique key: windows
// from the start or the end, or after or before a known row (keyset pagination), and
// the count. NULLs sort first, as ClientDataset sorts them.
class KeysetQuery {
public:
    // keys: the unique key's columns, to read a window in two steps (its keys, then its
    // rows by key), or empty for one step.
    KeysetQuery(const SqlDialect& dialect, QString table, QString selectList,
                std::vector<OrderColumn> order, QStringList keys = {});

    // The filter's condition (empty: every record).
    void SetCondition(SqlText condition) { m_condition = std::move(condition); }
    // Whether the database holds the word positions' indexes of the order's first column
    // (SqlDialect::WordPositions), which a word start after its first word is then read
    // off in order.
    void SetWordPositionsIndexed(bool indexed) { m_wordPositions = indexed; }
    // The texts (as a prefix range reads them, SqlAlternative::rangeText) whose prefix
    // buckets in this order the database holds (SqlDialect::kBucketLength).
    void SetBucketed(QStringList texts) { m_bucketed = std::move(texts); }

    // Rows in order (descending: from the end backwards), after (before) the row whose
    // values are given when anchor is not null, skipping offset rows, at most limit.
    SqlText Window(const RowValues* anchor, bool descending, int limit, int offset) const;
    // Whether the condition is known to select fewer records than a window (it narrows a
    // condition whose whole view was read in one): a search of several fields is then
    // found through its indexes at once, with no walk of the order, which could not fill
    // a window.
    void SetFew(bool few) { m_few = few; }
    // The first window (at most limit rows) that another condition would read.
    SqlText FirstWindowOf(const SqlText& condition, int limit, bool few = false) const
    {
        return WindowWhere(condition, nullptr, false, limit, 0, false, few);
    }
    SqlText Count() const;
    // The first row in order where the condition and the further one both hold: the
    // rows the further one selects (few: an exact value) found through their indexes and
    // sorted.
    SqlText FirstWhere(const SqlText& further) const;
    // How many rows the condition selects before the row whose values are given: its
    // place in the order.
    SqlText CountBefore(const RowValues& row) const;
    // The order's columns, the unique key last.
    const std::vector<OrderColumn>& Order() const { return m_order; }

private:
    QString Ordered(const OrderColumn& column) const;
    QString Compared(const OrderColumn& column) const;
    QString Parameter(SqlText& out, const OrderColumn& column, const QVariant& value) const;
    QString After(SqlText& out, const RowValues& anchor, size_t i) const;
    QString Before(SqlText& out, const RowValues& anchor, size_t i) const;
    QStringList AnchorTerms(SqlText& out, const RowValues* anchor, bool descending) const;
    QString OrderBy(bool descending, bool unindexed) const;
    SqlText WalkOrFind(const SqlText& condition, const RowValues* anchor, bool descending,
                       int limit, bool few) const;
    // distinct: the ordered values alone, without direction (as DISTINCT ON names them).
    void OrderValues(const QString& relation, bool descending, QStringList& values,
                     QStringList& orderBy, QStringList* distinct = nullptr) const;
    // skipped: rows of the order passed over unchecked before the `rows` walked; limit: a
    // number or an expression the server computes.
    QString Walk(SqlText& out, const SqlText& condition, const RowValues* anchor, bool descending,
                 int skipped, int rows, const QString& limit) const;
    QString Found(SqlText& out, const SqlText& condition, const RowValues* anchor, bool descending,
                  int limit) const;
    QString FoundInRange(SqlText& out, const SqlAlternatives& alternatives, std::size_t inRange,
                         const RowValues* anchor, bool descending, int limit) const;
    static void AppendCondition(SqlText& out, QStringList& terms, const SqlText& condition);
    bool LetterWordOfOrder(const SqlAlternative& option) const;
    bool ReadByPositions(const SqlAlternative& option) const;
    bool FoundThroughTrigrams(const SqlAlternative& option) const;
    bool Bucketed(const SqlAlternative& option) const;
    bool EveryRangeBucketed(const SqlAlternatives& alternatives, std::size_t inRange) const;
    // checked: the rest of the search as each row is checked against it.
    QStringList PositionBranches(SqlText& out, const SqlAlternative& option, const SqlText& checked,
                                 const QString& values, const RowValues* anchor, bool descending,
                                 int limit) const;
    // unindexed: ordered so that no index gives the order (the rows found, then sorted).
    SqlText WindowWhere(const SqlText& condition, const RowValues* anchor, bool descending,
                        int limit, int offset, bool unindexed = false, bool few = false) const;

    // Rows of the order a window of a condition no index orders walks first; then, when
    // the matches among them were dense enough that a longer walk should find the window
    // soon, up to kFarRows; else (or when that walk too falls short) its rows are found
    // through the condition's indexes instead.
    static constexpr int kWalkedRows = 1000;
    static constexpr int kFarRows = 30000;

    const SqlDialect& m_dialect;
    QString m_table;
    QString m_selectList;
    std::vector<OrderColumn> m_order;
    QStringList m_keys;
    QString m_keyList; // m_keys joined
    SqlText m_condition;
    bool m_wordPositions = false;
    QStringList m_bucketed;
    bool m_few = false;
};

} // namespace host::sql
