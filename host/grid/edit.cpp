#include "host/grid/edit.h"

#include "host/app/application.h"
#include "host/platform/virtual_keys.h"

#include <QKeyEvent>

namespace host {

Edit::Edit(QWidget* parent) : QLineEdit(parent) {}

void Edit::keyPressEvent(QKeyEvent* event)
{
    int key = VirtualKeyFromQtKey(event->key());
    if (key != 0) {
        Application::Instance().Guard([&] { Q_EMIT OnKeyDown(this, key, event->modifiers()); });
        if (key == 0) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace host
