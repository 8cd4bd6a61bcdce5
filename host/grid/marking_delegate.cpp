#include "host/grid/marking_delegate.h"

#include "host/grid/db_grid.h"
#include "host/grid/grid_column.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <algorithm>

namespace host::grid {

MarkingDelegate::MarkingDelegate(DbGrid& grid)
    : QStyledItemDelegate(&grid), m_grid(grid), m_markColor(DbGrid::DefaultTitleColor())
{
}

void MarkingDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    if (!m_marker || index.column() >= m_grid.GetColumnCount()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QList<TextSpan> spans =
        m_marker(m_grid.GetColumn(index.column())->GetFieldName(), cell.text);
    if (spans.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* widget = cell.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, widget);
    // The style paints the background, the selection and the focus; the text is drawn
    // here, with its marks.
    const QString text = cell.text;
    cell.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    cell.text = text;
    PaintMarkedText(*painter, cell, textRect, spans);
}

void MarkingDelegate::PaintMarkedText(QPainter& painter, const QStyleOptionViewItem& cell,
                                      const QRect& textRect, const QList<TextSpan>& spans) const
{
    const QWidget* widget = cell.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    // The margin the style keeps on each side of a cell's text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect area = textRect.adjusted(margin, 0, -margin, 0);
    if (area.width() <= 0) {
        return;
    }
    // Elided at the right as the style would; a mark past the ellipsis is not shown.
    const QString shown = cell.fontMetrics.elidedText(cell.text, Qt::ElideRight, area.width());
    const qsizetype kept =
        shown == cell.text ? shown.size() : std::max<qsizetype>(0, shown.size() - 1);

    QTextCharFormat marked;
    marked.setFontWeight(QFont::Bold);
    marked.setForeground(m_markColor);
    QList<QTextLayout::FormatRange> formats;
    for (const TextSpan& span : spans) {
        const qsizetype end = std::min(span.start + span.length, kept);
        if (span.start < end) {
            formats.push_back(
                {static_cast<int>(span.start), static_cast<int>(end - span.start), marked});
        }
    }

    QTextLayout layout(shown, cell.font, painter.device());
    QTextOption textOption(cell.displayAlignment);
    textOption.setWrapMode(QTextOption::NoWrap);
    textOption.setTextDirection(cell.direction);
    layout.setTextOption(textOption);
    layout.setFormats(formats);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return;
    }
    line.setLineWidth(area.width());
    layout.endLayout();

    const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (cell.state & QStyle::State_Active) ? QPalette::Normal
                                                                             : QPalette::Inactive;
    const QPalette::ColorRole role =
        (cell.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    painter.setPen(cell.palette.color(group, role));
    const qreal top = area.top() + (area.height() - line.height()) / 2.0;
    layout.draw(&painter, QPointF(area.left(), top));
    painter.restore();
}

} // namespace host::grid
