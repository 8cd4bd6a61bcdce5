#include "tests/xdisplay/zyl_session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <algorithm>

namespace xdisplay {

namespace {

// Generous: the sanitizer build starts slowly on a loaded machine.
constexpr int kWindowMs = 120000;
constexpr int kOutcomeMs = 120000;
// How long the screen may take to show a step (a title tap's pause included).
constexpr int kScreenMs = 20000;
constexpr int kPollMs = 50;

// The centre of a box of the layout, in the window's coordinates.
QStringList Centre(const QJsonValue& box)
{
    const QJsonArray b = box.toArray();
    EXPECT_EQ(b.size(), 4);
    return {QString::number(b.at(0).toInt() + b.at(2).toInt() / 2),
            QString::number(b.at(1).toInt() + b.at(3).toInt() / 2)};
}

QRect BoxOf(const QJsonValue& box)
{
    const QJsonArray b = box.toArray();
    return b.size() == 4 ? QRect(b.at(0).toInt(), b.at(1).toInt(), b.at(2).toInt(), b.at(3).toInt())
                         : QRect();
}

// Pixels that differ between two pictures of the same size, in the box.
int DifferingPixels(const QImage& a, const QImage& b, const QRect& box)
{
    int differing = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF)) {
                ++differing;
            }
        }
    }
    return differing;
}

} // namespace

QString Outcome::Record(const QString& field) const
{
    const QJsonValue value = json.value(QStringLiteral("record")).toObject().value(field);
    return value.isDouble() ? QString::number(value.toInteger()) : value.toString();
}

std::string Outcome::Describe() const
{
    return ("exit " + QString::number(exitCode) + "\nstdout: " + out + "\nstderr: " + err)
        .toStdString();
}

void ZylOnX::SetUp()
{
    ASSERT_TRUE(m_folder.isValid());
    QFile csv(m_folder.filePath(QStringLiteral("clientes.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("CODIGO,NMCLIENTE,CIDADE\n"
              "1,Ana Souza,Recife\n"
              "2,Bruno Lima,Natal\n"
              "3,Carla Dias,Recife\n"
              "4,Carlos Reis,Belem\n"
              "5,Daniel Alves,Natal\n"
              "6,Marcos Silva,Natal\n"
              "7,Mariana Costa,Recife\n");
    m_csv = csv.fileName();
    QString error;
    // No display, no suite: this fails, it never skips.
    ASSERT_TRUE(m_server.Start(error)) << error.toStdString();
}

void ZylOnX::TearDown()
{
    if (m_zyl && m_zyl->state() != QProcess::NotRunning) {
        m_zyl->kill();
        m_zyl->waitForFinished(10000);
    }
}

void ZylOnX::Open(const QStringList& arguments)
{
    m_zyl = std::make_unique<QProcess>();
    QProcessEnvironment environment = m_server.Environment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       asan.isEmpty() ? QStringLiteral("detect_leaks=0")
                                      : asan + QStringLiteral(":detect_leaks=0"));
    m_zyl->setProcessEnvironment(environment);
    m_zyl->setWorkingDirectory(m_folder.path());
    m_zyl->setReadChannel(QProcess::StandardError);
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/zyl");
    m_zyl->start(program, QStringList{QStringLiteral("--layout"), QStringLiteral("--control")} +
                              (arguments.isEmpty() ? QStringList{QStringLiteral("--data"), m_csv}
                                                   : arguments));
    ASSERT_TRUE(m_zyl->waitForStarted(kWindowMs))
        << program.toStdString() << ": " << m_zyl->errorString().toStdString();

    QJsonParseError parse{};
    m_layout = QJsonDocument::fromJson(ReadLine("zyl: layout ", kWindowMs), &parse).object();
    ASSERT_EQ(parse.error, QJsonParseError::NoError) << m_err.toStdString();
    m_window = QString::number(m_layout.value(QStringLiteral("window")).toInteger());
    ASSERT_NE(m_window, QStringLiteral("0")) << m_err.toStdString();

    const QDeadlineTimer deadline(kWindowMs);
    while (true) {
        const xdisplay::Run info =
            RunXClient(m_server, QStringLiteral("xwininfo"), {QStringLiteral("-id"), m_window});
        ASSERT_TRUE(info.ok) << info.error.toStdString();
        if (info.output.contains(QLatin1String("Map State: IsViewable"))) {
            break;
        }
        ASSERT_FALSE(deadline.hasExpired())
            << "zyl's window " << m_window.toStdString() << " is not viewable:\n"
            << info.output.toStdString();
        QThread::msleep(kPollMs);
    }
}

QByteArray ZylOnX::ReadLine(const QByteArray& marker, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype at = -1;
    while ((at = m_err.indexOf(marker, m_read)) < 0 || m_err.indexOf('\n', at) < 0) {
        if (m_zyl->state() == QProcess::NotRunning) {
            ADD_FAILURE() << "zyl ended while it was awaited for \"" << marker.toStdString()
                          << "\": exit " << m_zyl->exitCode()
                          << "\nstderr: " << m_err.toStdString();
            return {};
        }
        if (deadline.hasExpired()) {
            ADD_FAILURE() << "no \"" << marker.toStdString() << "\" from zyl within "
                          << timeoutMs / 1000 << " s\nstderr: " << m_err.toStdString();
            return {};
        }
        m_zyl->waitForReadyRead(kPollMs);
        m_err += m_zyl->readAllStandardError();
    }
    const qsizetype start = at + marker.size();
    const qsizetype end = m_err.indexOf('\n', at);
    m_read = end + 1;
    return m_err.mid(start, end - start);
}

xdisplay::Run ZylOnX::Xdo(const QStringList& arguments)
{
    xdisplay::Run run = RunXClient(m_server, QStringLiteral("xdotool"), arguments);
    EXPECT_TRUE(run.ok) << run.error.toStdString();
    return run;
}

QStringList ZylOnX::MoveTo(const QString& component) const
{
    const QJsonValue box = m_layout.value(QStringLiteral("components")).toObject().value(component);
    EXPECT_TRUE(box.isArray()) << "no component " << component.toStdString() << " in "
                               << m_err.toStdString();
    return QStringList{QStringLiteral("mousemove"), QStringLiteral("--window"), m_window} +
           Centre(box);
}

QStringList ZylOnX::MoveToRow(int n) const
{
    const QJsonArray rows = m_layout.value(QStringLiteral("rows")).toArray();
    EXPECT_LT(n, rows.size()) << m_err.toStdString();
    return QStringList{QStringLiteral("mousemove"), QStringLiteral("--window"), m_window} +
           Centre(rows.at(n));
}

QStringList ZylOnX::MoveToTitle(int column) const
{
    const QJsonArray titles = m_layout.value(QStringLiteral("titles")).toArray();
    EXPECT_LT(column, titles.size()) << m_err.toStdString();
    EXPECT_GT(BoxOf(titles.at(column)).width(), 0)
        << "column " << column << "'s title is not on screen";
    return QStringList{QStringLiteral("mousemove"), QStringLiteral("--window"), m_window} +
           Centre(titles.at(column));
}

QStringList ZylOnX::Click(int button)
{
    return {QStringLiteral("click"), QString::number(button)};
}

ZylOnX::Grab ZylOnX::GrabWindow()
{
    Grab grab;
    const QString file = m_folder.filePath(QStringLiteral("grab-%1.png").arg(++m_grabs));
    m_zyl->write("grab " + file.toLocal8Bit() + '\n');
    QJsonParseError parse{};
    grab.reply = QJsonDocument::fromJson(ReadLine("zyl: grabbed ", kScreenMs), &parse).object();
    EXPECT_EQ(parse.error, QJsonParseError::NoError) << m_err.toStdString();
    EXPECT_FALSE(grab.reply.contains(QStringLiteral("error"))) << m_err.toStdString();
    grab.image = QImage(file).convertToFormat(QImage::Format_RGB32);
    return grab;
}

void ZylOnX::ExpectScreenShows(const char* step, QStringList names, int current)
{
    std::sort(names.begin(), names.end());
    const QDeadlineTimer deadline(kScreenMs);
    QString last;
    QImage screen;
    Grab grab;
    while (true) {
        QString error;
        screen = CaptureWindow(Display(), m_window.toUInt(), error);
        ASSERT_FALSE(screen.isNull()) << error.toStdString();
        grab = GrabWindow();
        ASSERT_FALSE(grab.image.isNull()) << step << ": zyl drew no picture";
        ASSERT_EQ(grab.image.size(), screen.size()) << step;
        const QRect cells = BoxOf(grab.reply.value(QStringLiteral("grid"))) & screen.rect();
        EXPECT_FALSE(cells.isEmpty()) << step;
        QStringList shown;
        for (const QJsonValue& row : grab.reply.value(QStringLiteral("rows")).toArray()) {
            shown.append(row.toArray().at(1).toString());
        }
        std::sort(shown.begin(), shown.end());
        const int recNo = grab.reply.value(QStringLiteral("current")).toInt(-2);
        const int differing = DifferingPixels(screen, grab.image, cells);
        if (differing == 0 && shown == names && (current < 0 || recNo == current)) {
            return;
        }
        last = QStringLiteral("%1 pixels of the grid's %2x%3 differ; the dataset's rows in view "
                              "are [%4], the cursor on row %5")
                   .arg(differing)
                   .arg(cells.width())
                   .arg(cells.height())
                   .arg(shown.join(QStringLiteral(", ")))
                   .arg(recNo);
        if (deadline.hasExpired()) {
            break;
        }
        QThread::msleep(kPollMs);
    }
    const QString base = QDir::temp().filePath(
        QStringLiteral("xdisplay-%1-%2")
            .arg(QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name()),
                 QString::fromUtf8(step).replace(QLatin1Char(' '), QLatin1Char('-'))));
    screen.save(base + QStringLiteral("-screen.png"));
    grab.image.save(base + QStringLiteral("-drawn.png"));
    ADD_FAILURE() << step << ": after " << kScreenMs / 1000
                  << " s the X server does not show what the dataset holds: " << last.toStdString()
                  << "; expected [" << names.join(QStringLiteral(", ")).toStdString() << "]"
                  << (current >= 0 ? ", the cursor on row " + std::to_string(current) : "")
                  << "\nthe screen and zyl's own drawing: " << base.toStdString()
                  << "-{screen,drawn}.png";
}

Outcome ZylOnX::Finish()
{
    Outcome outcome;
    m_zyl->closeWriteChannel();
    if (!m_zyl->waitForFinished(kOutcomeMs)) {
        m_zyl->kill();
        m_zyl->waitForFinished(10000);
        m_err += m_zyl->readAllStandardError();
        ADD_FAILURE() << "the dialog was still open " << kOutcomeMs / 1000
                      << " s after the last input\nstderr: " << m_err.toStdString();
        return outcome;
    }
    outcome.exitCode = m_zyl->exitStatus() == QProcess::NormalExit ? m_zyl->exitCode() : -1;
    outcome.out = QString::fromUtf8(m_zyl->readAllStandardOutput());
    outcome.err = QString::fromUtf8(m_err + m_zyl->readAllStandardError());
    const QStringList lines = outcome.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty()) {
        outcome.json = QJsonDocument::fromJson(lines.constFirst().toUtf8()).object();
    }
    return outcome;
}

void RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForStarted(30000) && process.waitForFinished(60000);
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << program.toStdString() << " " << arguments.join(QLatin1Char(' ')).toStdString() << ": "
        << process.errorString().toStdString() << "\n"
        << process.readAllStandardOutput().toStdString()
        << process.readAllStandardError().toStdString();
}

} // namespace xdisplay
