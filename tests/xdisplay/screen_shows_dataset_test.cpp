// What the X server shows is what the dataset holds: after each kind of step (typing,
// Backspace, Delete, "%", a title tap, the cursor buttons, the wheel) the grid's cells
// on screen, read back from the server, must be the pixels zyl draws afresh from its
// widgets, and the dataset's rows in view the expected ones. For a client dataset and
// for live tables on SQLite and PostgreSQL.
#include "tests/pgcluster/shared_pg_cluster_uri.h"
#include "tests/xdisplay/zyl_session.h"

#include <QFile>
#include <gtest/gtest.h>

using xdisplay::Outcome;
using xdisplay::ZylOnX;

namespace {

const QString kAll[] = {QStringLiteral("Ana Souza"),    QStringLiteral("Bruno Lima"),
                        QStringLiteral("Carla Dias"),   QStringLiteral("Carlos Reis"),
                        QStringLiteral("Daniel Alves"), QStringLiteral("Marcos Silva"),
                        QStringLiteral("Mariana Costa")};

QStringList All()
{
    return QStringList(std::begin(kAll), std::end(kAll));
}

// The customers of the CSV file, as SQL.
const char kClientsSql[] =
    "CREATE TABLE %1 (CODIGO INTEGER PRIMARY KEY, NMCLIENTE VARCHAR(40), CIDADE VARCHAR(30));"
    "INSERT INTO %1 VALUES (1,'Ana Souza','Recife'),(2,'Bruno Lima','Natal'),"
    "(3,'Carla Dias','Recife'),(4,'Carlos Reis','Belem'),(5,'Daniel Alves','Natal'),"
    "(6,'Marcos Silva','Natal'),(7,'Mariana Costa','Recife');";

class ScreenShowsDataset : public ZylOnX {
protected:
    QStringList Key(const char* key) const { return {QStringLiteral("key"), QLatin1String(key)}; }
    QStringList Type(const char* text) const
    {
        return {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                QLatin1String(text)};
    }

    // Every kind of step, each followed by a look at the screen; then Esc.
    void PlaySteps()
    {
        ExpectScreenShows("opened", All(), 0);
        Xdo(MoveTo(QStringLiteral("edtFiltro")));
        Xdo(Type("carlo"));
        ExpectScreenShows("typed", {QStringLiteral("Carlos Reis")});
        Xdo(Key("BackSpace"));
        ExpectScreenShows("backspace",
                          {QStringLiteral("Carla Dias"), QStringLiteral("Carlos Reis")});
        Xdo(Key("Delete"));
        ExpectScreenShows("delete", All());
        Xdo(Type("%ar"));
        ExpectScreenShows("contains",
                          {QStringLiteral("Carla Dias"), QStringLiteral("Carlos Reis"),
                           QStringLiteral("Marcos Silva"), QStringLiteral("Mariana Costa")});
        Xdo(Key("Delete"));
        ExpectScreenShows("delete again", All());
        Xdo(MoveToTitle(2) + Click());
        Xdo(Type("n"));
        const QStringList natal{QStringLiteral("Bruno Lima"), QStringLiteral("Daniel Alves"),
                                QStringLiteral("Marcos Silva")};
        ExpectScreenShows("title tap", natal, 0);
        Xdo(MoveTo(QStringLiteral("sbtUltimo")) + Click());
        ExpectScreenShows("last", natal, 2);
        Xdo(MoveTo(QStringLiteral("sbtRolarCima")) + Click());
        ExpectScreenShows("up", natal, 1);
        Xdo(MoveToRow(0) + Click(5));
        ExpectScreenShows("wheel", natal, 2);
        Xdo(Key("Escape"));
        const Outcome r = Finish();
        EXPECT_EQ(r.exitCode, 1) << r.Describe();
    }
};

} // namespace

TEST_F(ScreenShowsDataset, InMemory)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    PlaySteps();
}

TEST_F(ScreenShowsDataset, LiveOnSqlite)
{
    const QString file = FilePath(QStringLiteral("clientes.db"));
    xdisplay::RunTool(QStringLiteral("sqlite3"),
                      {file, QString::fromLatin1(kClientsSql).arg(QStringLiteral("clientes"))});
    ASSERT_NO_FATAL_FAILURE(
        Open({QStringLiteral("--data"), QStringLiteral("sqlite:") + file, QStringLiteral("--order"),
              QStringLiteral("NMCLIENTE"), QStringLiteral("--case-insensitive")}));
    PlaySteps();
}

TEST_F(ScreenShowsDataset, LiveOnPostgresql)
{
    const QString uri = testing_support::PgClusterUri();
    ASSERT_FALSE(uri.isEmpty());
    xdisplay::RunTool(QStringLiteral("psql"),
                      {QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                       QStringLiteral("-q"), uri, QStringLiteral("-c"),
                       QStringLiteral("DROP TABLE IF EXISTS xd_clientes;") +
                           QString::fromLatin1(kClientsSql).arg(QStringLiteral("xd_clientes"))});
    ASSERT_NO_FATAL_FAILURE(
        Open({QStringLiteral("--data"), uri, QStringLiteral("--table"),
              QStringLiteral("xd_clientes"), QStringLiteral("--order"), QStringLiteral("NMCLIENTE"),
              QStringLiteral("--case-insensitive")}));
    PlaySteps();
}
