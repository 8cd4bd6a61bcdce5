#pragma once

#include <QAbstractTableModel>
#include <functional>

namespace host {
class DbGrid;
}

namespace host::grid {

// The DbGrid's table model. It answers from the dataset's view: the row count is the
// number of rows the dataset knows so far (all of them for an in-memory dataset; a
// server's dataset learns more through fetchMore as the view scrolls), and a cell's
// text is asked of the dataset only when the view paints that cell. A change of the
// dataset is one model reset.
class GridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit GridModel(DbGrid& grid);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // The dataset learnt more rows: they are inserted after the known ones.
    void RowsFetched();

    // Resets the model, running the change (for example new columns) inside the reset.
    void Reset(const std::function<void()>& change = {});

private:
    int CurrentRowCount() const;

    DbGrid* m_grid;
    int m_rowCount = 0;
};

} // namespace host::grid
