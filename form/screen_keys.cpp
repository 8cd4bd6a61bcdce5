// The on-screen keys that type: they send the form the message a physical key would.
#include "form/guarded.h"
#include "form/search_text.h"
#include "form/tfrm_pesquisa.h"
#include "host/maker/tblended_bit_btn.h"
#include "host/platform/platform.h"

void TfrmPesquisa::PostText(const QByteArray& Texto, bool ComEnter, bool ComoCaractere)
{
    // To the form itself, never to the focused control; each send is handled before
    // it returns.
    for (const char byte : Texto) {
        host::SendMessageA(this, ComoCaractere ? host::WM_CHAR : host::WM_KEYDOWN,
                           static_cast<unsigned char>(byte), 0);
    }
    if (ComEnter) {
        host::SendMessageA(this, host::WM_KEYDOWN, host::VK_RETURN, 0);
    }
}

void TfrmPesquisa::sbt1Click()
{
    pesquisa::Guarded([this] {
        const auto* key = qobject_cast<const host::TBlendedBitBtn*>(sender());
        if (key == nullptr) {
            return;
        }
        const auto code = static_cast<char>(key->GetTag());
        // The key-press handler's own case rule has the last word.
        const char typed =
            (FCapsLock || FShift) ? pesquisa::AsciiUpper(code) : pesquisa::AsciiLower(code);
        PostText(QByteArray(1, typed), false, true);
    });
}

void TfrmPesquisa::sbtCCdilClick()
{
    pesquisa::Guarded([this] {
        const char cedilla = static_cast<char>(FCapsLock != FShift ? 199 : 231);
        PostText(QByteArray(1, cedilla), false, true);
    });
}

void TfrmPesquisa::sbtLimparClick()
{
    pesquisa::Guarded([this] {
        // "." is byte 46, the key code of Delete: the search empties.
        PostText(QByteArrayLiteral("."), false, false);
        repaint();
    });
}

void TfrmPesquisa::spdBackSpaceClick()
{
    pesquisa::Guarded([this] {
        PostText(QByteArray(1, static_cast<char>(host::VK_BACK)), false, false);
        repaint();
    });
}
