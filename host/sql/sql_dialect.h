#pragma once

#include "host/storage/table.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <memory>
#include <string>
#include <touchsearch/field_type.h>
#include <touchsearch/filter_options.h>
#include <vector>

namespace host::sql {

struct DatabaseUrl;
enum class DatabaseAccess;
struct SearchIndexTarget;
struct TableSchema;

// What a value is at run time, as the filter language sees it.
enum class ValueKind { Null, Int, Float, Bool, Date, Text };

// What a field's values are.
ValueKind ValueKindOf(FieldType type);

struct SqlAlternatives;

// SQL text with "?" placeholders and the values bound to them, in order.
struct SqlText {
    QString sql;
    QVariantList values;
    // A LIKE the server checks entry by entry (not a prefix range): a window may pass
    // over many entries to find its rows.
    bool scans = false;
    // Patterns matched against more than one field (a search over several fields): no
    // one field's index walks its matches in any order.
    bool spread = false;
    // The statement chooses how it reads (a walk or a find) by the rows it counts as it
    // runs, not by the planner's guesses for the values: planned once, for any values.
    bool choosesAsItRuns = false;
    // The same condition as the OR of alternatives, each with the rest of the condition
    // ANDed to it: the alternatives of one of its groups (an OR among the terms its AND
    // joins) that hold a prefix range, the one with the longest word (Alternatives in
    // sql_translation.cpp), whose index then walks that range's records in order apart
    // from the others. Null when there is no such group.
    std::shared_ptr<const SqlAlternatives> alternatives;
    // The same condition as a row is checked against it, for a walk of the order that
    // reads every row it passes: no ranges or words after the first for an index to
    // serve, each of which costs a row the text's expression computed again. Null when
    // the condition is that already.
    std::shared_ptr<const SqlText> perRow;

    // Appends a placeholder for the value and returns it.
    QString Bind(const QVariant& value)
    {
        values.push_back(value);
        return QStringLiteral("?");
    }
};

// One alternative of a condition (SqlAlternatives).
struct SqlAlternative {
    // The alternative's own term.
    SqlText own;
    // The collated text whose prefix range that term is, or empty; the same text not
    // collated, and the prefix.
    QString rangeOf;
    QString rangeText;
    QString prefix;
    // A word start after the first word ("% w%", w a plain word): the text it is found in
    // (not collated) and w; else empty.
    QString wordOf;
    QString word;
};

// A condition as the OR of one group's alternatives, each ANDed with the rest
// (SqlText::alternatives).
struct SqlAlternatives {
    std::vector<SqlAlternative> options;
    // The condition's other terms, ANDed to each option; empty when there are none.
    SqlText rest;
    // The same as a row is checked against it (no ranges, no words after the first), for
    // the options whose rows come off an index that orders them, each checked in turn.
    SqlText restPerRow;
};

// A part of a filter the server has this program decide, record by record: its text,
// parsed again with the options over the fields it reads (in the table's order).
struct FilterPart {
    QString text;
    FilterOptions options;
    std::vector<FieldDef> fields;
};

// How one server spells what the filter language means. Every method returns SQL
// that computes exactly what ClientDataset computes for the same operands: byte-wise
// text comparison, ASCII-only case mapping, LIKE with '%' and '_' and no escape,
// numbers meeting text through the same text form.
//
// Whatever else differs between the servers is the dialect's too (connections, the
// catalogue, the session, search indexes): no other code asks which server it meets.
class SqlDialect {
public:
    virtual ~SqlDialect() = default;

    // The dialect for a QtSql driver name (QSQLITE, QPSQL); raises for any other.
    static std::unique_ptr<SqlDialect> ForDriver(const QString& driverName);
    // The dialect of the server a database URL names.
    static std::unique_ptr<SqlDialect> ForUrl(const DatabaseUrl& url);

    // Learns what the SQL it writes depends on from an open connection to the database
    // (PostgreSQL: the server's text encoding).
    virtual void Learn(const QSqlDatabase& db) { (void)db; }

    // Identifiers are always quoted, so a field named like a keyword stays a field.
    static QString QuoteIdentifier(const QString& name);

    // A placeholder typed for the server (value bound through text).
    virtual QString Parameter(SqlText& out, ValueKind kind, const QVariant& value) const = 0;
    // NULL as a value of unknown type, and as a condition.
    virtual QString NullValue() const = 0;
    virtual QString NullCondition() const = 0;

    // A field's value as the filter language reads it (a boolean column as a boolean
    // value, a date column as a date).
    virtual QString FieldValue(const QString& quotedName, ValueKind kind) const = 0;
    // The text form of a value of this kind (numbers as ClientDataset writes them).
    virtual QString TextOf(const QString& expression, ValueKind kind) const = 0;
    // A value of Int, Float or Bool kind as a number for comparison and arithmetic.
    virtual QString NumberOf(const QString& expression, ValueKind kind) const = 0;
    // Text compared byte by byte, whatever the column's own collation.
    virtual QString Collated(const QString& textExpression) const = 0;
    // A date as compared with another date (by day).
    virtual QString DateCompared(const QString& dateExpression) const = 0;

    // Text with its accents set aside (accent_fold.h), character for character as
    // ClientDataset folds it, in an expression an index can be made on. Raises
    // DatasetError when the database cannot (PostgreSQL with text not in UTF-8).
    virtual QString AccentFolded(const QString& textExpression) const = 0;
    virtual QString Upper(const QString& textExpression) const = 0;
    virtual QString Lower(const QString& textExpression) const = 0;
    virtual QString Trim(const QString& textExpression) const = 0;
    // '+', '-', '*' on numbers of the given kinds; integers keep 64 bits.
    virtual QString Arithmetic(char op, const QString& a, ValueKind ka, const QString& b,
                               ValueKind kb) const = 0;
    // Division is real; dividing by zero gives NULL.
    virtual QString Divide(const QString& a, ValueKind ka, const QString& b,
                           ValueKind kb) const = 0;
    virtual QString Negate(const QString& a, ValueKind ka) const = 0;
    // The left operand of a chain, written by Arithmetic for an operator that binds at
    // least as tightly as the one it meets: as it may stand unbracketed there.
    virtual QString ChainedOperand(const QString& arithmetic) const { return arithmetic; }
    // A quotient (written by Divide) divided again.
    virtual QString DivideQuotient(const QString& quotient, const QString& b, ValueKind kb) const
    {
        return Divide(quotient, ValueKind::Float, b, kb);
    }
    // "operand IN list" for a list of values that are all numbers or all text, compared
    // as the operand (given as NumberOf or Collated) is; its three-valued outcome is
    // that of the equalities ORed. Empty where the dialect has no such list.
    virtual QString InValues(SqlText& out, const QString& operand, const QVariantList& values) const
    {
        (void)out;
        (void)operand;
        (void)values;
        return {};
    }
    // A boolean value used as a condition.
    virtual QString Truth(const QString& booleanValue) const = 0;

    // How deeply a condition's SQL may nest, counted as brackets with a function call's
    // counting two; 0 where the server takes whatever the filter language nests. A part
    // of a filter that would nest deeper is decided by PartCondition instead.
    virtual int DeepestNesting() const { return 0; }
    // A condition true, false or unknown for a record as ClientDataset finds the part:
    // the server calls back into this program with the fields the part reads. Nests
    // kPartNesting levels at most. Empty where DeepestNesting is 0.
    static constexpr int kPartNesting = 3;
    virtual QString PartCondition(SqlText& out, const FilterPart& part) const
    {
        (void)out;
        (void)part;
        return {};
    }

    // Case-sensitive LIKE of text against a literal pattern (bound) or a pattern
    // computed per record.
    virtual QString LikeLiteral(SqlText& out, const QString& text,
                                const std::string& pattern) const = 0;
    virtual QString LikeExpression(const QString& text, const QString& pattern) const = 0;
    // Whether the text matches any of the patterns (bound), as the OR of LikeLiteral.
    virtual QString LikeAny(SqlText& out, const QString& text,
                            const std::vector<std::string>& patterns) const;

    // Whether LIKE 'P%' (a literal P, one '%' after it) holds exactly for the text from
    // P up to P's successor, so the range can stand for it. True where text is always
    // valid UTF-8, whose byte order is its code points' order.
    virtual bool PrefixRangeIsExact() const { return false; }

    // The text from its first space on, NULL where it has none; empty where no search
    // index holds it. "x LIKE '% w...'" holds exactly where the same LIKE of this holds
    // (every space of the text is in it), so a search of word starts reads it and an
    // index of the words after the first serves it: a field of one word (a number)
    // leaves nothing in it.
    virtual QString WordsAfterFirst(const QString& textExpression) const
    {
        (void)textExpression;
        return {};
    }

    // Word positions after the first (2 up to this) that the search indexes give one
    // ordered index each on the search column's folded text: the word's first
    // kWordStartLength characters, then the order. A word start after the first word is
    // then read off them in order, a window's worth a position, where otherwise every
    // record holding such a word was found and sorted; the words of a text with more
    // words than that go through a small index of their own (WordsBeyond). 0 where the
    // dialect has no such indexes.
    virtual int WordPositions() const { return 0; }
    static constexpr int kWordStartLength = 4;
    // The text's word at the position (1: the first), the text split at every space, so
    // that two spaces make an empty word; empty past the last. (These three are asked only
    // where WordPositions is not 0.)
    virtual QString Word(const QString& textExpression, int position) const
    {
        (void)textExpression;
        (void)position;
        return {};
    }
    // The first kWordStartLength characters of that word.
    virtual QString WordStart(const QString& textExpression, int position) const
    {
        (void)textExpression;
        (void)position;
        return {};
    }
    // Whether the text has words past the last of WordPositions (as many spaces or more).
    virtual QString WordsBeyond(const QString& textExpression) const
    {
        (void)textExpression;
        return {};
    }
    // A statement giving one row with a truth for each of `count` indexes named (bound,
    // as SQL names them): whether the database holds it. Asked of the words beyond the
    // positions, made after the positions' own (when it is there they all are), and of
    // the prefix buckets. Empty where the dialect makes neither.
    virtual QString IndexesCheck(int count) const
    {
        (void)count;
        return {};
    }
    // The purpose naming the index of a word position, or (position 0) that of the words
    // beyond them (SearchIndexTarget::IndexName).
    static QByteArray WordPositionPurpose(int position);

    // Prefix buckets: another field searched with the search column gets an ordered
    // index on its text's first kBucketLength characters, then the search column's order
    // (folded, as the word positions). A prefix of exactly that many characters (a
    // phone's or a code's first digits, a thousandth of the records each) then comes off
    // it in order, a window's worth, where otherwise every match was read and sorted.
    // Made where the dialect has word positions.
    static constexpr int kBucketLength = 3;
    // The text's first kBucketLength characters.
    virtual QString Bucket(const QString& textExpression) const
    {
        (void)textExpression;
        return {};
    }
    // The purpose naming a field's bucket index for an order on that search column: a
    // title tap orders by another, whose buckets are others.
    static QByteArray BucketPurpose(const QString& orderField);

    // Whether search indexes are made on AccentFolded text (PostgreSQL). Where they are
    // not (SQLite: no index may need this program's function), a prefix search with
    // accents set aside also names ranges of the stored text, which its indexes serve.
    virtual bool IndexesAccentFolded() const { return false; }

    // The value a column is ordered by (text in the order's collation).
    virtual QString OrderedValue(const QString& quotedName, ValueKind kind) const = 0;
    // One ORDER BY term: NULLs first when ascending, last when descending. A column
    // that cannot hold NULL is ordered plainly, so its ordinary index gives the order.
    QString OrderTerm(const QString& quotedName, ValueKind kind, bool descending,
                      bool nullable) const;
    // The same value, written so that no index gives an order on it: the server then
    // finds the few rows a condition selects through its indexes and sorts them, rather
    // than walking an ordered index past every row the condition leaves out.
    virtual QString Unindexed(const QString& expression, ValueKind kind) const = 0;
    // Hidden column that tells records apart when a table has no unique key.
    virtual QString RowIdentity() const = 0;
    virtual ValueKind RowIdentityKind() const = 0;
    virtual QString RowIdentityParameter(SqlText& out, const QVariant& value) const = 0;

    // Connections, and the provider's copy (database_url.h, table_readers.h).
    // Opens a connection under a name of its own, as OpenDatabase does.
    virtual QSqlDatabase Open(const DatabaseUrl& url, DatabaseAccess access) const = 0;
    // The tables a copy may name (sql_provider.h's SqlTableNames).
    virtual QStringList TableNames(const DatabaseUrl& url) const = 0;
    // SQL naming the table a copy reads; raises naming source when the name leads nowhere.
    virtual QString RelationToRead(const DatabaseUrl& url, const QString& table,
                                   const QString& source) const = 0;
    // A query's rows read into a new table, through the server's own client library.
    virtual Table ReadRows(const DatabaseUrl& url, const QString& select,
                           const QString& source) const = 0;

    // The catalogue: a table's fields and keys (ReadTableSchema).
    virtual TableSchema ReadSchema(QSqlDatabase& db, const QString& table) const = 0;
    // Where a column may hold any value whatever its declared type (SQLite): statements
    // that find the first record holding a value not of its field's type, giving the
    // field's place in checked, the value and the record's number (or NULL); the second
    // for a table with no rowid. None where the server refuses such values itself.
    virtual std::vector<SqlText> StrayValueQueries(const Table& fields, const QString& quotedTable,
                                                   std::vector<int>& checked) const
    {
        (void)fields;
        (void)quotedTable;
        (void)checked;
        return {};
    }

    // A live search's session (sql_session.h).
    // The statement that makes every later one read-only.
    virtual QString ReadOnlyStatement() const = 0;
    // Readies a read-only connection for searching; raises naming the database when the
    // connection cannot take what searching needs.
    virtual void PrepareSession(QSqlDatabase& db) const { (void)db; }
    // The statement that has the next ones planned for any values, or for each one's own
    // (perValues); empty where the server plans each statement one way.
    virtual QString PlanningStatement(bool perValues) const
    {
        (void)perValues;
        return {};
    }
    // The server's own bound on a statement's run time, so that one the client abandoned
    // does not run on there for nobody: the statement that sets it to ms, empty where the
    // server has none (an SQLite statement runs in the client and ends with it).
    virtual QString ServerTimeoutStatement(int ms) const
    {
        (void)ms;
        return {};
    }
    // Whether the session already has such a bound (the URL's options, the host, the
    // role or the database set one): it is then kept.
    virtual bool HasServerTimeout(QSqlDatabase& db) const
    {
        (void)db;
        return false;
    }

    // A live search's statements (sql_dataset.cpp).
    // What ends a subquery so that a condition on it stays outside it, not pushed down.
    virtual QString SubqueryFence() const { return {}; }
    // A field's read as a window's select list gives it to the dataset; field is its place.
    virtual QString SelectedValue(const QString& read, ValueKind kind, int field) const
    {
        (void)kind;
        (void)field;
        return read;
    }
    // Whether a window is read by its keys first, then its rows by key.
    virtual bool ReadsWindowByKeys() const { return false; }
    // Whether a statement's plan stays with the connection for its next run, so that
    // planning it ahead spares a keystroke (see SqlSession::PlanFor).
    virtual bool KeepsPlans() const { return false; }

    // Search indexes (SqlDataset::CreateSearchIndexes), on a writable connection.
    // The statements that ready the connection for making them.
    virtual QStringList SearchIndexSetup() const = 0;
    // Whether the table's unique key ends every index already, so none is given it.
    virtual bool KeyEndsEveryIndex(const TableSchema& schema) const
    {
        (void)schema;
        return false;
    }
    // Statements that drop earlier indexes of the field which SearchIndexes would make
    // otherwise now, so that they are made again.
    virtual QStringList StaleSearchIndexes(const QSqlDatabase& db, const SearchIndexTarget& target,
                                           FilterOptions options) const
    {
        (void)db;
        (void)target;
        (void)options;
        return {};
    }
    // The field's indexes, built on its read exactly as the filter translation and the
    // order spell it (an index on anything else goes unused).
    virtual QStringList SearchIndexes(const SearchIndexTarget& target,
                                      FilterOptions options) const = 0;
    // The statement that ends the call: the planner's statistics gathered anew.
    virtual QString SearchIndexClosing(const QString& relation) const = 0;
};

// Where a database is, for messages: the file of an SQLite database, the database
// name and host of a server.
QString DescribeDatabase(const QSqlDatabase& db);

} // namespace host::sql
