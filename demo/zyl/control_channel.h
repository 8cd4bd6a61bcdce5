#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <functional>

class QWidget;

namespace zyl {

// Commands read from standard input while the dialog runs (zyl --control), one a line,
// for programs that drive zyl with real input and check what the screen shows:
//   grab FILE   writes FILE, a PNG of the window drawn afresh from its widgets, and
//               answers on standard error with one line "zyl: grabbed JSON": the file,
//               the grid's cell area ("grid", a box in the window's coordinates), the
//               dataset's current record ("current") and the rows in the grid's view as
//               the dataset holds them ("top", the first row's number, and "rows", each
//               the texts of the grid's columns).
// An unknown command is answered with "zyl: control: ..." and changes nothing.
class ControlChannel : public QObject {
    Q_OBJECT

public:
    // dialog: the running search dialog, nullptr when there is none.
    explicit ControlChannel(std::function<QWidget*()> dialog, QObject* parent = nullptr);

private:
    void ReadInput();
    void Run(const QByteArray& line);
    void Grab(const QString& file);

    std::function<QWidget*()> m_dialog;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
};

} // namespace zyl
