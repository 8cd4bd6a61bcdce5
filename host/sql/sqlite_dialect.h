#pragma once

#include "host/sql/sql_dialect.h"

struct sqlite3;

namespace host::sql {

// SQLite: booleans are 0/1 integers and dates ISO text. Its LIKE ignores ASCII case,
// so the case-sensitive LIKE is written as GLOB over the same pattern; its upper()
// and lower() are ASCII-only.
class SqliteDialect : public SqlDialect {
public:
    // Learns the connection's longest LIKE or GLOB pattern.
    void Learn(const QSqlDatabase& db) override;
    QString Parameter(SqlText& out, ValueKind kind, const QVariant& value) const override;
    QString NullValue() const override { return QStringLiteral("NULL"); }
    QString NullCondition() const override { return QStringLiteral("NULL"); }
    QString FieldValue(const QString& quotedName, ValueKind kind) const override;
    QString TextOf(const QString& expression, ValueKind kind) const override;
    QString NumberOf(const QString& expression, ValueKind kind) const override;
    QString Collated(const QString& textExpression) const override;
    QString DateCompared(const QString& dateExpression) const override
    {
        return Collated(dateExpression); // ISO text
    }
    QString AccentFolded(const QString& textExpression) const override;
    QString Upper(const QString& textExpression) const override;
    QString Lower(const QString& textExpression) const override;
    QString Trim(const QString& textExpression) const override;
    QString Arithmetic(char op, const QString& a, ValueKind ka, const QString& b,
                       ValueKind kb) const override;
    QString Divide(const QString& a, ValueKind ka, const QString& b, ValueKind kb) const override;
    QString Negate(const QString& a, ValueKind ka) const override;
    QString ChainedOperand(const QString& arithmetic) const override;
    QString DivideQuotient(const QString& quotient, const QString& b, ValueKind kb) const override;
    QString InValues(SqlText& out, const QString& operand,
                     const QVariantList& values) const override;
    QString Truth(const QString& booleanValue) const override;
    // The parser's stack holds 100 entries (SQLite 3.40, built so): a bracket takes some
    // three, a call's up to five, and the statement around the condition (a window read
    // through a subquery) about fifteen. Conditions nested 27 brackets deep were refused
    // there, and 11 divisions (five levels each); 24 leaves a margin.
    int DeepestNesting() const override { return 24; }
    QString PartCondition(SqlText& out, const FilterPart& part) const override;
    QString LikeLiteral(SqlText& out, const QString& text,
                        const std::string& pattern) const override;
    QString LikeExpression(const QString& text, const QString& pattern) const override;
    QString Unindexed(const QString& expression, ValueKind kind) const override;
    QString OrderedValue(const QString& quotedName, ValueKind kind) const override;
    QString RowIdentity() const override { return QStringLiteral("_rowid_"); }
    ValueKind RowIdentityKind() const override { return ValueKind::Int; }
    QString RowIdentityParameter(SqlText& out, const QVariant& value) const override
    {
        return out.Bind(value);
    }

    QSqlDatabase Open(const DatabaseUrl& url, DatabaseAccess access) const override;
    QStringList TableNames(const DatabaseUrl& url) const override;
    QString RelationToRead(const DatabaseUrl& url, const QString& table,
                           const QString& source) const override;
    Table ReadRows(const DatabaseUrl& url, const QString& select,
                   const QString& source) const override;
    TableSchema ReadSchema(QSqlDatabase& db, const QString& table) const override;
    std::vector<SqlText> StrayValueQueries(const Table& fields, const QString& quotedTable,
                                           std::vector<int>& checked) const override;
    QString ReadOnlyStatement() const override;
    // Registers this program's functions, and maps the file's pages.
    void PrepareSession(QSqlDatabase& db) const override;
    // SQLite would push a condition down into a subquery, splitting it at each AND and
    // joining the terms again one after another: a filter of a thousand terms, which the
    // translation brackets in small groups, would be a chain too deep for it. A LIMIT of
    // no rows less (-1) keeps it outside.
    QString SubqueryFence() const override { return QStringLiteral(" LIMIT -1"); }
    QStringList SearchIndexSetup() const override;
    // An INTEGER PRIMARY KEY is the rowid, which ends every index.
    bool KeyEndsEveryIndex(const TableSchema& schema) const override;
    QStringList SearchIndexes(const SearchIndexTarget& target,
                              FilterOptions options) const override;
    QString SearchIndexClosing(const QString& relation) const override;

    // The SQL function that writes a real number in ClientDataset's text form; every
    // connection the dialect's SQL runs on needs it registered.
    static constexpr const char* kFloatTextFunction = "ts_float_text";
    // The SQL function that sets accents aside as ClientDataset does. No index is ever
    // made on it: another program opening the file without it could not use the table.
    static constexpr const char* kAccentFoldFunction = "ts_accent_fold";
    // The SQL function that matches text against a LIKE pattern as ClientDataset does
    // (ts_like(text, pattern): 1, 0, or NULL when either is NULL). It takes patterns of
    // any length, where SQLite's own LIKE and GLOB stop at a limit.
    static constexpr const char* kLikeFunction = "ts_like";
    static bool RegisterFunctions(sqlite3* db);

    // The GLOB pattern that matches what a LIKE pattern matches, case-sensitively.
    static std::string GlobOf(const std::string& likePattern);

private:
    // SQLITE_LIMIT_LIKE_PATTERN_LENGTH: the longest GLOB pattern the connection takes.
    int m_longestPattern = 50000;
};

} // namespace host::sql
