#pragma once

#include "host/sql/sql_dialect.h"

namespace host::sql {

// PostgreSQL: text compared and LIKEd under the "C" collation (bytes; upper() and
// lower() then fold ASCII only, and a btree index on the same expression serves a
// prefix), LIKE with no escape character, parameters cast to their types.
class PostgresDialect : public SqlDialect {
public:
    void Learn(const QSqlDatabase& db) override;
    QString Parameter(SqlText& out, ValueKind kind, const QVariant& value) const override;
    QString NullValue() const override { return QStringLiteral("CAST(NULL AS text)"); }
    QString NullCondition() const override { return QStringLiteral("CAST(NULL AS boolean)"); }
    QString FieldValue(const QString& quotedName, ValueKind kind) const override;
    QString TextOf(const QString& expression, ValueKind kind) const override;
    QString NumberOf(const QString& expression, ValueKind kind) const override;
    QString Collated(const QString& textExpression) const override;
    QString DateCompared(const QString& dateExpression) const override { return dateExpression; }
    QString AccentFolded(const QString& textExpression) const override;
    QString Upper(const QString& textExpression) const override;
    QString Lower(const QString& textExpression) const override;
    QString Trim(const QString& textExpression) const override;
    QString Arithmetic(char op, const QString& a, ValueKind ka, const QString& b,
                       ValueKind kb) const override;
    QString Divide(const QString& a, ValueKind ka, const QString& b, ValueKind kb) const override;
    QString Negate(const QString& a, ValueKind ka) const override;
    QString Truth(const QString& booleanValue) const override;
    QString LikeLiteral(SqlText& out, const QString& text,
                        const std::string& pattern) const override;
    QString LikeAny(SqlText& out, const QString& text,
                    const std::vector<std::string>& patterns) const override;
    QString LikeExpression(const QString& text, const QString& pattern) const override;
    // The server refuses text that is not valid in the database's encoding (UTF-8).
    bool PrefixRangeIsExact() const override { return true; }
    bool IndexesAccentFolded() const override { return true; }
    QString WordsAfterFirst(const QString& textExpression) const override;
    // Names have up to eight words or so (given names, particles, two surnames).
    int WordPositions() const override { return 8; }
    QString Word(const QString& textExpression, int position) const override;
    QString WordStart(const QString& textExpression, int position) const override;
    QString WordsBeyond(const QString& textExpression) const override;
    QString IndexesCheck(int count) const override;
    QString Bucket(const QString& textExpression) const override;
    QString Unindexed(const QString& expression, ValueKind kind) const override;
    QString OrderedValue(const QString& quotedName, ValueKind kind) const override;
    QString RowIdentity() const override { return QStringLiteral("ctid"); }
    ValueKind RowIdentityKind() const override { return ValueKind::Text; }
    QString RowIdentityParameter(SqlText& out, const QVariant& value) const override
    {
        return QStringLiteral("CAST(%1 AS tid)").arg(out.Bind(value.toString()));
    }

    QSqlDatabase Open(const DatabaseUrl& url, DatabaseAccess access) const override;
    QStringList TableNames(const DatabaseUrl& url) const override;
    QString RelationToRead(const DatabaseUrl& url, const QString& table,
                           const QString& source) const override;
    Table ReadRows(const DatabaseUrl& url, const QString& select,
                   const QString& source) const override;
    TableSchema ReadSchema(QSqlDatabase& db, const QString& table) const override;
    QString ReadOnlyStatement() const override;
    // Doubles as text in their shortest exact form; no compiling of statements.
    void PrepareSession(QSqlDatabase& db) const override;
    QString PlanningStatement(bool perValues) const override;
    // statement_timeout.
    QString ServerTimeoutStatement(int ms) const override;
    bool HasServerTimeout(QSqlDatabase& db) const override;
    // A PostgreSQL date as the server writes it: a QDate holds neither "infinity" nor
    // "0001-01-01 BC" nor "12345-01-01". Keys go back as that text. Named apart: under
    // the column's own name ORDER BY would take the text.
    QString SelectedValue(const QString& read, ValueKind kind, int field) const override;
    // The window's keys come off the search indexes alone (index-only).
    bool ReadsWindowByKeys() const override { return true; }
    bool KeepsPlans() const override { return true; }
    QStringList SearchIndexSetup() const override;
    QStringList StaleSearchIndexes(const QSqlDatabase& db, const SearchIndexTarget& target,
                                   FilterOptions options) const override;
    QStringList SearchIndexes(const SearchIndexTarget& target,
                              FilterOptions options) const override;
    QString SearchIndexClosing(const QString& relation) const override;

private:
    QStringList WordPositionIndexes(const SearchIndexTarget& target, const QString& folded,
                                    const QString& nullsFirst, const QString& include) const;
    QString BucketIndex(const SearchIndexTarget& target, const QString& text,
                        const QString& include) const;

    QString m_encoding;        // the server's, once learnt; UTF8 taken for granted until then
    int m_parallelWorkers = 2; // the session's own (the server's default until learnt)
};

} // namespace host::sql
