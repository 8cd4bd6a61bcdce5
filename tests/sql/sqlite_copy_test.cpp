// An SQLite table copied through the SQL provider and loaded through the file loader:
// the same table either way, and the same refusals, worded for each.
#include "host/io/dataset_file.h"
#include "host/sql/sql_provider.h"
#include "host/storage/table.h"
#include "tests/io/table_compare.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using io_test::ErrorOf;
using io_test::RunSql;
using io_test::TableDifference;

namespace {

QString Url(const QString& path)
{
    return QStringLiteral("sqlite:") + path;
}

// The provider's refusal of a table t with the columns and the one record, without the
// source it names.
QString CopyRefusal(const QTemporaryDir& dir, const char* columns, const char* values)
{
    static int files = 0;
    const QString path = dir.filePath(QStringLiteral("c%1.db").arg(++files));
    RunSql(path,
           (QByteArray("CREATE TABLE t (") + columns + "); INSERT INTO t VALUES (" + values + ");")
               .constData());
    const QString message =
        ErrorOf([&] { (void)host::sql::ReadSqlTable(Url(path), QStringLiteral("t")); });
    const QString prefix = QStringLiteral("Cannot read \"t\" from \"%1\": ").arg(Url(path));
    return message.startsWith(prefix) ? message.mid(prefix.size()) : message;
}

} // namespace

TEST(SqliteCopy, TheProviderAndTheFileLoaderGiveTheSameTable)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("clientes.db"));
    RunSql(path, "CREATE TABLE clientes (CODIGO INTEGER PRIMARY KEY, NOME VARCHAR(20), "
                 "VALOR REAL, ATIVO BOOLEAN, DIA DATE, FOTO BLOB, OBS TEXT);"
                 "INSERT INTO clientes VALUES (1, 'Ana', 2.5, 1, '2024-02-29', x'0001ff', 'a');"
                 "INSERT INTO clientes VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL);"
                 "INSERT INTO clientes VALUES (3, 'João', -3, 0, '1900-01-01', '', 'çé %_');"
                 "INSERT INTO clientes VALUES (4, '', 1e300, 'f', '2024-01-01', x'', '');");
    const host::Table copied = host::sql::ReadSqlTable(Url(path), QStringLiteral("clientes"));
    const host::Table loaded = host::io::LoadSqliteTable(path);
    EXPECT_EQ(copied.RecordCount(), 4U);
    EXPECT_EQ(TableDifference(loaded, copied), "");
}

TEST(SqliteCopy, AnEmptyTableIsTheSameEitherWay)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("vazio.db"));
    RunSql(path, "CREATE TABLE vazia (CODIGO INTEGER, NOME VARCHAR(5), FOTO BLOB)");
    const host::Table copied = host::sql::ReadSqlTable(Url(path), QString());
    const host::Table loaded = host::io::LoadSqliteTable(path);
    EXPECT_EQ(copied.FieldCount(), 3);
    EXPECT_EQ(copied.RecordCount(), 0U);
    EXPECT_EQ(TableDifference(loaded, copied), "");
}

TEST(SqliteCopy, ValuesNotOfTheirFieldsTypeAreRefusedAsTheFileLoaderRefusesThem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(CopyRefusal(dir, "N INTEGER", "'abc'"),
              QStringLiteral("Field \"N\" in record 1: \"abc\" is not an integer"));
    EXPECT_EQ(CopyRefusal(dir, "N INTEGER", "2.5"),
              QStringLiteral("Field \"N\" in record 1: \"2.5\" is not an integer"));
    EXPECT_EQ(CopyRefusal(dir, "F REAL", "'x'"),
              QStringLiteral("Field \"F\" in record 1: \"x\" is not a number"));
    EXPECT_EQ(CopyRefusal(dir, "B BOOLEAN", "5"),
              QStringLiteral("Field \"B\" in record 1: \"5\" is not a boolean"));
    EXPECT_EQ(CopyRefusal(dir, "D DATE", "'ontem'"),
              QStringLiteral("Field \"D\" in record 1: \"ontem\" is not a date (YYYY-MM-DD)"));
    EXPECT_EQ(CopyRefusal(dir, "S VARCHAR(3)", "'abcd'"),
              QStringLiteral("field \"S\" in record 1 is longer than 3 characters"));
    EXPECT_EQ(CopyRefusal(dir, "S TEXT", "CAST(x'610062' AS TEXT)"),
              QStringLiteral("field \"S\" in record 1 holds a NUL byte"));
    EXPECT_EQ(CopyRefusal(dir, "S TEXT", "CAST(x'61ff' AS TEXT)"),
              QStringLiteral("field \"S\" in record 1 is not UTF-8 text"));
}

TEST(SqliteCopy, QueriesThatWriteOrHoldTwoStatementsAreRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("q.db"));
    RunSql(path, "CREATE TABLE t (x INTEGER); INSERT INTO t VALUES (1)");
    const QString source = QStringLiteral("Cannot read the query from \"%1\": ").arg(Url(path));
    EXPECT_EQ(ErrorOf([&] {
                  (void)host::sql::ReadSqlTable(Url(path), QStringLiteral("SELECT 1; SELECT 2"));
              }),
              source + QStringLiteral("the query holds more than one statement"));
    EXPECT_EQ(ErrorOf([&] {
                  (void)host::sql::ReadSqlTable(
                      Url(path), QStringLiteral("WITH d AS (DELETE FROM t RETURNING x) SELECT 1"));
              }).left(source.size()),
              source);
    EXPECT_EQ(ErrorOf([&] {
                  (void)host::sql::ReadSqlTable(Url(path), QStringLiteral("SELECT * FROM nada"));
              }),
              source + QStringLiteral("no such table: nada"));
    EXPECT_EQ(host::sql::ReadSqlTable(Url(path), QStringLiteral("t")).RecordCount(), 1U);
}
