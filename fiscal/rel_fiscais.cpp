#include "fiscal/fiscal_menu_dialog.h"

#include <QApplication>

namespace {

// Opens the fiscal menu over the active window and returns when it closes.
void AbreMenuFiscal()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return; // no widgets without an application
    }
    fiscal::FiscalMenuDialog menu(QApplication::activeWindow());
    menu.exec();
}

} // namespace

// The module's one export: the procedure variable the search form calls on F1.
extern "C" {
__attribute__((visibility("default"))) void (*RelFiscais)() = &AbreMenuFiscal;
}
