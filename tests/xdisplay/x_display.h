#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace xdisplay {

// An Xvfb server of the test's own, on a display number the server picks from the
// free ones. Stopped when destroyed.
class XServer {
public:
    XServer() = default;
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    ~XServer();

    // Starts the server and waits until it takes connections; false with the reason
    // in error when it cannot.
    bool Start(QString& error);
    // ":N", once started.
    const QString& Display() const { return m_display; }
    // The environment for a client of this server.
    QProcessEnvironment Environment() const;

private:
    QProcess m_process;
    QString m_display;
};

// What a helper program did.
struct Run {
    bool ok = false; // started, finished in time, exit status 0
    QString output;
    QString error; // standard error, or why it did not run
    qint64 milliseconds = 0;
};

// Runs a program of the X utilities (xdotool, xwininfo) against the display and
// waits for it, at most timeoutMs.
Run RunXClient(const XServer& server, const QString& program, const QStringList& arguments,
               int timeoutMs = 30000);

// Sends the window the close request a window manager sends for Alt+F4 or the
// title bar's close button (the WM_DELETE_WINDOW protocol message) and waits until
// the server has passed it on. False with the reason in error when it cannot.
bool SendCloseRequest(const QString& display, quint32 window, QString& error);

// What the X server shows of the window now: its pixels read back from the server
// (GetImage), as an X screenshot tool reads them. A null image with the reason in
// error when it cannot.
QImage CaptureWindow(const QString& display, quint32 window, QString& error);

} // namespace xdisplay
