#include "host/platform/platform.h"

#include "host/platform/input_hold.h"
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
    if (InputHold* hold = InputHold::Instance()) {
        hold->Drain();
    }
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
