#include "tests/form/form_test_support.h"

#include "form/host_program.h"
#include "form/search_options.h"
#include "host/grid/db_grid.h"
#include "host/grid/edit.h"
#include "host/maker/tblended_bit_btn.h"
#include "host/platform/platform.h"

#include <QApplication>
#include <QTest>
#include <touchsearch/dataset_error.h>

namespace form_test {

RecordingDataset::RecordingDataset(const QStringList& fields, int records) : m_records(records)
{
    for (const QString& name : fields) {
        AddFieldObject(name, host::FieldType::Text, 20);
    }
}

void RecordingDataset::Prior()
{
    if (m_row > 0) {
        --m_row;
    }
}

void RecordingDataset::Next()
{
    if (m_row < m_records - 1) {
        ++m_row;
    }
}

void RecordingDataset::SetFilter(const QString& expression)
{
    if (!failWith.isEmpty()) {
        throw host::DatasetError(failWith);
    }
    m_filter = expression;
    filterHistory.append(expression);
}

QVariant RecordingDataset::Value(int row, int field) const
{
    return QStringLiteral("R%1F%2").arg(row).arg(field);
}

std::unique_ptr<host::ClientDataset> MakeClients()
{
    auto clients = std::make_unique<host::ClientDataset>();
    clients->AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
    clients->AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 40);
    clients->AddField(QStringLiteral("CIDADE"), host::FieldType::Text, 30);
    clients->AddField(QStringLiteral("ATIVO"), host::FieldType::Integer);
    clients->Open();
    const char* names[] = {"JOANA", "JOAO", "ANA", "BRUNO", "MARIA", "ANTONIO"};
    int code = 1;
    for (const char* name : names) {
        clients->AppendRecord(
            {code, QString::fromLatin1(name), QStringLiteral("RECIFE"), code % 2});
        ++code;
    }
    clients->First();
    return clients;
}

std::unique_ptr<host::ClientDataset> MakeTextDataset(const QStringList& fields)
{
    auto dataSet = std::make_unique<host::ClientDataset>();
    for (const QString& field : fields) {
        dataSet->AddField(field, host::FieldType::Text, 10);
    }
    dataSet->Open();
    for (int record = 0; record < 2; ++record) {
        QVariantList values;
        for (int i = 0; i < fields.size(); ++i) {
            values.append(QStringLiteral("V%1").arg(record));
        }
        dataSet->AppendRecord(values);
    }
    dataSet->First();
    return dataSet;
}

void FormTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    m_previousSleep = host::SetSleepFunction([this](unsigned ms) {
        sleeps.push_back(ms);
        if (duringSleep) {
            duringSleep();
        }
    });
    m_previousPresenter = host::Application::Instance().SetMessagePresenter(
        [this](const QString&, const QString& text) { messages.append(text); });
    // Not the fiscal host, and no parameter file, unless a test says otherwise.
    pesquisa::SetHostProgramPath(dir.filePath(QStringLiteral("caixa")));
    // No search options unless a test sets them.
    pesquisa::ModuleSearchOptions() = {};
}

void FormTest::TearDown()
{
    host::SetSleepFunction(m_previousSleep);
    host::Application::Instance().SetMessagePresenter(m_previousPresenter);
    pesquisa::SetHostProgramPath(QString());
    pesquisa::ModuleSearchOptions() = {};
}

std::unique_ptr<TfrmPesquisa> FormTest::MakeForm(host::Dataset* dataSet, const QString& limpaFiltro,
                                                 bool semMenuFiscal)
{
    auto form = std::make_unique<TfrmPesquisa>();
    form->InicializaForm(dataSet, QStringLiteral("aux"), limpaFiltro, 1, 2, 3, 4, semMenuFiscal);
    sleeps.clear();
    return form;
}

void FormTest::Show(TfrmPesquisa& form)
{
    form.open();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
}

void FormTest::ProcessPosted()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

host::TBlendedBitBtn* FormTest::Key(TfrmPesquisa& form, const QString& name)
{
    auto* key = qobject_cast<host::TBlendedBitBtn*>(form.FindComponent(name));
    EXPECT_NE(key, nullptr) << name.toStdString();
    return key;
}

host::DbGrid* FormTest::Grid(TfrmPesquisa& form)
{
    return form.findChild<host::DbGrid*>(QStringLiteral("dbgPesquisa"));
}

host::Edit* FormTest::SearchBox(TfrmPesquisa& form)
{
    return form.findChild<host::Edit*>(QStringLiteral("edtFiltro"));
}

void FormTest::Tap(TfrmPesquisa& form, const QString& name)
{
    host::TBlendedBitBtn* key = Key(form, name);
    ASSERT_NE(key, nullptr);
    QTest::mouseClick(key, Qt::LeftButton, Qt::NoModifier, key->rect().center());
}

void FormTest::Press(TfrmPesquisa& form, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr || target->window() != &form) {
        target = form.focusWidget() != nullptr ? form.focusWidget() : &form;
    }
    QTest::keyClick(target, key, modifiers);
}

void FormTest::Type(TfrmPesquisa& form, const QString& text)
{
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr || target->window() != &form) {
        target = form.focusWidget() != nullptr ? form.focusWidget() : &form;
    }
    for (const QChar c : text) {
        const bool upper = c.isUpper();
        QTest::keyClick(target, c.toLatin1(), upper ? Qt::ShiftModifier : Qt::NoModifier);
    }
}

} // namespace form_test
