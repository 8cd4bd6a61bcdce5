#pragma once

#include <QAbstractItemView>
#include <QPersistentModelIndex>

class QHeaderView;

namespace host::grid {

// A table view whose rows all have one height: a row's place is its number times that
// height, so the view keeps nothing per row and a model of ten million rows costs what
// one of ten does. It looks and behaves like a QTableView with a hidden vertical header
// of fixed sections, no grid lines and no word wrap (which keeps one entry per row and
// walks them on every change of the row count); columns come from the horizontal
// header as there. Row, column and cell geometry is asked with QTableView's names.
class UniformTableView : public QAbstractItemView {
    Q_OBJECT

public:
    explicit UniformTableView(QWidget* parent = nullptr);
    ~UniformTableView() override;

    void setModel(QAbstractItemModel* model) override;
    void setSelectionModel(QItemSelectionModel* selectionModel) override;

    QHeaderView* horizontalHeader() const { return m_header; }
    // Replaces the column header (the view takes it over and deletes the previous one).
    void setHorizontalHeader(QHeaderView* header);

    // Every row's height in pixels.
    int uniformRowHeight() const { return m_rowHeight; }
    void setUniformRowHeight(int height);

    // As QTableView's: the height of a row of the model (0 for none), the row at a
    // viewport y (-1 for none), a row's top in the viewport (-1 for none), and the same
    // for columns.
    int rowHeight(int row) const;
    int rowAt(int y) const;
    int rowViewportPosition(int row) const;
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);
    int columnAt(int x) const;
    int columnViewportPosition(int column) const;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    int sizeHintForColumn(int column) const override;

public Q_SLOTS:
    // Widens or narrows a column to its title and the text of the rows around the
    // visible ones.
    void resizeColumnToContents(int column);

protected Q_SLOTS:
    void updateGeometries() override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    QSize viewportSizeHint() const override;
    void initViewItemOption(QStyleOptionViewItem* option) const override;
    bool viewportEvent(QEvent* event) override;

private:
    // Follows the model's row count changes, or stops.
    void FollowModel(bool follow);
    int RowCount() const;
    int ColumnCount() const;
    // Height of all rows together, clamped to what a scroll bar can hold.
    int ContentHeight() const;
    // Where Page Up or Page Down takes the current cell: a viewport's height on.
    QModelIndex PageTarget(const QModelIndex& current, bool down, int bottom) const;
    void DrawCell(QPainter& painter, const QStyleOptionViewItem& option,
                  const QModelIndex& index) const;
    void OnRowCountChanged();
    void OnColumnCountChanged();
    void OnColumnResized();
    void SyncHeaderOffset();

    QHeaderView* m_header = nullptr;
    int m_rowHeight = 0;
    QPersistentModelIndex m_hover;
    bool m_inGeometries = false;
};

} // namespace host::grid
