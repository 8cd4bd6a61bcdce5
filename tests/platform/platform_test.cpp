#include "host/maker/maker_routines.h"
#include "host/platform/input_hold.h"
#include "host/platform/platform.h"
#include "host/platform/platform_message_event.h"
#include "tests/common/held_input.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTouchEvent>
#include <QWheelEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Counts the input that reaches it and records platform messages.
class InputCounter : public QWidget {
public:
    int mouse = 0;
    int wheel = 0;
    int touch = 0;
    int keys = 0;
    QString typed; // the text of every key press and "<N>" for message N, in order
    QList<unsigned> messages;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == host::PlatformMessageEvent::EventType()) {
            auto* message = static_cast<host::PlatformMessageEvent*>(event);
            messages.append(message->Message());
            typed += QStringLiteral("<%1>").arg(message->Message());
            message->SetResult(static_cast<qintptr>(message->WParam() + message->LParam()));
            return true;
        }
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            ++mouse;
            return true;
        case QEvent::Wheel:
            ++wheel;
            return true;
        case QEvent::TouchBegin:
            ++touch;
            return true;
        case QEvent::KeyPress:
            ++keys;
            typed += static_cast<QKeyEvent*>(event)->text();
            return true;
        default:
            return QWidget::event(event);
        }
    }
};

void LocalFunction() {}

} // namespace

TEST(VirtualKeys, TranslateBothWays)
{
    using namespace host;
    const std::pair<int, int> pairs[] = {
        {Qt::Key_A, 65},        {Qt::Key_Z, 90},        {Qt::Key_0, 48},        {Qt::Key_5, 53},
        {Qt::Key_9, 57},        {Qt::Key_F1, 112},      {Qt::Key_F4, 115},      {Qt::Key_F12, 123},
        {Qt::Key_Left, 37},     {Qt::Key_Up, 38},       {Qt::Key_Right, 39},    {Qt::Key_Down, 40},
        {Qt::Key_PageUp, 33},   {Qt::Key_PageDown, 34}, {Qt::Key_Home, 36},     {Qt::Key_End, 35},
        {Qt::Key_Insert, 45},   {Qt::Key_Delete, 46},   {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9},
        {Qt::Key_Return, 13},   {Qt::Key_Shift, 16},    {Qt::Key_Control, 17},  {Qt::Key_Alt, 18},
        {Qt::Key_CapsLock, 20}, {Qt::Key_Escape, 27},   {Qt::Key_Space, 32},
    };
    for (const auto& [qtKey, vk] : pairs) {
        EXPECT_EQ(VirtualKeyFromQtKey(qtKey), vk) << qtKey;
        EXPECT_EQ(QtKeyFromVirtualKey(vk), qtKey) << vk;
    }
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Enter), VK_RETURN);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Percent), VK_5); // Shift+5
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_unknown), 0);
    EXPECT_EQ(QtKeyFromVirtualKey(0), 0);
    EXPECT_EQ(QtKeyFromVirtualKey(255), 0);
    EXPECT_EQ(VK_BACK, 8);
    EXPECT_EQ(VK_CAPITAL, 20);
    EXPECT_EQ(WM_MOUSEWHEEL, 0x020Au);
}

TEST(Platform, SendMessageIsSynchronousAndPostIsQueued)
{
    InputCounter target;
    EXPECT_EQ(host::SendMessageA(&target, host::WM_CHAR, 'A', 2), 'A' + 2);
    EXPECT_EQ(target.messages, QList<unsigned>{host::WM_CHAR});
    EXPECT_EQ(host::SendMessageA(nullptr, host::WM_CHAR, 'A', 0), 0);

    target.show();
    QPointer<InputCounter> guard(&target);
    EXPECT_TRUE(host::PostMessageA(&target, host::WM_CLOSE, 0, 0));
    EXPECT_TRUE(host::PostMessageA(&target, host::WM_KEYDOWN, host::VK_F1, 0));
    EXPECT_TRUE(target.isVisible()); // nothing happens before the event loop runs
    EXPECT_EQ(target.messages.size(), 1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(target.isVisible());
    EXPECT_EQ(target.messages.last(), host::WM_KEYDOWN);
    EXPECT_FALSE(host::PostMessageA(nullptr, host::WM_CLOSE, 0, 0));
}

TEST(Platform, SleepIsReplaceable)
{
    QList<unsigned> slept;
    auto previous = host::SetSleepFunction([&](unsigned ms) { slept.append(ms); });
    host::Sleep(1000);
    host::Sleep(5);
    EXPECT_EQ(slept, (QList<unsigned>{1000, 5}));
    auto mine = host::SetSleepFunction(previous);
    EXPECT_TRUE(static_cast<bool>(mine));
}

namespace {

using testing_support::ReleaseHeldInput;

QKeyEvent* KeyPress(char c)
{
    return new QKeyEvent(QEvent::KeyPress, Qt::Key_A + (c - 'a'), {}, QString(QLatin1Char(c)));
}

} // namespace

TEST(Platform, DrainDropsPendingPointerInputAndHoldsKeysForLater)
{
    InputCounter target;
    target.resize(100, 100);
    target.show();
    const QPointF at(10, 10);
    QCoreApplication::postEvent(&target, new QMouseEvent(QEvent::MouseButtonPress, at, at,
                                                         Qt::LeftButton, Qt::LeftButton, {}));
    QCoreApplication::postEvent(&target, KeyPress('a'));
    QCoreApplication::postEvent(&target, new QMouseEvent(QEvent::MouseButtonRelease, at, at,
                                                         Qt::LeftButton, Qt::NoButton, {}));
    QCoreApplication::postEvent(
        &target, new QWheelEvent(at, at, {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false));
    QCoreApplication::postEvent(&target, new QTouchEvent(QEvent::TouchBegin));
    QCoreApplication::postEvent(&target, KeyPress('b'));
    QCoreApplication::postEvent(&target, new host::PlatformMessageEvent(host::WM_CHAR, 'c', 0));
    host::DrainMouseMessages();
    // No input handler ran inside the drain.
    EXPECT_EQ(target.mouse, 0);
    EXPECT_EQ(target.wheel, 0);
    EXPECT_EQ(target.touch, 0);
    EXPECT_EQ(target.keys, 0);
    EXPECT_TRUE(target.messages.isEmpty());
    EXPECT_EQ(host::InputHold::Instance()->HeldCount(), 3);

    // A key typed after the drain, while the held ones still wait, queues behind them.
    QTest::keyClick(&target, Qt::Key_D, Qt::NoModifier);
    EXPECT_EQ(target.keys, 0);

    ReleaseHeldInput();
    EXPECT_EQ(target.mouse, 0);
    EXPECT_EQ(target.typed, QStringLiteral("ab<258>d")); // 258: WM_CHAR
    EXPECT_EQ(host::InputHold::Instance()->HeldCount(), 0);

    // Afterwards input goes straight through again.
    QCoreApplication::postEvent(&target, new QMouseEvent(QEvent::MouseButtonPress, at, at,
                                                         Qt::LeftButton, Qt::LeftButton, {}));
    QCoreApplication::processEvents();
    EXPECT_EQ(target.mouse, 1);
    QTest::keyClick(&target, Qt::Key_E, Qt::NoModifier);
    EXPECT_EQ(target.typed, QStringLiteral("ab<258>de"));
}

TEST(Platform, HeldKeysWaitForTheHandlerThatPausedAndGoAfterWhatItPosted)
{
    InputCounter target;
    target.resize(100, 100);
    target.show();
    // A handler that pauses (a key arrives meanwhile) and then posts a message of its own.
    QCoreApplication::postEvent(&target, KeyPress('x'));
    host::DrainMouseMessages();
    host::PostMessageA(&target, host::WM_KEYDOWN, host::VK_F1, 0);
    EXPECT_EQ(target.keys, 0);
    ReleaseHeldInput();
    // The handler's own posted message (256: WM_KEYDOWN) went first.
    EXPECT_EQ(target.typed, QStringLiteral("<256>x"));

    // A second pause before the first one's keys went on holds its keys behind them.
    QCoreApplication::postEvent(&target, KeyPress('y'));
    host::DrainMouseMessages();
    QCoreApplication::postEvent(&target, KeyPress('z'));
    host::DrainMouseMessages();
    EXPECT_EQ(host::InputHold::Instance()->HeldCount(), 2);
    ReleaseHeldInput();
    EXPECT_EQ(target.typed, QStringLiteral("<256>xyz"));
}

// A handed-on key whose receiver is gone is dropped, not delivered elsewhere.
TEST(Platform, HeldInputForADestroyedWidgetIsDropped)
{
    auto target = std::make_unique<InputCounter>();
    target->show();
    QCoreApplication::postEvent(target.get(), KeyPress('z'));
    host::DrainMouseMessages();
    EXPECT_EQ(host::InputHold::Instance()->HeldCount(), 1);
    target.reset();
    ReleaseHeldInput();
    EXPECT_EQ(host::InputHold::Instance()->HeldCount(), 0);
}

TEST(Platform, ModuleFileName)
{
    // A shared library as loaded: its SONAME. (The suites link the run time itself
    // statically; the maker's library is a shared one.)
    const QString library =
        host::GetModuleFileNameA(reinterpret_cast<const void*>(&host::EmptyString));
    EXPECT_TRUE(library.endsWith(QStringLiteral("/libtouchsearch-maker.so.1")))
        << library.toStdString();
    const QString program = host::GetModuleFileNameA(reinterpret_cast<const void*>(&LocalFunction));
    EXPECT_EQ(program, QCoreApplication::applicationFilePath());
    EXPECT_TRUE(host::GetModuleFileNameA(nullptr).isEmpty());
}
