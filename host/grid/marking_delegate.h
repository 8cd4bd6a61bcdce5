#pragma once

#include "host/grid/cell_marker.h"

#include <QColor>
#include <QStyledItemDelegate>

namespace host {
class DbGrid;
}

namespace host::grid {

// Paints cells as the style does, and the parts a marker names in bold in the mark
// colour. With no marker, or nothing to mark in a cell, the cell is the style's own.
class MarkingDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit MarkingDelegate(DbGrid& grid);

    void SetMarker(CellMarker marker) { m_marker = std::move(marker); }
    bool HasMarker() const { return static_cast<bool>(m_marker); }
    void SetMarkColor(const QColor& color) { m_markColor = color; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    void PaintMarkedText(QPainter& painter, const QStyleOptionViewItem& option,
                         const QRect& textRect, const QList<TextSpan>& spans) const;

    DbGrid& m_grid;
    CellMarker m_marker;
    QColor m_markColor;
};

} // namespace host::grid
