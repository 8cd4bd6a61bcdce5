#pragma once

#include "tests/xdisplay/x_display.h"

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace xdisplay {

// What zyl printed when it ended.
struct Outcome {
    int exitCode = -1;
    QJsonObject json;
    QString out;
    QString err;

    QString Record(const QString& field) const;
    QString Name() const { return Record(QStringLiteral("NMCLIENTE")); }
    QString Search() const { return json.value(QStringLiteral("search")).toString(); }
    std::string Describe() const;
};

// One zyl run on an Xvfb server of the test's own, driven with real X input from
// xdotool. The suite waits for the window by observing it (zyl --layout, then its
// map state) and for a pause's end by observing its effect, never by sleeping.
class ZylOnX : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The customers every case may search, as a CSV file in the case's folder: in
    // the order of the NMCLIENTE index, which the search opens on.
    QString ClientsCsv() const { return m_csv; }
    QString FilePath(const QString& name) const { return m_folder.filePath(name); }

    // Starts zyl with --layout, --control and the arguments (by default the
    // customers' CSV) and waits until its window is on screen, drawn and taking input.
    void Open(const QStringList& arguments = {});

    // One xdotool run. Pointer commands chain in one run; "type" and "key" take every
    // argument after them, so each has a run of its own. The runs follow one another,
    // so their input reaches the server in order.
    xdisplay::Run Xdo(const QStringList& arguments);
    // "mousemove --window W X Y" to the centre of a component, a visible grid row or
    // a column's title.
    QStringList MoveTo(const QString& component) const;
    QStringList MoveToRow(int n) const;
    QStringList MoveToTitle(int column) const;
    static QStringList Click(int button = 1);

    // Waits until the X server shows in the grid exactly what zyl draws afresh from its
    // widgets, and the dataset's rows in view are the named ones (their NMCLIENTE, in
    // any order) with the cursor on the given row (-1: anywhere). Fails, saving both
    // pictures in the temporary folder, when that does not happen within seconds.
    void ExpectScreenShows(const char* step, QStringList names, int current = -1);

    // Waits for zyl to end (each pause included) and reads its outcome.
    Outcome Finish();

    QString Window() const { return m_window; }
    const QString& Display() const { return m_server.Display(); }

private:
    struct Grab {
        QImage image;
        QJsonObject reply;
    };
    // Asks zyl to draw its window afresh and report the dataset's rows in view.
    Grab GrabWindow();
    // Reads zyl's standard error until a line that begins with marker is complete;
    // the rest of that line.
    QByteArray ReadLine(const QByteArray& marker, int timeoutMs);

    QTemporaryDir m_folder;
    QString m_csv;
    XServer m_server;
    std::unique_ptr<QProcess> m_zyl;
    QByteArray m_err;
    qsizetype m_read = 0; // m_err before this is answered
    int m_grabs = 0;
    QJsonObject m_layout;
    QString m_window;
};

// Runs a command-line client (psql, sqlite3) and fails the test with its output when
// it does not succeed.
void RunTool(const QString& program, const QStringList& arguments);

} // namespace xdisplay
