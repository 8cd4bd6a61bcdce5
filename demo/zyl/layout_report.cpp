#include "demo/zyl/layout_report.h"

#include "host/grid/db_grid.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegion>
#include <QWidget>

namespace zyl {

namespace {

QJsonArray Box(const QWidget* widget, const QRect& local, const QWidget* dialog)
{
    const QPoint topLeft = widget->mapTo(dialog, local.topLeft());
    return {topLeft.x(), topLeft.y(), local.width(), local.height()};
}

QJsonArray GridRows(const host::DbGrid* grid, const QWidget* dialog)
{
    QJsonArray rows;
    const QAbstractItemModel* model = grid->model();
    const QWidget* viewport = grid->viewport();
    if (model == nullptr || model->columnCount() == 0) {
        return rows;
    }
    // The cells, not the empty space right of the last column, and only the part on
    // screen: the grid is wider than the panel that holds it.
    const int lastColumn = model->columnCount() - 1;
    const int cellsRight = grid->columnViewportPosition(lastColumn) + grid->columnWidth(lastColumn);
    const QRect cells(grid->columnViewportPosition(0), 0,
                      cellsRight - grid->columnViewportPosition(0), viewport->height());
    const QRect visible = viewport->visibleRegion().boundingRect() & cells;
    if (visible.isEmpty()) {
        return rows;
    }
    for (int row = std::max(0, grid->rowAt(visible.top())); row < model->rowCount(); ++row) {
        const int top = grid->rowViewportPosition(row);
        const int height = grid->rowHeight(row);
        if (top < visible.top()) {
            continue;
        }
        if (top + height > visible.bottom() + 1) {
            break;
        }
        rows.append(Box(viewport, QRect(visible.left(), top, visible.width(), height), dialog));
    }
    return rows;
}

// The visible part of each column's title, in column order (an empty box for a title
// scrolled out of view).
QJsonArray TitleBoxes(const host::DbGrid* grid, const QWidget* dialog)
{
    QJsonArray titles;
    const QHeaderView* header = grid->horizontalHeader();
    if (header == nullptr || header->isHidden()) {
        return titles;
    }
    const QRect visible = header->viewport()->visibleRegion().boundingRect();
    for (int column = 0; column < header->count(); ++column) {
        const QRect title = QRect(header->sectionViewportPosition(column), 0,
                                  header->sectionSize(column), header->viewport()->height()) &
                            visible;
        titles.append(title.isEmpty() ? QJsonArray{0, 0, 0, 0}
                                      : Box(header->viewport(), title, dialog));
    }
    return titles;
}

} // namespace

QByteArray LayoutJson(QWidget* dialog)
{
    QJsonObject components;
    QJsonArray rows;
    QJsonArray titles;
    for (QWidget* widget : dialog->findChildren<QWidget*>()) {
        const QString name = widget->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || !widget->isVisible()) {
            continue;
        }
        components.insert(name, Box(widget, widget->rect(), dialog));
        if (const auto* grid = qobject_cast<const host::DbGrid*>(widget);
            grid != nullptr &&
            name.compare(QLatin1String("dbgPesquisa"), Qt::CaseInsensitive) == 0) {
            rows = GridRows(grid, dialog);
            titles = TitleBoxes(grid, dialog);
        }
    }
    const QJsonObject layout{
        {QStringLiteral("window"), static_cast<double>(dialog->winId())},
        {QStringLiteral("size"), QJsonArray{dialog->width(), dialog->height()}},
        {QStringLiteral("components"), components},
        {QStringLiteral("rows"), rows},
        {QStringLiteral("titles"), titles},
    };
    return QJsonDocument(layout).toJson(QJsonDocument::Compact);
}

} // namespace zyl
