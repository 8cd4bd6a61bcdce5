#include "host/app/message_hook_filter.h"

#include "host/platform/platform.h"
#include "host/platform/screen.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <algorithm>
#include <limits>
#include <touchsearch/application.h>

namespace host::app {

namespace {

// A press and release of a virtual key, delivered at once to the target.
void DeliverKey(QObject* target, int vk)
{
    const int qtKey = QtKeyFromVirtualKey(vk);
    if (target == nullptr || qtKey == 0) {
        return;
    }
    QString text;
    if ((vk >= VK_A && vk < VK_A + 26) || (vk >= VK_0 && vk <= VK_0 + 9) || vk == VK_SPACE) {
        text = QChar(vk);
    }
    QKeyEvent press(QEvent::KeyPress, qtKey, QApplication::keyboardModifiers(), text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, QApplication::keyboardModifiers(), text);
    QCoreApplication::sendEvent(target, &release);
}

quintptr WheelParam(const QWheelEvent& wheel)
{
    const QPoint angle = wheel.angleDelta();
    int delta = angle.y() != 0 ? angle.y() : angle.x();
    delta = std::clamp<int>(delta, std::numeric_limits<qint16>::min(),
                            std::numeric_limits<qint16>::max());
    return static_cast<quintptr>(static_cast<quint16>(static_cast<qint16>(delta))) << 16;
}

} // namespace

MessageHookFilter::MessageHookFilter(QObject* parent) : QObject(parent) {}

bool MessageHookFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel || !watched->isWidgetType()) {
        return QObject::eventFilter(watched, event);
    }
    Application& app = Application::Instance();
    if (app.GetOnMessage() == nullptr) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    const auto* wheel = static_cast<const QWheelEvent*>(event);
    // One wheel event reaches several widgets: a scroll area hands the same event
    // on to its scroll bar, and an ignored event travels on to the parents as a
    // copy. Only its first receiver offers it to the hook.
    const bool sameWheel = m_lastOffered.widget && m_lastOffered.timestamp == wheel->timestamp() &&
                           m_lastOffered.delta == wheel->angleDelta() &&
                           m_lastOffered.globalPosition == wheel->globalPosition();
    if (sameWheel && widget != m_lastOffered.widget &&
        (m_lastOffered.event == event || widget->isAncestorOf(m_lastOffered.widget))) {
        return false;
    }
    m_lastOffered = {widget, event, wheel->timestamp(), wheel->angleDelta(),
                     wheel->globalPosition()};

    // Wheel messages go to the focused window, as the platform's wheel messages do.
    QWidget* focus = Screen::GetActiveControl();
    Message message{focus != nullptr ? focus : widget, WM_MOUSEWHEEL, WheelParam(*wheel), 0};
    if (app.DispatchToHook(message)) {
        return true;
    }
    if (message.message == WM_KEYDOWN) {
        QObject* target = message.target != nullptr ? message.target : focus;
        app.Guard([&] { DeliverKey(target, static_cast<int>(message.wParam)); });
        return true;
    }
    return false;
}

} // namespace host::app
