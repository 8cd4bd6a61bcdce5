#include "demo/zyl/control_channel.h"

#include "demo/zyl/report.h"
#include "demo/zyl/script_player.h"
#include "host/grid/db_grid.h"
#include "host/grid/grid_column.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QWidget>
#include <cerrno>
#include <touchsearch/dataset.h>
#include <touchsearch/field.h>
#include <unistd.h>

namespace zyl {

namespace {

void Answer(const QByteArray& line)
{
    Report(QString::fromUtf8(line));
}

// The rows in the grid's view, read from the dataset (not from the grid's model).
QJsonObject ViewRows(host::DbGrid& grid)
{
    QJsonObject view;
    const QWidget* viewport = grid.viewport();
    view.insert(QStringLiteral("grid"), QJsonArray{viewport->mapTo(grid.window(), QPoint(0, 0)).x(),
                                                   viewport->mapTo(grid.window(), QPoint(0, 0)).y(),
                                                   viewport->width(), viewport->height()});
    const host::Dataset* dataSet = grid.GetDataSet();
    if (dataSet == nullptr || !dataSet->IsActive()) {
        return view;
    }
    const int top = std::max(0, grid.rowAt(0));
    const int height = std::max(1, grid.uniformRowHeight());
    const int known = dataSet->FetchedRowCount();
    QJsonArray rows;
    for (int row = top; row < known && (row - top) * height < viewport->height(); ++row) {
        QJsonArray cells;
        for (int column = 0; column < grid.GetColumnCount(); ++column) {
            const host::Field* field = grid.GetColumn(column)->GetField();
            cells.append(field != nullptr ? dataSet->DisplayText(row, field->GetIndex())
                                          : QString());
        }
        rows.append(cells);
    }
    view.insert(QStringLiteral("current"), dataSet->RecNo());
    view.insert(QStringLiteral("top"), top);
    view.insert(QStringLiteral("rows"), rows);
    return view;
}

} // namespace

ControlChannel::ControlChannel(std::function<QWidget*()> dialog, QObject* parent)
    : QObject(parent), m_dialog(std::move(dialog)), m_notifier(STDIN_FILENO, QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &ControlChannel::ReadInput);
}

void ControlChannel::ReadInput()
{
    char buffer[4096];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    if (got <= 0) {
        // End of input (or a broken pipe): nothing more will come.
        m_notifier.setEnabled(false);
        return;
    }
    m_pending.append(buffer, got);
    qsizetype end = 0;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end).trimmed();
        m_pending.remove(0, end + 1);
        if (!line.isEmpty()) {
            Run(line);
        }
    }
}

void ControlChannel::Run(const QByteArray& line)
{
    if (line.startsWith("grab ")) {
        Grab(QString::fromLocal8Bit(line.mid(5).trimmed()));
        return;
    }
    Answer("control: unknown command \"" + line + "\" (the one command is: grab FILE)");
}

void ControlChannel::Grab(const QString& file)
{
    QWidget* dialog = m_dialog();
    auto* grid = dialog != nullptr ? qobject_cast<host::DbGrid*>(ScriptPlayer::FindComponent(
                                         dialog, QStringLiteral("dbgPesquisa")))
                                   : nullptr;
    if (grid == nullptr) {
        Answer("control: grab: no search dialog is open");
        return;
    }
    QJsonObject reply;
    try {
        reply = ViewRows(*grid);
    } catch (const std::exception& e) {
        reply.insert(QStringLiteral("error"), QString::fromUtf8(e.what()));
    }
    if (!dialog->grab().save(file, "PNG")) {
        reply.insert(QStringLiteral("error"), QStringLiteral("cannot write %1").arg(file));
    }
    reply.insert(QStringLiteral("file"), file);
    Answer("grabbed " + QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

} // namespace zyl
