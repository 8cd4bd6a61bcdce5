#include "host/grid/data_source.h"
#include "host/grid/db_grid.h"
#include "host/platform/platform.h"
#include "host/platform/screen.h"
#include "tests/grid/fake_dataset.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <stdexcept>
#include <touchsearch/application.h>
#include <touchsearch/dataset_error.h>

using host::Application;
using host::Message;

namespace {

QList<Message> g_firstHookSeen;
QList<Message> g_secondHookSeen;
bool g_handle = false;

void FirstHook(Message& message, bool&)
{
    g_firstHookSeen.append(message);
}

// The search form's wheel rule: while a data grid has the focus, a wheel message
// becomes one arrow key, up for a positive delta, down otherwise.
void GridWheelHook(Message& message, bool& handled)
{
    g_secondHookSeen.append(message);
    if (g_handle) {
        handled = true;
        return;
    }
    if (message.message != host::WM_MOUSEWHEEL ||
        qobject_cast<host::DbGrid*>(host::Screen::GetActiveControl()) == nullptr) {
        return;
    }
    const auto delta = static_cast<qint16>((message.wParam >> 16) & 0xFFFF);
    message.message = host::WM_KEYDOWN;
    message.wParam = delta > 0 ? host::VK_UP : host::VK_DOWN;
    message.lParam = 0;
}

void ThrowingHook(Message&, bool&)
{
    throw std::runtime_error("hook failed");
}

// A wheel event as the window system delivers it: each with its own time stamp.
void SendWheel(QWidget* target, int delta)
{
    static quint64 timestamp = 1000;
    const QPointF at(20, 20);
    QWheelEvent wheel(at, target->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    wheel.setTimestamp(timestamp += 16);
    QApplication::sendEvent(target, &wheel);
}

// Restores the application's hook and presenter after each test.
class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_firstHookSeen.clear();
        g_secondHookSeen.clear();
        g_handle = false;
        m_presenter = Application::Instance().SetMessagePresenter(
            [this](const QString& title, const QString& text) {
                m_boxes.append({title, text});
            });
    }
    void TearDown() override
    {
        Application::Instance().SetOnMessage(nullptr);
        Application::Instance().SetMessagePresenter(m_presenter);
        Application::Instance().SetTitle({});
    }

    QList<QPair<QString, QString>> m_boxes;
    Application::MessagePresenter m_presenter;
};

} // namespace

TEST_F(ApplicationTest, WheelOverAFocusedGridMovesItOneRowPerMessage)
{
    testing_support::FakeDataset dataSet(100);
    dataSet.Add(QStringLiteral("NMCLIENTE"));
    host::DataSource source;
    source.SetDataSet(&dataSet);
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* grid = new host::DbGrid(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(grid);
    grid->SetDataSource(&source);
    window.resize(300, 300);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    grid->setFocus();
    dataSet.MoveTo(50);

    // One slot: setting a hook replaces the previous one.
    Application::Instance().SetOnMessage(&FirstHook);
    Application::Instance().SetOnMessage(&GridWheelHook);
    EXPECT_EQ(Application::Instance().GetOnMessage(), &GridWheelHook);

    SendWheel(grid->viewport(), 120);
    EXPECT_TRUE(g_firstHookSeen.isEmpty());
    ASSERT_EQ(g_secondHookSeen.size(), 1);
    EXPECT_EQ(g_secondHookSeen[0].message, host::WM_MOUSEWHEEL);
    EXPECT_EQ(g_secondHookSeen[0].wParam >> 16, 120u);
    EXPECT_EQ(g_secondHookSeen[0].target, grid);
    EXPECT_EQ(dataSet.RecNo(), 49);

    SendWheel(grid->viewport(), -360); // one row whatever the delta
    EXPECT_EQ(static_cast<qint16>(g_secondHookSeen.last().wParam >> 16), -360);
    EXPECT_EQ(dataSet.RecNo(), 50);
    SendWheel(grid->viewport(), 0); // zero counts as down
    EXPECT_EQ(dataSet.RecNo(), 51);

    // The focus decides, not the pointer: over the grid with the edit focused, the
    // wheel passes unchanged (and scrolls the grid, not its cursor).
    edit->setFocus();
    const int scrolled = grid->verticalScrollBar()->value();
    SendWheel(grid->viewport(), -120);
    EXPECT_EQ(dataSet.RecNo(), 51);
    EXPECT_NE(grid->verticalScrollBar()->value(), scrolled);
    EXPECT_EQ(g_secondHookSeen.last().target, edit);

    // handled = true drops the wheel altogether.
    g_handle = true;
    const int before = grid->verticalScrollBar()->value();
    SendWheel(grid->viewport(), -120);
    EXPECT_EQ(grid->verticalScrollBar()->value(), before);

    // A hook that throws: the failure is shown, the event loop survives.
    Application::Instance().SetOnMessage(&ThrowingHook);
    SendWheel(grid->viewport(), -120);
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes[0].second, "hook failed");

    // A hook that leaves the wheel sees it once, although the grid hands it on to
    // its scroll bar and its parents.
    g_handle = false;
    Application::Instance().SetOnMessage(&GridWheelHook);
    const qsizetype offered = g_secondHookSeen.size();
    SendWheel(grid->viewport(), -120);
    EXPECT_EQ(g_secondHookSeen.size(), offered + 1);

    // No hook: the wheel is the grid's own.
    Application::Instance().SetOnMessage(nullptr);
    grid->setFocus();
    SendWheel(grid->viewport(), 120);
    EXPECT_EQ(dataSet.RecNo(), 51);
}

TEST_F(ApplicationTest, MessagesAreCaptionedWithTheTitle)
{
    Application& app = Application::Instance();
    app.SetTitle(QStringLiteral("Loja Centro"));
    EXPECT_EQ(app.GetTitle(), "Loja Centro");
    app.ShowMessage(QStringLiteral("Filtro inválido"));
    app.HandleException(host::DatasetError(QStringLiteral("Field \"X\" not found")));
    app.RunGuarded([] { throw std::runtime_error("from a handler"); });
    app.Guard([] {});
    ASSERT_EQ(m_boxes.size(), 3);
    EXPECT_EQ(m_boxes[0],
              qMakePair(QStringLiteral("Loja Centro"), QStringLiteral("Filtro inválido")));
    EXPECT_EQ(m_boxes[1].second, "Field \"X\" not found");
    EXPECT_EQ(m_boxes[2].second, "from a handler");

    app.SetTitle({});
    EXPECT_EQ(app.GetTitle(), QCoreApplication::applicationName());

    QIcon icon(QPixmap(16, 16));
    app.SetIcon(icon);
    EXPECT_FALSE(app.GetIcon().isNull());
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST_F(ApplicationTest, TheRealMessageBoxHasTheTitleTheTextAndAnOkButton)
{
    Application& app = Application::Instance();
    app.SetMessagePresenter({});
    app.SetTitle(QStringLiteral("Caixa 1"));
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    app.ShowMessage(QStringLiteral("Sem registros"));
    EXPECT_EQ(title, "Caixa 1");
    EXPECT_EQ(text, "Sem registros");
    EXPECT_EQ(buttons, QMessageBox::Ok);
}

TEST(Screen, SizeAndActiveControl)
{
    EXPECT_EQ(host::Screen::GetWidth(), 1024);
    EXPECT_EQ(host::Screen::GetHeight(), 768);
    QWidget window;
    auto* edit = new QLineEdit(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    EXPECT_EQ(host::Screen::GetActiveControl(), edit);
}
