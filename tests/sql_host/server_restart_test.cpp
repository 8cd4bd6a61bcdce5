// A host's search over a live PostgreSQL table while the server goes away and comes
// back: Pesquisa called as a host calls it, real key events offscreen, the server
// stopped and started again on a cluster of the suite's own (stopping it disturbs no
// other suite).
#include "form/tfrm_pesquisa.h"
#include "tests/entry/search_fixture.h"
#include "tests/sql/own_pg_cluster.h"
#include "tests/sql/sql_fixture.h"

#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>
#include <touchsearch/pesquisa.h>

namespace {

const std::vector<sql_test::ColumnShape> kColumns = {
    {"CODIGO", "INTEGER PRIMARY KEY", "integer PRIMARY KEY"},
    {"NMCLIENTE", "VARCHAR(40)", "varchar(40)"},
};

class ServerRestartTest : public SearchTest {
protected:
    void TearDown() override
    {
        // However the test ends, the server runs again for the next one.
        if (!cluster().Running()) {
            cluster().Start();
        }
        SearchTest::TearDown();
    }

    static sql_test::PgCluster& cluster() { return sql_test::PgCluster::Shared(); }

    // A table of five customers, and a dataset open on it.
    static std::unique_ptr<host::SqlDataset> Customers(sql_test::TestDatabase& db)
    {
        const QString table = db.Table(QStringLiteral("clientes"));
        db.CreateTable(table, kColumns);
        int code = 0;
        for (const char* name : {"JOANA", "JOAO", "ANA", "JOSE", "MARIA"}) {
            db.Insert(table, {++code, QString::fromLatin1(name)});
        }
        return db.Dataset(table);
    }
};

TEST_F(ServerRestartTest, CancelLeavesAtOnceWhileTheServerIsDownAndTheNextSearchWorks)
{
    sql_test::TestDatabase db(sql_test::Server::Postgres, cluster().Url());
    auto ds = Customers(db);
    const QString base = QStringLiteral("CODIGO > 0");
    ds->SetFilter(base);
    ds->SetFiltered(true);

    // A dialog still open after its one cancel is cancelled by WhenShown's watchdog,
    // which fails the test.
    {
        const WhenShown dialog([&](TfrmPesquisa& form) {
            Type(form, QStringLiteral("j"));
            EXPECT_EQ(ds->GetFilter(), base + QStringLiteral(" AND NMCLIENTE LIKE 'J%'"));
            cluster().Stop();
            Type(form, QStringLiteral("o"));
            ASSERT_EQ(m_messages.size(), 1);
            EXPECT_TRUE(m_messages.front().contains(QLatin1String("cannot be reached")))
                << m_messages.front().toStdString();
            PressKey(form, Qt::Key_Escape);
        });
        EXPECT_FALSE(Pesquisa(ds.get(), "", "N", 0, 0, 0, 0, true));
        EXPECT_EQ(dialog.Shown(), 1);
    }
    EXPECT_EQ(ds->GetFilter(), base);
    EXPECT_TRUE(ds->GetFiltered());
    // Leaving was not held up by a message box about the server.
    EXPECT_EQ(m_messages.size(), 1) << m_messages.join(u'\n').toStdString();

    cluster().Start();
    {
        // The exit key, tapped once: cancel runs once, with no focused control's Esc
        // handler to run it a second time.
        const WhenShown dialog([&](TfrmPesquisa& form) {
            Type(form, QStringLiteral("jo"));
            EXPECT_EQ(ds->GetFilter(), base + QStringLiteral(" AND NMCLIENTE LIKE 'JO%'"));
            EXPECT_EQ(ds->RecordCount(), 3); // JOANA, JOAO, JOSE
            cluster().Stop();
            Tap(form, "sbtSair");
        });
        EXPECT_FALSE(Pesquisa(ds.get(), "", "N", 0, 0, 0, 0, true));
    }
    EXPECT_EQ(ds->GetFilter(), base);
    EXPECT_EQ(m_messages.size(), 1) << m_messages.join(u'\n').toStdString();

    cluster().Start();
    {
        const WhenShown dialog([&](TfrmPesquisa& form) {
            // Preparation went to the first record, which read the records again.
            EXPECT_FALSE(ds->IsEmpty());
            Type(form, QStringLiteral("an"));
            EXPECT_EQ(ds->GetFilter(), base + QStringLiteral(" AND NMCLIENTE LIKE 'AN%'"));
            EXPECT_EQ(ds->RecordCount(), 1);
            PressKey(form, Qt::Key_Return);
        });
        EXPECT_TRUE(Pesquisa(ds.get(), "", "N", 0, 0, 0, 0, true));
    }
    EXPECT_EQ(m_messages.size(), 1) << m_messages.join(u'\n').toStdString();
    EXPECT_EQ(ds->Value(ds->RecNo(), 1).toString(), QStringLiteral("ANA"));
}

// The dialog opens with the server's plan of the first keystroke made: typing it
// prepares no statement on the dataset's connection, and finds the records.
TEST_F(ServerRestartTest, TheDialogOpensWithTheFirstKeystrokePlanned)
{
    sql_test::TestDatabase db(sql_test::Server::Postgres, cluster().Url());
    auto ds = Customers(db);
    // Statements prepared on the dataset's connection.
    const auto searches = [&] {
        QSqlQuery query(QSqlDatabase::database(ds->GetConnectionName()));
        EXPECT_TRUE(query.exec(QStringLiteral("SELECT count(*) FROM pg_prepared_statements")))
            << query.lastError().text().toStdString();
        return query.next() ? query.value(0).toInt() : -1;
    };
    const int opened = searches();
    const WhenShown dialog([&](TfrmPesquisa& form) {
        const int planned = searches();
        EXPECT_GT(planned, opened);
        EXPECT_EQ(ds->GetFilter(), QString());
        EXPECT_EQ(ds->RecordCount(), 5);
        Type(form, QStringLiteral("j"));
        EXPECT_EQ(ds->GetFilter(), QStringLiteral("NMCLIENTE LIKE 'J%'"));
        EXPECT_EQ(ds->RecordCount(), 3);
        EXPECT_EQ(searches(), planned);
        PressKey(form, Qt::Key_Escape);
    });
    EXPECT_FALSE(Pesquisa(ds.get(), "", "N", 0, 0, 0, 0, true));
    EXPECT_EQ(dialog.Shown(), 1);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(u'\n').toStdString();
}

} // namespace
