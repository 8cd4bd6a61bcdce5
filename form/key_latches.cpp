// The Caps Lock and one-shot Shift latches, and the letter keys' captions.
#include "form/guarded.h"
#include "form/tfrm_pesquisa.h"
#include "host/maker/tblended_bit_btn.h"
#include "ui_TfrmPesquisa.h"

void TfrmPesquisa::sbtShiftClick()
{
    pesquisa::Guarded([this] {
        FShift = !FShift;
        RelabelLetterKeys(FCapsLock != FShift);
    });
}

void TfrmPesquisa::spdCapsLockClick()
{
    pesquisa::Guarded([this] {
        FShift = false;
        FCapsLock = !FCapsLock;
        RelabelLetterKeys(FCapsLock);
    });
}

void TfrmPesquisa::RelabelLetterKeys(bool Maiusculas)
{
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const QString name = QStringLiteral("sbt") + QLatin1Char(letter);
        if (auto* key = qobject_cast<host::TBlendedBitBtn*>(FindComponent(name))) {
            const char shown = Maiusculas ? letter : static_cast<char>(letter - 'A' + 'a');
            key->setCaption(QString(QLatin1Char(shown)));
        }
    }
    ui->sbtCCdil->setCaption(Maiusculas ? QStringLiteral("\u00C7") : QStringLiteral("\u00E7"));
}
