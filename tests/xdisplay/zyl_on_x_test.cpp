// zyl on a real X server (Xvfb, started here) driven with real X input: XTest key
// presses, pointer clicks and wheel buttons from xdotool. Nothing is sent to Qt
// directly, so the input takes the path a person's keyboard, mouse and touch screen
// take: the server, the window's focus, Qt's X platform, the search form.
// Each case is one zyl run with the real one-second pauses.
#include "tests/pgcluster/shared_pg_cluster_uri.h"
#include "tests/xdisplay/zyl_session.h"

#include <QFile>
#include <QJsonArray>
#include <gtest/gtest.h>

using xdisplay::Outcome;

namespace {

// A scanner's burst in one xdotool run: each character's key, then Return, "delay"
// milliseconds apart. (xdotool's "type" sends a line feed, not Return, for "\n".)
QStringList Burst(const QString& text, int delay)
{
    QStringList arguments{QStringLiteral("key"), QStringLiteral("--delay"), QString::number(delay)};
    for (const QChar c : text) {
        arguments.append(QString(c));
    }
    arguments.append(QStringLiteral("Return"));
    return arguments;
}

// The cases of this file, with the scanner's steps.
class ZylOnX : public xdisplay::ZylOnX {
protected:
    // Taps the EAN column's title, scans a code at 2 ms a key with Enter, and checks
    // that the product with that code was confirmed.
    void ScanAfterATitleTap()
    {
        Xdo(MoveToTitle(2) + Click());
        Xdo(Burst(QStringLiteral("7891000100110"), 2));
        // Esc would cancel a dialog the code left open, rather than wait for nothing.
        Xdo({QStringLiteral("key"), QStringLiteral("Escape")});
        const Outcome r = Finish();
        ASSERT_EQ(r.exitCode, 0) << r.Describe();
        EXPECT_EQ(r.Record(QStringLiteral("EAN")), QStringLiteral("7891000100110")) << r.Describe();
        EXPECT_EQ(r.Search(), QStringLiteral("7891000100110"));
        EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), 1) << r.Describe();
    }
};

} // namespace

TEST_F(ZylOnX, TypedKeysNarrowTheSearchAndEnterConfirms)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    // The pointer rests on the window, so the keys reach it whatever the focus
    // model; "ca" comes out as "Ca" (each dialog starts with Shift latched). Alt+F4
    // before Enter must neither close the dialog nor type anything.
    Xdo(MoveTo(QStringLiteral("edtFiltro")));
    Xdo({QStringLiteral("type"), QStringLiteral("ca")});
    Xdo({QStringLiteral("key"), QStringLiteral("alt+F4"), QStringLiteral("Return")});
    const Outcome r = Finish();
    ASSERT_EQ(r.exitCode, 0) << r.Describe();
    EXPECT_TRUE(r.json.value(QStringLiteral("confirmed")).toBool());
    EXPECT_EQ(r.Search(), QStringLiteral("Ca"));
    EXPECT_TRUE(
        r.json.value(QStringLiteral("filter")).toString().contains(QStringLiteral("LIKE 'CA%'")))
        << r.Describe();
    EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), 2);
    EXPECT_EQ(r.Name(), QStringLiteral("Carla Dias"));
}

TEST_F(ZylOnX, AWheelTurnAsTheWindowOpensMovesOneRow)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    // At once, before anything else has touched the window: wheel towards the user
    // (button 5) twice, away (button 4) once, each one row; rows 0, 1, 2, 1. A wheel
    // the grid did not take as an arrow key would scroll the view and leave row 0.
    Xdo(MoveToRow(3) + Click(5) + Click(5) + Click(4));
    Xdo({QStringLiteral("key"), QStringLiteral("Return")});
    const Outcome r = Finish();
    ASSERT_EQ(r.exitCode, 0) << r.Describe();
    EXPECT_EQ(r.Name(), QStringLiteral("Bruno Lima")) << r.Describe();
    EXPECT_EQ(r.Search(), QString());
}

TEST_F(ZylOnX, ScreenKeysTypeLikeTheKeyboardAndTheBigEnterConfirms)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    Xdo(MoveTo(QStringLiteral("sbtm")) + Click() + MoveTo(QStringLiteral("sbta")) + Click() +
        MoveTo(QStringLiteral("sbtr")) + Click() + MoveTo(QStringLiteral("sbtEnter")) + Click());
    const Outcome r = Finish();
    ASSERT_EQ(r.exitCode, 0) << r.Describe();
    EXPECT_TRUE(r.json.value(QStringLiteral("confirmed")).toBool());
    EXPECT_EQ(r.Search(), QStringLiteral("Mar"));
    EXPECT_TRUE(
        r.json.value(QStringLiteral("filter")).toString().contains(QStringLiteral("LIKE 'MAR%'")))
        << r.Describe();
    EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), 2);
    EXPECT_EQ(r.Name(), QStringLiteral("Marcos Silva"));
}

TEST_F(ZylOnX, ADoubleTapConfirmsAfterThePauseAndDropsTheTapsMadeMeanwhile)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    // A double tap on the third row, then at once a tap on the q key: it arrives
    // while the dialog sleeps its second and must be thrown away.
    const xdisplay::Run run =
        Xdo(MoveToRow(2) +
            QStringList{QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                        QStringLiteral("--delay"), QStringLiteral("40"), QStringLiteral("1")} +
            MoveTo(QStringLiteral("sbtq")) + Click());
    const Outcome r = Finish();
    ASSERT_EQ(r.exitCode, 0) << r.Describe();
    EXPECT_TRUE(r.json.value(QStringLiteral("confirmed")).toBool());
    EXPECT_EQ(r.Name(), QStringLiteral("Carla Dias")) << r.Describe();
    // xdotool sent the tap well inside the second unless the machine stalled it.
    if (run.milliseconds < 800) {
        EXPECT_EQ(r.Search(), QString()) << r.Describe();
    }
}

TEST_F(ZylOnX, EscCancelsAndNeitherAltF4NorTheWindowManagersCloseEndsTheDialog)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    // There is no window manager here, so Alt+F4 reaches the form as a key, as it
    // does under a manager that passes it on: the form swallows it. What a manager
    // does instead, sending the close request, is sent here by hand and refused.
    // Both are proved by what follows: the dialog still types and then cancels.
    Xdo(MoveTo(QStringLiteral("edtFiltro")));
    Xdo({QStringLiteral("key"), QStringLiteral("alt+F4")});
    QString error;
    ASSERT_TRUE(xdisplay::SendCloseRequest(Display(), Window().toUInt(), error))
        << error.toStdString();
    Xdo({QStringLiteral("type"), QStringLiteral("b")});
    Xdo({QStringLiteral("key"), QStringLiteral("alt+F4"), QStringLiteral("Escape")});
    const Outcome r = Finish();
    ASSERT_EQ(r.exitCode, 1) << r.Describe();
    EXPECT_FALSE(r.json.value(QStringLiteral("confirmed")).toBool());
    EXPECT_EQ(r.Search(), QStringLiteral("B")) << r.Describe();
    EXPECT_EQ(r.json.value(QStringLiteral("filter")).toString(), QString()); // given back
    EXPECT_TRUE(r.json.value(QStringLiteral("record")).isNull());
}

// A barcode scanner types a whole code and Enter in a few milliseconds: right after a
// tap on a column's title, all of it arrives while the dialog pauses. The keys wait
// for the tap to be handled and are then matched against the tapped column.
const char kProducts[] = "CODIGO,NMPRODUTO,EAN\n"
                         "1,ARROZ TIPO 1 5KG,7891000100103\n"
                         "2,ARROZ INTEGRAL 1KG,7891000100110\n"
                         "3,FEIJAO CARIOCA 1KG,7896004000022\n"
                         "4,CAFE TORRADO 500G,7891000315507\n"
                         "5,ACUCAR REFINADO 1KG,7894900011517\n"
                         "6,OLEO DE SOJA 900ML,7891000100127\n";

TEST_F(ZylOnX, ATitleTapThenAScannedCodeConfirmsThatProduct)
{
    QFile csv(FilePath(QStringLiteral("produtos.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write(kProducts);
    csv.close();
    ASSERT_NO_FATAL_FAILURE(Open({QStringLiteral("--data"), csv.fileName()}));
    ScanAfterATitleTap();
}

// The same on a live PostgreSQL table: each key is a statement on the server, and the
// burst still arrives whole during the tap's pause.
TEST_F(ZylOnX, ATitleTapThenAScannedCodeConfirmsThatProductOnALiveTable)
{
    const QString uri = testing_support::PgClusterUri();
    ASSERT_FALSE(uri.isEmpty());
    QString sql = QStringLiteral(
        "DROP TABLE IF EXISTS xd_produtos; CREATE TABLE xd_produtos (\"CODIGO\" INTEGER "
        "PRIMARY KEY, \"NMPRODUTO\" VARCHAR(40), \"EAN\" VARCHAR(13)); INSERT INTO "
        "xd_produtos VALUES ");
    const QStringList lines =
        QString::fromLatin1(kProducts).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList f = lines.at(i).split(QLatin1Char(','));
        sql += QStringLiteral("%1(%2,'%3','%4')")
                   .arg(i > 1 ? QStringLiteral(",") : QString(), f.at(0), f.at(1), f.at(2));
    }
    xdisplay::RunTool(QStringLiteral("psql"),
                      {QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                       QStringLiteral("-q"), uri, QStringLiteral("-c"), sql});
    ASSERT_NO_FATAL_FAILURE(Open(
        {QStringLiteral("--data"), uri, QStringLiteral("--table"), QStringLiteral("xd_produtos")}));
    ScanAfterATitleTap();
}

// With the EAN searched beside the column and the exact value first, a title tap on the
// code column keeps the EAN searched, and a scanned EAN that begins a longer one (the
// first by code) puts the cursor on the product that has it: Enter confirms that one.
TEST_F(ZylOnX, ATitleTapThenAScannedCodeWithTheExactValueFirstConfirmsThatProduct)
{
    QFile csv(FilePath(QStringLiteral("codigos.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("CODIGO,NMPRODUTO,EAN\n"
              "1,ARROZ TIPO 1 5KG,78910001001\n"
              "2,ARROZ INTEGRAL 1KG,7891000100\n"
              "3,FEIJAO CARIOCA 1KG,7896004000022\n");
    csv.close();
    ASSERT_NO_FATAL_FAILURE(
        Open({QStringLiteral("--data"), csv.fileName(), QStringLiteral("--search-fields"),
              QStringLiteral("EAN"), QStringLiteral("--exact-first")}));
    Xdo(MoveToTitle(0) + Click());
    Xdo(Burst(QStringLiteral("7891000100"), 2));
    Xdo({QStringLiteral("key"), QStringLiteral("Escape")});
    const Outcome r = Finish();
    ASSERT_EQ(r.exitCode, 0) << r.Describe();
    EXPECT_EQ(r.Search(), QStringLiteral("7891000100"));
    EXPECT_EQ(r.json.value(QStringLiteral("filter")).toString(),
              QStringLiteral("(UPPER(CODIGO) LIKE '7891000100%' OR UPPER(EAN) LIKE "
                             "'7891000100%')"))
        << r.Describe();
    EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), 2) << r.Describe();
    EXPECT_EQ(r.Record(QStringLiteral("CODIGO")), QStringLiteral("2")) << r.Describe();
    EXPECT_EQ(r.Record(QStringLiteral("EAN")), QStringLiteral("7891000100")) << r.Describe();
}

// Keys typed right after a double tap arrive during its pause: the confirm reads the
// filter as it stood at the tap, and the keys, handled after it, change nothing.
TEST_F(ZylOnX, KeysTypedAfterADoubleTapDoNotChangeWhatItConfirms)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    Xdo(MoveToRow(2) + QStringList{QStringLiteral("click"), QStringLiteral("--repeat"),
                                   QStringLiteral("2"), QStringLiteral("--delay"),
                                   QStringLiteral("40"), QStringLiteral("1")});
    Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("2"),
         QStringLiteral("zz")});
    Xdo({QStringLiteral("key"), QStringLiteral("Escape")});
    const Outcome r = Finish();
    ASSERT_EQ(r.exitCode, 0) << r.Describe();
    EXPECT_TRUE(r.json.value(QStringLiteral("confirmed")).toBool());
    EXPECT_EQ(r.Name(), QStringLiteral("Carla Dias")) << r.Describe();
    EXPECT_EQ(r.json.value(QStringLiteral("filter")).toString(), QString()) << r.Describe();
    EXPECT_EQ(r.json.value(QStringLiteral("count")).toInt(), 7) << r.Describe();
}

// A burst the moment the window is on screen is typed whole, in order.
TEST_F(ZylOnX, ABurstAsTheWindowOpensIsTypedWhole)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    Xdo(MoveTo(QStringLiteral("edtFiltro")));
    Xdo(Burst(QStringLiteral("carlo"), 1));
    Xdo({QStringLiteral("key"), QStringLiteral("Escape")});
    const Outcome r = Finish();
    ASSERT_EQ(r.exitCode, 0) << r.Describe();
    EXPECT_EQ(r.Search(), QStringLiteral("Carlo"));
    EXPECT_EQ(r.Name(), QStringLiteral("Carlos Reis")) << r.Describe();
}
