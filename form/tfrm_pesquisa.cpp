#include "form/tfrm_pesquisa.h"

#include "form/frame_shape.h"
#include "form/search_text.h"
#include "host/grid/data_source.h"
#include "host/grid/db_grid.h"
#include "host/maker/tblended_bit_btn.h"
#include "host/maker/tmessages.h"
#include "ui_TfrmPesquisa.h"

#include <QApplication>
#include <QResizeEvent>
#include <QTimer>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>

TfrmPesquisa::TfrmPesquisa(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      ui(std::make_unique<Ui::TfrmPesquisa>())
{
    ui->setupUi(this);

    dtsPesquisa = new host::DataSource(this);
    dtsPesquisa->setObjectName(QStringLiteral("dtsPesquisa"));
    ui->dbgPesquisa->SetDataSource(dtsPesquisa);

    msgPadrao = new host::TMessages(this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
    msgPadrao->setProperty("Messages", QStringList{QStringLiteral("FILIAL|Filial"),
                                                   QStringLiteral("Operador|Operador"),
                                                   QStringLiteral("Versao|Versão ")});

    cdsParametrosZyl = new host::ClientDataset(this);
    cdsParametrosZyl->setObjectName(QStringLiteral("cdsParametrosZyl"));

    // Kept for the layout's sake: it has no handler and does nothing.
    timDataHora = new QTimer(this);
    timDataHora->setObjectName(QStringLiteral("timDataHora"));

    ApplyFontPixelSizes();

    // Taps on the keys must leave the focus where it is (the grid, normally).
    for (host::TBlendedBitBtn* button : findChildren<host::TBlendedBitBtn*>()) {
        button->setFocusPolicy(Qt::NoFocus);
    }
    ui->Shape1->lower();
    ui->Shape1->setGeometry(rect());
    // First in the tab order: the grid holds the focus when the window opens.
    ui->dbgPesquisa->setFocus();

    // The form sees every key before the focused control.
    qApp->installEventFilter(this);

    FormCreate();
}

TfrmPesquisa::~TfrmPesquisa()
{
    qApp->removeEventFilter(this);
}

void TfrmPesquisa::ApplyFontPixelSizes()
{
    // The layout gives its fonts in pixels (the .ui format keeps point sizes only).
    const auto applyTo = [](QWidget* widget) {
        const QVariant pixels = widget->property("fontPixelSize");
        if (pixels.isValid()) {
            QFont font = widget->font();
            font.setPixelSize(pixels.toInt());
            widget->setFont(font);
        }
    };
    applyTo(this);
    for (QWidget* widget : findChildren<QWidget*>()) {
        applyTo(widget);
    }

    host::DbGrid* grid = ui->dbgPesquisa;
    QFont title(grid->property("titleFontFamily").toString());
    title.setPixelSize(grid->property("titleFontPixelSize").toInt());
    title.setBold(true);
    grid->SetTitleFont(title);
}

void TfrmPesquisa::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    // The white window and its frame follow the client area at any size.
    ui->Shape1->setGeometry(rect());
}

QObject* TfrmPesquisa::FindComponent(const QString& name) const
{
    const QList<QObject*> children = findChildren<QObject*>();
    for (QObject* child : children) {
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0) {
            return child;
        }
    }
    return nullptr;
}

host::TBlendedBitBtn* TfrmPesquisa::Button(const char* name) const
{
    auto* button = qobject_cast<host::TBlendedBitBtn*>(FindComponent(QLatin1String(name)));
    if (button == nullptr) {
        throw host::DatasetError(
            QStringLiteral("The search form has no button named \"%1\".").arg(QLatin1String(name)));
    }
    return button;
}

QString TfrmPesquisa::SearchText() const
{
    return ui->edtFiltro->text();
}

void TfrmPesquisa::SetSearchText(const QString& text)
{
    ui->edtFiltro->setText(text);
}

host::Dataset* TfrmPesquisa::DataSet() const
{
    return dtsPesquisa->GetDataSet();
}

host::Dataset& TfrmPesquisa::RequireDataSet() const
{
    host::Dataset* dataSet = dtsPesquisa->GetDataSet();
    if (dataSet == nullptr) {
        throw host::DatasetError(
            QStringLiteral("The search form has no dataset: the search was not prepared."));
    }
    return *dataSet;
}

host::ClientDataset* TfrmPesquisa::ClientDataSet() const
{
    return dynamic_cast<host::ClientDataset*>(dtsPesquisa->GetDataSet());
}
