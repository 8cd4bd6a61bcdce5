#pragma once

#include "host/platform/input_hold.h"

#include <QCoreApplication>

namespace testing_support {

// Runs the event loop until the input a pause held has all been handed on (one event
// a turn of the loop), then once more for what that input posted.
inline void ReleaseHeldInput()
{
    for (int turn = 0; turn < 10000 && host::InputHold::Instance()->HeldCount() > 0; ++turn) {
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
}

} // namespace testing_support
