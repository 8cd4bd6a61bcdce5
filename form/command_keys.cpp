// Command keys, the record cursor buttons and the column-step buttons.
#include "form/fiscal_menu.h"
#include "form/guarded.h"
#include "form/tfrm_pesquisa.h"
#include "host/grid/db_grid.h"
#include "host/grid/grid_column.h"
#include "host/maker/tblended_bit_btn.h"
#include "host/platform/virtual_keys.h"
#include "ui_TfrmPesquisa.h"

#include <touchsearch/dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/field.h>

void TfrmPesquisa::FormKeyDown(QObject* /*Sender*/, int& Key, Qt::KeyboardModifiers Shift)
{
    // Independent tests, in this order, each on the key code as it now stands.
    if (Key == host::VK_F1 && !FSemMenuFiscal && FHostZyl) {
        if (const pesquisa::FiscalMenuProcedure relFiscais = pesquisa::FindRelFiscais()) {
            relFiscais();
        }
    }
    if (Key == host::VK_5 && Shift == Qt::ShiftModifier) {
        sbtFiltroClick();
    }
    if (Key == host::VK_ESCAPE) {
        ui->sbtSair->Click();
    }
    if (Key == host::VK_RETURN && ui->sbtEnter->isEnabled()) {
        ui->sbtEnter->Click();
    }
    if (Key == host::VK_DELETE) {
        Clear();
    }
    if (Key == host::VK_BACK) {
        Backspace();
    }
    if (Key == host::VK_CAPITAL) {
        ui->spdCapsLock->Click();
    }
    if (Key == host::VK_SHIFT) {
        // Latched without relabelling the keys.
        FShift = true;
    }
    if (Key == host::VK_F4 && Shift == Qt::AltModifier) {
        Key = 0;
    }
    EnableEnter();
}

void TfrmPesquisa::edtFiltroKeyDown(QObject* /*Sender*/, int& Key, Qt::KeyboardModifiers Shift)
{
    pesquisa::Guarded([&] {
        if (Key == host::VK_ESCAPE) {
            ui->sbtSair->Click();
        }
        if (Key == host::VK_RETURN && ui->sbtEnter->isEnabled()) {
            ui->sbtEnter->Click();
        }
        if (Key == host::VK_F4 && Shift == Qt::AltModifier) {
            Key = 0;
        }
    });
}

void TfrmPesquisa::dbgPesquisaKeyDown(QObject* /*Sender*/, int& Key, Qt::KeyboardModifiers Shift)
{
    pesquisa::Guarded([&] {
        if (Key == host::VK_ESCAPE) {
            ui->sbtSair->Click();
        }
        if (Key == host::VK_RETURN) {
            // sbtEnterClick checks that the button is enabled.
            ui->sbtEnter->Click();
        }
        if (Key == host::VK_F4 && Shift == Qt::AltModifier) {
            Key = 0;
        }
        if (Key == host::VK_DELETE && Shift == Qt::ControlModifier) {
            // The grid's own Ctrl+Delete would delete the record.
            Key = 0;
        }
    });
}

void TfrmPesquisa::sbtPrimeiroClick()
{
    pesquisa::Guarded([this] { RequireDataSet().First(); });
}

void TfrmPesquisa::sbtRolarCimaClick()
{
    pesquisa::Guarded([this] { RequireDataSet().Prior(); });
}

void TfrmPesquisa::sbtRolaBaixoClick()
{
    pesquisa::Guarded([this] { RequireDataSet().Next(); });
}

void TfrmPesquisa::sbtUltimoClick()
{
    pesquisa::Guarded([this] { RequireDataSet().Last(); });
}

void TfrmPesquisa::sbtVoltarClick()
{
    pesquisa::Guarded([this] {
        if (FColunaAtual != 0) {
            --FColunaAtual;
        }
        FocusColumn(FColunaAtual);
    });
}

void TfrmPesquisa::sbtAvancarClick()
{
    pesquisa::Guarded([this] {
        if (FColunaAtual < ui->dbgPesquisa->GetColumnCount() - 1) {
            ++FColunaAtual;
        }
        FocusColumn(FColunaAtual);
    });
}

void TfrmPesquisa::FocusColumn(int column)
{
    host::GridColumn* gridColumn = ui->dbgPesquisa->GetColumn(column);
    host::Field* field = gridColumn->GetField();
    if (field == nullptr) {
        throw host::DatasetError(
            QStringLiteral("The grid column %1 shows the field \"%2\", which the dataset does "
                           "not have.")
                .arg(column)
                .arg(gridColumn->GetFieldName()));
    }
    // The grid takes the focus and selects the column; the search column stays.
    field->FocusControl();
}
