#pragma once

#include <QtGlobal>

class QObject;

namespace host {

// An input message as the application's message hook sees it. The hook may rewrite
// it in place (for example a wheel message into a key-down for the same target).
struct Message {
    QObject* target = nullptr;
    unsigned message = 0;
    quintptr wParam = 0;
    qintptr lParam = 0;
};

} // namespace host
