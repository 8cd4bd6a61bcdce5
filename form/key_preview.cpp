// The form's key preview: every physical key reaches the form's handlers before the
// focused control; messages sent to the form reach them directly.
#include "form/guarded.h"
#include "form/search_text.h"
#include "form/tfrm_pesquisa.h"
#include "host/platform/input_hold.h"
#include "host/platform/platform.h"
#include "host/platform/platform_message_event.h"

#include <QKeyEvent>
#include <QWindow>

namespace {

constexpr Qt::KeyboardModifiers kModifierKeys =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// Ctrl or Alt alone turn a key into a command: no character is typed (as the
// platform gives no character message for them). Both together are AltGr.
bool CarriesCharacter(const QKeyEvent& event)
{
    if (event.text().isEmpty()) {
        return false;
    }
    const Qt::KeyboardModifiers held = event.modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    return held == Qt::NoModifier || held == (Qt::ControlModifier | Qt::AltModifier);
}

} // namespace

bool TfrmPesquisa::eventFilter(QObject* watched, QEvent* e)
{
    // Once confirm or cancel has asked for the close the dialog is ending: input for
    // its window is dropped, so nothing typed or tapped after Enter changes what was
    // confirmed (a window message queue, too, hands the close out before later input).
    if (m_closeRequested && (host::IsKeyInput(*e) || host::IsPointerInput(*e)) &&
        IsInThisWindow(watched)) {
        return true;
    }
    if (e->type() == QEvent::KeyRelease) {
        m_previewed = {};
        return false;
    }
    if (e->type() != QEvent::KeyPress || !watched->isWidgetType()) {
        return QDialog::eventFilter(watched, e);
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this) {
        return false;
    }
    auto* keyEvent = static_cast<QKeyEvent*>(e);
    // The same press travelling up to the receiver's ancestors was previewed already.
    // (A new press may reuse the address of the last one: its key tells them apart.)
    const PreviewedKey& last = m_previewed;
    if (last.event == e && last.key == keyEvent->key() && last.modifiers == keyEvent->modifiers() &&
        last.text == keyEvent->text() && last.receiver != nullptr &&
        (widget == last.receiver || widget->isAncestorOf(last.receiver))) {
        return false;
    }
    m_previewed = {e, keyEvent->key(), keyEvent->modifiers(), keyEvent->text(), widget};
    return PreviewKey(*keyEvent);
}

bool TfrmPesquisa::IsInThisWindow(const QObject* object) const
{
    if (object->isWidgetType()) {
        return static_cast<const QWidget*>(object)->window() == this;
    }
    return object == windowHandle();
}

bool TfrmPesquisa::PreviewKey(QKeyEvent& event)
{
    bool swallow = false;
    pesquisa::Guarded([&] {
        int key = host::VirtualKeyFromQtKey(event.key());
        const int pressed = key;
        FormKeyDown(this, key, event.modifiers() & kModifierKeys);
        if (pressed != 0 && key == 0) {
            swallow = true;
            return;
        }
        if (CarriesCharacter(event)) {
            for (const QChar c : event.text()) {
                char byte = pesquisa::ByteFromChar(c);
                FormKeyPress(this, byte);
            }
        }
    });
    return swallow;
}

bool TfrmPesquisa::event(QEvent* e)
{
    if (e->type() != host::PlatformMessageEvent::EventType()) {
        return QDialog::event(e);
    }
    auto* message = static_cast<host::PlatformMessageEvent*>(e);
    pesquisa::Guarded([&] {
        if (message->Message() == host::WM_CHAR) {
            char key = static_cast<char>(message->WParam() & 0xFF);
            FormKeyPress(this, key);
        } else if (message->Message() == host::WM_KEYDOWN) {
            int key = static_cast<int>(message->WParam());
            FormKeyDown(this, key, Qt::NoModifier);
        }
    });
    return true;
}
