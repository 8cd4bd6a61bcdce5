#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <deque>
#include <memory>

namespace host {

// Mouse, wheel, touch and tablet input.
bool IsPointerInput(const QEvent& event);
// Key presses and releases, input method text and posted key messages
// (PlatformMessageEvent's WM_CHAR and WM_KEYDOWN).
bool IsKeyInput(const QEvent& event);

// The message queue a pausing handler leaves behind. While a handler of the user
// interface thread pauses (the one-second wait before a tap is taken), a person or a
// barcode scanner goes on typing. Drain() takes the pending input off the window
// system without running any handler: pointer input (mouse, wheel, touch, tablet) is
// dropped, and every other input (keys, posted key messages) is held. Held input is
// handed on, one event at a time and in the order it arrived, once control is back
// in an event loop, that is after the pausing handler has returned; input that
// arrives while any is still held queues behind it, so nothing overtakes.
class InputHold : public QObject {
    Q_OBJECT

public:
    // The application's one queue; null without an application object.
    static InputHold* Instance();

    // Takes every pending event off the queues; see the class comment.
    void Drain();

    // Input held for later (tests read it).
    int HeldCount() const { return static_cast<int>(m_held.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    explicit InputHold(QObject* application);

    void Hold(QObject* receiver, const QEvent& event);
    void ScheduleRelease();
    void ReleaseOne();

    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };
    std::deque<Held> m_held;
    bool m_draining = false;
    bool m_releasePosted = false;
};

} // namespace host
