#include "host/sql/sql_provider.h"
#include "tests/sql_host/sql_scratch.h"

#include <QDate>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/field.h>

using host::ClientDataset;
using host::FieldType;
using sql_host_test::ExecSqlite;
using sql_host_test::PgScratchDatabase;

namespace {

// Through the public call a host makes, which must keep the provider's terms.
std::string ErrorOf(ClientDataset& dataset, const QString& url, const QString& tableOrQuery)
{
    try {
        dataset.LoadFromDatabase(url, tableOrQuery);
    } catch (const host::DatasetError& error) {
        return error.what();
    }
    return {};
}

// Every value of every record, in record order, as the dataset gives it.
std::vector<QVariantList> Rows(const ClientDataset& dataset)
{
    std::vector<QVariantList> rows;
    for (int r = 0; r < dataset.RecordCount(); ++r) {
        QVariantList row;
        for (int f = 0; f < dataset.GetFieldCount(); ++f)
            row << dataset.Value(r, f);
        rows.push_back(row);
    }
    return rows;
}

std::string Describe(const QVariantList& row)
{
    QStringList parts;
    for (const QVariant& v : row)
        parts << (v.isValid() ? v.toString() : QStringLiteral("NULL"));
    return parts.join(QStringLiteral(" | ")).toStdString();
}

// A dataset holding one record, to see that a refused fill leaves it alone.
std::unique_ptr<ClientDataset> OneRecord()
{
    auto dataset = std::make_unique<ClientDataset>();
    dataset->AddField(QStringLiteral("ANTES"), FieldType::Integer);
    dataset->AppendRecord({42});
    dataset->Open();
    return dataset;
}

void ExpectUnchanged(const ClientDataset& dataset)
{
    ASSERT_EQ(dataset.GetFieldCount(), 1);
    EXPECT_EQ(dataset.GetField(0)->GetName(), QStringLiteral("ANTES"));
    ASSERT_EQ(dataset.RecordCount(), 1);
    EXPECT_EQ(dataset.Value(0, 0).toLongLong(), 42);
}

const QStringList kTypedTable = {
    QStringLiteral(
        "CREATE TABLE clientes (CODIGO INTEGER PRIMARY KEY, NMCLIENTE VARCHAR(20), UF CHAR(2), "
        "OBS TEXT, ATIVO BOOLEAN, NASCIMENTO DATE, LIMITE NUMERIC(10,2), PESO DOUBLE PRECISION, "
        "GRANDE BIGINT)"),
    // NULLs in the first record, in every field but the key.
    QStringLiteral(
        "INSERT INTO clientes VALUES (1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)"),
    QStringLiteral(
        "INSERT INTO clientes VALUES (2, 'João Gonçalves', 'SP', 'tab\there', true, '1980-05-01', "
        "1500.50, 72.25, 9000000000)"),
    QStringLiteral(
        "INSERT INTO clientes VALUES (3, 'Zé D''Ávila', 'B', '', false, '1969-02-28', -10, 0, -1)"),
};

TEST(FillFromSql, PostgreSqlTypesSizesAndNullsAreKept)
{
    PgScratchDatabase db(QStringLiteral("fill_types"));
    ASSERT_TRUE(db.Valid());
    ASSERT_TRUE(db.Exec(kTypedTable));

    ClientDataset dataset;
    dataset.LoadFromDatabase(db.Uri(), QString()); // the only table
    dataset.Open();
    ASSERT_EQ(dataset.GetFieldCount(), 9);
    const std::vector<std::pair<FieldType, int>> expected = {
        {FieldType::Integer, 1}, {FieldType::Text, 20},   {FieldType::Text, 2},
        {FieldType::Text, 8},    {FieldType::Boolean, 5}, {FieldType::Date, 10},
        {FieldType::Float, 6},   {FieldType::Float, 5},   {FieldType::Integer, 10}};
    for (int f = 0; f < 9; ++f) {
        EXPECT_EQ(dataset.GetField(f)->GetType(), expected[f].first) << f;
        EXPECT_EQ(dataset.GetField(f)->GetSize(), expected[f].second)
            << dataset.GetField(f)->GetName().toStdString();
    }
    EXPECT_EQ(dataset.GetField(1)->GetName(),
              QStringLiteral("nmcliente")); // as the server folds it
    ASSERT_EQ(dataset.RecordCount(), 3);
    for (int f = 1; f < 9; ++f)
        EXPECT_FALSE(dataset.Value(0, f).isValid()) << f;
    EXPECT_EQ(dataset.Value(1, 1).toString(), QStringLiteral("João Gonçalves"));
    EXPECT_EQ(dataset.Value(1, 3).toString(), QStringLiteral("tab\there"));
    EXPECT_EQ(dataset.Value(1, 4).toBool(), true);
    EXPECT_EQ(dataset.Value(1, 5).toDate(), QDate(1980, 5, 1));
    EXPECT_DOUBLE_EQ(dataset.Value(1, 6).toDouble(), 1500.5);
    EXPECT_EQ(dataset.Value(1, 8).toLongLong(), 9000000000LL);
    EXPECT_EQ(dataset.Value(2, 1).toString(), QStringLiteral("Zé D'Ávila"));
    // CHAR(2) pads 'B' to "B "; read as text, as a live search reads it, it is "B".
    EXPECT_EQ(dataset.Value(2, 2).toString(), QStringLiteral("B"));
    EXPECT_TRUE(dataset.Value(2, 3).isValid()); // '' is not NULL
    EXPECT_EQ(dataset.Value(2, 3).toString(), QString());
    EXPECT_EQ(dataset.Value(2, 4).toBool(), false);
}

TEST(FillFromSql, QueriesTablesByNameAndSemicolonsWork)
{
    PgScratchDatabase db(QStringLiteral("fill_query"));
    ASSERT_TRUE(db.Valid());
    ASSERT_TRUE(db.Exec(kTypedTable));
    ASSERT_TRUE(db.Exec({QStringLiteral("CREATE TABLE \"Outra Tabela\" (a INTEGER)"),
                         QStringLiteral("INSERT INTO \"Outra Tabela\" VALUES (7)")}));

    ClientDataset dataset;
    dataset.LoadFromDatabase(
        db.Uri(), QStringLiteral("  select CODIGO, upper(NMCLIENTE) AS NOME from clientes where "
                                 "CODIGO > 1 order by 1 ;"));
    dataset.Open();
    ASSERT_EQ(dataset.RecordCount(), 2);
    EXPECT_EQ(dataset.GetField(1)->GetName(), QStringLiteral("nome"));
    EXPECT_EQ(dataset.Value(0, 1).toString(),
              QStringLiteral("JOãO GONçALVES")); // C locale: ASCII only

    dataset.LoadFromDatabase(db.Uri(), QStringLiteral("Outra Tabela"));
    ASSERT_EQ(dataset.RecordCount(), 1);
    EXPECT_EQ(dataset.Value(0, 0).toLongLong(), 7);

    // More rows than one batch of the cursor.
    dataset.LoadFromDatabase(
        db.Uri(), QStringLiteral("SELECT g AS N, 'x' || g AS T FROM generate_series(1, 45001) g"));
    ASSERT_EQ(dataset.RecordCount(), 45001);
    EXPECT_EQ(dataset.Value(45000, 1).toString(), QStringLiteral("x45001"));
}

TEST(FillFromSql, RefusalsNameTheSourceAndLeaveTheDatasetAsItWas)
{
    PgScratchDatabase db(QStringLiteral("fill_refuse"));
    ASSERT_TRUE(db.Valid());
    const auto dataset = OneRecord();
    const std::string source = "Cannot read \"clientes\" from \"" + db.Uri().toStdString() + "\": ";

    EXPECT_EQ(ErrorOf(*dataset, db.Uri(), QString()),
              "The database \"" + db.Uri().toStdString() + "\" holds no table");
    const std::string missing = ErrorOf(*dataset, db.Uri(), QStringLiteral("clientes"));
    EXPECT_EQ(missing.rfind(source, 0), 0U) << missing;
    EXPECT_NE(missing.find("no such table in the schemas of the search path"), std::string::npos)
        << missing;

    ASSERT_TRUE(db.Exec(kTypedTable));
    ASSERT_TRUE(db.Exec({QStringLiteral("CREATE TABLE b (x INTEGER)")}));
    EXPECT_EQ(ErrorOf(*dataset, db.Uri(), QString()),
              "The database \"" + db.Uri().toStdString() +
                  "\" holds 2 tables (b, clientes); name one");

    const std::string query = "Cannot read the query from \"" + db.Uri().toStdString() + "\": ";
    EXPECT_EQ(ErrorOf(*dataset, db.Uri(), QStringLiteral("SELECT 1 AS \"a;b\"")),
              query + "field 1 is named \"a;b\"; a field name cannot hold \";\", which separates "
                      "the fields of an index");
    EXPECT_EQ(ErrorOf(*dataset, db.Uri(), QStringLiteral("SELECT 1 AS a, 2 AS A")),
              query + "field \"a\" appears twice");
    EXPECT_EQ(ErrorOf(*dataset, db.Uri(),
                      QStringLiteral("SELECT 'talvez' AS D, CAST('infinity' AS date) AS N")),
              query + "Field \"n\" in record 1: \"infinity\" is not a date (YYYY-MM-DD)");
    EXPECT_EQ(ErrorOf(*dataset, db.Uri(), QStringLiteral("SELECT CAST('NaN' AS float8) AS x")),
              query + "Field \"x\" in record 1: \"NaN\" is not a number");
    const std::string syntax = ErrorOf(*dataset, db.Uri(), QStringLiteral("SELECT FROM WHERE"));
    EXPECT_EQ(syntax.rfind(query, 0), 0U) << syntax;

    // The connection cannot write, whatever the query says.
    ASSERT_TRUE(db.Exec({QStringLiteral("CREATE SEQUENCE s")}));
    const std::string write =
        ErrorOf(*dataset, db.Uri(), QStringLiteral("SELECT nextval('s') AS n"));
    EXPECT_NE(write.find("read-only transaction"), std::string::npos) << write;
    ClientDataset check;
    check.LoadFromDatabase(db.Uri(),
                           QStringLiteral("SELECT last_value AS v, is_called AS c FROM s"));
    check.Open();
    EXPECT_EQ(check.Value(0, 1).toBool(), false);

    const std::string away =
        ErrorOf(*dataset, QStringLiteral("postgresql:///ts?host=/nonexistent"), QString());
    EXPECT_EQ(away.rfind("Cannot open the database \"postgresql:///ts?host=/nonexistent\": ", 0),
              0U)
        << away;
    ExpectUnchanged(*dataset);
}

TEST(FillFromSql, SqliteTextMustBeUtf8WithoutNulAndFitItsSize)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto dataset = OneRecord();
    const auto refusal = [&](const QString& value, ClientDataset& target) {
        const QString path =
            dir.filePath(QStringLiteral("t%1.db").arg(QRandomGenerator::global()->generate()));
        EXPECT_TRUE(ExecSqlite(
            path,
            {QStringLiteral("CREATE TABLE t (CODIGO INTEGER, NOME VARCHAR(5))"),
             QStringLiteral("INSERT INTO t VALUES (1, 'ok'), (2, NULL), (3, %1)").arg(value)}));
        const std::string message = ErrorOf(target, QStringLiteral("sqlite:") + path, QString());
        const std::string prefix = "Cannot read \"t\" from \"sqlite:" + path.toStdString() + "\": ";
        if (message.empty())
            return message;
        EXPECT_EQ(message.rfind(prefix, 0), 0U) << message;
        return message.substr(std::min(message.size(), prefix.size()));
    };
    EXPECT_EQ(refusal(QStringLiteral("CAST(X'410042' AS TEXT)"), *dataset),
              "field \"NOME\" in record 3 holds a NUL byte");
    EXPECT_EQ(refusal(QStringLiteral("CAST(X'41E9' AS TEXT)"), *dataset),
              "field \"NOME\" in record 3 is not UTF-8 text");
    EXPECT_EQ(refusal(QStringLiteral("'çãõéíx'"), *dataset),
              "field \"NOME\" in record 3 is longer than 5 characters");
    ExpectUnchanged(*dataset);
    ClientDataset fits;
    EXPECT_EQ(refusal(QStringLiteral("'çãõéí'"), fits), ""); // characters, not bytes, count
    EXPECT_EQ(fits.TotalRecordCount(), 3);
}

// Random records with NULLs anywhere (the first record too) go into PostgreSQL and an
// SQLite file; the provider reads both and the file loader reads the file: all three
// give the same fields and values.
TEST(FillFromSql, PostgreSqlSqliteAndTheFileLoaderAgreeOnRandomRecords)
{
    PgScratchDatabase db(QStringLiteral("fill_random"));
    ASSERT_TRUE(db.Valid());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("r.db"));

    QRandomGenerator random(7311);
    const QString schema = QStringLiteral("CREATE TABLE r (CODIGO INTEGER, NOME VARCHAR(12), ATIVO "
                                          "BOOLEAN, DIA DATE, VALOR DOUBLE PRECISION, OBS TEXT)");
    const char* const words[] = {"ana", "JOÃO", "çé", "o'neil", "x y", "", "Zé", "%_", "\\n"};
    QStringList inserts;
    for (int r = 0; r < 300; ++r) {
        const auto maybe = [&](const QString& value) {
            return random.bounded(4) == 0 || r == 0 ? QStringLiteral("NULL") : value;
        };
        const auto text = [&](int most) {
            QString t;
            for (int w = random.bounded(1, 4); w > 0; --w)
                t += QString::fromUtf8(words[random.bounded(9)]);
            t = t.left(most);
            t.replace(QLatin1String("'"), QLatin1String("''"));
            return QStringLiteral("'%1'").arg(t);
        };
        inserts
            << QStringLiteral("INSERT INTO r VALUES (%1, %2, %3, %4, %5, %6)")
                   .arg(
                       maybe(QString::number(random.bounded(-1000, 1000))), maybe(text(12)),
                       maybe(random.bounded(2) ? QStringLiteral("TRUE") : QStringLiteral("FALSE")),
                       maybe(QStringLiteral("'%1'").arg(
                           QDate(1900, 1, 1).addDays(random.bounded(60000)).toString(Qt::ISODate))),
                       maybe(QString::number(random.bounded(-100000, 100000) / 8.0)),
                       maybe(text(40)));
    }
    ASSERT_TRUE(db.Exec(QStringList{schema} + inserts));
    ASSERT_TRUE(ExecSqlite(path, QStringList{schema, QStringLiteral("BEGIN")} + inserts +
                                     QStringList{QStringLiteral("COMMIT")}));

    ClientDataset fromPg;
    fromPg.LoadFromDatabase(
        db.Uri(),
        QStringLiteral("SELECT CODIGO AS \"CODIGO\", NOME AS \"NOME\", ATIVO AS \"ATIVO\", "
                       "DIA AS \"DIA\", VALOR AS \"VALOR\", OBS AS \"OBS\" FROM r"));
    ClientDataset fromSqlite;
    fromSqlite.LoadFromDatabase(QStringLiteral("sqlite:") + path, QStringLiteral("r"));
    ClientDataset fromFile;
    fromFile.LoadFromFile(path);
    for (ClientDataset* d : {&fromPg, &fromSqlite, &fromFile})
        d->Open();

    ASSERT_EQ(fromPg.GetFieldCount(), 6);
    for (ClientDataset* d : {&fromSqlite, &fromFile}) {
        ASSERT_EQ(d->GetFieldCount(), 6);
        for (int f = 0; f < 6; ++f) {
            EXPECT_EQ(d->GetField(f)->GetName(), fromPg.GetField(f)->GetName());
            EXPECT_EQ(d->GetField(f)->GetType(), fromPg.GetField(f)->GetType()) << f;
            EXPECT_EQ(d->GetField(f)->GetSize(), fromPg.GetField(f)->GetSize()) << f;
        }
    }
    const auto pgRows = Rows(fromPg);
    const auto sqliteRows = Rows(fromSqlite);
    const auto fileRows = Rows(fromFile);
    ASSERT_EQ(pgRows.size(), 300U);
    ASSERT_EQ(sqliteRows.size(), 300U);
    ASSERT_EQ(fileRows.size(), 300U);
    for (size_t r = 0; r < pgRows.size(); ++r) {
        EXPECT_EQ(pgRows[r], sqliteRows[r])
            << r << ": " << Describe(pgRows[r]) << " / " << Describe(sqliteRows[r]);
        EXPECT_EQ(sqliteRows[r], fileRows[r])
            << r << ": " << Describe(sqliteRows[r]) << " / " << Describe(fileRows[r]);
    }
}

} // namespace
