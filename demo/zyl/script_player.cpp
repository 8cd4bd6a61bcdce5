#include "demo/zyl/script_player.h"

#include "host/grid/db_grid.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QWheelEvent>
#include <QWidget>
#include <array>
#include <stdexcept>

namespace zyl {

namespace {

// How often a step that is still running (inside a modal loop of its own) is checked.
constexpr int kPollMilliseconds = 10;

class PlayError : public std::runtime_error {
public:
    explicit PlayError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

constexpr std::array<std::pair<Qt::KeyboardModifier, int>, 3> kModifierKeys = {{
    {Qt::ShiftModifier, Qt::Key_Shift},
    {Qt::ControlModifier, Qt::Key_Control},
    {Qt::AltModifier, Qt::Key_Alt},
}};

// Where a physical key goes: the focused widget of the window, else the window.
QWidget* KeyReceiver(QWidget* window)
{
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && focus->window() == window) {
        return focus;
    }
    if (QWidget* last = window->focusWidget()) {
        return last;
    }
    return window;
}

void SendKey(QWidget* receiver, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
             const QString& text)
{
    QKeyEvent event(type, key, modifiers, text);
    QApplication::sendEvent(receiver, &event);
}

// A press gives the focus as a real click would: to the first widget from the one
// under the pointer up to its window that takes the focus by click.
void GiveClickFocus(QWidget* widget)
{
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus) {
            w->setFocus(Qt::MouseFocusReason);
            return;
        }
        if (w->hasFocus() || w->isWindow()) {
            return;
        }
    }
}

void SendMouse(QWidget* receiver, QEvent::Type type, const QPoint& windowPos, QWidget* window,
               Qt::MouseButtons buttons)
{
    const QPointF local = receiver->mapFrom(window, windowPos);
    const QPointF global = window->mapToGlobal(windowPos);
    QMouseEvent event(type, local, local, global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(receiver, &event);
}

host::DbGrid* Grid(QWidget* window)
{
    auto* grid = qobject_cast<host::DbGrid*>(
        ScriptPlayer::FindComponent(window, QStringLiteral("dbgPesquisa")));
    if (grid == nullptr || !grid->isVisible()) {
        throw PlayError(QStringLiteral("the window shows no grid dbgPesquisa"));
    }
    return grid;
}

// The centre of visible row N of the grid, in its viewport.
QPoint RowPoint(host::DbGrid* grid, int n)
{
    const QAbstractItemModel* model = grid->model();
    const int top = grid->rowAt(0);
    if (model == nullptr || top < 0) {
        throw PlayError(QStringLiteral("the grid shows no rows"));
    }
    const int row = top + n;
    if (row >= model->rowCount()) {
        throw PlayError(QStringLiteral("the grid shows only %1 rows").arg(model->rowCount() - top));
    }
    const int y = grid->rowViewportPosition(row) + grid->rowHeight(row) / 2;
    if (y >= grid->viewport()->height()) {
        throw PlayError(QStringLiteral("row %1 is below the visible part of the grid").arg(n));
    }
    const int width = grid->viewport()->width();
    int column = grid->currentIndex().isValid() ? grid->currentIndex().column() : -1;
    int x = column >= 0 ? grid->columnViewportPosition(column) + grid->columnWidth(column) / 2 : -1;
    if (x < 0 || x >= width) {
        column = grid->columnAt(0);
        if (column < 0) {
            throw PlayError(QStringLiteral("the grid has no columns"));
        }
        const int left = std::max(0, grid->columnViewportPosition(column));
        const int right =
            std::min(width, grid->columnViewportPosition(column) + grid->columnWidth(column));
        x = (left + right) / 2;
    }
    return {x, y};
}

} // namespace

ScriptPlayer::ScriptPlayer(std::vector<ScriptStep> steps, std::function<QWidget*()> dialog,
                           QObject* parent)
    : QObject(parent), m_steps(std::move(steps)), m_dialog(std::move(dialog))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ScriptPlayer::PlayNext);
}

void ScriptPlayer::Start()
{
    if (!m_done) {
        m_timer.start(0);
    }
}

QObject* ScriptPlayer::FindComponent(const QObject* root, const QString& name)
{
    if (root == nullptr) {
        return nullptr;
    }
    const QList<QObject*> children = root->findChildren<QObject*>();
    for (QObject* child : children) {
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0) {
            return child;
        }
    }
    return nullptr;
}

void ScriptPlayer::PlayNext()
{
    if (m_done) {
        return;
    }
    QWidget* dialog = m_dialog();
    if (dialog == nullptr || !dialog->isVisible()) {
        Finish();
        return;
    }
    QWidget* window = dialog;
    if (m_running > 0) {
        // The previous step is still being handled; go on only inside a modal window
        // it opened (the fiscal menu), else wait for it.
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == dialog || !modal->isVisible()) {
            m_timer.start(kPollMilliseconds);
            return;
        }
        window = modal;
    }
    if (m_next >= m_steps.size()) {
        Finish();
        return;
    }
    const ScriptStep step = m_steps[m_next++];
    ++m_running;
    m_timer.start(kPollMilliseconds); // notices a modal window the step opens
    QString error;
    try {
        Play(step, window);
    } catch (const std::exception& e) {
        error = QStringLiteral("keys script, character %1 (%2): %3")
                    .arg(step.position)
                    .arg(step.source, QString::fromUtf8(e.what()));
    }
    --m_running;
    if (m_done) {
        return;
    }
    if (!error.isEmpty()) {
        m_done = true;
        m_timer.stop();
        Q_EMIT failed(error);
        return;
    }
    m_timer.start(0);
}

void ScriptPlayer::Play(const ScriptStep& step, QWidget* window)
{
    using Kind = ScriptStep::Kind;
    switch (step.kind) {
    case Kind::Key:
        PressKey(step.stroke, window);
        return;
    case Kind::Tap: {
        QObject* component = FindComponent(window, step.argument);
        if (component == nullptr && window != m_dialog()) {
            component = FindComponent(m_dialog(), step.argument);
        }
        auto* widget = qobject_cast<QWidget*>(component);
        if (component == nullptr) {
            throw PlayError(QStringLiteral("no component named \"%1\"").arg(step.argument));
        }
        if (widget == nullptr || !widget->isVisible()) {
            throw PlayError(QStringLiteral("\"%1\" is not a visible control").arg(step.argument));
        }
        Tap(widget->window(), widget, widget->rect().center(), false);
        return;
    }
    case Kind::RowTap:
    case Kind::DoubleTap: {
        host::DbGrid* grid = Grid(window);
        Tap(window, grid->viewport(), RowPoint(grid, step.number), step.kind == Kind::DoubleTap);
        return;
    }
    case Kind::TitleTap: {
        host::DbGrid* grid = Grid(window);
        QHeaderView* header = grid->horizontalHeader();
        if (!header->isVisible()) {
            throw PlayError(QStringLiteral("the grid shows no titles"));
        }
        if (step.number >= header->count() || header->isSectionHidden(step.number)) {
            throw PlayError(QStringLiteral("the grid has no column %1").arg(step.number));
        }
        const int x =
            header->sectionViewportPosition(step.number) + header->sectionSize(step.number) / 2;
        if (x < 0 || x >= header->viewport()->width()) {
            throw PlayError(
                QStringLiteral("the title of column %1 is not on screen").arg(step.number));
        }
        Tap(window, header->viewport(), QPoint(x, header->viewport()->height() / 2), false);
        return;
    }
    case Kind::Wheel: {
        host::DbGrid* grid = Grid(window);
        Wheel(window, grid->viewport(), grid->viewport()->rect().center(), step.number);
        return;
    }
    case Kind::Shot: {
        const QPixmap shot = window->grab();
        if (!shot.save(step.argument, "PNG")) {
            throw PlayError(
                QStringLiteral("cannot write the screenshot \"%1\"").arg(step.argument));
        }
        return;
    }
    }
}

void ScriptPlayer::PressKey(const KeyStroke& stroke, QWidget* window)
{
    const QPointer<QWidget> guard(window);
    Qt::KeyboardModifiers held;
    for (const auto& [modifier, key] : kModifierKeys) {
        if (stroke.modifiers.testFlag(modifier) && stroke.key != key && guard) {
            SendKey(KeyReceiver(window), QEvent::KeyPress, key, held, QString());
            held |= modifier;
        }
    }
    if (guard) {
        SendKey(KeyReceiver(window), QEvent::KeyPress, stroke.key, stroke.modifiers, stroke.text);
    }
    if (guard) {
        SendKey(KeyReceiver(window), QEvent::KeyRelease, stroke.key, stroke.modifiers, stroke.text);
    }
    for (auto it = kModifierKeys.rbegin(); it != kModifierKeys.rend(); ++it) {
        if (held.testFlag(it->first) && guard) {
            held &= ~Qt::KeyboardModifiers(it->first);
            SendKey(KeyReceiver(window), QEvent::KeyRelease, it->second, held, QString());
        }
    }
}

void ScriptPlayer::Tap(QWidget* window, QWidget* widget, const QPoint& local, bool twice)
{
    const QPoint windowPos = widget->mapTo(window, local);
    const QPointer<QWidget> guard(window);
    for (int click = 0; click < (twice ? 2 : 1) && guard; ++click) {
        QWidget* under = window->childAt(windowPos);
        QPointer<QWidget> receiver(under != nullptr ? under : window);
        if (click == 0) {
            GiveClickFocus(receiver);
        }
        if (receiver) {
            SendMouse(receiver, click == 0 ? QEvent::MouseButtonPress : QEvent::MouseButtonDblClick,
                      windowPos, window, Qt::LeftButton);
        }
        // The release goes where the press went, as with a real pointer.
        if (receiver && guard) {
            SendMouse(receiver, QEvent::MouseButtonRelease, windowPos, window, Qt::NoButton);
        }
    }
}

void ScriptPlayer::Wheel(QWidget* window, QWidget* widget, const QPoint& local, int delta)
{
    const QPoint windowPos = widget->mapTo(window, local);
    QWidget* under = window->childAt(windowPos);
    QWidget* receiver = under != nullptr ? under : window;
    const QPointF position = receiver->mapFrom(window, windowPos);
    QWheelEvent event(position, window->mapToGlobal(QPointF(windowPos)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(receiver, &event);
}

void ScriptPlayer::Finish()
{
    if (m_done) {
        return;
    }
    m_done = true;
    m_timer.stop();
    Q_EMIT finished();
}

} // namespace zyl
