// How the dialog ends: confirm and cancel post a close; nothing else closes it.
#include "form/guarded.h"
#include "form/tfrm_pesquisa.h"
#include "host/maker/tblended_bit_btn.h"
#include "host/platform/platform.h"
#include "ui_TfrmPesquisa.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <touchsearch/dataset.h>

void TfrmPesquisa::sbtEnterClick()
{
    pesquisa::Guarded([this] {
        if (!ui->sbtEnter->isEnabled()) {
            return;
        }
        FConfirmou = true;
        RequestClose();
    });
}

void TfrmPesquisa::sbtSairClick()
{
    pesquisa::Guarded([this] {
        FConfirmou = false;
        // Only the filter text goes back; the filter switch stays as the search left it.
        host::Dataset& dataSet = RequireDataSet();
        try {
            dataSet.SetFilter(FFiltroBase);
        } catch (...) {
            // A dataset that took the text but could not read its records with it (a
            // database server gone) has what cancel gives back: the dialog ends at once,
            // with no message to dismiss; the dataset reads its records again when next
            // used. A text not taken is told, and the dialog stays for the next cancel.
            if (dataSet.GetFilter() != FFiltroBase) {
                throw;
            }
        }
        RequestClose();
    });
}

void TfrmPesquisa::RequestClose()
{
    m_closeRequested = true;
    // Queued: whatever runs after this in the same event still runs.
    host::PostMessageA(this, host::WM_CLOSE, 0, 0);
}

void TfrmPesquisa::EnableEnter()
{
    if (const host::Dataset* dataSet = DataSet()) {
        ui->sbtEnter->setEnabled(!dataSet->IsEmpty());
    }
}

void TfrmPesquisa::closeEvent(QCloseEvent* e)
{
    if (!isVisible()) {
        // A second close request after the dialog ended: nothing left to do.
        e->accept();
        return;
    }
    if (!m_closeRequested) {
        // The window system's close (Alt+F4 through a window manager) is refused.
        e->ignore();
        return;
    }
    pesquisa::Guarded([this] { FormClose(); });
    e->accept();
    // Ends the modal loop; the result travels in FConfirmou.
    done(FConfirmou ? QDialog::Accepted : QDialog::Rejected);
}

void TfrmPesquisa::FormClose()
{
    FColunaAtual = 0;
}

void TfrmPesquisa::keyPressEvent(QKeyEvent* e)
{
    // Not QDialog's: Esc and Enter must not end the dialog on their own.
    QWidget::keyPressEvent(e);
}

void TfrmPesquisa::reject()
{
    // The dialog ends only through cancel (sbtSairClick).
}

void TfrmPesquisa::accept()
{
    // The dialog ends only through confirm (sbtEnterClick).
}
