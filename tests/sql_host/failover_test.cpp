// A live search over a primary and a hot standby of the suite's own while servers stop,
// hang or all go away: Pesquisa called as a host calls it, real key events offscreen.
#include "form/tfrm_pesquisa.h"
#include "host/sql/database_url.h"
#include "host/sql/local_copy.h"
#include "host/sql/sql_session.h"
#include "tests/entry/search_fixture.h"
#include "tests/pgcluster/replicated_cluster.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/database.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/pesquisa.h>
#include <touchsearch/sql_dataset.h>

namespace {

using testing_support::ReplicatedCluster;
using Role = ReplicatedCluster::Role;

constexpr int kTimeoutMs = 1000;
const char* const kNames[] = {"ANA", "JOANA", "JOAO", "JORGE", "JOSE", "JULIA", "MARIA"};

QString ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

// Runs statements on the primary.
void Write(const QString& primaryUri, const QStringList& statements)
{
    const host::sql::ScopedDatabase db(primaryUri, host::sql::DatabaseAccess::Writable);
    QSqlQuery query(db.Database());
    for (const QString& sql : statements) {
        ASSERT_TRUE(query.exec(sql)) << sql.toStdString();
    }
}

// Whether a dataset's connection is on the standby.
bool OnStandby(const host::SqlDataset& ds)
{
    QSqlQuery query(QSqlDatabase::database(ds.GetConnectionName(), false));
    return query.exec(QStringLiteral("SELECT pg_is_in_recovery()")) && query.next() &&
           query.value(0).toBool();
}

class FailoverTest : public SearchTest {
protected:
    void SetUp() override
    {
        SearchTest::SetUp();
        QStringList statements{
            QStringLiteral("CREATE TABLE clientes (\"CODIGO\" integer PRIMARY KEY, "
                           "\"NMCLIENTE\" varchar(40) NOT NULL)")};
        int code = 0;
        for (const char* name : kNames) {
            statements << QStringLiteral("INSERT INTO clientes VALUES (%1, '%2')")
                              .arg(++code)
                              .arg(QLatin1String(name));
        }
        Write(m_pair.PrimaryUri(), statements);
        m_pair.WaitForReplay();
    }

    std::unique_ptr<host::SqlDataset> Dataset(const QString& url, int window = 50)
    {
        auto ds = std::make_unique<host::SqlDataset>();
        ds->SetDatabaseUrl(url);
        ds->SetTableName(QStringLiteral("clientes"));
        ds->SetOrderFields({QStringLiteral("NMCLIENTE")});
        ds->SetWindowSize(window);
        ds->SetStatementTimeout(kTimeoutMs);
        return ds;
    }

    // Waits (bounded) for the dataset's background copy to be written.
    static void WaitForCopy(const host::SqlDataset& ds)
    {
        const QDeadlineTimer deadline(60000);
        while (ds.IsRefreshingLocalCopy() && !deadline.hasExpired()) {
            QThread::msleep(10);
        }
        ASSERT_FALSE(ds.IsRefreshingLocalCopy()) << "the local copy took over 60 s";
        ASSERT_TRUE(ds.LocalCopyFailure().isEmpty()) << ds.LocalCopyFailure().toStdString();
        ASSERT_TRUE(QFile::exists(ds.GetLocalCopyPath()));
    }

    QString Name(const host::SqlDataset& ds) const { return ds.Value(ds.RecNo(), 1).toString(); }

    ReplicatedCluster m_pair;
};

// The standby in use stops (immediate) between keys, then hangs in another case: the
// next key is answered by the primary within the time-out, no message, the search text,
// column and cursor kept.
void FailsOverKeepingTheSearch(FailoverTest& test, ReplicatedCluster& pair, bool freeze,
                               host::SqlDataset& ds, const QStringList& messages)
{
    ds.Open();
    ASSERT_TRUE(OnStandby(ds));
    const WhenShown dialog([&](TfrmPesquisa& form) {
        Type(form, QStringLiteral("j"));
        PressKey(form, Qt::Key_Down); // JOAO, the second of five
        const QString column = form.CampoPesquisa();
        ASSERT_EQ(ds.RecNo(), 1);
        if (freeze) {
            pair.Freeze(Role::Standby);
        } else {
            pair.Halt(Role::Standby);
        }
        QElapsedTimer timer;
        timer.start();
        PressKey(form, Qt::Key_Down); // a window past the cached one: read on the primary
        EXPECT_LT(timer.elapsed(), 2 * kTimeoutMs);
        EXPECT_EQ(ds.RecNo(), 2);
        EXPECT_EQ(ds.Value(ds.RecNo(), 1).toString(), QStringLiteral("JORGE"));
        EXPECT_FALSE(OnStandby(ds));
        timer.restart();
        Type(form, QStringLiteral("o"));
        EXPECT_LT(timer.elapsed(), kTimeoutMs);
        EXPECT_EQ(ds.GetFilter(), QStringLiteral("NMCLIENTE LIKE 'JO%'"));
        EXPECT_EQ(form.CampoPesquisa(), column);
        EXPECT_EQ(ds.RecordCount(), 4);
        EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
        PressKey(form, Qt::Key_Escape);
    });
    EXPECT_FALSE(Pesquisa(&ds, "", "N", 0, 0, 0, 0, true));
    EXPECT_EQ(dialog.Shown(), 1);
    (void)test;
}

TEST_F(FailoverTest, TheStandbyStoppedBetweenKeysTheNextIsAnsweredByThePrimary)
{
    auto ds = Dataset(m_pair.Uri(), 2);
    FailsOverKeepingTheSearch(*this, m_pair, false, *ds, m_messages);
}

TEST_F(FailoverTest, TheStandbyHangingBetweenKeysTheNextIsAnsweredByThePrimaryInTime)
{
    auto ds = Dataset(m_pair.Uri(), 2);
    FailsOverKeepingTheSearch(*this, m_pair, true, *ds, m_messages);
    m_pair.Thaw(Role::Standby);
}

TEST_F(FailoverTest, EveryServerGoneTheDialogGoesOnOverTheLocalCopyAndIsLiveAgainAfter)
{
    const QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("clientes.db"));
    auto ds = Dataset(m_pair.Uri());
    ds->SetLocalCopy(copy, 3600);
    ds->Open();
    WaitForCopy(*ds);
    {
        const WhenShown dialog([&](TfrmPesquisa& form) {
            Type(form, QStringLiteral("j"));
            auto* footer = form.findChild<QLabel*>(QStringLiteral("lblCopiaLocal"));
            ASSERT_NE(footer, nullptr);
            EXPECT_FALSE(footer->isVisible());
            m_pair.Halt(Role::Standby);
            m_pair.Halt(Role::Primary);
            QElapsedTimer timer;
            timer.start();
            Type(form, QStringLiteral("o"));
            EXPECT_LT(timer.elapsed(), 2 * kTimeoutMs);
            EXPECT_TRUE(ds->IsOnLocalCopy());
            EXPECT_EQ(ds->RecordCount(), 4);
            EXPECT_EQ(Name(*ds), QStringLiteral("JOANA"));
            EXPECT_TRUE(footer->isVisible());
            EXPECT_TRUE(footer->text().contains(QLatin1String("local copy")))
                << footer->text().toStdString();
            Type(form, QStringLiteral("s"));
            EXPECT_EQ(ds->RecordCount(), 1);
            EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(u'\n').toStdString();
            PressKey(form, Qt::Key_Escape);
        });
        EXPECT_FALSE(Pesquisa(ds.get(), "", "N", 0, 0, 0, 0, true));
    }
    m_pair.Restart(Role::Primary);
    {
        const WhenShown dialog([&](TfrmPesquisa& form) {
            EXPECT_FALSE(ds->IsOnLocalCopy());
            Type(form, QStringLiteral("ju"));
            EXPECT_EQ(ds->RecordCount(), 1);
            PressKey(form, Qt::Key_Escape);
        });
        EXPECT_FALSE(Pesquisa(ds.get(), "", "N", 0, 0, 0, 0, true));
    }
}

TEST_F(FailoverTest, TheCopyRefreshedWhileADialogReadsIt)
{
    const QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("clientes.db"));
    host::sql::LocalCopyJob job{m_pair.PrimaryUri(),        QStringLiteral("clientes"),    copy,
                                {QStringLiteral("CODIGO")}, {QStringLiteral("NMCLIENTE")}, {}};
    host::sql::WriteLocalCopy(job);
    m_pair.Halt(Role::Standby);
    m_pair.Halt(Role::Primary);
    auto ds = Dataset(m_pair.Uri());
    ds->SetLocalCopy(copy, 3600);
    ds->Open(); // no server: on the copy from the start
    ASSERT_TRUE(ds->IsOnLocalCopy());
    const WhenShown dialog([&](TfrmPesquisa& form) {
        Type(form, QStringLiteral("jo"));
        EXPECT_EQ(ds->RecordCount(), 4);
        m_pair.Restart(Role::Primary);
        Write(m_pair.PrimaryUri(), {QStringLiteral("INSERT INTO clientes VALUES (8, 'JOSUE')")});
        host::sql::WriteLocalCopy(job); // renamed over the file the dialog reads
        Type(form, QStringLiteral("s"));
        EXPECT_EQ(ds->RecordCount(), 1); // the copy it opened: JOSE
        EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(u'\n').toStdString();
        PressKey(form, Qt::Key_Escape);
    });
    EXPECT_FALSE(Pesquisa(ds.get(), "", "N", 0, 0, 0, 0, true));
    auto fresh = Dataset(QStringLiteral("sqlite:") + copy);
    fresh->Open();
    EXPECT_EQ(fresh->RecordCount(), 8);
}

TEST_F(FailoverTest, AKilledRefreshLeavesThePreviousCopyIntact)
{
    const QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("clientes.db"));
    host::sql::LocalCopyJob job{m_pair.PrimaryUri(),        QStringLiteral("clientes"),    copy,
                                {QStringLiteral("CODIGO")}, {QStringLiteral("NMCLIENTE")}, {}};
    host::sql::WriteLocalCopy(job);
    QFile before(copy);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    // An hour old: older than zyl's --local-copy-age.
    ASSERT_TRUE(before.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                   QFileDevice::FileModificationTime));
    before.close();
    // Enough rows that writing them takes a while.
    Write(m_pair.PrimaryUri(), {QStringLiteral("INSERT INTO clientes SELECT g, 'NOME ' || g "
                                               "FROM generate_series(100, 300000) AS g")});
    QProcess zyl;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    zyl.setProcessEnvironment(environment);
    zyl.start(QStringLiteral(TS_ZYL_PATH),
              {QStringLiteral("--data"), m_pair.PrimaryUri(), QStringLiteral("--table"),
               QStringLiteral("clientes"), QStringLiteral("--local-copy"), copy,
               QStringLiteral("--local-copy-age"), QStringLiteral("60"), QStringLiteral("--keys"),
               QStringLiteral("{Esc}"), QStringLiteral("--no-pause")});
    ASSERT_TRUE(zyl.waitForStarted());
    // Killed once the new copy is being written.
    const QDeadlineTimer deadline(60000);
    while (!QFile::exists(copy + QStringLiteral(".new.saving")) && !deadline.hasExpired() &&
           !zyl.waitForFinished(1)) {
    }
    ASSERT_TRUE(QFile::exists(copy + QStringLiteral(".new.saving")))
        << zyl.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(zyl.processId()), SIGKILL);
    zyl.waitForFinished();
    QFile after(copy);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), bytes);
    auto ds = Dataset(QStringLiteral("sqlite:") + copy);
    ds->Open();
    EXPECT_EQ(ds->RecordCount(), 7);
}

TEST_F(FailoverTest, ReadWriteReachesThePrimaryAndTheSessionStaysReadOnly)
{
    QString url = m_pair.Uri();
    url.replace(QLatin1String("prefer-standby"), QLatin1String("read-write"));
    auto ds = Dataset(url);
    ds->Open();
    EXPECT_FALSE(OnStandby(*ds));
    QSqlQuery write(QSqlDatabase::database(ds->GetConnectionName(), false));
    EXPECT_FALSE(write.exec(QStringLiteral("INSERT INTO clientes VALUES (99, 'X')")));
    EXPECT_TRUE(write.lastError().text().contains(QLatin1String("read-only")))
        << write.lastError().text().toStdString();
}

TEST_F(FailoverTest, NoHostAnsweringIsAClearErrorAtOpenWithinTheTimeOuts)
{
    m_pair.Freeze(Role::Standby);
    m_pair.Halt(Role::Primary);
    QString url = m_pair.Uri();
    url.replace(QLatin1String("postgres@"), QLatin1String("postgres:s3cret@"));
    auto ds = Dataset(url);
    QElapsedTimer timer;
    timer.start();
    const QString error = ErrorOf([&] { ds->Open(); });
    EXPECT_LT(timer.elapsed(), 3 * kTimeoutMs);
    EXPECT_TRUE(error.contains(QLatin1String("no server answers"))) << error.toStdString();
    EXPECT_TRUE(error.contains(host::UrlWithoutPassword(url))) << error.toStdString();
    EXPECT_FALSE(error.contains(QLatin1String("s3cret")));
    m_pair.Thaw(Role::Standby);
}

TEST_F(FailoverTest, ALongCopyQueryEndsAtTheCopyTimeOut)
{
    host::SetCopyTimeout(1500);
    QElapsedTimer timer;
    timer.start();
    host::ClientDataset copy;
    const QString error = ErrorOf([&] {
        copy.LoadFromDatabase(m_pair.PrimaryUri(), QStringLiteral("SELECT pg_sleep(70) AS x"));
    });
    host::SetCopyTimeout(0);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(error.contains(QLatin1String("time-out of 1500 ms"))) << error.toStdString();
}

// Many records of one name, their codes not in the order they were written: after the
// move to the copy the cursor goes on to the record that follows live (the copy is
// ordered by the table's key, as live, not by the order its rows were written in).
TEST_F(FailoverTest, OnTheCopyTheCursorGoesOnToTheNextRecordAmongNamesAlike)
{
    QStringList statements{QStringLiteral("CREATE TABLE duplos (\"CODIGO\" integer PRIMARY KEY, "
                                          "\"NMCLIENTE\" varchar(40) NOT NULL)"),
                           QStringLiteral("INSERT INTO duplos VALUES (5, 'ANA'), (7, 'MARIA')")};
    for (const int code : {60, 10, 50, 20, 40, 30}) {
        statements << QStringLiteral("INSERT INTO duplos VALUES (%1, 'JOAO')").arg(code);
    }
    Write(m_pair.PrimaryUri(), statements);
    m_pair.WaitForReplay();
    const QTemporaryDir dir;
    auto ds = Dataset(m_pair.Uri(), 2);
    ds->SetTableName(QStringLiteral("duplos"));
    ds->SetLocalCopy(dir.filePath(QStringLiteral("duplos.db")), 3600);
    ds->Open();
    WaitForCopy(*ds);
    ds->Next();
    ds->Next(); // JOAO 20, the last row of the first window
    ASSERT_EQ(ds->Value(ds->RecNo(), 0).toInt(), 20);
    m_pair.Halt(Role::Standby);
    m_pair.Halt(Role::Primary);
    ds->Next(); // a window read after JOAO 20, on the copy
    EXPECT_TRUE(ds->IsOnLocalCopy());
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_EQ(ds->Value(ds->RecNo(), 0).toInt(), 30);
    QList<int> rest;
    for (ds->Next(); !ds->Eof(); ds->Next()) {
        rest << ds->Value(ds->RecNo(), 0).toInt();
    }
    EXPECT_EQ(rest, (QList<int>{40, 50, 60, 7}));
}

// A table without a key gets no copy, and a search on it never moves to one: there the
// cursor could land on another of several records alike.
TEST_F(FailoverTest, ATableWithoutAKeyGetsNoCopyAndTheSearchSaysTheServerIsGone)
{
    Write(m_pair.PrimaryUri(),
          {QStringLiteral("CREATE TABLE semchave (\"NMCLIENTE\" varchar(40) NOT NULL, "
                          "\"CIDADE\" varchar(40))"),
           QStringLiteral("INSERT INTO semchave VALUES ('ANA', 'X'), ('JOAO', 'D'), "
                          "('JOAO', 'A'), ('JOAO', 'C'), ('JOAO', 'B'), ('MARIA', 'Y')")});
    m_pair.WaitForReplay();
    const QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("semchave.db"));
    auto ds = Dataset(m_pair.Uri(), 2);
    ds->SetTableName(QStringLiteral("semchave"));
    ds->SetLocalCopy(copy, 3600);
    ds->Open();
    const QDeadlineTimer deadline(60000);
    while (ds->IsRefreshingLocalCopy() && !deadline.hasExpired()) {
        QThread::msleep(10);
    }
    EXPECT_FALSE(QFile::exists(copy));
    EXPECT_TRUE(
        ds->LocalCopyFailure().contains(QLatin1String("neither a primary key nor a unique index")))
        << ds->LocalCopyFailure().toStdString();
    ds->Next();
    ds->Next();
    const QString city = ds->Value(ds->RecNo(), 1).toString();
    m_pair.Halt(Role::Standby);
    m_pair.Halt(Role::Primary);
    const QString error = ErrorOf([&] { ds->Next(); });
    EXPECT_TRUE(error.contains(QLatin1String("cannot be reached"))) << error.toStdString();
    EXPECT_FALSE(ds->IsOnLocalCopy());
    EXPECT_EQ(ds->Value(ds->RecNo(), 1).toString(), city); // where it was
    // A copy on disc without the table's key (another program's, an older one's) is not
    // searched either.
    sqlite3* file = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(copy).constData(), &file), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(file,
                           "CREATE TABLE semchave (NMCLIENTE TEXT, CIDADE TEXT);"
                           "INSERT INTO semchave VALUES ('JOAO', 'A'), ('JOAO', 'B')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(file);
    auto fresh = Dataset(m_pair.Uri());
    fresh->SetTableName(QStringLiteral("semchave"));
    fresh->SetLocalCopy(copy, 3600);
    const QString opening = ErrorOf([&] { fresh->Open(); });
    EXPECT_TRUE(opening.contains(QLatin1String("no server answers"))) << opening.toStdString();
    EXPECT_FALSE(fresh->IsOnLocalCopy());
}

// Client backends running a statement on the server, the one asking aside.
int RunningStatements(const QString& uri)
{
    const host::sql::ScopedDatabase db(uri);
    QSqlQuery query(db.Database());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' "
                                   "AND backend_type = 'client backend' AND pid <> "
                                   "pg_backend_pid()")) ||
        !query.next()) {
        return -1;
    }
    return query.value(0).toInt();
}

QString SessionSetting(const QString& connection, const char* name)
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    return query.exec(QStringLiteral("SHOW %1").arg(QLatin1String(name))) && query.next()
               ? query.value(0).toString()
               : QString();
}

// A statement the client stopped waiting for is ended on the server half a second
// later, not left running for nobody.
TEST_F(FailoverTest, AnAbandonedStatementEndsOnTheServerToo)
{
    {
        host::sql::DatabaseUrl url = host::sql::ParseDatabaseUrl(m_pair.PrimaryUri());
        url.timeoutMs = kTimeoutMs;
        const QString name =
            host::sql::OpenDatabase(url, host::sql::DatabaseAccess::ReadOnly).connectionName();
        {
            host::sql::SqlSession session(name, url);
            session.SetTimeout(kTimeoutMs);
            session.Start();
            EXPECT_EQ(SessionSetting(name, "statement_timeout").toStdString(), "1500ms");
            host::sql::SqlText sleep;
            sleep.sql = QStringLiteral("SELECT pg_sleep(120)");
            QElapsedTimer timer;
            timer.start();
            const QString error =
                ErrorOf([&] { (void)session.Run(sleep, QStringLiteral("Sleep")); });
            EXPECT_LT(timer.elapsed(), 4 * kTimeoutMs);
            EXPECT_FALSE(error.isEmpty());
        }
        host::sql::CloseDatabase(name);
    }
    // Both tries (the first, and the one after connecting again) end within the server's
    // bound; without it they would run for two minutes.
    const QDeadlineTimer deadline(15000);
    int running = RunningStatements(m_pair.PrimaryUri());
    while (running != 0 && !deadline.hasExpired()) {
        QThread::msleep(50);
        running = RunningStatements(m_pair.PrimaryUri());
    }
    EXPECT_EQ(running, 0);
}

// The bound follows the dataset's time-out; one the URL sets is kept.
TEST_F(FailoverTest, TheServersBoundFollowsTheTimeOutUnlessTheUrlSetsOne)
{
    auto ds = Dataset(m_pair.PrimaryUri());
    ds->Open();
    EXPECT_EQ(SessionSetting(ds->GetConnectionName(), "statement_timeout").toStdString(), "1500ms");
    ds->SetStatementTimeout(3000);
    ds->SetFilter(QStringLiteral("NMCLIENTE LIKE 'J%'"));
    ds->SetFiltered(true);
    EXPECT_EQ(SessionSetting(ds->GetConnectionName(), "statement_timeout").toStdString(), "3500ms");
    auto own =
        Dataset(m_pair.PrimaryUri() + QStringLiteral("&options=-c%20statement_timeout%3D7000"));
    own->Open();
    EXPECT_EQ(SessionSetting(own->GetConnectionName(), "statement_timeout").toStdString(), "7s");
}

// Bad input: each refused with a message naming the URL without its password.
TEST(FailoverInput, MalformedHostListsUnknownSessionAttrsAndUnwritableCopiesAreRefused)
{
    host::SqlDataset ds;
    const QString twoPorts = QStringLiteral("postgresql://u:s3cret@h1,h2,h3:5432/db?port=1,2");
    QString error = ErrorOf([&] { ds.SetDatabaseUrl(twoPorts); });
    EXPECT_TRUE(error.contains(QLatin1String("3 hosts and 2 ports"))) << error.toStdString();
    EXPECT_TRUE(error.contains(host::UrlWithoutPassword(twoPorts))) << error.toStdString();
    EXPECT_FALSE(error.contains(QLatin1String("s3cret")));
    error = ErrorOf([&] { ds.SetDatabaseUrl(QStringLiteral("postgresql://u:s3cret@h1,,h3/db")); });
    EXPECT_TRUE(error.contains(QLatin1String("empty entry"))) << error.toStdString();
    const QString attrs =
        QStringLiteral("postgresql://u:s3cret@h1,h2/db?target_session_attrs=fastest");
    error = ErrorOf([&] { ds.SetDatabaseUrl(attrs); });
    EXPECT_TRUE(error.contains(QLatin1String("target_session_attrs \"fastest\"")))
        << error.toStdString();
    EXPECT_TRUE(error.contains(host::UrlWithoutPassword(attrs))) << error.toStdString();
    EXPECT_FALSE(error.contains(QLatin1String("s3cret")));
    error = ErrorOf([&] { ds.SetLocalCopy(QStringLiteral("/nonexistent/folder/copy.db"), 60); });
    EXPECT_TRUE(error.contains(QLatin1String("\"/nonexistent/folder\" does not exist")))
        << error.toStdString();
    const QTemporaryDir folder; // a folder where the file would be
    error = ErrorOf([&] { ds.SetLocalCopy(folder.path(), 60); });
    EXPECT_TRUE(error.contains(QLatin1String("it is not a file"))) << error.toStdString();
}

// A writer holding an SQLite file: the search waits the time-out, then says so.
TEST(FailoverInput, AnSqliteFileLockedByAWriterIsWaitedForBriefly)
{
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer,
                           "CREATE TABLE clientes (CODIGO INTEGER PRIMARY KEY, NMCLIENTE TEXT);"
                           "INSERT INTO clientes VALUES (1, 'ANA'), (2, 'JOAO')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    host::SqlDataset ds;
    ds.SetDatabaseUrl(QStringLiteral("sqlite:") + path);
    ds.SetTableName(QStringLiteral("clientes"));
    ds.SetStatementTimeout(300);
    ds.Open();
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    QElapsedTimer timer;
    timer.start();
    const QString error = ErrorOf([&] {
        ds.SetFilter(QStringLiteral("NMCLIENTE LIKE 'J%'"));
        ds.SetFiltered(true);
    });
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_TRUE(error.contains(QLatin1String("locked by a program writing to it")))
        << error.toStdString();
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    ds.First(); // free again: the search goes on
    EXPECT_EQ(ds.RecordCount(), 1);
}

} // namespace
