// PostgreSQL's search indexes: ordered ones that end with the key and hold the column
// (index-only windows), and trigram ones for contains searches.
#include "host/sql/postgres_dialect.h"
#include "host/sql/search_index_target.h"

#include <QSqlQuery>

namespace host::sql {

namespace {

// A search index of that name whose NULLs are placed otherwise than the column now
// needs (an earlier run made NULLS FIRST indexes on NOT NULL columns too, which no
// order of the dataset could use): the statement that drops it, so that it is made
// again; empty when there is none, or it is right.
QString StaleNullsPlacement(const QSqlDatabase& db, const QString& quotedIndex, bool nullsFirst)
{
    QSqlQuery query(db);
    // indoption's bit 2 is NULLS FIRST (INDOPTION_NULLS_FIRST), for the first key.
    query.prepare(QStringLiteral("SELECT (i.indoption[0] & 2) <> 0 FROM pg_index i "
                                 "WHERE i.indexrelid = to_regclass(?)"));
    query.addBindValue(quotedIndex);
    if (!query.exec() || !query.next() || query.value(0).toBool() == nullsFirst) {
        return {};
    }
    return QStringLiteral("DROP INDEX %1").arg(quotedIndex);
}

// A search index of that name that does not hold every one of the columns (made before
// they were searched with its field): the statement that drops it, so that it is made
// again holding them; empty when there is none, or it holds them.
QString LackingColumns(const QSqlDatabase& db, const QString& quotedIndex,
                       const QStringList& quotedColumns)
{
    if (quotedColumns.isEmpty()) {
        return {};
    }
    QSqlQuery query(db);
    // A row for each of the index's columns, NULL for an expression's.
    query.prepare(QStringLiteral("SELECT a.attname FROM pg_index i "
                                 "CROSS JOIN generate_series(0, i.indnatts - 1) AS n "
                                 "LEFT JOIN pg_attribute a ON a.attrelid = i.indrelid "
                                 "AND a.attnum = i.indkey[n] "
                                 "WHERE i.indexrelid = to_regclass(?)"));
    query.addBindValue(quotedIndex);
    if (!query.exec()) {
        return {};
    }
    QStringList held;
    bool exists = false;
    while (query.next()) {
        exists = true;
        if (!query.isNull(0)) {
            held << SqlDialect::QuoteIdentifier(query.value(0).toString()); // as the columns are
        }
    }
    if (!exists) {
        return {}; // no such index
    }
    for (const QString& column : quotedColumns) {
        if (!held.contains(column)) {
            return QStringLiteral("DROP INDEX %1").arg(quotedIndex);
        }
    }
    return {};
}

// The columns the ordered index of an integer's text form holds besides its key: the
// number itself (unless the key holds it) and the fields searched with it.
QStringList TextFormHeld(const SearchIndexTarget& target)
{
    QStringList held = target.searchedWith;
    if (!target.inKey && !held.isEmpty()) {
        held.prepend(SqlDialect::QuoteIdentifier(target.field));
    }
    return held;
}

} // namespace

QStringList PostgresDialect::SearchIndexSetup() const
{
    return {QStringLiteral("SET client_min_messages = warning"),
            QStringLiteral("SET SESSION default_transaction_read_only = off"),
            QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm")};
}

QStringList PostgresDialect::StaleSearchIndexes(const QSqlDatabase& db,
                                                const SearchIndexTarget& target,
                                                FilterOptions options) const
{
    QStringList drops;
    // A field's buckets hold what its ordered indexes hold.
    if (!target.orderField.isEmpty()) {
        const QString held =
            LackingColumns(db, target.QualifiedIndexName(BucketPurpose(target.orderField)),
                           target.textForm.isEmpty() ? target.searchedWith : TextFormHeld(target));
        if (!held.isEmpty()) {
            drops << held;
        }
    }
    if (!target.textForm.isEmpty()) {
        const QString held =
            LackingColumns(db, target.QualifiedIndexName("text_form"), TextFormHeld(target));
        if (!held.isEmpty()) {
            drops << held;
        }
        return drops;
    }
    // Only the indexes this call makes again: an accent-folded one stays unless the call
    // makes those.
    QList<const char*> ordered = {"upper", "text"};
    if (options.testFlag(FilterOption::IgnoreAccents)) {
        ordered << "upper_unaccented"
                << "unaccented";
    }
    // The word positions' indexes hold the fields searched with it too.
    for (int position = 2; position <= WordPositions(); ++position) {
        const QString held = LackingColumns(
            db, target.QualifiedIndexName(WordPositionPurpose(position)), target.searchedWith);
        if (!held.isEmpty()) {
            drops << held;
        }
    }
    for (const char* purpose : ordered) {
        const QString index = target.QualifiedIndexName(purpose);
        if (const QString drop = StaleNullsPlacement(db, index, target.nullable); !drop.isEmpty()) {
            drops << drop;
        } else if (const QString held = LackingColumns(db, index, target.searchedWith);
                   !held.isEmpty()) {
            drops << held;
        }
    }
    return drops;
}

QStringList PostgresDialect::SearchIndexes(const SearchIndexTarget& target,
                                           FilterOptions options) const
{
    // NULLs placed as the dataset orders them, so each also serves an order on the
    // field: first for a column that may hold NULL; the planner takes an index with
    // NULLS FIRST for no plain order, NOT NULL or not.
    const QString& read = target.read;
    const QString& table = target.relation;
    if (!target.textForm.isEmpty()) {
        // An integer searched by its text, whatever the options (it has no letters and
        // no marks): ordered for a prefix, trigrams for contains. Each term of a search
        // over several fields then has an index, and the terms an OR joins are found by
        // combining them. The ordered one ends with the key and holds the number and
        // the fields searched with it, so that the records of a prefix are read, checked
        // and sorted from the index alone.
        const QStringList held = TextFormHeld(target);
        const QString include =
            held.isEmpty() ? QString() : QStringLiteral(" INCLUDE (%1)").arg(held.join(u", "));
        QStringList statements{
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3%4)%5")
                .arg(target.IndexName("text_form"), table, Collated(target.textForm),
                     target.keySuffix, include),
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin (%3 gin_trgm_ops)")
                .arg(target.IndexName("text_form_trgm"), table, Collated(target.textForm))};
        if (!target.orderField.isEmpty()) {
            statements << BucketIndex(target, target.textForm, include);
        }
        return statements;
    }
    const QString upper = Upper(read);
    const QString nullsFirst = target.nullable ? QStringLiteral(" NULLS FIRST") : QString();
    const QString plain = QStringLiteral("(%1) COLLATE \"C\"").arg(read);
    // The upper-cased order still ends with the key as it is, the field included.
    const QString key = target.inKey ? QString() : target.keySuffix;
    // An index on an expression also holds the column itself, so a search that needs
    // only the column and the key is answered from the index alone (index-only), never
    // visiting the rows it passes over.
    // The other fields searched with it are held too: a search over them all that walks
    // the order reads the index alone.
    const QString column = QuoteIdentifier(target.field);
    const QString include = QStringLiteral(" INCLUDE (%1)")
                                .arg((QStringList{column} + target.searchedWith).join(u", "));
    const QString plainInclude =
        read == column
            ? (target.searchedWith.isEmpty()
                   ? QString()
                   : QStringLiteral(" INCLUDE (%1)").arg(target.searchedWith.join(u", ")))
            : include;
    QStringList statements;
    statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3)%4%5)%6")
                      .arg(target.IndexName("upper"), table, upper, nullsFirst, target.keySuffix,
                           include)
               << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3%4%5)%6")
                      .arg(target.IndexName("text"), table, plain, nullsFirst, key, plainInclude);
    if (options.testFlag(FilterOption::IgnoreAccents)) {
        // With accents set aside the filter and the order read translate(...) of the
        // field: its own indexes, spelt exactly as the filter translation spells them,
        // ordered as the dataset orders (the folded text, then the key).
        const QString folded = AccentFolded(read);
        const QString foldedUpper = Upper(folded);
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3)%4%5)%6")
                          .arg(target.IndexName("upper_unaccented"), table, foldedUpper, nullsFirst,
                               target.keySuffix, include)
                   << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3%4%5)%6")
                          .arg(target.IndexName("unaccented"), table, Collated(folded), nullsFirst,
                               target.keySuffix, include)
                   << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                     "gin_trgm_ops)")
                          .arg(target.IndexName("upper_unaccented_trgm"), table, foldedUpper)
                   << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin (%3 "
                                     "gin_trgm_ops)")
                          .arg(target.IndexName("unaccented_trgm"), table, Collated(folded));
    }
    // A finer histogram of the values: a contains search is planned for its pattern from
    // the share of the histogram that matches it, which then tells walking the index from
    // the trigrams better. (A column's own statistics are the table's; an expression's,
    // its index's.)
    statements << QStringLiteral("ALTER INDEX %1 ALTER COLUMN 1 SET STATISTICS 1000")
                      .arg(target.QualifiedIndexName("upper"));
    statements << (read == column
                       ? QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 SET STATISTICS 1000")
                             .arg(table, read)
                       : QStringLiteral("ALTER INDEX %1 ALTER COLUMN 1 SET STATISTICS 1000")
                             .arg(target.QualifiedIndexName("text")));
    // The words after the first, upper-cased (accents set aside too, when asked): a
    // search of words that begin a word after the first ("% w%") reads them through
    // these, which hold nothing for a field of one word (a phone, a code).
    statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                 "gin_trgm_ops)")
                      .arg(target.IndexName("upper_words_trgm"), table, WordsAfterFirst(upper));
    if (options.testFlag(FilterOption::IgnoreAccents)) {
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                     "gin_trgm_ops)")
                          .arg(target.IndexName("upper_unaccented_words_trgm"), table,
                               WordsAfterFirst(Upper(AccentFolded(read))));
    }
    if (target.searchColumn) {
        // Upper-cased only: the accent fold's expression, three times in an index's
        // definition, is more than the catalogue takes in one row.
        statements << WordPositionIndexes(target, upper, nullsFirst, include);
    } else if (!target.orderField.isEmpty()) {
        statements << BucketIndex(target, upper, include); // upper-cased only, likewise
    }
    statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                 "gin_trgm_ops)")
                      .arg(target.IndexName("upper_trgm"), table, upper)
               << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin (%3 "
                                 "gin_trgm_ops)")
                      .arg(target.IndexName("trgm"), table, plain);
    return statements;
}

// The search column's words after the first, position by position: each position's
// index holds the records with a word there, by the word's first characters and then in
// the dataset's order, so that the records where a word begins with a text of that many
// characters or more come off it in order (a window's worth each, not every match
// sorted). A text with more words than that keeps its words after the first in a small
// trigram index.
QStringList PostgresDialect::WordPositionIndexes(const SearchIndexTarget& target,
                                                 const QString& folded, const QString& nullsFirst,
                                                 const QString& include) const
{
    QStringList statements;
    for (int position = 2; position <= WordPositions(); ++position) {
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3), (%4)%5%6)%7 "
                                     "WHERE %8 <> ''")
                          .arg(target.IndexName(WordPositionPurpose(position)), target.relation,
                               WordStart(folded, position), folded, nullsFirst, target.keySuffix,
                               include, Word(folded, position));
    }
    statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 USING gin ((%3) "
                                 "gin_trgm_ops) WHERE %4")
                      .arg(target.IndexName(WordPositionPurpose(0)), target.relation,
                           WordsAfterFirst(folded), WordsBeyond(folded));
    return statements;
}

// A field's prefix bucket: the records whose text begins with the same kBucketLength
// characters, in the search column's folded order, so that those of a prefix that long
// come off it in order.
QString PostgresDialect::BucketIndex(const SearchIndexTarget& target, const QString& text,
                                     const QString& include) const
{
    return QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 ((%3), (%4)%5%6)%7")
        .arg(target.IndexName(BucketPurpose(target.orderField)), target.relation, Bucket(text),
             Upper(target.orderRead),
             target.orderNullable ? QStringLiteral(" NULLS FIRST") : QString(), target.keySuffix,
             include);
}

QString PostgresDialect::SearchIndexClosing(const QString& relation) const
{
    // VACUUM marks the pages all-visible, which lets index-only scans skip the rows.
    return QStringLiteral("VACUUM (ANALYZE) %1").arg(relation);
}

} // namespace host::sql
