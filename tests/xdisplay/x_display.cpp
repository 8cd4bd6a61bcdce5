#include "tests/xdisplay/x_display.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace xdisplay {

namespace {

constexpr int kServerStartMs = 60000;

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

} // namespace

XServer::~XServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
}

bool XServer::Start(QString& error)
{
    // -displayfd 1: the server takes the first free display number and writes it
    // to standard output once it accepts connections.
    m_process.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1024x768x24"),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_process.waitForStarted(kServerStartMs)) {
        error = QStringLiteral("cannot start Xvfb (%1); scripts/ensure-deps installs the xvfb "
                               "package")
                    .arg(m_process.errorString());
        return false;
    }
    QByteArray output;
    const QDeadlineTimer deadline(kServerStartMs);
    while (!output.contains('\n')) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            error = QStringLiteral("Xvfb %1 without announcing its display: %2")
                        .arg(m_process.state() == QProcess::NotRunning
                                 ? QStringLiteral("ended")
                                 : QStringLiteral("ran %1 s").arg(kServerStartMs / 1000),
                             QString::fromLocal8Bit(m_process.readAllStandardError()));
            return false;
        }
        m_process.waitForReadyRead(100);
        output += m_process.readAllStandardOutput();
    }
    bool number = false;
    const int display = output.trimmed().toInt(&number);
    if (!number) {
        error = QStringLiteral("Xvfb announced \"%1\", not a display number")
                    .arg(QString::fromLocal8Bit(output.trimmed()));
        return false;
    }
    m_display = QStringLiteral(":%1").arg(display);
    return true;
}

QProcessEnvironment XServer::Environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    // The server has no access control; a cookie file of another display is no use.
    environment.remove(QStringLiteral("XAUTHORITY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

Run RunXClient(const XServer& server, const QString& program, const QStringList& arguments,
               int timeoutMs)
{
    Run run;
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setProcessEnvironment(server.Environment());
    process.start(program, arguments);
    const QString command = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (!process.waitForStarted(timeoutMs)) {
        run.error = QStringLiteral("%1: cannot start (%2)").arg(command, process.errorString());
        return run;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(10000);
        run.error = QStringLiteral("%1: did not finish in %2 s").arg(command).arg(timeoutMs / 1000);
        return run;
    }
    run.milliseconds = clock.elapsed();
    run.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.error = QString::fromLocal8Bit(process.readAllStandardError());
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!run.ok) {
        run.error =
            QStringLiteral("%1: exit %2: %3").arg(command).arg(process.exitCode()).arg(run.error);
    }
    return run;
}

bool SendCloseRequest(const QString& display, quint32 window, QString& error)
{
    xcb_connection_t* connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        error = QStringLiteral("cannot connect to the display %1").arg(display);
        return false;
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = InternAtom(connection, "WM_PROTOCOLS");
    message.data.data32[0] = InternAtom(connection, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t sent = xcb_send_event_checked(
        connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    // The check is a round trip: the server has handled the request when it answers.
    xcb_generic_error_t* failure = xcb_request_check(connection, sent);
    const bool ok = failure == nullptr;
    if (!ok) {
        error = QStringLiteral("the server refused the close request (X error %1)")
                    .arg(failure->error_code);
    }
    std::free(failure);
    xcb_disconnect(connection);
    return ok;
}

QImage CaptureWindow(const QString& display, quint32 window, QString& error)
{
    xcb_connection_t* connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        error = QStringLiteral("cannot connect to the display %1").arg(display);
        return {};
    }
    QImage image;
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (geometry == nullptr) {
        error = QStringLiteral("no window %1 on %2").arg(window).arg(display);
    } else if (geometry->depth != 24) {
        error = QStringLiteral("the window's depth is %1, not 24").arg(geometry->depth);
    } else {
        xcb_generic_error_t* failure = nullptr;
        xcb_get_image_reply_t* reply =
            xcb_get_image_reply(connection,
                                xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                              geometry->width, geometry->height, ~0U),
                                &failure);
        const int bytes = reply != nullptr ? xcb_get_image_data_length(reply) : 0;
        if (reply == nullptr) {
            error = QStringLiteral("the server refused GetImage (X error %1)")
                        .arg(failure != nullptr ? failure->error_code : 0);
        } else if (bytes != geometry->width * geometry->height * 4) {
            error = QStringLiteral("GetImage gave %1 bytes for %2x%3 pixels")
                        .arg(bytes)
                        .arg(geometry->width)
                        .arg(geometry->height);
        } else {
            // Depth 24 in 32-bit pixels, the server's byte order (little-endian here):
            // QImage's RGB32.
            image = QImage(xcb_get_image_data(reply), geometry->width, geometry->height,
                           geometry->width * 4, QImage::Format_RGB32)
                        .copy();
        }
        std::free(failure);
        std::free(reply);
    }
    std::free(geometry);
    xcb_disconnect(connection);
    return image;
}

} // namespace xdisplay
