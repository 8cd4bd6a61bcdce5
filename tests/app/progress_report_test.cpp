// The run time's long steps report to the application's progress handler: loading a
// SQLite file and a CSV file, copying a table (LoadFromDatabase) and creating search
// indexes. Each step starts with a report of nothing done, ends with one report that
// says it finished and how many it did, and reports nothing when no handler is set.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <touchsearch/application.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/sql_dataset.h>
#include <vector>

namespace {

using Progress = host::Application::Progress;

// Collects the reports of one test and removes the handler afterwards.
class Reports {
public:
    Reports()
    {
        host::Application::Instance().SetProgressHandler(
            [this](const Progress& report) { all.push_back(report); });
    }
    ~Reports() { host::Application::Instance().SetProgressHandler({}); }

    // The reports of the step whose text contains the words, in order.
    std::vector<Progress> Of(const QString& words) const
    {
        std::vector<Progress> step;
        for (const Progress& report : all) {
            if (report.step.contains(words)) {
                step.push_back(report);
            }
        }
        return step;
    }

    std::vector<Progress> all;
};

void ExpectOneWholeStep(const std::vector<Progress>& step, qint64 done, qint64 total)
{
    ASSERT_GE(step.size(), 2u);
    EXPECT_EQ(step.front().done, 0);
    EXPECT_FALSE(step.front().finished);
    EXPECT_TRUE(step.back().finished);
    EXPECT_EQ(step.back().done, done);
    EXPECT_EQ(step.back().total, total);
    for (size_t i = 0; i + 1 < step.size(); ++i) {
        EXPECT_FALSE(step[i].finished) << i;
        EXPECT_LE(step[i].done, step[i + 1].done) << i;
    }
}

QString MakeSqliteFile(const QTemporaryDir& dir, int records)
{
    const QString path = dir.filePath(QStringLiteral("clientes.db"));
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    std::string sql = "CREATE TABLE clientes (CODIGO INTEGER, NMCLIENTE VARCHAR(40));"
                      "BEGIN;";
    for (int i = 1; i <= records; ++i) {
        sql += "INSERT INTO clientes VALUES (" + std::to_string(i) + ", 'CLIENTE " +
               std::to_string(i) + "');";
    }
    sql += "COMMIT;";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    return path;
}

} // namespace

TEST(ProgressReports, LoadingCopyingAndIndexingReportStartAndEnd)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = MakeSqliteFile(dir, 3000);
    QFile csv(dir.filePath(QStringLiteral("clientes.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("CODIGO,NMCLIENTE\n");
    for (int i = 1; i <= 1500; ++i) {
        csv.write(QByteArray::number(i) + ",CLIENTE " + QByteArray::number(i) + "\n");
    }
    csv.close();

    Reports reports;
    host::ClientDataset fromFile;
    fromFile.LoadFromFile(file);
    ExpectOneWholeStep(reports.Of(QStringLiteral("Loading \"") + file), 3000, -1);

    host::ClientDataset fromCsv;
    fromCsv.LoadFromFile(csv.fileName());
    ExpectOneWholeStep(reports.Of(QStringLiteral("Loading \"") + csv.fileName()), 1500, 1500);

    host::ClientDataset copy;
    copy.LoadFromDatabase(QStringLiteral("sqlite:") + file, QStringLiteral("clientes"));
    ExpectOneWholeStep(reports.Of(QStringLiteral("Copying")), 3000, -1);

    const QStringList statements = host::SqlDataset::CreateSearchIndexes(
        QStringLiteral("sqlite:") + file, QStringLiteral("clientes"));
    ExpectOneWholeStep(reports.Of(QStringLiteral("Creating search indexes on \"clientes\"")),
                       statements.size(), statements.size());
}

TEST(ProgressReports, AStepThatFailsStillEndsWithWhereItGot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = MakeSqliteFile(dir, 3000);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    // A text where the declared type asks for integers: the load refuses record 2000.
    ASSERT_EQ(sqlite3_exec(db, "UPDATE clientes SET CODIGO = 'abc' WHERE CODIGO = 2000", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    Reports reports;
    host::ClientDataset dataSet;
    EXPECT_THROW(dataSet.LoadFromFile(file), host::DatasetError);
    const std::vector<Progress> step = reports.Of(QStringLiteral("Loading"));
    ASSERT_GE(step.size(), 2u);
    EXPECT_EQ(step.front().done, 0);
    EXPECT_TRUE(step.back().finished);
    EXPECT_EQ(step.back().done, 2000);
}
