#pragma once

#include "host/grid/column_title_font.h"

#include <QString>

namespace host {

class DbGrid;
class Field;

// One column of a DbGrid: the field it shows and its title's font.
class GridColumn {
public:
    GridColumn(DbGrid& grid, int index, QString fieldName);

    GridColumn(const GridColumn&) = delete;
    GridColumn& operator=(const GridColumn&) = delete;

    int GetIndex() const { return m_index; }
    const QString& GetFieldName() const { return m_fieldName; }
    // The field of the grid's current dataset with the column's field name; nullptr
    // when the grid has no dataset or the dataset has no such field.
    Field* GetField() const;
    // The title's text: the field name.
    QString GetTitle() const { return m_fieldName; }

    grid::ColumnTitleFont& GetFont() { return m_font; }
    const grid::ColumnTitleFont& GetFont() const { return m_font; }

private:
    DbGrid* m_grid;
    int m_index;
    QString m_fieldName;
    grid::ColumnTitleFont m_font;
};

} // namespace host
