// zyl as a person or a benchmark runs it: the built program, offscreen, without the
// one-second pauses, with a keys script over a small CSV made here.
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

struct Result {
    int exitCode = -1;
    QJsonObject json;
    QString out;
    QString err;
};

class ZylTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        QFile csv(m_folder.filePath(QStringLiteral("clientes.csv")));
        ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
        csv.write("CODIGO,NMCLIENTE,CIDADE\n"
                  "1,Ana Souza,Recife\n"
                  "2,Bruno Lima,Natal\n"
                  "3,Carla Dias,Recife\n"
                  "4,Carlos Reis,Bel\xc3\xa9m\n"
                  "5,Daniel Alves,Natal\n");
        m_csv = csv.fileName();
    }

    Result Run(QStringList arguments, bool withData = true)
    {
        if (withData) {
            arguments = QStringList{QStringLiteral("--data"), m_csv} + arguments;
        }
        arguments.prepend(QStringLiteral("--no-pause"));
        QProcess zyl;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           asan.isEmpty() ? QStringLiteral("detect_leaks=0")
                                          : asan + QStringLiteral(":detect_leaks=0"));
        zyl.setProcessEnvironment(environment);
        zyl.setWorkingDirectory(m_folder.path());
        zyl.start(QCoreApplication::applicationDirPath() + QStringLiteral("/zyl"), arguments);
        Result result;
        if (!zyl.waitForFinished(120000)) {
            zyl.kill();
            zyl.waitForFinished();
            ADD_FAILURE() << "zyl did not finish: "
                          << arguments.join(QLatin1Char(' ')).toStdString();
            return result;
        }
        result.exitCode = zyl.exitStatus() == QProcess::NormalExit ? zyl.exitCode() : -1;
        result.out = QString::fromUtf8(zyl.readAllStandardOutput());
        result.err = QString::fromUtf8(zyl.readAllStandardError());
        const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (!lines.isEmpty()) {
            result.json = QJsonDocument::fromJson(lines.constFirst().toUtf8()).object();
        }
        return result;
    }

    QString Name(const Result& r) const
    {
        return r.json.value(QStringLiteral("record"))
            .toObject()
            .value(QStringLiteral("NMCLIENTE"))
            .toString();
    }

    QTemporaryDir m_folder;
    QString m_csv;
};

std::string Describe(const Result& r)
{
    return ("exit " + QString::number(r.exitCode) + "\nstdout: " + r.out + "\nstderr: " + r.err)
        .toStdString();
}

} // namespace

TEST_F(ZylTest, TypingAndEnterConfirmsTheFirstMatch)
{
    const Result r = Run({QStringLiteral("--keys"), QStringLiteral("ca{Enter}")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 1) << Describe(r);
    EXPECT_TRUE(r.json.value(QStringLiteral("confirmed")).toBool());
    EXPECT_EQ(r.json.value(QStringLiteral("search")).toString(), QStringLiteral("Ca"));
    EXPECT_TRUE(
        r.json.value(QStringLiteral("filter")).toString().contains(QStringLiteral("LIKE 'CA%'")))
        << Describe(r);
    EXPECT_TRUE(r.json.value(QStringLiteral("filtered")).toBool());
    EXPECT_TRUE(r.json.value(QStringLiteral("indexName")).isString());
    EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), 2);
    EXPECT_EQ(Name(r), QStringLiteral("Carla Dias"));
    const QJsonObject record = r.json.value(QStringLiteral("record")).toObject();
    EXPECT_EQ(record.value(QStringLiteral("CODIGO")).toInt(), 3);
    EXPECT_EQ(record.value(QStringLiteral("CIDADE")).toString(), QStringLiteral("Recife"));
}

TEST_F(ZylTest, TapsWheelAndDoubleTapChooseRows)
{
    Result r = Run({QStringLiteral("--keys"), QStringLiteral("[row:1][sbtEnter]")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Name(r), QStringLiteral("Bruno Lima"));

    // One wheel message towards the user over the focused grid: one row down.
    r = Run({QStringLiteral("--keys"), QStringLiteral("[row:0][wheel:-120]{Enter}")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Name(r), QStringLiteral("Bruno Lima"));

    // The same as the very first step: the grid has the focus as the window opens.
    r = Run({QStringLiteral("--keys"), QStringLiteral("[wheel:-120]{Enter}")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Name(r), QStringLiteral("Bruno Lima"));

    r = Run({QStringLiteral("--keys"), QStringLiteral("[dbl:3]")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Name(r), QStringLiteral("Carlos Reis"));
    EXPECT_EQ(r.json.value(QStringLiteral("search")).toString(), QString());
}

TEST_F(ZylTest, CancelGivesBackTheFilterAndPrintsNoRecord)
{
    Result r = Run({QStringLiteral("--filter"), QStringLiteral("CIDADE = 'Natal'"),
                    QStringLiteral("--keys"), QStringLiteral("b{Esc}")});
    ASSERT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_FALSE(r.json.value(QStringLiteral("confirmed")).toBool());
    EXPECT_EQ(r.json.value(QStringLiteral("search")).toString(), QStringLiteral("B"));
    EXPECT_EQ(r.json.value(QStringLiteral("filter")).toString(),
              QStringLiteral("CIDADE = 'Natal'"));
    EXPECT_TRUE(r.json.value(QStringLiteral("filtered")).toBool()); // as the last search left it
    EXPECT_TRUE(r.json.value(QStringLiteral("record")).isNull());

    r = Run({QStringLiteral("--filter"), QStringLiteral("CIDADE = 'Natal'"),
             QStringLiteral("--filtered"), QStringLiteral("--limpa-filtro"), QStringLiteral("S"),
             QStringLiteral("--keys"), QStringLiteral("[sbtSair]")});
    ASSERT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_EQ(r.json.value(QStringLiteral("filter")).toString(), QString());
    EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), 5);
}

TEST_F(ZylTest, ScreenshotAndFiscalMenu)
{
    const QString shot = m_folder.filePath(QStringLiteral("shot.png"));
    Result r = Run({QStringLiteral("--keys"),
                    QStringLiteral("d<shot:shot.png>{F1}[btnLeituraX][btnFechar]{Esc}")});
    ASSERT_EQ(r.exitCode, 1) << Describe(r);
    const QImage image(shot);
    EXPECT_EQ(image.size(), QSize(800, 600));

    // Without the fiscal menu, F1 does nothing and the menu's buttons are not there.
    r = Run({QStringLiteral("--sem-menu-fiscal"), QStringLiteral("--keys"),
             QStringLiteral("{F1}[btnFechar]")});
    EXPECT_EQ(r.exitCode, 2) << Describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no component named \"btnFechar\""))) << Describe(r);
}

TEST_F(ZylTest, TableOfASqliteDatabase)
{
    const QString path = m_folder.filePath(QStringLiteral("loja.db"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE PRODUTOS (X INTEGER);"
                           "CREATE TABLE Clientes (CODIGO INTEGER, NMCLIENTE VARCHAR(40));"
                           "INSERT INTO Clientes VALUES (7, 'Mariana Costa'), (8, 'Marcos Silva');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    Result r =
        Run({QStringLiteral("--data"), path, QStringLiteral("--table"), QStringLiteral("clientes"),
             QStringLiteral("--keys"), QStringLiteral("marc{Enter}")},
            false);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Name(r), QStringLiteral("Marcos Silva"));
    r = Run({QStringLiteral("--data"), path, QStringLiteral("--table"), QStringLiteral("nope")},
            false);
    EXPECT_EQ(r.exitCode, 2) << Describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("there is no table \"nope\""))) << Describe(r);
}

// The bundled sample, with and without accents set aside: "JOAO" typed at the till finds
// "João" and "JOÃO" too, and the screen's "ç" finds the surname however it is written.
TEST_F(ZylTest, IgnoreAccentsFindsEverySpellingInTheBundledSample)
{
    const QString sample = QCoreApplication::applicationDirPath() + QStringLiteral("/sample.db");
    ASSERT_TRUE(QFile::exists(sample)) << sample.toStdString();
    const auto count = [](const Result& r) {
        return r.json.value(QStringLiteral("count")).toInt();
    };
    const QStringList joao = {QStringLiteral("--keys"), QStringLiteral("joao{Enter}")};
    const Result today = Run(joao, false);
    ASSERT_EQ(today.exitCode, 0) << Describe(today);
    EXPECT_EQ(count(today), 1001) << Describe(today);
    const Result folded = Run(QStringList{QStringLiteral("--ignore-accents")} + joao, false);
    ASSERT_EQ(folded.exitCode, 0) << Describe(folded);
    EXPECT_EQ(count(folded), 2006) << Describe(folded);
    // The filter the form writes is the same; what comes back is the stored record.
    EXPECT_EQ(folded.json.value(QStringLiteral("filter")).toString(),
              QStringLiteral("UPPER(NMCLIENTE) LIKE 'JOAO%'"));
    EXPECT_EQ(folded.json.value(QStringLiteral("filter")),
              today.json.value(QStringLiteral("filter")));
    EXPECT_TRUE(Name(folded).startsWith(QString::fromUtf8("João")) ||
                Name(folded).startsWith(QString::fromUtf8("JOÃO")) ||
                Name(folded).toUpper().startsWith(QStringLiteral("JOAO")))
        << Describe(folded);

    // Every name holding the surname in either case, as the file has it.
    sqlite3* db = nullptr;
    ASSERT_EQ(
        sqlite3_open_v2(QFile::encodeName(sample).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT sum(NMCLIENTE GLOB '*Gonçalves*'), "
                                 "sum(NMCLIENTE GLOB '*Gonçalves*' OR NMCLIENTE GLOB '*GONÇALVES*' "
                                 "OR upper(NMCLIENTE) GLOB '*GONCALVES*') FROM clientes",
                                 -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    const int lowerOnly = sqlite3_column_int(statement, 0);
    const int anyCase = sqlite3_column_int(statement, 1);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    ASSERT_GT(anyCase, lowerOnly);
    const QStringList cedilla = {QStringLiteral("--keys"), QString::fromUtf8("%gonç{Enter}")};
    const Result plain = Run(cedilla, false);
    ASSERT_EQ(plain.exitCode, 0) << Describe(plain);
    EXPECT_EQ(plain.json.value(QStringLiteral("filter")).toString(),
              QString::fromUtf8("UPPER(NMCLIENTE) LIKE '%GONç%'"));
    EXPECT_EQ(count(plain), lowerOnly) << Describe(plain); // UPPER leaves "ç" as it is
    const Result cedillaFolded =
        Run(QStringList{QStringLiteral("--ignore-accents")} + cedilla, false);
    ASSERT_EQ(cedillaFolded.exitCode, 0) << Describe(cedillaFolded);
    EXPECT_EQ(count(cedillaFolded), anyCase) << Describe(cedillaFolded);
}

TEST_F(ZylTest, ScriptThatLeavesTheDialogOpenEndsWithThree)
{
    const Result r = Run({QStringLiteral("--keys"), QStringLiteral("ca")});
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("still open"))) << Describe(r);
    EXPECT_TRUE(r.out.isEmpty()) << Describe(r);
}

TEST_F(ZylTest, BadInputEndsWithTwoAndAClearMessage)
{
    const struct {
        QStringList arguments;
        bool withData;
        const char* words;
    } cases[] = {
        {{QStringLiteral("--keys"), QStringLiteral("ab{Entr}")},
         true,
         "keys script, character 3: unknown key name"},
        {{QStringLiteral("--bogus")}, true, "bogus"},
        {{QStringLiteral("--data"), QStringLiteral("missing.csv")}, false, "missing.csv"},
        {{QStringLiteral("--hide"), QStringLiteral("NOPE")}, true, "no field \"NOPE\""},
        {{QStringLiteral("--filter"), QStringLiteral("CIDADE = "), QStringLiteral("--filtered")},
         true,
         "CIDADE"},
        {{QStringLiteral("--table"), QStringLiteral("x")}, true, "CSV"},
        {{QStringLiteral("--keys"), QStringLiteral("[row:9]")}, true, "character 1 ([row:9])"},
        {{QStringLiteral("--keys"), QStringLiteral("[nada]")}, true, "no component named \"nada\""},
        // Searched fields are checked as the dialog opens.
        {{QStringLiteral("--search-fields"), QStringLiteral("CIDADE, FOO"),
          QStringLiteral("--keys"), QStringLiteral("{Esc}")},
         true,
         "Search fields: the dataset has no field \"FOO\""},
        {{QStringLiteral("--hide"), QStringLiteral("CIDADE"), QStringLiteral("--words"),
          QStringLiteral("--search-fields"), QStringLiteral("CIDADE"), QStringLiteral("--keys"),
          QStringLiteral("{Esc}")},
         true,
         "Search fields: the field \"CIDADE\" is hidden"},
        {{QStringLiteral("--search-fields"), QStringLiteral("CIDADE,,")}, true, "empty field name"},
        // Every field hidden: initialisation fails and the exception reaches zyl.
        {{QStringLiteral("--hide"), QStringLiteral("CODIGO,NMCLIENTE,CIDADE"),
          QStringLiteral("--keys"), QStringLiteral("{Esc}")},
         true,
         "the search failed"},
    };
    for (const auto& c : cases) {
        const Result r = Run(c.arguments, c.withData);
        EXPECT_EQ(r.exitCode, 2) << c.arguments.join(QLatin1Char(' ')).toStdString() << "\n"
                                 << Describe(r);
        EXPECT_TRUE(r.err.contains(QLatin1String(c.words))) << c.words << "\n" << Describe(r);
        EXPECT_TRUE(r.out.isEmpty()) << Describe(r);
    }
}

TEST_F(ZylTest, HelpNamesTheSearchOptions)
{
    const Result r = Run({QStringLiteral("--help")}, false);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    for (const char* flag : {"--search-fields <FIELD,...>", "--words", "--exact-first"}) {
        EXPECT_TRUE(r.out.contains(QLatin1String(flag))) << flag << "\n" << Describe(r);
    }
}

TEST_F(ZylTest, SearchFieldsAndExactFirstOnAFile)
{
    // CODIGO 1 to 5: with the code searched beside the name, "1" finds only the first
    // customer; the names hold no digit.
    Result r = Run({QStringLiteral("--search-fields"), QStringLiteral("CODIGO,CIDADE"),
                    QStringLiteral("--keys"), QStringLiteral("rec{Enter}")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.json.value(QStringLiteral("filter")).toString(),
              QStringLiteral("(UPPER(NMCLIENTE) LIKE 'REC%' OR UPPER(CODIGO) LIKE 'REC%' OR "
                             "UPPER(CIDADE) LIKE 'REC%')"));
    EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), 2) << Describe(r);
    EXPECT_EQ(Name(r), QStringLiteral("Ana Souza"));
    // The exact value first: "Carla" begins two names; "Carlos Reis" is typed whole.
    r = Run({QStringLiteral("--exact-first"), QStringLiteral("--keys"),
             QStringLiteral("carlos{Space}reis{Enter}")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Name(r), QStringLiteral("Carlos Reis"));
    r = Run(
        {QStringLiteral("--exact-first"), QStringLiteral("--keys"), QStringLiteral("carl{Enter}")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(Name(r), QStringLiteral("Carla Dias")); // nothing equal: the first
}

// The same on a live table: the code searched beside the name, its column's title
// tapped first; the code scanned lands on its own product, not on the longer one.
TEST_F(ZylTest, ExactFirstOnALiveTable)
{
    const QString path = m_folder.filePath(QStringLiteral("produtos.db"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE produtos (CODIGO INTEGER PRIMARY KEY, NMPRODUTO "
                           "VARCHAR(30), EAN VARCHAR(13));"
                           "INSERT INTO produtos VALUES (1, 'ARROZ TIPO 1', '78910001001'), "
                           "(2, 'ARROZ INTEGRAL', '7891000100'), (3, 'FEIJAO', '7896004000022');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const QStringList live{
        QStringLiteral("--data"),          QStringLiteral("sqlite:") + path,
        QStringLiteral("--search-fields"), QStringLiteral("EAN"),
        QStringLiteral("--keys"),          QStringLiteral("[title:0]7891000100{Enter}")};
    Result r = Run(live, false);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.json.value(QStringLiteral("filter")).toString(),
              QStringLiteral("(CODIGO LIKE '7891000100%' OR EAN LIKE '7891000100%')"));
    EXPECT_EQ(r.json.value(QStringLiteral("record")).toObject().value(QStringLiteral("CODIGO")),
              1); // the first by code
    r = Run(live + QStringList{QStringLiteral("--exact-first")}, false);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.json.value(QStringLiteral("record")).toObject().value(QStringLiteral("CODIGO")), 2)
        << Describe(r);
}

// The bundled sample with the code, the phone and the tax id searched beside the name,
// words in any order: one customer found by each, and by surname then first name.
TEST_F(ZylTest, TheBundledSampleFindsACustomerByPhoneTaxIdOrSurnameAndFirstName)
{
    const QString sample = QCoreApplication::applicationDirPath() + QStringLiteral("/sample.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(
        sqlite3_open_v2(QFile::encodeName(sample).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
    const auto text = [db](const QString& sql) {
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr),
                  SQLITE_OK)
            << sql.toStdString();
        QString value;
        if (sqlite3_step(statement) == SQLITE_ROW) {
            value =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        }
        sqlite3_finalize(statement);
        return value;
    };
    sqlite3_exec(db, "PRAGMA case_sensitive_like = ON", nullptr, nullptr, nullptr);
    const QString code = QStringLiteral("4242");
    const QString where = QStringLiteral(" FROM clientes WHERE CODIGO = ") + code;
    const QString phone = text(QStringLiteral("SELECT FONE") + where);
    const QString taxId = text(QStringLiteral("SELECT CPF") + where);
    const QString name = text(QStringLiteral("SELECT NMCLIENTE") + where);
    ASSERT_GE(phone.size(), 10);
    ASSERT_EQ(taxId.size(), 11);
    // A surname of plain letters after the first name, and the first name's start.
    const QStringList words = name.split(QLatin1Char(' '));
    QString surname;
    for (qsizetype i = words.size() - 1; i > 0 && surname.isEmpty(); --i) {
        const QString& word = words.at(i);
        if (word.size() > 3 && word.at(0).isUpper() &&
            QRegularExpression(QStringLiteral("^[A-Za-z]+$")).match(word).hasMatch()) {
            surname = word;
        }
    }
    ASSERT_FALSE(surname.isEmpty()) << name.toStdString();
    const QString first = words.constFirst().left(3);

    // What the search must find, counted by SQLite on the same file: each word begins
    // one of the four fields or a word of one.
    const auto expected = [&](const QStringList& typed) {
        QStringList groups;
        for (const QString& word : typed) {
            QStringList terms;
            for (const char* field : {"upper(NMCLIENTE)", "CAST(CODIGO AS TEXT)", "FONE", "CPF"}) {
                terms << QStringLiteral("%1 LIKE '%2%' OR %1 LIKE '% %2%'")
                             .arg(QLatin1String(field), word.toUpper());
            }
            groups << u'(' + terms.join(QStringLiteral(" OR ")) + u')';
        }
        return text(QStringLiteral("SELECT count(*) FROM clientes WHERE ") +
                    groups.join(QStringLiteral(" AND ")))
            .toInt();
    };
    const QStringList options{QStringLiteral("--words"), QStringLiteral("--search-fields"),
                              QStringLiteral("CODIGO,FONE,CPF")};
    for (const QString& number : {phone, taxId}) {
        ASSERT_EQ(expected({number}), 1) << number.toStdString();
        const Result r =
            Run(options + QStringList{QStringLiteral("--keys"), number + QStringLiteral("{Enter}")},
                false);
        ASSERT_EQ(r.exitCode, 0) << Describe(r);
        EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), 1) << Describe(r);
        EXPECT_EQ(r.json.value(QStringLiteral("record")).toObject().value(QStringLiteral("CODIGO")),
                  code.toInt())
            << Describe(r);
        EXPECT_TRUE(r.json.value(QStringLiteral("filter"))
                        .toString()
                        .contains(QStringLiteral("UPPER(CPF) LIKE '% ") + number + u'%'))
            << Describe(r);
    }

    const int named = expected({surname, first});
    sqlite3_close(db);
    ASSERT_GE(named, 1);
    const Result r = Run(options + QStringList{QStringLiteral("--keys"),
                                               surname.toLower() + QStringLiteral("{Space}") +
                                                   first.toLower() + QStringLiteral("{Enter}")},
                         false);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), named) << Describe(r);
    const QString found = Name(r).toUpper();
    EXPECT_TRUE(found.startsWith(surname.toUpper()) || found.contains(u' ' + surname.toUpper()))
        << Describe(r);
    EXPECT_TRUE(found.startsWith(first.toUpper()) || found.contains(u' ' + first.toUpper()))
        << Describe(r);
    // Contains mode with the exact value first: the phone typed whole lands on it.
    const Result exact =
        Run(options + QStringList{QStringLiteral("--exact-first"), QStringLiteral("--keys"),
                                  QStringLiteral("%") + phone + QStringLiteral("{Enter}")},
            false);
    ASSERT_EQ(exact.exitCode, 0) << Describe(exact);
    EXPECT_EQ(exact.json.value(QStringLiteral("record")).toObject().value(QStringLiteral("CODIGO")),
              code.toInt())
        << Describe(exact);
}
