#pragma once

#include <QEvent>
#include <QtGlobal>

namespace host {

// A window message delivered to a QObject: the receiver handles it in event(),
// reads the message and its parameters and may set a result for the sender.
class PlatformMessageEvent : public QEvent {
public:
    PlatformMessageEvent(unsigned message, quintptr wParam, qintptr lParam);

    // A copy, for a message that waits in a queue (see InputHold).
    PlatformMessageEvent* clone() const override { return new PlatformMessageEvent(*this); }

    // The registered event type of every platform message.
    static QEvent::Type EventType();

    unsigned Message() const { return m_message; }
    quintptr WParam() const { return m_wParam; }
    qintptr LParam() const { return m_lParam; }

    qintptr Result() const { return m_result; }
    void SetResult(qintptr result) { m_result = result; }

protected:
    PlatformMessageEvent(const PlatformMessageEvent&) = default;

private:
    unsigned m_message;
    quintptr m_wParam;
    qintptr m_lParam;
    qintptr m_result = 0;
};

} // namespace host
