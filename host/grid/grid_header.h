#pragma once

#include <QHeaderView>

namespace host::grid {

// The title row of a DbGrid: every title on the grid's title colour, each in its
// column's title-font colour.
class GridHeader : public QHeaderView {
    Q_OBJECT

public:
    explicit GridHeader(QWidget* parent);

    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace host::grid
