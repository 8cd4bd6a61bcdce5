// Limits on outside input: filter texts from hosts and data files. Each is refused
// with a message that says what and where, never a crash, and the dataset keeps
// what it had.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>

namespace {

std::unique_ptr<host::ClientDataset> Clients()
{
    auto ds = std::make_unique<host::ClientDataset>();
    ds->AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
    ds->AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 20);
    ds->Open();
    ds->AppendRecord({1, QStringLiteral("JOANA")});
    ds->AppendRecord({2, QStringLiteral("JOÃO")});
    ds->AppendRecord({3, QStringLiteral("ANA")});
    return ds;
}

// The message of the DatasetError the call raises (empty when none).
template <class F> QString ErrorOf(F&& call)
{
    try {
        call();
    } catch (const host::DatasetError& error) {
        return error.Message();
    }
    return {};
}

// A filter that must be refused: the message, and the filter in force unchanged.
QString Refused(host::ClientDataset& ds, const QString& filter)
{
    const QString before = ds.GetFilter();
    const int count = ds.RecordCount();
    const QString message = ErrorOf([&] { ds.SetFilter(filter); });
    EXPECT_EQ(ds.GetFilter(), before);
    EXPECT_EQ(ds.RecordCount(), count);
    return message;
}

QString Repeat(const char* piece, int times)
{
    return QString::fromLatin1(piece).repeated(times);
}

TEST(FilterLimits, DeepNestingIsRefusedWithoutExhaustingTheStack)
{
    auto ds = Clients();
    ds->SetFilter(QStringLiteral("CODIGO > 1"));
    ds->SetFiltered(true);
    const QString tooDeep = QStringLiteral("expression nested deeper than 200 levels");
    const QString cases[] = {
        Repeat("(", 100000) + "CODIGO = 1" + Repeat(")", 100000),
        Repeat("(", 100000),
        Repeat("NOT ", 100000) + "CODIGO = 1",
        "CODIGO = " + Repeat("-", 100000) + "1",
        "NMCLIENTE = " + Repeat("UPPER(", 100000) + "'A'" + Repeat(")", 100000),
        "CODIGO = 1" + Repeat(" + 1", 100000),
        "CODIGO = 1" + Repeat(" * 1", 100000),
        "CODIGO = 1" + Repeat(" - 1 * 2", 100000),
    };
    for (const QString& filter : cases) {
        const QString message = Refused(*ds, filter);
        EXPECT_TRUE(message.startsWith("Filter: " + tooDeep + " at position "))
            << filter.left(40).toStdString() << ": " << message.toStdString();
    }
    // Up to the limit, nesting works.
    ds->SetFilter(Repeat("(", 150) + "CODIGO = 3" + Repeat(")", 150));
    EXPECT_EQ(ds->RecordCount(), 1);
    ds->SetFilter("CODIGO = 0" + Repeat(" + 1", 150) + " - 148");
    EXPECT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(ds->Value(0, 0).toInt(), 2);
}

TEST(FilterLimits, LongFlatExpressionsAndLiteralsWork)
{
    auto ds = Clients();
    ds->SetFiltered(true);
    // About 10 MB of OR terms: flat, so no depth limit applies.
    QString manyTerms = QStringLiteral("CODIGO = 3");
    manyTerms += Repeat(" OR CODIGO = 99999", 10 * 1024 * 1024 / 18);
    ds->SetFilter(manyTerms);
    EXPECT_EQ(ds->RecordCount(), 1);
    // A 10 MB string literal and a 10 MB IN list.
    const QString longText(10 * 1024 * 1024, u'A');
    ds->SetFilter("NMCLIENTE LIKE '" + longText + "%' OR CODIGO = 1");
    EXPECT_EQ(ds->RecordCount(), 1);
    ds->SetFilter("CODIGO IN (2" + Repeat(", 7", 1024 * 1024) + ")");
    EXPECT_EQ(ds->RecordCount(), 1);
    // A 10 MB number is refused as malformed, not read as garbage.
    // Messages quote at most 40 characters of the input.
    EXPECT_EQ(Refused(*ds, "CODIGO = " + QString(10 * 1024 * 1024, u'9') + "x"),
              "Filter: malformed number \"" + QString(40, u'9') + "...\" at position 10");
    EXPECT_EQ(Refused(*ds, "CODIGO = " + QString(10 * 1024 * 1024, u'X')),
              "Filter: unknown field \"" + QString(40, u'X') + "...\" at position 10");
    const QString unterminated = Refused(*ds, "NMCLIENTE = '" + longText);
    EXPECT_EQ(unterminated, "Filter: unterminated string at position 13");
}

TEST(FilterLimits, NulAndControlCharactersAreNamedByCode)
{
    auto ds = Clients();
    ds->SetFiltered(true);
    EXPECT_EQ(Refused(*ds, QStringLiteral("CODIGO = 1 ") + QChar(0) + "AND"),
              "Filter: invalid character U+0000 at position 12");
    EXPECT_EQ(Refused(*ds, QStringLiteral("CODIGO\x01= 1")),
              "Filter: invalid character U+0001 at position 7");
    // Inside a string literal a NUL is a character like any other: nothing matches it.
    ds->SetFilter(QStringLiteral("NMCLIENTE = 'ANA") + QChar(0) + "'");
    EXPECT_EQ(ds->RecordCount(), 0);
    // A host's text with invalid UTF-8 reaches the filter as U+FFFD replacement
    // characters (QString::fromUtf8): it matches nothing, and fails nothing.
    ds->SetFilter(QString::fromUtf8("NMCLIENTE LIKE 'JO\xC3%'"));
    EXPECT_EQ(ds->RecordCount(), 0);
    ds->SetFilter(QString::fromUtf8("NMCLIENTE LIKE 'JO\xC3\x83%'"));
    EXPECT_EQ(ds->RecordCount(), 1);
}

class FileLimits : public ::testing::Test {
protected:
    QString Write(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    QString Sql(const char* name, const char* sql)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
        return path;
    }

    // Loading must fail with this message, and keep the records the dataset had.
    void ExpectRefused(const QString& path, const QString& reason)
    {
        auto ds = Clients();
        EXPECT_EQ(ErrorOf([&] { ds->LoadFromFile(path); }),
                  QStringLiteral("Cannot read \"%1\": %2").arg(path, reason));
        EXPECT_EQ(ds->GetFieldCount(), 2);
        EXPECT_EQ(ds->RecordCount(), 3);
    }

    QTemporaryDir dir;
};

TEST_F(FileLimits, CsvNulBytesAndInvalidUtf8AreRefusedWithTheirPlace)
{
    ExpectRefused(dir.filePath("missing.csv"), "the file does not exist");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.db"));
    ExpectRefused(dir.filePath("folder.db"), "it is not a file");
    ExpectRefused(Write("text.db", "CODIGO\n1\n"), "file is not a database");
    ExpectRefused(Write("nul.csv", QByteArray("CODIGO,NOME\n1,An\0a\n", 19)),
                  "record 1, field 2 holds a NUL byte; is the file UTF-16?");
    ExpectRefused(Write("utf16.csv", QByteArray("C\0O\0D\0\n\0001\0\n\0", 12)),
                  "header field 1 holds a NUL byte; is the file UTF-16?");
    ExpectRefused(Write("latin1.csv", "CODIGO,NOME\n1,Ana\n2,Jo\xE3o\n"),
                  "record 2, field 2 is not UTF-8 text");
    ExpectRefused(Write("overlong.csv", "CODIGO,NOME\n1,\xC0\xAF\n"),
                  "record 1, field 2 is not UTF-8 text");
    ExpectRefused(Write("surrogate.csv", "CODIGO,NOME\n1,\xED\xA0\x80\n"),
                  "record 1, field 2 is not UTF-8 text");
    ExpectRefused(Write("header.csv", "CODIGO,N\xFFME\n1,Ana\n"),
                  "header field 2 is not UTF-8 text");
    // Valid UTF-8 of every length loads.
    host::ClientDataset ds;
    ds.LoadFromFile(Write("ok.csv", "NOME\n\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80\n"));
    ds.Open();
    EXPECT_EQ(ds.Value(0, 0).toString(), QString::fromUtf8("ç€😀"));
}

TEST_F(FileLimits, FieldNamesANameCannotServeAreRefused)
{
    ExpectRefused(Write("semicolon.csv", "CODIGO,NOME;CLIENTE\n1,Ana\n"),
                  "field 2 is named \"NOME;CLIENTE\"; a field name cannot hold \";\", which "
                  "separates the fields of an index");
    ExpectRefused(Write("control.csv", "CODIGO,\"NO\tME\"\n1,Ana\n"),
                  "field 2 is named \"NO\tME\"; a field name cannot hold a control character "
                  "(U+0009)");
    ExpectRefused(Write("empty.csv", "CODIGO,,NOME\n1,2,3\n"), "header field 2 is empty");
    ExpectRefused(Write("twice.csv", "CODIGO,Codigo\n1,2\n"),
                  "field \"Codigo\" appears twice in the header");
    ExpectRefused(Sql("blank.db", "CREATE TABLE t (CODIGO INTEGER, \"\" TEXT)"),
                  "field 2 is named \"\"; a field needs a name");
    ExpectRefused(Sql("padded.db", "CREATE TABLE t (CODIGO INTEGER, \" NOME\" TEXT)"),
                  "field 2 is named \" NOME\"; a field name cannot begin or end with a space");
    ExpectRefused(Sql("semicolon.db", "CREATE TABLE t (CODIGO INTEGER, \"A;B\" TEXT)"),
                  "field 2 is named \"A;B\"; a field name cannot hold \";\", which separates "
                  "the fields of an index");
}

// A name that is no plain word (a space, a leading digit, a word of the language, a
// quote) loads, and a filter reaches it in double quotes; names with accents and "_"
// are plain; spaces around a CSV name are dropped.
TEST_F(FileLimits, FieldNamesAreReachedQuotedWhenTheyAreNoPlainWord)
{
    host::ClientDataset csv;
    csv.LoadFromFile(Write("space.csv", "CODIGO,NOME CLIENTE,and,1CODIGO\n1,Ana,x,7\n2,Bia,y,8\n"));
    csv.Open();
    EXPECT_EQ(csv.GetField(1)->GetName(), QStringLiteral("NOME CLIENTE"));
    csv.SetFilter(QStringLiteral("\"nome cliente\" = 'Bia' AND \"AND\" = 'y' AND [1CODIGO] = 8"));
    csv.SetFiltered(true);
    ASSERT_EQ(csv.RecordCount(), 1);
    EXPECT_EQ(csv.Value(0, 0).toInt(), 2);

    host::ClientDataset sqlite;
    sqlite.LoadFromFile(Sql("quote.db", "CREATE TABLE t (CODIGO INTEGER, \"O \"\"APELIDO\"\"\" "
                                        "TEXT, \"NULL\" TEXT);"
                                        "INSERT INTO t VALUES (1, 'Nina', NULL);"
                                        "INSERT INTO t VALUES (2, 'Zeca', 'z')"));
    sqlite.Open();
    EXPECT_EQ(sqlite.GetField(1)->GetName(), QStringLiteral("O \"APELIDO\""));
    sqlite.SetFilter(QStringLiteral("UPPER(\"O \"\"APELIDO\"\"\") LIKE 'N%' AND \"NULL\" IS NULL"));
    sqlite.SetFiltered(true);
    ASSERT_EQ(sqlite.RecordCount(), 1);
    EXPECT_EQ(sqlite.Value(0, 0).toInt(), 1);

    host::ClientDataset ds;
    ds.LoadFromFile(Write("accents.csv", " CÓDIGO , _NOME_2\n1,Ana\n"));
    ds.Open();
    EXPECT_EQ(ds.GetField(0)->GetName(), QString::fromUtf8("CÓDIGO"));
    ds.SetFilter(QString::fromUtf8("cÓdigo = 1 AND _nome_2 = 'Ana'"));
    ds.SetFiltered(true);
    EXPECT_EQ(ds.RecordCount(), 1);
}

TEST_F(FileLimits, SqliteTableNamesAreFreeButTextMustFitAndBeUtf8)
{
    // The table's name is never written into a filter: quotes and spaces load.
    host::ClientDataset ds;
    ds.LoadFromFile(Sql("quoted.db", "CREATE TABLE \"a \"\"b\"\" c\" (NOME VARCHAR(5));"
                                     "INSERT INTO \"a \"\"b\"\" c\" VALUES ('Ana')"));
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.Value(0, 0).toString(), QStringLiteral("Ana"));

    ExpectRefused(Sql("long.db",
                      "CREATE TABLE t (NOME VARCHAR(5));"
                      "INSERT INTO t VALUES ('Ana'); INSERT INTO t VALUES ('Joana Maria')"),
                  "field \"NOME\" in record 2 is longer than 5 characters");
    ExpectRefused(Sql("nul.db", "CREATE TABLE t (NOME TEXT); INSERT INTO t VALUES ('Ana');"
                                "INSERT INTO t VALUES (CAST(X'416E0061' AS TEXT))"),
                  "field \"NOME\" in record 2 holds a NUL byte");
    ExpectRefused(Sql("latin1.db", "CREATE TABLE t (NOME TEXT); INSERT INTO t VALUES (X'4AE36F')"),
                  "field \"NOME\" in record 1 is not UTF-8 text");
    // Characters, not bytes, count against the size.
    host::ClientDataset fits;
    fits.LoadFromFile(
        Sql("fits.db", "CREATE TABLE t (NOME VARCHAR(4)); INSERT INTO t VALUES ('JOÃO')"));
    fits.Open();
    EXPECT_EQ(fits.Value(0, 0).toString(), QStringLiteral("JOÃO"));
    EXPECT_EQ(fits.GetField(0)->GetSize(), 4);
}

} // namespace
