#pragma once

#include "demo/zyl/keys_script.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <vector>

class QWidget;

namespace zyl {

// Plays a keys script into the search dialog as real input events, one step at a
// time from the event loop, each after the previous one has been handled. A step
// that opens a modal window of its own (the fiscal menu) is still running while
// the following steps play into that window.
class ScriptPlayer : public QObject {
    Q_OBJECT

public:
    // dialog: the running search dialog, nullptr when there is none.
    ScriptPlayer(std::vector<ScriptStep> steps, std::function<QWidget*()> dialog,
                 QObject* parent = nullptr);

    // Plays the first step once control is back in the event loop.
    void Start();

    bool IsDone() const { return m_done; }
    // Steps that never played because the dialog closed first.
    int Unplayed() const { return static_cast<int>(m_steps.size() - m_next); }

    // Finds a child of root by object name, without regard to case.
    static QObject* FindComponent(const QObject* root, const QString& name);

Q_SIGNALS:
    // Every step played (the dialog may still be open) or the dialog closed.
    void finished();
    // A step could not be played; the message names the step and its position.
    void failed(const QString& message);

private:
    void PlayNext();
    void Play(const ScriptStep& step, QWidget* window);
    void PressKey(const KeyStroke& stroke, QWidget* window);
    void Tap(QWidget* window, QWidget* widget, const QPoint& local, bool twice);
    void Wheel(QWidget* window, QWidget* widget, const QPoint& local, int delta);
    void Finish();

    std::vector<ScriptStep> m_steps;
    std::function<QWidget*()> m_dialog;
    std::size_t m_next = 0;
    int m_running = 0; // steps on the call stack (a step may run a nested modal loop)
    bool m_done = false;
    QTimer m_timer;
};

} // namespace zyl
