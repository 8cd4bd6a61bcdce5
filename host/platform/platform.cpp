#include "host/platform/platform.h"

#include "host/platform/platform_message_event.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QWidget>
#include <dlfcn.h>
#include <utility>

namespace host {

namespace {

std::function<void(unsigned)>& SleepFunction()
{
    static std::function<void(unsigned)> sleep;
    return sleep;
}

bool IsPointerInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
        return true;
    default:
        return false;
    }
}

// Swallows pointer input while installed on the application.
class MouseDrain : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (IsPointerInput(event->type())) {
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

qintptr SendMessageA(QObject* target, unsigned message, quintptr wParam, qintptr lParam)
{
    if (target == nullptr) {
        return 0;
    }
    PlatformMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(target, &event);
    return event.Result();
}

bool PostMessageA(QObject* target, unsigned message, quintptr wParam, qintptr lParam)
{
    if (target == nullptr) {
        return false;
    }
    if (message == WM_CLOSE && target->isWidgetType()) {
        return QMetaObject::invokeMethod(target, "close", Qt::QueuedConnection);
    }
    QCoreApplication::postEvent(target, new PlatformMessageEvent(message, wParam, lParam));
    return true;
}

void Sleep(unsigned milliseconds)
{
    if (const auto& sleep = SleepFunction()) {
        sleep(milliseconds);
        return;
    }
    QThread::msleep(milliseconds);
}

std::function<void(unsigned)> SetSleepFunction(std::function<void(unsigned)> sleep)
{
    return std::exchange(SleepFunction(), std::move(sleep));
}

void DrainMouseMessages()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    MouseDrain drain;
    app->installEventFilter(&drain);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    app->removeEventFilter(&drain);
}

QString GetModuleFileNameA(const void* addressInModule)
{
    Dl_info info{};
    if (addressInModule == nullptr || dladdr(addressInModule, &info) == 0 ||
        info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
        return {};
    }
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
}

} // namespace host
