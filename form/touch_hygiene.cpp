#include "form/touch_hygiene.h"

#include "form/guarded.h"
#include "form/tfrm_pesquisa.h"
#include "host/grid/db_grid.h"
#include "host/platform/platform.h"
#include "host/platform/screen.h"

namespace pesquisa {

void AppEventsMessage(host::Message& Msg, bool& /*Handled*/)
{
    if (Msg.message != host::WM_MOUSEWHEEL) {
        return;
    }
    // The focused control decides, wherever the pointer is.
    if (qobject_cast<host::DbGrid*>(host::Screen::GetActiveControl()) == nullptr) {
        return;
    }
    const auto delta = static_cast<qint16>(static_cast<quint16>((Msg.wParam >> 16) & 0xFFFF));
    Msg.message = host::WM_KEYDOWN;
    Msg.wParam = delta > 0 ? host::VK_UP : host::VK_DOWN;
    Msg.lParam = 0;
}

} // namespace pesquisa

void TfrmPesquisa::EmptyMouseQueue()
{
    host::Sleep(1000);
    host::DrainMouseMessages();
}

void TfrmPesquisa::dbgPesquisaDblClick()
{
    pesquisa::Guarded([this] {
        EmptyMouseQueue();
        sbtEnterClick();
    });
}
