#include "host/app/screen.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace host {

QWidget* Screen::GetActiveControl()
{
    return QApplication::focusWidget();
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
