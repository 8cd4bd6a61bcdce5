#include "host/grid/grid_column.h"

#include "host/grid/db_grid.h"

#include <touchsearch/dataset.h>
#include <utility>

namespace host {

GridColumn::GridColumn(DbGrid& grid, int index, QString fieldName)
    : m_grid(&grid), m_index(index), m_fieldName(std::move(fieldName)),
      m_font([this] { m_grid->RepaintTitle(m_index); })
{
}

Field* GridColumn::GetField() const
{
    const Dataset* dataSet = m_grid->GetDataSet();
    return dataSet != nullptr ? dataSet->FindField(m_fieldName) : nullptr;
}

} // namespace host
