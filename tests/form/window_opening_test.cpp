// The form as the window opens on a platform that reports activation later, as a
// real display does and as the demo host's offscreen platform does: this program
// runs with the window-system events queued (TS_WINDOW_EVENTS=queued).
#include "host/grid/db_grid.h"
#include "host/grid/edit.h"
#include "host/platform/screen.h"
#include "tests/form/form_test_support.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

using form_test::FormTest;

namespace {

void SendWheel(host::DbGrid* grid, int delta)
{
    static quint64 timestamp = 1000;
    const QPoint centre = grid->viewport()->rect().center();
    QWheelEvent wheel(centre, grid->viewport()->mapToGlobal(centre), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    wheel.setTimestamp(timestamp += 16);
    QApplication::sendEvent(grid->viewport(), &wheel);
}

} // namespace

TEST_F(FormTest, TheGridHoldsTheFocusFromTheMomentTheWindowShows)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    form->open();
    // Shown, the activation still queued: Qt has no focus widget yet.
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    host::DbGrid* grid = Grid(*form);
    EXPECT_EQ(host::Screen::GetActiveControl(), grid);

    // A wheel turn at once moves the cursor one row.
    ASSERT_EQ(clients->RecNo(), 0);
    SendWheel(grid, -120);
    EXPECT_EQ(clients->RecNo(), 1);
    SendWheel(grid, -120);
    EXPECT_EQ(clients->RecNo(), 2);

    // Once the window system has answered, the same through Qt's focus widget.
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), grid);
    SendWheel(grid, 120);
    EXPECT_EQ(clients->RecNo(), 1);

    // With the search box focused the wheel is no arrow key.
    SearchBox(*form)->setFocus();
    SendWheel(grid, 120);
    EXPECT_EQ(clients->RecNo(), 1);
}

TEST_F(FormTest, NoActiveControlWithoutAWindowOnScreen)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    // The grid is the form's focus child, but the form is not shown.
    EXPECT_EQ(host::Screen::GetActiveControl(), nullptr);
    form->open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->hide();
    QCoreApplication::processEvents();
    EXPECT_EQ(host::Screen::GetActiveControl(), nullptr);
}
