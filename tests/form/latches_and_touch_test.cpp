#include "form/touch_hygiene.h"
#include "host/grid/db_grid.h"
#include "host/grid/edit.h"
#include "host/maker/tblended_bit_btn.h"
#include "host/platform/platform.h"
#include "tests/common/held_input.h"
#include "tests/form/form_test_support.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <touchsearch/message.h>

using form_test::FormTest;

namespace {

// The captions of the 26 letter keys and the cedilla key, as one text.
QString Captions(TfrmPesquisa& form)
{
    QString captions;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        auto* key = qobject_cast<host::TBlendedBitBtn*>(
            form.FindComponent(QStringLiteral("sbt") + QLatin1Char(letter)));
        captions += key->GetCaption();
    }
    auto* cedilla = qobject_cast<host::TBlendedBitBtn*>(form.FindComponent("sbtCCdil"));
    return captions + cedilla->GetCaption();
}

const QString kLower = QStringLiteral("abcdefghijklmnopqrstuvwxyz\u00E7");
const QString kUpper = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ\u00C7");

} // namespace

TEST_F(FormTest, LatchesFollowTheTableAndRelabelTheKeys)
{
    auto clients = form_test::MakeClients();
    TfrmPesquisa created;
    EXPECT_FALSE(created.CapsLock());
    EXPECT_FALSE(created.ShiftLatched());
    EXPECT_EQ(Captions(created), kLower);

    auto form = MakeForm(clients.get());
    EXPECT_FALSE(form->CapsLock());
    EXPECT_TRUE(form->ShiftLatched());
    EXPECT_EQ(Captions(*form), kUpper);

    Tap(*form, "sbtShift"); // releases the latch
    EXPECT_FALSE(form->ShiftLatched());
    EXPECT_EQ(Captions(*form), kLower);
    Tap(*form, "sbtShift"); // latches it again
    EXPECT_TRUE(form->ShiftLatched());
    EXPECT_EQ(Captions(*form), kUpper);

    Tap(*form, "spdCapsLock"); // Caps on clears Shift
    EXPECT_TRUE(form->CapsLock());
    EXPECT_FALSE(form->ShiftLatched());
    EXPECT_EQ(Captions(*form), kUpper);
    Tap(*form, "sbtShift"); // Caps XOR Shift: lower
    EXPECT_EQ(Captions(*form), kLower);
    Tap(*form, "sbtb"); // one letter uses the latch up
    EXPECT_EQ(form->SearchText(), QStringLiteral("b"));
    EXPECT_FALSE(form->ShiftLatched());
    EXPECT_EQ(Captions(*form), kUpper);

    Tap(*form, "sbtShift");
    Tap(*form, "spdCapsLock"); // Caps off, and Shift cleared whatever Caps becomes
    EXPECT_FALSE(form->CapsLock());
    EXPECT_FALSE(form->ShiftLatched());
    EXPECT_EQ(Captions(*form), kLower);

    // Both off, Shift twice: off again, lower-case.
    Tap(*form, "sbtShift");
    Tap(*form, "sbtShift");
    EXPECT_FALSE(form->ShiftLatched());
    EXPECT_EQ(Captions(*form), kLower);

    // The physical Shift key latches without relabelling.
    Press(*form, Qt::Key_Shift);
    EXPECT_TRUE(form->ShiftLatched());
    EXPECT_EQ(Captions(*form), kLower);
    // The physical Caps Lock key acts like the screen key.
    Press(*form, Qt::Key_CapsLock);
    EXPECT_TRUE(form->CapsLock());
    EXPECT_FALSE(form->ShiftLatched());
    EXPECT_EQ(Captions(*form), kUpper);
}

TEST_F(FormTest, WheelBecomesOneArrowKeyWhileAGridHasTheFocus)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    EXPECT_EQ(host::Application::Instance().GetOnMessage(), &pesquisa::AppEventsMessage);
    host::DbGrid* grid = Grid(*form);
    ASSERT_EQ(QApplication::focusWidget(), grid);

    const auto wheel = [](int delta) {
        host::Message message;
        message.message = host::WM_MOUSEWHEEL;
        message.wParam = static_cast<quintptr>(static_cast<quint16>(delta)) << 16;
        message.lParam = 1234;
        bool handled = false;
        pesquisa::AppEventsMessage(message, handled);
        EXPECT_FALSE(handled);
        return message;
    };
    host::Message up = wheel(120);
    EXPECT_EQ(up.message, host::WM_KEYDOWN);
    EXPECT_EQ(up.wParam, quintptr(host::VK_UP));
    EXPECT_EQ(up.lParam, 0);
    EXPECT_EQ(wheel(-360).wParam, quintptr(host::VK_DOWN));
    EXPECT_EQ(wheel(0).wParam, quintptr(host::VK_DOWN));

    // Other messages pass untouched.
    host::Message other{grid, host::WM_MOUSEFIRST, 7, 8};
    bool handled = false;
    pesquisa::AppEventsMessage(other, handled);
    EXPECT_EQ(other.message, host::WM_MOUSEFIRST);
    EXPECT_EQ(other.wParam, 7u);

    // A real wheel turn over the grid moves the cursor one row, whatever the delta.
    clients->First();
    const QPoint centre = grid->viewport()->rect().center();
    QWheelEvent down(centre, grid->viewport()->mapToGlobal(centre), QPoint(), QPoint(0, -360),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->viewport(), &down);
    EXPECT_EQ(clients->RecNo(), 1);
    QWheelEvent upEvent(centre, grid->viewport()->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->viewport(), &upEvent);
    EXPECT_EQ(clients->RecNo(), 0);

    // With the search box focused the wheel passes unchanged, even over the grid.
    SearchBox(*form)->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), SearchBox(*form));
    host::Message kept = wheel(120);
    EXPECT_EQ(kept.message, host::WM_MOUSEWHEEL);
    EXPECT_EQ(kept.wParam, quintptr(120) << 16);
    EXPECT_EQ(kept.lParam, 1234);
}

TEST_F(FormTest, DoubleTapConfirmsAfterThePauseAndDropsTapsMadeMeanwhile)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    host::DbGrid* grid = Grid(*form);
    host::TBlendedBitBtn* q = Key(*form, "sbtq");
    // A tap on the q key made while the form sleeps.
    duringSleep = [q] {
        const QPointF at = q->rect().center();
        QCoreApplication::postEvent(q, new QMouseEvent(QEvent::MouseButtonPress, at,
                                                       q->mapToGlobal(at), Qt::LeftButton,
                                                       Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(q, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                       q->mapToGlobal(at), Qt::LeftButton,
                                                       Qt::NoButton, Qt::NoModifier));
    };
    const QPoint row = grid->visualRect(grid->model()->index(1, 0)).center();
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    EXPECT_EQ(sleeps, std::vector<unsigned>{1000});
    ProcessPosted();
    EXPECT_TRUE(form->Confirmou());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->SearchText(), QString()); // the tap on q never arrived
    EXPECT_EQ(clients->RecNo(), 1);
}

namespace {

// Posts the press and release of each letter to the receiver, as a keyboard (or a
// barcode scanner) does while the form sleeps.
void PostTyping(QWidget* receiver, const char* text)
{
    for (const char* c = text; *c != '\0'; ++c) {
        const int key = Qt::Key_A + (*c - 'a');
        const QString letter{QLatin1Char(*c)};
        QCoreApplication::postEvent(receiver, new QKeyEvent(QEvent::KeyPress, key, {}, letter));
        QCoreApplication::postEvent(receiver, new QKeyEvent(QEvent::KeyRelease, key, {}, letter));
    }
}

} // namespace

TEST_F(FormTest, KeysTypedDuringATitleTapsPauseAreMatchedInOrderAgainstTheTappedColumn)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    host::DbGrid* grid = Grid(*form);
    ASSERT_EQ(form->CampoPesquisa(), QStringLiteral("NMCLIENTE"));
    duringSleep = [grid] { PostTyping(grid, "rec"); };

    QHeaderView* header = grid->horizontalHeader();
    const int x = header->sectionViewportPosition(2) + header->sectionSize(2) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(x, header->height() / 2));
    EXPECT_EQ(sleeps, std::vector<unsigned>{1000});
    // Nothing typed was handled inside the tap.
    EXPECT_EQ(form->SearchText(), QString());
    testing_support::ReleaseHeldInput();

    EXPECT_EQ(form->CampoPesquisa(), QStringLiteral("CIDADE"));
    EXPECT_EQ(form->SearchText(), QStringLiteral("Rec"));
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("UPPER(CIDADE) LIKE 'REC%'"));
    EXPECT_EQ(clients->RecordCount(), 6);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(FormTest, KeysTypedDuringADoubleTapsPauseNeverChangeWhatItConfirms)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    host::DbGrid* grid = Grid(*form);
    // "zz" narrows to no record: handled before the confirm, Enter would be disabled.
    duringSleep = [grid] { PostTyping(grid, "zz"); };
    const QPoint row = grid->visualRect(grid->model()->index(1, 0)).center();
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    testing_support::ReleaseHeldInput();
    ProcessPosted();

    EXPECT_TRUE(form->Confirmou());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(clients->GetFilter(), QString());
    EXPECT_EQ(form->SearchText(), QString());
    EXPECT_EQ(clients->RecNo(), 1);
}
