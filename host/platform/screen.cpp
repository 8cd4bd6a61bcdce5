#include "host/platform/screen.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace host {

QWidget* Screen::GetActiveControl()
{
    if (QWidget* focus = QApplication::focusWidget()) {
        return focus;
    }
    if (QApplication::activeWindow() != nullptr) {
        return nullptr; // an active window with nothing focused in it
    }
    // A window just shown is the active form at once, but the window system reports
    // the activation later (queued on the offscreen platform, after the next events;
    // on X after its focus round trip), and until then Qt has no focus widget.
    // Meanwhile the modal window in front is the one the user acts on: its focus
    // child is the active control.
    const QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr && modal->isVisible() ? modal->focusWidget() : nullptr;
}

int Screen::GetWidth()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().width() : 0;
}

int Screen::GetHeight()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().height() : 0;
}

} // namespace host
