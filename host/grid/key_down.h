#pragma once

#include "host/platform/virtual_keys.h"

#include <QKeyEvent>
#include <touchsearch/application.h>

namespace host::grid {

// Offers a physical key press to a control's key-down handler as a virtual-key
// code, under the application's guard. Returns true when the handler swallowed
// the key by setting the code to 0.
template <class EmitKeyDown> bool OfferKeyDown(QKeyEvent* event, EmitKeyDown&& emitKeyDown)
{
    int key = VirtualKeyFromQtKey(event->key());
    if (key == 0) {
        return false;
    }
    Application::Instance().Guard([&] { emitKeyDown(key); });
    if (key == 0) {
        event->accept();
        return true;
    }
    return false;
}

} // namespace host::grid
