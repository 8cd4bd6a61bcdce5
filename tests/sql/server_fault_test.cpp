// The server stops or restarts while a search is open: the key that meets it says
// what happened, the dialog stays usable, the next key after the server is back
// works, and cancel still leaves the base filter text in the dataset. On a cluster of
// the suite's own, so stopping it disturbs no other suite.
#include "tests/common/error_of.h"
#include "tests/form/form_test_support.h"
#include "tests/sql/own_pg_cluster.h"
#include "tests/sql/sql_fixture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <touchsearch/dataset_error.h>

namespace {

const std::vector<sql_test::ColumnShape> kColumns = {
    {"CODIGO", "INTEGER PRIMARY KEY", "integer PRIMARY KEY"},
    {"NMCLIENTE", "VARCHAR(40)", "varchar(40)"},
};

// Starts the server again however a test ends.
struct RunningAtEnd {
    ~RunningAtEnd()
    {
        sql_test::PgCluster& cluster = sql_test::PgCluster::Shared();
        if (!cluster.Running()) {
            cluster.Start();
        }
    }
};

class ServerFaultTest : public form_test::FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        db = std::make_unique<sql_test::TestDatabase>(sql_test::Server::Postgres,
                                                      sql_test::PgCluster::Shared().Url());
        table = db->Table(QStringLiteral("clientes"));
        db->CreateTable(table, kColumns);
        int code = 0;
        for (const char* name : {"JOANA", "JOAO", "ANA", "JOSE", "MARIA", "JOAQUIM"}) {
            db->Insert(table, {++code, QString::fromLatin1(name)});
        }
    }

    void TearDown() override
    {
        db.reset();
        FormTest::TearDown();
    }

    std::unique_ptr<sql_test::TestDatabase> db;
    QString table;
    RunningAtEnd running;
};

using test_support::ErrorOf;

TEST_F(ServerFaultTest, AStoppedServerIsReportedAndTheFirstFilterAfterItIsBackWorks)
{
    auto ds = db->Dataset(table);
    ds->SetFiltered(true);
    sql_test::PgCluster::Shared().Stop();
    const QString error = ErrorOf([&] { ds->SetFilter(QStringLiteral("NMCLIENTE LIKE 'J%'")); });
    EXPECT_TRUE(error.contains(QLatin1String("cannot be reached"))) << error.toStdString();
    EXPECT_TRUE(error.contains(table)) << error.toStdString();
    EXPECT_EQ(ds->GetFilter(), QStringLiteral("NMCLIENTE LIKE 'J%'"));
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_EQ(ds->FetchedRowCount(), 0);

    sql_test::PgCluster::Shared().Start();
    ds->SetFilter(QStringLiteral("NMCLIENTE LIKE 'JO%'"));
    EXPECT_EQ(ds->RecordCount(), 4);
}

TEST_F(ServerFaultTest, ARestartBetweenKeysGoesUnnoticed)
{
    auto ds = db->Dataset(table);
    ds->SetFiltered(true);
    ds->SetFilter(QStringLiteral("NMCLIENTE LIKE 'J%'"));
    ASSERT_EQ(ds->RecordCount(), 4);
    sql_test::PgCluster::Shared().Stop();
    sql_test::PgCluster::Shared().Start();
    EXPECT_EQ(ErrorOf([&] { ds->SetFilter(QStringLiteral("NMCLIENTE LIKE 'JOA%'")); }), QString());
    EXPECT_EQ(ds->RecordCount(), 3);
}

TEST_F(ServerFaultTest, TheDialogSaysWhatHappenedStaysUsableAndCancelKeepsTheBaseFilter)
{
    auto ds = db->Dataset(table);
    ds->SetFilter(QStringLiteral("CODIGO > 0"));
    ds->SetFiltered(true);
    std::unique_ptr<TfrmPesquisa> form = MakeForm(ds.get());
    Show(*form);

    Type(*form, QStringLiteral("j"));
    EXPECT_EQ(ds->GetFilter(), QStringLiteral("CODIGO > 0 AND NMCLIENTE LIKE 'J%'"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();

    sql_test::PgCluster::Shared().Stop();
    Type(*form, QStringLiteral("o"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(QLatin1String("cannot be reached")))
        << messages.front().toStdString();
    EXPECT_TRUE(form->isVisible());

    sql_test::PgCluster::Shared().Start();
    Type(*form, QStringLiteral("a"));
    EXPECT_EQ(messages.size(), 1) << messages.join(u'\n').toStdString();
    EXPECT_EQ(ds->GetFilter(), QStringLiteral("CODIGO > 0 AND NMCLIENTE LIKE 'JOA%'"));
    EXPECT_EQ(ds->RecordCount(), 3);

    // Leaving while the server is down: at once, with no message to dismiss first.
    sql_test::PgCluster::Shared().Stop();
    Press(*form, Qt::Key_Escape);
    EXPECT_EQ(ds->GetFilter(), QStringLiteral("CODIGO > 0"));
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(messages.size(), 1) << messages.join(u'\n').toStdString();
}

} // namespace
