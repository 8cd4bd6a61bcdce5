#include "tests/entry/search_fixture.h"

#include "form/tfrm_pesquisa.h"
#include "host/grid/db_grid.h"
#include "host/platform/platform.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <touchsearch/application.h>
#include <touchsearch/pesquisa.h>

namespace {
constexpr int kWatchdogMilliseconds = 20000;
}

WhenShown::WhenShown(std::function<void(TfrmPesquisa&)> action) : m_action(std::move(action))
{
    qApp->installEventFilter(this);
}

WhenShown::~WhenShown()
{
    qApp->removeEventFilter(this);
}

bool WhenShown::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && frmPesquisa != nullptr && watched == frmPesquisa) {
        ++m_shown;
        TfrmPesquisa* form = frmPesquisa;
        QTimer::singleShot(0, form, [this, form] { m_action(*form); });
        QTimer::singleShot(kWatchdogMilliseconds, form, [form] {
            ADD_FAILURE() << "the dialog was still open; cancelling it";
            form->sbtSairClick();
        });
    }
    return false;
}

void SearchTest::SetUp()
{
    host::SetSleepFunction([](unsigned) {});
    host::Application::Instance().SetMessagePresenter(
        [this](const QString&, const QString& text) { m_messages.append(text); });
}

void SearchTest::TearDown()
{
    // Search options set by a test end with it.
    PesquisaSearchOptions(nullptr, 0);
    host::SetSleepFunction({});
    host::Application::Instance().SetMessagePresenter({});
    EXPECT_EQ(frmPesquisa, nullptr);
}

std::unique_ptr<host::ClientDataset> SearchTest::Customers(int records)
{
    static const char* const names[] = {"ANA SOUZA", "BRUNO LIMA", "CARLA DIAS", "CARLOS REIS",
                                        "DANIEL ALVES"};
    auto dataset = std::make_unique<host::ClientDataset>();
    dataset->AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
    dataset->AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 30);
    for (int i = 0; i < records; ++i) {
        dataset->AppendRecord({i + 1, QString::fromLatin1(names[i % 5])});
    }
    dataset->Open();
    return dataset;
}

void Type(TfrmPesquisa& form, const QString& text)
{
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &form;
    for (const QChar ch : text) {
        QTest::keyClick(target, ch.toLatin1(), ch.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
    }
}

void PressKey(TfrmPesquisa& form, int key, Qt::KeyboardModifiers modifiers)
{
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &form;
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

void Tap(TfrmPesquisa& form, const char* component)
{
    auto* widget = qobject_cast<QWidget*>(form.FindComponent(QString::fromLatin1(component)));
    ASSERT_NE(widget, nullptr) << component;
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void TapRow(TfrmPesquisa& form, int row)
{
    auto* grid = qobject_cast<host::DbGrid*>(form.FindComponent(QStringLiteral("dbgPesquisa")));
    ASSERT_NE(grid, nullptr);
    const QRect cell = grid->visualRect(grid->model()->index(row, 0));
    ASSERT_TRUE(cell.isValid()) << "row " << row;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}
