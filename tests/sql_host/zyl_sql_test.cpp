// zyl over databases named by URL, as a person runs it: the built program offscreen
// without pauses, a keys script, the sample generator's customers in a database of the
// test run's PostgreSQL cluster and in an SQLite file.
#include "host/sql/database_url.h"
#include "tests/sql_host/sql_scratch.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using sql_host_test::PgScratchDatabase;

namespace {

struct Result {
    int exitCode = -1;
    QJsonObject json;
    QString out;
    QString err;
};

std::string Describe(const Result& r)
{
    return QStringLiteral("exit %1\nout: %2\nerr: %3")
        .arg(r.exitCode)
        .arg(r.out, r.err)
        .toStdString();
}

Result RunProgram(const QString& name, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + name, arguments);
    Result result;
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << name.toStdString()
                      << " did not finish: " << arguments.join(QLatin1Char(' ')).toStdString();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        result.json = QJsonDocument::fromJson(lines.constFirst().toUtf8()).object();
    return result;
}

Result Zyl(QStringList arguments)
{
    return RunProgram(QStringLiteral("zyl"), QStringList{QStringLiteral("--no-pause")} + arguments);
}

QJsonObject Record(const Result& r)
{
    return r.json.value(QStringLiteral("record")).toObject();
}

// One number a query on the database gives.
qint64 Scalar(const QString& url, const QString& sql)
{
    host::sql::ScopedDatabase db(url);
    QSqlQuery query(db.Database());
    if (!query.exec(sql) || !query.next()) {
        ADD_FAILURE() << sql.toStdString();
        return -1;
    }
    return query.value(0).toLongLong();
}

class ZylSqlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(m_pg.Valid());
        const Result pg = RunProgram(QStringLiteral("samplegen"),
                                     {QStringLiteral("--count"), QStringLiteral("3000"),
                                      QStringLiteral("--pg"), m_pg.Uri()});
        ASSERT_EQ(pg.exitCode, 0) << Describe(pg);
        m_file = m_folder.filePath(QStringLiteral("sample.db"));
        const Result file = RunProgram(QStringLiteral("samplegen"),
                                       {QStringLiteral("--count"), QStringLiteral("3000"),
                                        QStringLiteral("--output"), m_file});
        ASSERT_EQ(file.exitCode, 0) << Describe(file);
    }

    QTemporaryDir m_folder;
    PgScratchDatabase m_pg{QStringLiteral("zyl_sql")};
    QString m_file;
};

TEST_F(ZylSqlTest, LiveCopiedAndFileSearchesAgreeOnTheMatches)
{
    const QString sqlite = QStringLiteral("sqlite:") + m_file;
    const QStringList keys = {QStringLiteral("--keys"), QStringLiteral("mar[row:0]{Enter}")};
    const Result fromFile = Zyl(QStringList{QStringLiteral("--data"), m_file} + keys);
    ASSERT_EQ(fromFile.exitCode, 0) << Describe(fromFile);
    const int expected = fromFile.json.value(QStringLiteral("count")).toInt();
    EXPECT_EQ(expected,
              Scalar(m_pg.Uri(),
                     QStringLiteral(
                         "SELECT count(*) FROM clientes WHERE upper(\"NMCLIENTE\") LIKE 'MAR%'")));
    ASSERT_GT(expected, 10);

    for (const QString& url : {m_pg.Uri(), sqlite}) {
        const Result copied =
            Zyl(QStringList{QStringLiteral("--data"), url, QStringLiteral("--copy")} + keys);
        ASSERT_EQ(copied.exitCode, 0) << Describe(copied);
        EXPECT_EQ(copied.json.value(QStringLiteral("count")).toInt(), expected) << Describe(copied);
        // In memory, as from the file: the same record at the top of the same index.
        EXPECT_EQ(Record(copied), Record(fromFile)) << Describe(copied);
        EXPECT_EQ(copied.json.value(QStringLiteral("indexName")),
                  fromFile.json.value(QStringLiteral("indexName")));

        // Live, the search compares as the data is spelt unless the host asks otherwise:
        // most of the sample's names are in mixed case.
        const Result live = Zyl(QStringList{QStringLiteral("--data"), url} + keys);
        ASSERT_EQ(live.exitCode, 0) << Describe(live);
        EXPECT_EQ(live.json.value(QStringLiteral("filter")).toString(),
                  QStringLiteral("NMCLIENTE LIKE 'MAR%'"));
        EXPECT_EQ(
            live.json.value(QStringLiteral("count")).toInt(),
            Scalar(m_pg.Uri(),
                   QStringLiteral("SELECT count(*) FROM clientes WHERE \"NMCLIENTE\" LIKE 'MAR%'")))
            << Describe(live);
        EXPECT_EQ(live.json.value(QStringLiteral("indexName")).toString(), QString())
            << Describe(live);
        EXPECT_TRUE(Record(live)
                        .value(QStringLiteral("NMCLIENTE"))
                        .toString()
                        .startsWith(QLatin1String("MAR")))
            << Describe(live);

        const Result folded =
            Zyl(QStringList{QStringLiteral("--data"), url, QStringLiteral("--case-insensitive")} +
                keys);
        ASSERT_EQ(folded.exitCode, 0) << Describe(folded);
        EXPECT_EQ(folded.json.value(QStringLiteral("count")).toInt(), expected) << Describe(folded);
        EXPECT_TRUE(Record(folded)
                        .value(QStringLiteral("NMCLIENTE"))
                        .toString()
                        .toUpper()
                        .startsWith(QLatin1String("MAR")))
            << Describe(folded);
    }
}

TEST_F(ZylSqlTest, LiveSearchOrdersCaseInsensitivelyAndCreatesIndexesOnlyWhenAsked)
{
    const QString indexes =
        QStringLiteral("SELECT count(*) FROM pg_indexes WHERE tablename = 'clientes'");
    EXPECT_EQ(Scalar(m_pg.Uri(), indexes), 1); // the primary key

    const Result ordered = Zyl({QStringLiteral("--data"), m_pg.Uri(), QStringLiteral("--table"),
                                QStringLiteral("clientes"), QStringLiteral("--order"),
                                QStringLiteral("CIDADE,NMCLIENTE"), QStringLiteral("--keys"),
                                QStringLiteral("[row:0]{Enter}")});
    ASSERT_EQ(ordered.exitCode, 0) << Describe(ordered);
    EXPECT_EQ(
        Record(ordered).value(QStringLiteral("CODIGO")).toInteger(),
        Scalar(m_pg.Uri(),
               QStringLiteral("SELECT \"CODIGO\" FROM clientes ORDER BY \"CIDADE\" NULLS FIRST, "
                              "\"NMCLIENTE\" NULLS FIRST, \"CODIGO\" LIMIT 1")))
        << Describe(ordered);
    EXPECT_EQ(Scalar(m_pg.Uri(), indexes), 1); // searching wrote nothing

    // UF is CHAR(2), on which pg_trgm makes no index: left out until the index maker skips it.
    const Result folded =
        Zyl({QStringLiteral("--data"), m_pg.Uri(), QStringLiteral("--case-insensitive"),
             QStringLiteral("--hide"), QStringLiteral("UF"), QStringLiteral("--create-indexes"),
             QStringLiteral("--keys"), QStringLiteral("silva{Esc}")});
    EXPECT_EQ(folded.exitCode, 1) << Describe(folded);
    EXPECT_GT(Scalar(m_pg.Uri(), indexes), 1) << Describe(folded);
}

// The bundled sample's 100,000 customers live: with accents and case set aside "JOAO"
// finds the 2,006 whose name begins with it however spelt, 1,001 without the accent
// option, as in memory; the indexes the option asks for serve the search.
TEST_F(ZylSqlTest, LiveSearchIgnoringAccentsFindsWhatTheSampleFindsInMemory)
{
    const Result sample = RunProgram(
        QStringLiteral("samplegen"),
        {QStringLiteral("--count"), QStringLiteral("100000"), QStringLiteral("--pg"), m_pg.Uri()});
    ASSERT_EQ(sample.exitCode, 0) << Describe(sample);
    const QStringList live = {QStringLiteral("--data"), m_pg.Uri(),
                              QStringLiteral("--case-insensitive"), QStringLiteral("--keys"),
                              QStringLiteral("joao{Enter}")};
    const Result folded = Zyl(
        live + QStringList{QStringLiteral("--ignore-accents"), QStringLiteral("--create-indexes")});
    ASSERT_EQ(folded.exitCode, 0) << Describe(folded);
    EXPECT_EQ(folded.json.value(QStringLiteral("count")).toInt(), 2006) << Describe(folded);
    EXPECT_EQ(folded.json.value(QStringLiteral("filter")).toString(),
              QStringLiteral("NMCLIENTE LIKE 'JOAO%'"));
    EXPECT_TRUE(Record(folded)
                    .value(QStringLiteral("NMCLIENTE"))
                    .toString()
                    .toUpper()
                    .startsWith(QString::fromUtf8("JO")))
        << Describe(folded);
    EXPECT_EQ(Scalar(m_pg.Uri(), QStringLiteral("SELECT count(*) FROM pg_indexes WHERE tablename "
                                                "= 'clientes' AND indexname LIKE '%unaccented%'")),
              25) // five on each visible text field: NMCLIENTE, CIDADE, UF, FONE and CPF
        << Describe(folded);
    const Result today = Zyl(live);
    ASSERT_EQ(today.exitCode, 0) << Describe(today);
    EXPECT_EQ(today.json.value(QStringLiteral("count")).toInt(), 1001) << Describe(today);
}

TEST_F(ZylSqlTest, BadUrlsTablesAndOptionsEndWithTwoAndAClearMessage)
{
    ASSERT_TRUE(m_pg.Exec({QStringLiteral("CREATE TABLE produtos (x INTEGER)")}));
    const struct {
        QStringList arguments;
        QString words;
    } cases[] = {
        {{QStringLiteral("--data"), m_pg.Uri()},
         QStringLiteral("holds 2 tables (clientes, produtos); name one")},
        {{QStringLiteral("--data"), m_pg.Uri(), QStringLiteral("--copy")},
         QStringLiteral("holds 2 tables")},
        {{QStringLiteral("--data"), m_pg.Uri(), QStringLiteral("--table"), QStringLiteral("nada")},
         QStringLiteral("nada")},
        {{QStringLiteral("--data"), m_pg.Uri(), QStringLiteral("--table"),
          QStringLiteral("clientes"), QStringLiteral("--order"), QStringLiteral("NADA")},
         QStringLiteral("NADA")},
        {{QStringLiteral("--data"),
          QStringLiteral("sqlite:") + m_folder.filePath(QStringLiteral("none.db"))},
         QStringLiteral("does not exist")},
        {{QStringLiteral("--data"),
          QStringLiteral("postgresql://postgres:segredo@/ts?host=/nonexistent")},
         QStringLiteral(
             "Cannot open the database \"postgresql://postgres@/ts?host=/nonexistent\"")},
        {{QStringLiteral("--data"), m_file, QStringLiteral("--copy")},
         QStringLiteral("--copy reads a database URL")},
        {{QStringLiteral("--data"), m_file, QStringLiteral("--order"), QStringLiteral("CIDADE")},
         QStringLiteral("--order applies to a database URL searched live")},
        {{QStringLiteral("--data"), m_pg.Uri(), QStringLiteral("--copy"),
          QStringLiteral("--create-indexes")},
         QStringLiteral("--create-indexes applies to a database URL searched live")},
    };
    for (const auto& c : cases) {
        const Result r = Zyl(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << c.arguments.join(QLatin1Char(' ')).toStdString() << "\n"
                                 << Describe(r);
        EXPECT_TRUE(r.err.contains(c.words)) << c.words.toStdString() << "\n" << Describe(r);
        EXPECT_FALSE(r.err.contains(QLatin1String("segredo"))) << Describe(r);
        EXPECT_TRUE(r.out.isEmpty()) << Describe(r);
    }
}

// A live table whose every field is hidden is refused before any window opens, as a
// client dataset is: nothing could be typed, and Enter would confirm a record nobody saw.
TEST_F(ZylSqlTest, ALiveTableWithEveryFieldHiddenIsRefusedBeforeTheDialog)
{
    const QString all = QStringLiteral("CODIGO,NMCLIENTE,CIDADE,UF,ATIVO,LIMITE,FONE,CPF");
    for (const QString& data : {m_pg.Uri(), QStringLiteral("sqlite:") + m_file}) {
        const Result r = Zyl({QStringLiteral("--data"), data, QStringLiteral("--hide"), all,
                              QStringLiteral("--keys"), QStringLiteral("{Enter}")});
        EXPECT_EQ(r.exitCode, 2) << Describe(r);
        EXPECT_TRUE(r.err.contains(QLatin1String("no visible field"))) << Describe(r);
        EXPECT_TRUE(r.out.isEmpty()) << Describe(r);
    }
}

// zyl's copy of a query holding statements that would write (the table dropped, a row
// added), and a URL whose password holds "@" and ":" as they are.
TEST(ZylSqlSecurity, CopiedQueriesNeverWriteAndMessagesNeverShowThePassword)
{
    PgScratchDatabase db(QStringLiteral("zyl_sec"));
    ASSERT_TRUE(db.Valid());
    ASSERT_TRUE(db.Exec({QStringLiteral("CREATE TABLE victim (a INTEGER)"),
                         QStringLiteral("INSERT INTO victim VALUES (1), (2)")}));
    const QString state = QStringLiteral(
        "SELECT (SELECT count(*) FROM pg_tables WHERE tablename = 'victim') * 1000 + "
        "(SELECT coalesce(sum(a), 0) FROM victim)");
    ASSERT_EQ(Scalar(db.Uri(), state), 1003);
    for (const QString& query :
         {QStringLiteral("SELECT 1 AS x; COMMIT; DROP TABLE victim"),
          QStringLiteral("SELECT 1 AS x; COMMIT; INSERT INTO victim VALUES (666); SELECT 1 AS x"),
          QStringLiteral("SELECT 1 AS x; SET SESSION CHARACTERISTICS AS TRANSACTION READ WRITE; "
                         "COMMIT; DELETE FROM victim")}) {
        const Result r = Zyl({QStringLiteral("--data"), db.Uri(), QStringLiteral("--copy"),
                              QStringLiteral("--table"), query, QStringLiteral("--keys"),
                              QStringLiteral("{Esc}")});
        EXPECT_EQ(r.exitCode, 2) << Describe(r);
        EXPECT_TRUE(r.err.contains(QLatin1String("cannot insert multiple commands")))
            << Describe(r);
        EXPECT_EQ(Scalar(db.Uri(), state), 1003) << query.toStdString();
    }

    QString url = db.Uri();
    url.replace(QLatin1String("postgresql://postgres@"),
                QLatin1String("postgresql://pwuser:p@ss:w0rd@"));
    for (const QStringList& more : {QStringList{QStringLiteral("--copy")}, QStringList{}}) {
        const Result r = Zyl(QStringList{QStringLiteral("--data"), url, QStringLiteral("--keys"),
                                         QStringLiteral("{Esc}")} +
                             more);
        EXPECT_EQ(r.exitCode, 2) << Describe(r);
        EXPECT_TRUE(r.err.contains(QStringLiteral("\"postgresql://pwuser…\" is not a valid "
                                                  "PostgreSQL URI")))
            << Describe(r);
        for (const char* piece : {"p@s", "@ss", "ss:", "s:w", ":w0", "w0r", "0rd"})
            EXPECT_FALSE((r.err + r.out).contains(QLatin1String(piece))) << piece << Describe(r);
    }
    // A libpq keyword/value string is no URL to zyl, nor is it shown with its password.
    const Result keywords =
        Zyl({QStringLiteral("--data"), QStringLiteral("host=/tmp dbname=ts password=ZqKvX"),
             QStringLiteral("--keys"), QStringLiteral("{Esc}")});
    EXPECT_EQ(keywords.exitCode, 2) << Describe(keywords);
    EXPECT_TRUE(keywords.err.contains(QLatin1String("dbname=ts"))) << Describe(keywords);
    EXPECT_FALSE(keywords.err.contains(QLatin1String("ZqK"))) << Describe(keywords);
}

QString Json(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// A search column whose name holds a space: the form writes the name in double quotes,
// and the live table, its copy and an SQLite file all find it; a plain name is written
// as it is.
TEST(ZylSqlNames, ASearchColumnNamedWithASpaceIsSearchedQuoted)
{
    PgScratchDatabase db(QStringLiteral("zyl_spaces"));
    ASSERT_TRUE(db.Valid());
    const QStringList table = {
        QStringLiteral("CREATE TABLE clientes (\"CODIGO\" integer PRIMARY KEY, "
                       "\"NM CLIENTE\" varchar(40), \"O \"\"APELIDO\"\"\" text)"),
        QStringLiteral("INSERT INTO clientes VALUES (1, 'JOANA', 'Jo'), (2, 'MARIA', 'Mari'), "
                       "(3, 'MARCOS', NULL), (4, 'ANA', 'Aninha'), (5, 'MARTA', 'Tata')")};
    ASSERT_TRUE(db.Exec(table));
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("clientes.db"));
    ASSERT_TRUE(sql_host_test::ExecSqlite(file, table));
    const QStringList keys = {QStringLiteral("--keys"), QStringLiteral("mar[row:0]{Enter}")};

    // Live: ordered by the primary key.
    const Result live = Zyl(QStringList{QStringLiteral("--data"), db.Uri()} + keys);
    ASSERT_EQ(live.exitCode, 0) << Describe(live);
    EXPECT_EQ(live.json.value(QStringLiteral("filter")).toString(),
              QStringLiteral("\"NM CLIENTE\" LIKE 'MAR%'"));
    EXPECT_TRUE(live.json.value(QStringLiteral("filtered")).toBool()) << Describe(live);
    EXPECT_EQ(live.json.value(QStringLiteral("count")).toInt(), 3) << Describe(live);
    EXPECT_EQ(Record(live).value(QStringLiteral("NM CLIENTE")).toString(), QStringLiteral("MARIA"))
        << Describe(live);

    // In memory, from the server and from a file: ordered by the search column, with a
    // base filter on the quoted name that holds quotes.
    for (const QStringList& source :
         {QStringList{QStringLiteral("--data"), db.Uri(), QStringLiteral("--copy")},
          QStringList{QStringLiteral("--data"), file}}) {
        const Result copied = Zyl(source +
                                  QStringList{QStringLiteral("--filter"),
                                              QStringLiteral("\"o \"\"apelido\"\"\" <> 'Tata'"),
                                              QStringLiteral("--filtered")} +
                                  keys);
        ASSERT_EQ(copied.exitCode, 0) << Describe(copied);
        EXPECT_EQ(
            copied.json.value(QStringLiteral("filter")).toString(),
            QStringLiteral("\"o \"\"apelido\"\"\" <> 'Tata' AND UPPER(\"NM CLIENTE\") LIKE 'MAR%'"))
            << Describe(copied);
        EXPECT_EQ(copied.json.value(QStringLiteral("count")).toInt(), 1) << Describe(copied);
        EXPECT_EQ(Json(Record(copied)),
                  QStringLiteral(
                      "{\"CODIGO\":2,\"NM CLIENTE\":\"MARIA\",\"O \\\"APELIDO\\\"\":\"Mari\"}"))
            << Describe(copied);
    }
}

// Tables outside the search path are named SCHEMA.TABLE (each part quoted when it must
// keep its case or holds a dot): searched live, copied and indexed; the list offered when
// none is named holds every table the role may read, qualified outside its first schema;
// the system's catalogues, which the search path always finds, are refused.
TEST(ZylSqlNames, SchemaQualifiedTablesAreSearchedAndCataloguesRefused)
{
    PgScratchDatabase db(QStringLiteral("zyl_schemas"));
    ASSERT_TRUE(db.Valid());
    const QString role = QStringLiteral("caixa_%1").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(db.Exec(
        {QStringLiteral("CREATE SCHEMA loja"), QStringLiteral("CREATE SCHEMA \"Loja\""),
         QStringLiteral("CREATE SCHEMA fechado"),
         QStringLiteral("CREATE TABLE clientes (codigo integer PRIMARY KEY, nmcliente text)"),
         QStringLiteral("INSERT INTO clientes VALUES (1, 'PUBLICO')"),
         QStringLiteral("CREATE TABLE loja.clientes (codigo integer PRIMARY KEY, nmcliente text)"),
         QStringLiteral("INSERT INTO loja.clientes VALUES (1, 'JOANA'), (2, 'MARIA')"),
         QStringLiteral("CREATE TABLE loja.segredo (x integer)"),
         QStringLiteral("CREATE TABLE \"Loja\".\"Clientes\" (\"CODIGO\" integer PRIMARY KEY, "
                        "\"NMCLIENTE\" text)"),
         QStringLiteral("INSERT INTO \"Loja\".\"Clientes\" VALUES (7, 'MARTA')"),
         QStringLiteral("CREATE TABLE fechado.t (x integer)"),
         QStringLiteral("DROP ROLE IF EXISTS %1").arg(role),
         QStringLiteral("CREATE ROLE %1 LOGIN").arg(role),
         QStringLiteral("GRANT USAGE ON SCHEMA loja, \"Loja\" TO %1").arg(role),
         QStringLiteral("GRANT SELECT ON clientes, loja.clientes, \"Loja\".\"Clientes\", "
                        "fechado.t TO %1")
             .arg(role)}));
    const QString uri = db.Uri();
    const QStringList keys = {QStringLiteral("--keys"), QStringLiteral("mar[row:0]{Enter}")};
    for (const QStringList& options :
         {QStringList{QStringLiteral("--table"), QStringLiteral("loja.clientes")},
          QStringList{QStringLiteral("--table"), QStringLiteral("loja.clientes"),
                      QStringLiteral("--order"), QStringLiteral("nmcliente"),
                      QStringLiteral("--create-indexes")},
          QStringList{QStringLiteral("--table"), QStringLiteral("\"loja\".clientes"),
                      QStringLiteral("--copy")}}) {
        const Result r = Zyl(QStringList{QStringLiteral("--data"), uri} + options + keys);
        ASSERT_EQ(r.exitCode, 0) << Describe(r);
        EXPECT_EQ(Json(Record(r)), QStringLiteral("{\"codigo\":2,\"nmcliente\":\"MARIA\"}"))
            << Describe(r);
    }
    EXPECT_EQ(Scalar(uri, QStringLiteral("SELECT count(*) FROM pg_indexes WHERE schemaname = "
                                         "'loja' AND indexname LIKE 'ts_%'")),
              5);
    const Result quoted = Zyl({QStringLiteral("--data"), uri, QStringLiteral("--table"),
                               QStringLiteral("\"Loja\".\"Clientes\""), QStringLiteral("--keys"),
                               QStringLiteral("mar[row:0]{Enter}")});
    ASSERT_EQ(quoted.exitCode, 0) << Describe(quoted);
    EXPECT_EQ(Record(quoted).value(QStringLiteral("NMCLIENTE")).toString(),
              QStringLiteral("MARTA"));

    // The tables the role may read: not loja.segredo (no SELECT), not fechado.t (no
    // USAGE on its schema), no catalogue.
    QString asRole = uri;
    asRole.replace(QLatin1String("postgresql://postgres@"),
                   QStringLiteral("postgresql://%1@").arg(role));
    ASSERT_NE(asRole, uri);
    const Result offered = Zyl({QStringLiteral("--data"), asRole});
    EXPECT_EQ(offered.exitCode, 2) << Describe(offered);
    EXPECT_TRUE(offered.err.contains(
        QLatin1String("holds 3 tables (clientes, Loja.Clientes, loja.clientes); name one")))
        << Describe(offered);

    for (const QStringList& options :
         {QStringList{QStringLiteral("--table"), QStringLiteral("pg_class")},
          QStringList{QStringLiteral("--table"), QStringLiteral("pg_class"),
                      QStringLiteral("--copy")},
          QStringList{QStringLiteral("--table"), QStringLiteral("information_schema.tables")}}) {
        const Result r = Zyl(QStringList{QStringLiteral("--data"), uri} + options + keys);
        EXPECT_EQ(r.exitCode, 2) << Describe(r);
        EXPECT_TRUE(r.err.contains(QLatin1String("it is a system catalogue"))) << Describe(r);
        EXPECT_TRUE(r.out.isEmpty()) << Describe(r);
    }
    const Result missing =
        Zyl({QStringLiteral("--data"), uri, QStringLiteral("--table"), QStringLiteral("loja.nada"),
             QStringLiteral("--keys"), QStringLiteral("{Esc}")});
    EXPECT_EQ(missing.exitCode, 2) << Describe(missing);
    EXPECT_TRUE(missing.err.contains(QLatin1String("no such table in schema \"loja\"")))
        << Describe(missing);

    EXPECT_TRUE(db.Exec(
        {QStringLiteral("DROP OWNED BY %1").arg(role), QStringLiteral("DROP ROLE %1").arg(role)}));
}

// A view has neither a key nor a row identity: it is paged by its fields and the rank of
// identical rows, searched live, ordered by any field, its identical rows each shown.
TEST(ZylSqlNames, AViewIsSearchedLiveWithItsIdenticalRows)
{
    PgScratchDatabase db(QStringLiteral("zyl_views"));
    ASSERT_TRUE(db.Valid());
    ASSERT_TRUE(db.Exec(
        {QStringLiteral("CREATE TABLE tipos (codigo integer PRIMARY KEY, nmtipo text, "
                        "grupo text)"),
         QStringLiteral("INSERT INTO tipos SELECT i, CASE WHEN i % 3 = 0 THEN 'MARMORE' ELSE "
                        "'TIPO ' || (i % 40) END, 'G' || (i % 2) FROM generate_series(1, 300) i"),
         QStringLiteral("CREATE VIEW v_tipos AS SELECT nmtipo, grupo FROM tipos")}));
    const struct {
        QStringList options;
        QString keys;
        int count;
        QString record;
    } cases[] = {
        {{},
         QStringLiteral("mar[row:2]{Enter}"),
         100,
         QStringLiteral("{\"grupo\":\"G0\",\"nmtipo\":\"MARMORE\"}")},
        {{QStringLiteral("--order"), QStringLiteral("grupo,nmtipo"), QStringLiteral("--filter"),
          QStringLiteral("grupo > 'G0'"), QStringLiteral("--filtered")},
         QStringLiteral("mar[row:1]{Enter}"),
         50,
         QStringLiteral("{\"grupo\":\"G1\",\"nmtipo\":\"MARMORE\"}")},
        // In memory: ties keep the order the server gave the rows in.
        {{QStringLiteral("--copy")},
         QStringLiteral("mar[row:2]{Enter}"),
         100,
         QStringLiteral("{\"grupo\":\"G1\",\"nmtipo\":\"MARMORE\"}")},
    };
    for (const auto& c : cases) {
        const Result r = Zyl(QStringList{QStringLiteral("--data"), db.Uri(),
                                         QStringLiteral("--table"), QStringLiteral("v_tipos")} +
                             c.options + QStringList{QStringLiteral("--keys"), c.keys});
        ASSERT_EQ(r.exitCode, 0) << Describe(r);
        EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), c.count) << Describe(r);
        EXPECT_EQ(Json(Record(r)), c.record) << Describe(r);
    }
    const Result indexed = Zyl({QStringLiteral("--data"), db.Uri(), QStringLiteral("--table"),
                                QStringLiteral("v_tipos"), QStringLiteral("--create-indexes"),
                                QStringLiteral("--keys"), QStringLiteral("{Esc}")});
    EXPECT_EQ(indexed.exitCode, 2) << Describe(indexed);
    EXPECT_TRUE(indexed.err.contains(
        QLatin1String("it is a view, which holds no index; create them on the tables it reads")))
        << Describe(indexed);
}

} // namespace
