// Creation and initialisation: the state the user meets when the window opens.
#include "form/host_program.h"
#include "form/tfrm_pesquisa.h"
#include "form/touch_hygiene.h"
#include "host/grid/db_grid.h"
#include "host/maker/maker_routines.h"
#include "host/platform/screen.h"
#include "ui_TfrmPesquisa.h"

#include <QFileInfo>
#include <touchsearch/application.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>

void TfrmPesquisa::FormCreate()
{
    host::Trad(this);
    // For the whole host application, replacing any hook it had.
    host::Application::Instance().SetOnMessage(&pesquisa::AppEventsMessage);
}

void TfrmPesquisa::InicializaForm(host::Dataset* DataSet, const QString& TextoAuxiliar,
                                  const QString& LimpaFiltro, qint32 /*Valor1*/, qint32 /*Valor2*/,
                                  qint32 /*Valor3*/, qint32 /*Valor4*/, bool SemMenuFiscal)
{
    FColunaAtual = 0;
    FTextoAuxiliar = TextoAuxiliar;
    FLimpaFiltro = LimpaFiltro;
    FSemMenuFiscal = SemMenuFiscal;

    const host::Application& application = host::Application::Instance();
    setWindowTitle(application.GetTitle());
    setWindowIcon(application.GetIcon());

    resize(width(), 600);
    resize(800, 600);
    // On a small screen the window hangs over both edges alike (signed division,
    // truncating toward zero).
    if (host::Screen::GetWidth() < 800) {
        move((host::Screen::GetWidth() - width()) / 2, y());
    }
    if (host::Screen::GetHeight() < 600) {
        move(x(), (host::Screen::GetHeight() - height()) / 2);
    }

    ui->dbgPesquisa->SetDefaultColors(true);

    FConfirmou = false;
    FCapsLock = false;
    FShift = false;
    // The first character of every dialog comes out upper-case.
    sbtShiftClick();

    const QString program = pesquisa::HostProgramPath();
    ReadParameterFile();
    FHostZyl = pesquisa::IsZylHost(program);

    // The resource caption announces the F1 fiscal menu; it stays only inside the
    // fiscal host with the fiscal printer in use.
    if (!(FUtilizaImpFis && FHostZyl)) {
        ui->lblCodTela->setText(
            host::MontaRodapeGeral(false, QStringLiteral("QBX00512"), QStringLiteral("N")));
    }

    // Searched fields are checked before the dataset is touched: a bad name leaves
    // it as the host gave it.
    if (DataSet != nullptr) {
        ReadSearchOptions(*DataSet);
    }
    PreparaPesquisa(DataSet);

    QPalette palette = ui->edtFiltro->palette();
    palette.setColor(QPalette::Base, Qt::white);
    ui->edtFiltro->setPalette(palette);

    EmptyMouseQueue();
}

void TfrmPesquisa::ReadParameterFile()
{
    const QString path = pesquisa::ParameterFilePath(pesquisa::HostProgramPath());
    const QFileInfo file(path);
    if (!file.exists() || file.isDir()) {
        return;
    }
    try {
        cdsParametrosZyl->LoadFromFile(path);
        if (!cdsParametrosZyl->IsActive()) {
            cdsParametrosZyl->Open();
        }
        host::Field* field = cdsParametrosZyl->FieldByName(QStringLiteral("UTILIZAIMPFIS"));
        // A file without records reads as a null value: false.
        FUtilizaImpFis = !cdsParametrosZyl->IsEmpty() && field->AsBoolean();
    } catch (const std::exception& error) {
        throw host::DatasetError(QStringLiteral("The parameter file \"%1\" cannot be read: %2")
                                     .arg(path, QString::fromUtf8(error.what())));
    }
}
