// The SQLite reader the file loader and the SQL provider share, read directly: each
// value as SQLite stores it, NULLs, bytes, an empty table, and SQLite's reasons.
#include "host/io/sqlite_reader.h"
#include "tests/io/table_compare.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using host::io::SqliteReader;
using host::io::SqliteValue;
using io_test::RunSql;

TEST(SqliteReader, GivesEachValueAsStoredNullsAndBytesIncluded)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("t.db"));
    RunSql(path, "CREATE TABLE t (a INTEGER, b TEXT, c REAL, d BLOB);"
                 "INSERT INTO t VALUES (7, 'olá', 2.5, x'00ff10');"
                 "INSERT INTO t VALUES (NULL, NULL, NULL, NULL);"
                 "INSERT INTO t VALUES ('x', 12, 3, 'texto');");
    SqliteReader reader;
    ASSERT_TRUE(reader.Open(path)) << reader.ErrorString().toStdString();
    ASSERT_TRUE(reader.Prepare(QStringLiteral("SELECT * FROM t")));
    EXPECT_TRUE(reader.HasStatement());
    EXPECT_FALSE(reader.HasMoreStatements());
    EXPECT_TRUE(reader.IsReadOnly());
    ASSERT_EQ(reader.ColumnCount(), 4);
    EXPECT_EQ(reader.ColumnName(1), QStringLiteral("b"));
    EXPECT_EQ(reader.DeclaredType(2), QStringLiteral("REAL"));

    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Type(0), SqliteValue::Integer);
    EXPECT_EQ(reader.Integer(0), 7);
    EXPECT_EQ(reader.Type(1), SqliteValue::Text);
    EXPECT_EQ(reader.Text(1), "olá");
    EXPECT_EQ(reader.Type(2), SqliteValue::Float);
    EXPECT_EQ(reader.Float(2), 2.5);
    EXPECT_EQ(reader.Type(3), SqliteValue::Blob);
    EXPECT_EQ(reader.Bytes(3), 3);

    ASSERT_TRUE(reader.Next());
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(reader.Type(c), SqliteValue::Null) << c;
    }

    // Whatever the declared type: the column's affinity made 12 text and 3 a real number,
    // and left 'x' and 'texto' text.
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Type(0), SqliteValue::Text);
    EXPECT_EQ(reader.Text(0), "x");
    EXPECT_EQ(reader.Type(1), SqliteValue::Text);
    EXPECT_EQ(reader.Text(1), "12");
    EXPECT_EQ(reader.Type(2), SqliteValue::Float);
    EXPECT_EQ(reader.Float(2), 3.0);
    EXPECT_EQ(reader.Type(3), SqliteValue::Text);
    EXPECT_EQ(reader.Bytes(3), 5);

    EXPECT_FALSE(reader.Next());
    EXPECT_FALSE(reader.Failed());
}

TEST(SqliteReader, AnEmptyTableHasItsColumnsAndNoRow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("vazio.db"));
    RunSql(path, "CREATE TABLE vazia (CODIGO INTEGER, NOME VARCHAR(5))");
    SqliteReader reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.Prepare(QStringLiteral("SELECT * FROM vazia")));
    ASSERT_EQ(reader.ColumnCount(), 2);
    EXPECT_EQ(reader.DeclaredType(1), QStringLiteral("VARCHAR(5)"));
    EXPECT_FALSE(reader.Next());
    EXPECT_FALSE(reader.Failed());
}

TEST(SqliteReader, SaysWhatAStatementHoldsAndGivesSqlitesReasons)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("q.db"));
    RunSql(path, "CREATE TABLE b (x); CREATE TABLE a (y)");

    SqliteReader missing;
    EXPECT_FALSE(missing.Open(dir.filePath(QStringLiteral("nada.db"))));
    EXPECT_EQ(missing.ErrorString(), QStringLiteral("unable to open database file"));

    SqliteReader reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.ForbidChanges());
    EXPECT_FALSE(reader.Prepare(QStringLiteral("SELECT * FROM nada")));
    EXPECT_EQ(reader.ErrorString(), QStringLiteral("no such table: nada"));
    ASSERT_TRUE(reader.Prepare(QStringLiteral("SELECT 1; SELECT 2")));
    EXPECT_TRUE(reader.HasMoreStatements());
    ASSERT_TRUE(reader.Prepare(QStringLiteral("SELECT 1;  ")));
    EXPECT_FALSE(reader.HasMoreStatements());
    ASSERT_TRUE(reader.Prepare(QStringLiteral("DELETE FROM a")));
    EXPECT_FALSE(reader.IsReadOnly());
    ASSERT_TRUE(reader.Prepare(QStringLiteral("  ")));
    EXPECT_FALSE(reader.HasStatement());

    QStringList names;
    ASSERT_TRUE(reader.ReadStrings(
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid"),
        names));
    EXPECT_EQ(names, (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
}
