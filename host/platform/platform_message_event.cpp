#include "host/platform/platform_message_event.h"

namespace host {

PlatformMessageEvent::PlatformMessageEvent(unsigned message, quintptr wParam, qintptr lParam)
    : QEvent(EventType()), m_message(message), m_wParam(wParam), m_lParam(lParam)
{
}

QEvent::Type PlatformMessageEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace host
