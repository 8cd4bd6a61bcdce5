#pragma once

#include <QAbstractItemModel>
#include <QModelIndex>

class QHeaderView;

namespace host::grid {

// Where the keys take a table's current cell, as QTableView's keys do: over rows
// 0..Bottom() and the header's visual columns 0..Right() (the last one shown), past
// hidden columns and disabled items. Columns here are visual; Logical() maps them.
class CellWalk {
public:
    struct Cell {
        int row = 0;
        int column = 0; // visual
    };

    CellWalk(const QHeaderView& header, const QAbstractItemModel& model, const QModelIndex& root);

    // No row, or every column hidden: no cell to walk to.
    bool IsEmpty() const { return m_bottom < 0 || m_right < 0; }
    int Bottom() const { return m_bottom; }
    int Right() const { return m_right; }
    // The logical column at a visual one; -1 outside 0..Right().
    int Logical(int visual) const;
    // A cell the current cell may stand on: inside, shown and enabled.
    bool Usable(int row, int visual) const;
    // The column a table with no current cell starts on: the first one shown.
    int FirstShown() const;

    // Where each key leads from a cell (page keys aside: they go by the viewport).
    // The row above or below in the same column, or the same row when there is none.
    int Up(Cell from) const;
    int Down(Cell from) const;
    // Left and right along the row; with wrap (Backtab, Tab) on to the end of the row
    // above or the start of the row below, and round from one end of the table to the
    // other. Where no cell can be had, the column stays.
    Cell Back(Cell from, bool wrap) const;
    Cell Forward(Cell from, bool wrap) const;
    // The row's first or last column; with control (Ctrl held) also the first or last
    // row.
    Cell Home(Cell from, bool control) const;
    Cell End(Cell from, bool control) const;

private:
    const QHeaderView& m_header;
    const QAbstractItemModel& m_model;
    const QModelIndex m_root;
    int m_bottom = -1;
    int m_right = -1;
};

} // namespace host::grid
