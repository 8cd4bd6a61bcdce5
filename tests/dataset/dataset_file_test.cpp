// Loading and saving: SQLite files, CSV import, and bad files that must not cost data.
#include "tests/dataset/dataset_fixture.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <touchsearch/dataset_error.h>

using dataset_test::Codes;
using dataset_test::ErrorOf;
using dataset_test::Filtered;
using dataset_test::MakeCustomers;
using Codes_t = std::vector<qint64>;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void RunSql(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

} // namespace

TEST(DatasetFile, SaveAndLoadRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("clientes.db");
    auto original = MakeCustomers();
    original->SaveToFile(path);

    host::ClientDataset loaded;
    loaded.LoadFromFile(path);
    loaded.Open();
    ASSERT_EQ(loaded.GetFieldCount(), original->GetFieldCount());
    for (int f = 0; f < loaded.GetFieldCount(); ++f) {
        EXPECT_EQ(loaded.GetField(f)->GetName(), original->GetField(f)->GetName());
        EXPECT_EQ(loaded.GetField(f)->GetType(), original->GetField(f)->GetType());
        EXPECT_EQ(loaded.GetField(f)->GetSize(), original->GetField(f)->GetSize());
    }
    ASSERT_EQ(loaded.RecordCount(), original->RecordCount());
    for (int row = 0; row < loaded.RecordCount(); ++row) {
        for (int f = 0; f < loaded.GetFieldCount(); ++f) {
            EXPECT_EQ(loaded.Value(row, f), original->Value(row, f)) << row << "," << f;
        }
    }
    // Open stands on the first record.
    EXPECT_EQ(loaded.RecNo(), 0);
    EXPECT_EQ(loaded.FieldByName("NMCLIENTE")->AsString(), "João Gonçalves");
    EXPECT_EQ(Filtered(loaded, "UPPER(NMCLIENTE) LIKE 'JOAO%'"), Codes_t({10, 7}));

    // Saving over an existing file replaces it.
    Filtered(*original, "");
    original->AppendRecord({99, "Novo", QVariant(), "SP", false, 1.0, QVariant()});
    original->SaveToFile(path);
    loaded.LoadFromFile(path);
    EXPECT_EQ(loaded.TotalRecordCount(), 9);
    EXPECT_EQ(loaded.GetFilter(), "UPPER(NMCLIENTE) LIKE 'JOAO%'"); // kept across loads
}

TEST(DatasetFile, DeclaredTypesGiveFieldTypesAndSizes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tipos.db");
    RunSql(
        path,
        "CREATE TABLE t (ID INTEGER, NOME VARCHAR(30), UF CHAR(2), OBS TEXT, "
        "VALOR NUMERIC(10,2), PRECO DOUBLE, ATIVO BOOLEAN, DATA DATE);"
        "INSERT INTO t VALUES (1, 'Conceição', 'SP', 'observação longa', 10.5, 2, 1, '2024-02-29');"
        "INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, NULL, 0, NULL);");
    host::ClientDataset ds;
    ds.LoadFromFile(path);
    ds.Open();
    using host::FieldType;
    const std::vector<std::pair<FieldType, int>> expected{
        {FieldType::Integer, 1}, {FieldType::Text, 30}, {FieldType::Text, 2},
        {FieldType::Text, 16},   {FieldType::Float, 4}, {FieldType::Float, 1},
        {FieldType::Boolean, 5}, {FieldType::Date, 10}};
    ASSERT_EQ(ds.GetFieldCount(), 8);
    for (int f = 0; f < 8; ++f) {
        EXPECT_EQ(ds.GetField(f)->GetType(), expected[f].first) << f;
        EXPECT_EQ(ds.GetField(f)->GetSize(), expected[f].second) << f;
    }
    EXPECT_EQ(ds.Value(0, 7).toDate(), QDate(2024, 2, 29));
    EXPECT_FALSE(ds.Value(1, 0).isValid());
}

TEST(DatasetFile, BadFilesRaiseAndKeepTheData)
{
    QTemporaryDir dir;
    auto ds = MakeCustomers();
    Filtered(*ds, "CODIGO < 4");
    const auto expectKept = [&] {
        EXPECT_TRUE(ds->IsActive());
        EXPECT_EQ(ds->GetFieldCount(), 7);
        EXPECT_EQ(Codes(*ds), Codes_t({1, 2, 3}));
        EXPECT_EQ(ds->FieldByName("NMCLIENTE")->AsString(), "João Gonçalves");
    };

    const QString missing = dir.filePath("nada.db");
    EXPECT_EQ(ErrorOf([&] { ds->LoadFromFile(missing); }),
              QString("Cannot read \"%1\": the file does not exist").arg(missing));
    expectKept();

    const QString notDb = dir.filePath("texto.db");
    WriteFile(notDb, QByteArray("this is plain text, not a database at all\n").repeated(50));
    EXPECT_EQ(ErrorOf([&] { ds->LoadFromFile(notDb); }),
              QString("Cannot read \"%1\": file is not a database").arg(notDb));
    expectKept();

    const QString empty = dir.filePath("vazio.db");
    RunSql(empty, "CREATE VIEW v AS SELECT 1");
    EXPECT_EQ(ErrorOf([&] { ds->LoadFromFile(empty); }),
              QString("Cannot read \"%1\": the database holds no table").arg(empty));
    expectKept();

    const QString two = dir.filePath("duas.db");
    RunSql(two, "CREATE TABLE a (x INTEGER); CREATE TABLE b (y INTEGER)");
    EXPECT_TRUE(
        ErrorOf([&] { ds->LoadFromFile(two); }).contains("holds 2 tables (a, b); expected one"));
    expectKept();

    const QString badValue = dir.filePath("valor.db");
    RunSql(badValue, "CREATE TABLE t (ID INTEGER, ATIVO BOOLEAN); INSERT INTO t VALUES (1, 1);"
                     "INSERT INTO t VALUES (2, 'talvez')");
    EXPECT_EQ(
        ErrorOf([&] { ds->LoadFromFile(badValue); }),
        QString("Cannot read \"%1\": Field \"ATIVO\" in record 2: \"talvez\" is not a boolean")
            .arg(badValue));
    expectKept();

    const QString ragged = dir.filePath("torto.csv");
    WriteFile(ragged, "CODIGO,NOME\n1,Ana\n2,Bia,extra\n");
    EXPECT_EQ(ErrorOf([&] { ds->LoadFromFile(ragged); }),
              QString("Cannot read \"%1\": record 2 has 3 fields; the header has 2").arg(ragged));
    expectKept();

    const QString unclosed = dir.filePath("aspas.csv");
    WriteFile(unclosed, "CODIGO,NOME\n1,\"Ana\n2,Bia\n");
    EXPECT_EQ(ErrorOf([&] { ds->LoadFromFile(unclosed); }),
              QString("Cannot read \"%1\": line 2: a quoted field is not closed").arg(unclosed));
    expectKept();

    const QString headerless = dir.filePath("vazio.csv");
    WriteFile(headerless, "");
    EXPECT_TRUE(ErrorOf([&] { ds->LoadFromFile(headerless); }).contains("no header row"));
    expectKept();

    // A file whose fields do not fit the filter in force is refused too.
    const QString other = dir.filePath("outro.csv");
    WriteFile(other, "X,Y\n1,2\n");
    EXPECT_TRUE(
        ErrorOf([&] { ds->LoadFromFile(other); }).contains("the filter in force does not apply"));
    expectKept();

    // Saving where it cannot write raises and leaves nothing behind.
    EXPECT_TRUE(ErrorOf([&] {
                    ds->SaveToFile(dir.filePath("no/such/dir/x.db"));
                }).startsWith("Cannot write"));
}

TEST(DatasetFile, CsvImportFollowsRfc4180AndInfersTypes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("clientes.csv");
    WriteFile(path, "\xEF\xBB\xBF"
                    "CODIGO,NMCLIENTE,LIMITE,ATIVO,DESDE,CEP\r\n"
                    "1,\"Gonçalves, João\",10.5,true,2020-01-31,01001000\r\n"
                    "2,\"Maria \"\"Mari\"\" da Conceição\",7,false,2021-12-01,\r\n"
                    "3,\"linha\nquebrada\",,TRUE,,12345\r\n"
                    "4,,-2e3,False,2022-06-30,\"\"\r\n");
    host::ClientDataset ds;
    ds.LoadFromFile(path);
    ds.Open();
    using host::FieldType;
    ASSERT_EQ(ds.GetFieldCount(), 6);
    EXPECT_EQ(ds.GetField(0)->GetType(), FieldType::Integer);
    EXPECT_EQ(ds.GetField(1)->GetType(), FieldType::Text);
    EXPECT_EQ(ds.GetField(2)->GetType(), FieldType::Float);
    EXPECT_EQ(ds.GetField(3)->GetType(), FieldType::Boolean);
    EXPECT_EQ(ds.GetField(4)->GetType(), FieldType::Date);
    EXPECT_EQ(ds.GetField(5)->GetType(), FieldType::Text); // leading zero: kept as text
    EXPECT_EQ(ds.GetField(1)->GetSize(), 25);              // longest value, in characters
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(ds.Value(0, 1).toString(), "Gonçalves, João");
    EXPECT_EQ(ds.Value(1, 1).toString(), "Maria \"Mari\" da Conceição");
    EXPECT_EQ(ds.Value(2, 1).toString(), "linha\nquebrada");
    EXPECT_FALSE(ds.Value(3, 1).isValid());   // empty unquoted: NULL
    EXPECT_EQ(ds.Value(3, 5).toString(), ""); // empty quoted: empty text
    EXPECT_FALSE(ds.Value(2, 2).isValid());
    EXPECT_DOUBLE_EQ(ds.Value(3, 2).toDouble(), -2000.0);
    EXPECT_EQ(ds.Value(1, 4).toDate(), QDate(2021, 12, 1));
    EXPECT_EQ(Filtered(ds, "ATIVO AND LIMITE > 1"), Codes_t({1}));
}

TEST(DatasetFile, CsvInUtf16WithItsByteOrderMarkIsReadLikeUtf8)
{
    // As a spreadsheet program saves "Unicode text": a byte order mark, CRLF line ends.
    const QString text = QString::fromUtf8("CODIGO,NMCLIENTE,LIMITE,DESDE\r\n"
                                           "1,\"Gonçalves, João\",10.5,2020-01-31\r\n"
                                           "2,\"linha\r\nquebrada 😀\",,\r\n"
                                           "3,Zoë,-7,2021-12-01\r\n");
    QTemporaryDir dir;
    const auto check = [&](const QString& path) {
        SCOPED_TRACE(path.toStdString());
        host::ClientDataset ds;
        ds.LoadFromFile(path);
        ds.Open();
        using host::FieldType;
        ASSERT_EQ(ds.GetFieldCount(), 4);
        EXPECT_EQ(ds.GetField(0)->GetName(), "CODIGO"); // no mark left in the first name
        EXPECT_EQ(ds.GetField(0)->GetType(), FieldType::Integer);
        EXPECT_EQ(ds.GetField(1)->GetType(), FieldType::Text);
        EXPECT_EQ(ds.GetField(2)->GetType(), FieldType::Float);
        EXPECT_EQ(ds.GetField(3)->GetType(), FieldType::Date);
        ASSERT_EQ(ds.RecordCount(), 3);
        EXPECT_EQ(ds.Value(0, 1).toString(), QString::fromUtf8("Gonçalves, João"));
        EXPECT_EQ(ds.Value(1, 1).toString(), QString::fromUtf8("linha\r\nquebrada 😀"));
        EXPECT_EQ(ds.Value(2, 1).toString(), QString::fromUtf8("Zoë"));
        EXPECT_EQ(ds.Value(0, 3).toDate(), QDate(2020, 1, 31));
        EXPECT_EQ(Filtered(ds, "NMCLIENTE LIKE 'Go%' OR LIMITE < 0"), Codes_t({1, 3}));
    };
    QStringEncoder le(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    QStringEncoder be(QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom);
    QStringEncoder utf8(QStringConverter::Utf8, QStringConverter::Flag::WriteBom);
    const QByteArray leBytes = le.encode(text);
    ASSERT_TRUE(leBytes.startsWith("\xFF\xFE"));
    WriteFile(dir.filePath("le.csv"), leBytes);
    check(dir.filePath("le.csv"));
    const QByteArray beBytes = be.encode(text);
    ASSERT_TRUE(beBytes.startsWith("\xFE\xFF"));
    WriteFile(dir.filePath("be.csv"), beBytes);
    check(dir.filePath("be.csv"));
    // UTF-8, with and without its mark, as before.
    WriteFile(dir.filePath("utf8bom.csv"), utf8.encode(text));
    check(dir.filePath("utf8bom.csv"));
    WriteFile(dir.filePath("utf8.csv"), text.toUtf8());
    check(dir.filePath("utf8.csv"));

    // UTF-16 without a mark is not guessed at: its NUL bytes are told, before the odd
    // records its line ends make.
    const QString bare = dir.filePath("bare.csv");
    WriteFile(bare, QByteArray(leBytes).remove(0, 2));
    host::ClientDataset ds;
    EXPECT_EQ(ErrorOf([&] { ds.LoadFromFile(bare); }).toStdString(),
              QStringLiteral("Cannot read \"%1\": header field 1 holds a NUL byte; is the file "
                             "UTF-16?")
                  .arg(bare)
                  .toStdString());
    // A mark followed by what is not UTF-16 (a lone surrogate).
    const QString broken = dir.filePath("broken.csv");
    WriteFile(broken, QByteArray("\xFF\xFE"
                                 "A\0\n\0\x00\xD8"
                                 "1\0\n\0",
                                 12));
    EXPECT_EQ(ErrorOf([&] { ds.LoadFromFile(broken); }).toStdString(),
              QStringLiteral("Cannot read \"%1\": the file begins with a UTF-16LE byte order "
                             "mark but is not UTF-16LE text")
                  .arg(broken)
                  .toStdString());
}
