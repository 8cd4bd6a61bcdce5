// Each dialect's search index statements for one field, without a server: the names
// stay those earlier runs gave, and each index is spelt as the searches that use it.
#include "host/sql/postgres_dialect.h"
#include "host/sql/search_index_target.h"
#include "host/sql/sqlite_dialect.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

using host::sql::PostgresDialect;
using host::sql::SearchIndexTarget;
using host::sql::SqliteDialect;

namespace {

// The name every run since the first gives the index: a hash of table and field.
QString Name(const QString& table, const QString& field, const char* purpose)
{
    const QByteArray hash =
        QCryptographicHash::hash((table + u'\x1f' + field).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    return QStringLiteral("\"ts_%1_%2\"").arg(QString::fromLatin1(hash), QLatin1String(purpose));
}

SearchIndexTarget Target(const QString& field, const QString& read, const QString& keySuffix)
{
    SearchIndexTarget target;
    target.table = QStringLiteral("clientes");
    target.relation = QStringLiteral("\"clientes\"");
    target.field = field;
    target.read = read;
    target.keySuffix = keySuffix;
    return target;
}

} // namespace

TEST(SearchIndexDdl, IndexNamesAreStableHashesOfTableAndField)
{
    const SearchIndexTarget target = Target(QStringLiteral("NOME"), {}, {});
    EXPECT_EQ(target.IndexName("upper"), Name(QStringLiteral("clientes"), "NOME", "upper"));
    EXPECT_EQ(target.IndexName("upper"),
              QStringLiteral("\"ts_%1_upper\"")
                  .arg(QString::fromLatin1(
                      QCryptographicHash::hash("clientes\x1fNOME", QCryptographicHash::Sha1)
                          .toHex()
                          .left(12))));
}

TEST(SearchIndexDdl, SqliteIndexesTheTextAndItsUpperCasedForm)
{
    const SqliteDialect dialect;
    const SearchIndexTarget plain = Target(QStringLiteral("NOME"), QStringLiteral("\"NOME\""), {});
    EXPECT_EQ(dialect.SearchIndexes(plain, {}),
              (QStringList{QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" "
                                          "((upper(\"NOME\")))")
                               .arg(Name("clientes", "NOME", "upper")),
                           QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" "
                                          "(\"NOME\" COLLATE BINARY)")
                               .arg(Name("clientes", "NOME", "text"))}));

    // Ended by a text key; a field of the key itself ends its text index with nothing
    // more, and the accent option makes no index of its own.
    SearchIndexTarget keyed = Target(QStringLiteral("SIGLA"), QStringLiteral("\"SIGLA\""),
                                     QStringLiteral(", (\"SIGLA\") COLLATE BINARY"));
    keyed.inKey = true;
    EXPECT_EQ(dialect.SearchIndexes(keyed, host::FilterOption::IgnoreAccents),
              (QStringList{QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" "
                                          "((upper(\"SIGLA\")), (\"SIGLA\") COLLATE BINARY)")
                               .arg(Name("clientes", "SIGLA", "upper")),
                           QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" "
                                          "(\"SIGLA\" COLLATE BINARY)")
                               .arg(Name("clientes", "SIGLA", "text"))}));

    EXPECT_EQ(dialect.SearchIndexSetup(), QStringList{QStringLiteral("PRAGMA query_only = 0")});
    EXPECT_EQ(dialect.SearchIndexClosing(QStringLiteral("\"clientes\"")),
              QStringLiteral("ANALYZE"));
}

TEST(SearchIndexDdl, PostgresIndexesOrderedWithTheKeyAndByTrigrams)
{
    const PostgresDialect dialect;
    const SearchIndexTarget target =
        Target(QStringLiteral("NOME"), QStringLiteral("\"NOME\""), QStringLiteral(", \"CODIGO\""));
    EXPECT_EQ(
        dialect.SearchIndexes(target, {}),
        (QStringList{
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" ((upper(\"NOME\" COLLATE "
                           "\"C\")) NULLS FIRST, \"CODIGO\") INCLUDE (\"NOME\")")
                .arg(Name("clientes", "NOME", "upper")),
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" ((\"NOME\") COLLATE "
                           "\"C\" NULLS FIRST, \"CODIGO\")")
                .arg(Name("clientes", "NOME", "text")),
            QStringLiteral("ALTER INDEX %1 ALTER COLUMN 1 SET STATISTICS 1000")
                .arg(Name("clientes", "NOME", "upper")),
            QStringLiteral("ALTER TABLE \"clientes\" ALTER COLUMN \"NOME\" SET STATISTICS 1000"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" USING gin "
                           "((substr(upper(\"NOME\" COLLATE \"C\"), NULLIF(strpos(upper(\"NOME\" "
                           "COLLATE \"C\"), ' '), 0))) gin_trgm_ops)")
                .arg(Name("clientes", "NOME", "upper_words_trgm")),
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" USING gin "
                           "((upper(\"NOME\" COLLATE \"C\")) gin_trgm_ops)")
                .arg(Name("clientes", "NOME", "upper_trgm")),
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" USING gin "
                           "((\"NOME\") COLLATE \"C\" gin_trgm_ops)")
                .arg(Name("clientes", "NOME", "trgm")),
        }));

    EXPECT_EQ(dialect.SearchIndexSetup(),
              (QStringList{QStringLiteral("SET client_min_messages = warning"),
                           QStringLiteral("SET SESSION default_transaction_read_only = off"),
                           QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm")}));
    EXPECT_EQ(dialect.SearchIndexClosing(QStringLiteral("\"clientes\"")),
              QStringLiteral("VACUUM (ANALYZE) \"clientes\""));
}

TEST(SearchIndexDdl, PostgresNamesIndexesThroughTheSchemaAndFoldsAccentsWhenAsked)
{
    const PostgresDialect dialect;
    SearchIndexTarget target = Target(QStringLiteral("UF"), QStringLiteral("CAST(\"UF\" AS text)"),
                                      QStringLiteral(", \"CODIGO\""));
    target.table = QStringLiteral("loja.clientes");
    target.relation = QStringLiteral("\"loja\".\"clientes\"");
    target.qualifier = QStringLiteral("\"loja\".");
    target.nullable = false;
    const QStringList statements = dialect.SearchIndexes(target, host::FilterOption::IgnoreAccents);
    ASSERT_EQ(statements.size(), 12);
    // A cast is no column: the text index holds the column, and its statistics are the
    // index's, named through the schema.
    EXPECT_EQ(statements[1],
              QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"loja\".\"clientes\" ((CAST(\"UF\" "
                             "AS text)) COLLATE \"C\", \"CODIGO\") INCLUDE (\"UF\")")
                  .arg(Name("loja.clientes", "UF", "text")));
    const QString folded = dialect.AccentFolded(QStringLiteral("CAST(\"UF\" AS text)"));
    EXPECT_EQ(statements[2],
              QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"loja\".\"clientes\" ((%2), "
                             "\"CODIGO\") INCLUDE (\"UF\")")
                  .arg(Name("loja.clientes", "UF", "upper_unaccented"), dialect.Upper(folded)));
    EXPECT_EQ(statements[3],
              QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"loja\".\"clientes\" (%2, "
                             "\"CODIGO\") INCLUDE (\"UF\")")
                  .arg(Name("loja.clientes", "UF", "unaccented"), dialect.Collated(folded)));
    EXPECT_EQ(statements[7], QStringLiteral("ALTER INDEX \"loja\".%1 ALTER COLUMN 1 SET "
                                            "STATISTICS 1000")
                                 .arg(Name("loja.clientes", "UF", "text")));
    // The words after the first, folded as the search of word starts reads them.
    EXPECT_EQ(statements[9],
              QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"loja\".\"clientes\" USING gin "
                             "((%2) gin_trgm_ops)")
                  .arg(Name("loja.clientes", "UF", "upper_unaccented_words_trgm"),
                       dialect.WordsAfterFirst(dialect.Upper(folded))));
}

TEST(SearchIndexDdl, PostgresOrderedIndexesHoldTheFieldsSearchedWithThem)
{
    const PostgresDialect dialect;
    SearchIndexTarget target =
        Target(QStringLiteral("NOME"), QStringLiteral("\"NOME\""), QStringLiteral(", \"CODIGO\""));
    target.searchedWith = QStringList{QStringLiteral("\"FONE\""), QStringLiteral("\"CPF\"")};
    const QStringList statements = dialect.SearchIndexes(target, {});
    ASSERT_GE(statements.size(), 2);
    EXPECT_EQ(statements[0],
              QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" ((upper(\"NOME\" "
                             "COLLATE \"C\")) NULLS FIRST, \"CODIGO\") INCLUDE (\"NOME\", "
                             "\"FONE\", \"CPF\")")
                  .arg(Name("clientes", "NOME", "upper")));
    EXPECT_EQ(statements[1],
              QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON \"clientes\" ((\"NOME\") COLLATE "
                             "\"C\" NULLS FIRST, \"CODIGO\") INCLUDE (\"FONE\", \"CPF\")")
                  .arg(Name("clientes", "NOME", "text")));
}
