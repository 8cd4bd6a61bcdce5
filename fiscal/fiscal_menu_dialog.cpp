#include "fiscal/fiscal_menu_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace fiscal {

FiscalMenuDialog::FiscalMenuDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmMenuFiscal"));
    setWindowTitle(QStringLiteral("Menu Fiscal"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("Menu Fiscal"), this);
    title->setObjectName(QStringLiteral("lblTitulo"));
    QFont titleFont = title->font();
    titleFont.setPointSize(16);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    AddReport(QStringLiteral("btnLeituraX"), QStringLiteral("Leitura X"));
    AddReport(QStringLiteral("btnReducaoZ"), QStringLiteral("Redução Z"));
    AddReport(QStringLiteral("btnMemoriaFiscal"), QStringLiteral("Leitura da Memória Fiscal"));
    AddReport(QStringLiteral("btnEspelhoMfd"), QStringLiteral("Espelho MFD"));

    m_status = new QLabel(QStringLiteral("Escolha um relatório."), this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    auto* close = new QPushButton(QStringLiteral("Fechar"), this);
    close->setObjectName(QStringLiteral("btnFechar"));
    close->setMinimumHeight(48);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close);

    setFixedSize(360, 420);
}

QString FiscalMenuDialog::Status() const
{
    return m_status->text();
}

void FiscalMenuDialog::AddReport(const QString& objectName, const QString& caption)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(objectName);
    button->setMinimumHeight(48);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, caption] {
        m_status->setText(caption + QStringLiteral(": nenhuma impressora fiscal conectada."));
    });
    layout()->addWidget(button);
}

} // namespace fiscal
