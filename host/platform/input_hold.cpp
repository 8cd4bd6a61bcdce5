#include "host/platform/input_hold.h"

#include "host/platform/platform.h"
#include "host/platform/platform_message_event.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <utility>

namespace host {

namespace {

enum class InputKind { None, Pointer, Held, ShortcutQuery };

InputKind KindOf(const QEvent& event)
{
    if (IsPointerInput(event)) {
        return InputKind::Pointer;
    }
    if (IsKeyInput(event)) {
        return InputKind::Held;
    }
    return event.type() == QEvent::ShortcutOverride ? InputKind::ShortcutQuery : InputKind::None;
}

QEvent::Type ReleaseEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace

bool IsPointerInput(const QEvent& event)
{
    switch (event.type()) {
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

bool IsKeyInput(const QEvent& event)
{
    switch (event.type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
        return true;
    default:
        break;
    }
    if (event.type() == PlatformMessageEvent::EventType()) {
        const unsigned message = static_cast<const PlatformMessageEvent&>(event).Message();
        return message == WM_CHAR || message == WM_KEYDOWN;
    }
    return false;
}

InputHold::InputHold(QObject* application) : QObject(application) {}

InputHold* InputHold::Instance()
{
    static QPointer<InputHold> instance;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return nullptr;
    }
    if (instance.isNull()) {
        // A child of the application object: it goes when the application goes.
        instance = new InputHold(app);
    }
    return instance.data();
}

void InputHold::Drain()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (m_draining || app == nullptr) {
        return;
    }
    // Installed (again) now, so that it is the first filter asked: the message hook
    // must not turn a dropped wheel into a key.
    app->installEventFilter(this);
    m_draining = true;
    // Timers wait too: nothing but taking input off the queues happens here.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::X11ExcludeTimers);
    m_draining = false;
    if (!m_held.empty()) {
        ScheduleRelease();
    }
}

bool InputHold::eventFilter(QObject* watched, QEvent* event)
{
    const InputKind kind = KindOf(*event);
    if (kind == InputKind::None) {
        return false;
    }
    if (m_draining) {
        // A shortcut must not act on a press that is held: the press is asked about
        // first, and "taken" keeps every shortcut out.
        if (kind == InputKind::Held) {
            Hold(watched, *event);
        }
        event->accept();
        return true;
    }
    // Fresh input from the window system queues behind what is held. Input handed on
    // from the queue, and anything a handler sends, is not spontaneous and passes.
    if (!m_held.empty() && event->spontaneous() && kind != InputKind::ShortcutQuery) {
        Hold(watched, *event);
        event->accept();
        return true;
    }
    return false;
}

bool InputHold::event(QEvent* event)
{
    if (event->type() != ReleaseEventType()) {
        return QObject::event(event);
    }
    m_releasePosted = false;
    // A pause that began while this was queued hands its input on when it ends.
    if (!m_draining) {
        ReleaseOne();
    }
    return true;
}

void InputHold::Hold(QObject* receiver, const QEvent& event)
{
    m_held.push_back({receiver, std::unique_ptr<QEvent>(event.clone())});
}

void InputHold::ScheduleRelease()
{
    if (m_releasePosted) {
        return;
    }
    m_releasePosted = true;
    // Low priority: whatever the pausing handler posted (a close request, a repaint)
    // goes first, as a queue of window messages hands out posted messages first.
    QCoreApplication::postEvent(this, new QEvent(ReleaseEventType()), Qt::LowEventPriority);
}

void InputHold::ReleaseOne()
{
    if (m_held.empty()) {
        return;
    }
    Held next = std::move(m_held.front());
    m_held.pop_front();
    // One event a turn of the event loop: what its handler posts runs before the next.
    if (!m_held.empty()) {
        ScheduleRelease();
    }
    if (next.receiver != nullptr) {
        QCoreApplication::sendEvent(next.receiver, next.event.get());
    }
}

} // namespace host
