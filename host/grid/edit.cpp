#include "host/grid/edit.h"

#include "host/grid/key_down.h"

#include <QKeyEvent>

namespace host {

Edit::Edit(QWidget* parent) : QLineEdit(parent) {}

void Edit::keyPressEvent(QKeyEvent* event)
{
    if (grid::OfferKeyDown(event,
                           [&](int& key) { Q_EMIT OnKeyDown(this, key, event->modifiers()); })) {
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace host
