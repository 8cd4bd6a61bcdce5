#pragma once

#include "host/platform/virtual_keys.h"

#include <QString>
#include <QtGlobal>
#include <functional>

class QObject;

namespace host {

// Window messages the run time speaks.
inline constexpr unsigned WM_CLOSE = 0x0010;
inline constexpr unsigned WM_KEYDOWN = 0x0100;
inline constexpr unsigned WM_CHAR = 0x0102;
inline constexpr unsigned WM_MOUSEFIRST = 0x0200;
inline constexpr unsigned WM_MOUSEWHEEL = 0x020A;

// Delivers a PlatformMessageEvent to the target at once and returns the result its
// handler set (0 when unhandled or when there is no target).
qintptr SendMessageA(QObject* target, unsigned message, quintptr wParam, qintptr lParam);

// Queues a message for the target and returns at once. WM_CLOSE closes a widget
// through its "close" slot once control is back in the event loop; any other message
// is posted as a PlatformMessageEvent. False when there is no target.
bool PostMessageA(QObject* target, unsigned message, quintptr wParam, qintptr lParam);

// Blocks the calling thread for the given milliseconds. Tests replace the function
// so that they never wait; SetSleepFunction returns the previous one (an empty
// function restores the real sleep).
void Sleep(unsigned milliseconds);
std::function<void(unsigned)> SetSleepFunction(std::function<void(unsigned)> sleep);

// Takes every pending event off the queues without running an input handler: the
// mouse, wheel and touch input among them is dropped, and key input is held and
// handed on, in the order it was typed, once the calling handler has returned to the
// event loop (see InputHold).
void DrainMouseMessages();

// Absolute path of the program or shared library that contains the address; empty
// when it is not inside a loaded module.
QString GetModuleFileNameA(const void* addressInModule);

} // namespace host
