#include "host/grid/cell_walk.h"

#include <QHeaderView>

namespace host::grid {

CellWalk::CellWalk(const QHeaderView& header, const QAbstractItemModel& model,
                   const QModelIndex& root)
    : m_header(header), m_model(model), m_root(root), m_bottom(model.rowCount(root) - 1),
      m_right(header.count() - 1)
{
    while (m_right >= 0 && m_header.isSectionHidden(m_header.logicalIndex(m_right))) {
        --m_right;
    }
}

int CellWalk::Logical(int visual) const
{
    return visual < 0 || visual > m_right ? -1 : m_header.logicalIndex(visual);
}

bool CellWalk::Usable(int row, int visual) const
{
    const int column = Logical(visual);
    return row >= 0 && row <= m_bottom && column >= 0 && !m_header.isSectionHidden(column) &&
           (m_model.flags(m_model.index(row, column, m_root)) & Qt::ItemIsEnabled) != 0;
}

int CellWalk::FirstShown() const
{
    int column = 0;
    while (column < m_right && m_header.isSectionHidden(Logical(column))) {
        ++column;
    }
    return column;
}

int CellWalk::Up(Cell from) const
{
    int row = from.row;
    do {
        --row;
    } while (row >= 0 && !Usable(row, from.column));
    return row < 0 ? from.row : row;
}

int CellWalk::Down(Cell from) const
{
    int row = from.row;
    do {
        ++row;
    } while (row <= m_bottom && !Usable(row, from.column));
    return row > m_bottom ? from.row : row;
}

CellWalk::Cell CellWalk::Back(Cell from, bool wrap) const
{
    int row = from.row;
    int column = from.column;
    bool wrapped = false;
    bool looped = false;
    do {
        while (column >= 0) {
            --column;
            if (column < 0 || Usable(row, column)) {
                break;
            }
            if (wrapped && (from.row < row || (from.row == row && from.column <= column))) {
                looped = true;
                break;
            }
        }
        if (!wrap || column >= 0) {
            break;
        }
        column = m_right + 1;
        if (row == 0) {
            wrapped = true;
            row = m_bottom;
        } else {
            --row;
        }
    } while (!looped);
    return {row, column < 0 ? from.column : column};
}

CellWalk::Cell CellWalk::Forward(Cell from, bool wrap) const
{
    int row = from.row;
    int column = from.column;
    bool wrapped = false;
    bool looped = false;
    do {
        while (column <= m_right) {
            ++column;
            if (column > m_right || Usable(row, column)) {
                break;
            }
            if (wrapped && (from.row > row || (from.row == row && from.column >= column))) {
                looped = true;
                break;
            }
        }
        if (!wrap || column <= m_right) {
            break;
        }
        column = -1;
        if (row == m_bottom) {
            wrapped = true;
            row = 0;
        } else {
            ++row;
        }
    } while (!looped);
    return {row, column > m_right ? from.column : column};
}

CellWalk::Cell CellWalk::Home(Cell from, bool control) const
{
    int row = from.row;
    int column = 0;
    while (column < m_right && !Usable(row, column)) {
        ++column;
    }
    if (control) {
        row = 0;
        while (row < m_bottom && !Usable(row, column)) {
            ++row;
        }
    }
    return {row, column};
}

CellWalk::Cell CellWalk::End(Cell from, bool control) const
{
    return {control ? m_bottom : from.row, m_right};
}

} // namespace host::grid
