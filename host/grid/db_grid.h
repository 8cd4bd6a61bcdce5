#pragma once

#include "host/grid/cell_marker.h"
#include "host/grid/uniform_table_view.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <memory>
#include <vector>

namespace host {

class DataSource;
class Dataset;
class Field;
class GridColumn;

namespace grid {
class GridModel;
class MarkingDelegate;
} // namespace grid

// The data grid: shows the dataset of its data source, read-only, one row per record
// of the dataset's view. Its current row and the dataset's cursor stay in step both
// ways. Key handlers take virtual-key codes. Every row has the height of one line of
// the cell font, so a view of millions of rows costs no more to show than a short one.
class DbGrid : public grid::UniformTableView {
    Q_OBJECT
    Q_PROPERTY(QColor TitleColor READ GetTitleColor WRITE setTitleColor)

public:
    // The accent colour of the title row.
    static QColor DefaultTitleColor() { return QColor(204, 91, 44); }

    explicit DbGrid(QWidget* parent = nullptr);
    ~DbGrid() override;

    void SetDataSource(DataSource* dataSource);
    DataSource* GetDataSource() const;
    // The data source's dataset; nullptr when there is none.
    Dataset* GetDataSet() const;

    // Columns. When the grid has none of its own, binding builds one per visible field
    // in field order, and rebuilds them when the fields change.
    int GetColumnCount() const { return static_cast<int>(m_columns.size()); }
    // Raises DatasetError outside 0..GetColumnCount()-1.
    GridColumn* GetColumn(int index) const;
    // Gives the grid a column of its own for the named field (kept across bindings).
    GridColumn* AddColumn(const QString& fieldName);
    // Drops the grid's own columns; the columns follow the visible fields again.
    void ClearColumns();

    // The column of the current cell (kept while the dataset is empty).
    int GetSelectedIndex() const { return m_selectedColumn; }
    void SetSelectedIndex(int column);

    // The default look: white cells with black text, navy selection that stays
    // visible without the focus. False leaves the colours to the style.
    void SetDefaultColors(bool useDefault);
    bool GetDefaultColors() const { return m_defaultColors; }

    QColor GetTitleColor() const { return m_titleColor; }
    void setTitleColor(const QColor& color);
    QFont GetTitleFont() const { return m_titleFont; }
    void SetTitleFont(const QFont& font);

    // Repaints one column's title (its title font changed).
    void RepaintTitle(int column);

    // Marks parts of the cells' text, bold in the title colour: what a search matched.
    // An empty marker paints the cells plainly.
    void SetCellMarker(grid::CellMarker marker);
    bool HasCellMarker() const;

Q_SIGNALS:
    void OnTitleClick(host::GridColumn* column);
    void OnDblClick();
    // Every key press, as a virtual-key code, before the grid handles it. A handler
    // that sets key to 0 swallows the key.
    void OnKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void changeEvent(QEvent* event) override;

public:
    // Printable keys never search or move the grid.
    void keyboardSearch(const QString& search) override;

private:
    void Bind();
    void RebuildColumns();
    void FitColumnWidths();
    void OnViewReset();
    void OnFieldsChanged();
    void OnCursorMoved(int row);
    void OnFocusFieldRequested(Field* field);
    void ApplyColors();

    grid::GridModel* m_model = nullptr;
    grid::MarkingDelegate* m_marking = nullptr;
    QPointer<DataSource> m_dataSource;
    QPointer<Dataset> m_boundDataSet;
    std::vector<std::unique_ptr<GridColumn>> m_columns;
    bool m_ownColumns = false;
    bool m_syncing = false;
    int m_selectedColumn = 0;
    bool m_defaultColors = true;
    QColor m_titleColor = DefaultTitleColor();
    QFont m_titleFont;
};

} // namespace host
