// SQLite files as the file loader reads them: values as stored, NULLs, bytes, an empty
// table, and the values it refuses, each named by its field and record.
#include "host/io/dataset_file.h"
#include "host/storage/table.h"
#include "host/text/text_form.h"
#include "tests/io/table_compare.h"

#include <QDate>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using host::FieldType;
using io_test::ErrorOf;
using io_test::RunSql;

namespace {

// The refusal of a file holding one table t with the columns, and the one record.
QString Refusal(const QTemporaryDir& dir, const char* columns, const char* values)
{
    static int files = 0;
    const QString path = dir.filePath(QStringLiteral("r%1.db").arg(++files));
    RunSql(path,
           (QByteArray("CREATE TABLE t (") + columns + "); INSERT INTO t VALUES (" + values + ");")
               .constData());
    const QString message = ErrorOf([&] { (void)host::io::LoadSqliteTable(path); });
    const QString prefix = QStringLiteral("Cannot read \"%1\": ").arg(path);
    return message.startsWith(prefix) ? message.mid(prefix.size()) : message;
}

} // namespace

TEST(SqliteFile, ValuesNullsAndBytesAreReadAsStored)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("clientes.db"));
    RunSql(path, "CREATE TABLE clientes (CODIGO INTEGER, NOME VARCHAR(10), VALOR REAL, "
                 "ATIVO BOOLEAN, DIA DATE, FOTO BLOB);"
                 "INSERT INTO clientes VALUES (1, 'Ana', 2.5, 1, '2024-02-29', x'0001ff');"
                 "INSERT INTO clientes VALUES (NULL, NULL, NULL, NULL, NULL, NULL);"
                 "INSERT INTO clientes VALUES ('7', 12, 3, 'true', '2024-01-01', 'abcd');");
    const host::Table table = host::io::LoadSqliteTable(path);
    EXPECT_EQ(table.tableName, QStringLiteral("clientes"));
    ASSERT_EQ(table.FieldCount(), 6);
    EXPECT_EQ(table.Def(0).type, FieldType::Integer);
    EXPECT_EQ(table.Def(1).type, FieldType::Text);
    EXPECT_EQ(table.Def(1).size, 10);
    EXPECT_EQ(table.Def(2).type, FieldType::Float);
    EXPECT_EQ(table.Def(3).type, FieldType::Boolean);
    EXPECT_EQ(table.Def(4).type, FieldType::Date);
    EXPECT_TRUE(table.Def(5).binary);
    ASSERT_EQ(table.RecordCount(), 3U);

    EXPECT_EQ(table.Col(0).ValueAt(0).toLongLong(), 1);
    EXPECT_EQ(table.Col(1).ValueAt(0).toString(), QStringLiteral("Ana"));
    EXPECT_EQ(table.Col(2).ValueAt(0).toDouble(), 2.5);
    EXPECT_EQ(table.Col(3).ValueAt(0).toBool(), true);
    EXPECT_EQ(table.Col(4).ValueAt(0).toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(table.Col(5).ValueAt(0).toString(), QString::fromStdString(host::BinaryText(3)));
    for (int f = 0; f < table.FieldCount(); ++f) {
        EXPECT_TRUE(table.Col(f).IsNull(1)) << f;
    }
    // What the columns' affinities made of the values: text in a number's column taken
    // as the number it spells, a number in a text column as its text.
    EXPECT_EQ(table.Col(0).ValueAt(2).toLongLong(), 7);
    EXPECT_EQ(table.Col(1).ValueAt(2).toString(), QStringLiteral("12"));
    EXPECT_EQ(table.Col(2).ValueAt(2).toDouble(), 3.0);
    EXPECT_EQ(table.Col(3).ValueAt(2).toBool(), true);
    EXPECT_EQ(table.Col(4).ValueAt(2).toDate(), QDate(2024, 1, 1));
    EXPECT_EQ(table.Col(5).ValueAt(2).toString(), QString::fromStdString(host::BinaryText(4)));
}

TEST(SqliteFile, AnEmptyTableGivesItsFieldsAndNoRecord)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("vazio.db"));
    RunSql(path, "CREATE TABLE vazia (CODIGO INTEGER, NOME VARCHAR(5))");
    const host::Table table = host::io::LoadSqliteTable(path);
    EXPECT_EQ(table.tableName, QStringLiteral("vazia"));
    ASSERT_EQ(table.FieldCount(), 2);
    EXPECT_EQ(table.Def(1).size, 5);
    EXPECT_EQ(table.RecordCount(), 0U);
}

TEST(SqliteFile, ValuesNotOfTheirFieldsTypeAreRefusedNamingFieldAndRecord)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(Refusal(dir, "N INTEGER", "'abc'"),
              QStringLiteral("Field \"N\" in record 1: \"abc\" is not an integer"));
    EXPECT_EQ(Refusal(dir, "N INTEGER", "2.5"),
              QStringLiteral("Field \"N\" in record 1: \"2.5\" is not an integer"));
    EXPECT_EQ(Refusal(dir, "F REAL", "'x'"),
              QStringLiteral("Field \"F\" in record 1: \"x\" is not a number"));
    EXPECT_EQ(Refusal(dir, "B BOOLEAN", "5"),
              QStringLiteral("Field \"B\" in record 1: \"5\" is not a boolean"));
    EXPECT_EQ(Refusal(dir, "B BOOLEAN", "'talvez'"),
              QStringLiteral("Field \"B\" in record 1: \"talvez\" is not a boolean"));
    EXPECT_EQ(Refusal(dir, "D DATE", "'ontem'"),
              QStringLiteral("Field \"D\" in record 1: \"ontem\" is not a date (YYYY-MM-DD)"));
    EXPECT_EQ(Refusal(dir, "S VARCHAR(3)", "'abcd'"),
              QStringLiteral("field \"S\" in record 1 is longer than 3 characters"));
    EXPECT_EQ(Refusal(dir, "S TEXT", "CAST(x'610062' AS TEXT)"),
              QStringLiteral("field \"S\" in record 1 holds a NUL byte"));
    EXPECT_EQ(Refusal(dir, "S TEXT", "CAST(x'61ff' AS TEXT)"),
              QStringLiteral("field \"S\" in record 1 is not UTF-8 text"));
}

TEST(SqliteFile, AFileOfNoTableOrOfSeveralIsRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString none = dir.filePath(QStringLiteral("none.db"));
    RunSql(none, "CREATE VIEW v AS SELECT 1 AS x");
    EXPECT_EQ(ErrorOf([&] { (void)host::io::LoadSqliteTable(none); }),
              QStringLiteral("Cannot read \"%1\": the database holds no table").arg(none));
    const QString two = dir.filePath(QStringLiteral("two.db"));
    RunSql(two, "CREATE TABLE b (x); CREATE TABLE a (y)");
    EXPECT_EQ(ErrorOf([&] { (void)host::io::LoadSqliteTable(two); }),
              QStringLiteral("Cannot read \"%1\": the database holds 2 tables (b, a); expected one")
                  .arg(two));
}
