#include "host/grid/grid_model.h"

#include "host/grid/db_grid.h"
#include "host/grid/grid_column.h"

#include <touchsearch/application.h>
#include <touchsearch/dataset.h>
#include <utility>

namespace host::grid {

namespace {

// A cell shows one line: this many characters are wider than the search's whole grid
// even in the narrowest glyphs of its fonts. Longer text is cut here, before the view's
// delegate lays it out and elides it (laying out every character of the text), so a
// value of megabytes costs what a line costs to paint and to measure.
constexpr qsizetype kCellCharacters = 400;

QString CellText(QString text)
{
    if (text.size() <= kCellCharacters) {
        return text;
    }
    qsizetype cut = kCellCharacters;
    if (text[cut - 1].isHighSurrogate()) {
        --cut; // never half a character
    }
    text.truncate(cut);
    text += QChar(0x2026); // "…": the cell shows that the value goes on
    return text;
}

} // namespace

GridModel::GridModel(DbGrid& grid) : QAbstractTableModel(&grid), m_grid(&grid) {}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_grid->GetColumnCount();
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rowCount ||
        index.column() >= m_grid->GetColumnCount()) {
        return {};
    }
    if (role != Qt::DisplayRole && role != Qt::TextAlignmentRole) {
        return {};
    }
    const Dataset* dataSet = m_grid->GetDataSet();
    const Field* field = m_grid->GetColumn(index.column())->GetField();
    if (dataSet == nullptr || field == nullptr || !dataSet->IsActive()) {
        return {};
    }
    // Painting must not throw: a failing dataset shows empty cells and the failure is
    // reported.
    bool inView = false;
    Application::Instance().Guard([&] { inView = index.row() < dataSet->FetchedRowCount(); });
    if (!inView) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        const bool numeric =
            field->GetType() == FieldType::Integer || field->GetType() == FieldType::Float;
        return QVariant::fromValue((numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    QString text;
    // Painting must not throw: a failing cell shows empty and the failure is reported.
    Application::Instance().Guard(
        [&] { text = dataSet->DisplayText(index.row(), field->GetIndex()); });
    return CellText(std::move(text));
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_grid->GetColumnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const GridColumn* column = m_grid->GetColumn(section);
    switch (role) {
    case Qt::DisplayRole:
        return column->GetTitle();
    case Qt::ForegroundRole:
        return column->GetFont().GetColor();
    case Qt::BackgroundRole:
        return m_grid->GetTitleColor();
    case Qt::FontRole:
        return m_grid->GetTitleFont();
    default:
        return {};
    }
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    // Read-only: never editable.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool GridModel::canFetchMore(const QModelIndex& parent) const
{
    const Dataset* dataSet = m_grid->GetDataSet();
    if (parent.isValid() || dataSet == nullptr || !dataSet->IsActive() ||
        m_grid->GetColumnCount() == 0) {
        return false;
    }
    bool more = false;
    Application::Instance().Guard([&] { more = dataSet->CanFetchMore(); });
    return more;
}

void GridModel::fetchMore(const QModelIndex& parent)
{
    Dataset* dataSet = m_grid->GetDataSet();
    if (parent.isValid() || dataSet == nullptr || !dataSet->IsActive()) {
        return;
    }
    // rowsFetched, sent by the dataset, inserts the rows.
    Application::Instance().Guard([&] { dataSet->FetchMore(); });
    RowsFetched();
}

void GridModel::RowsFetched()
{
    const int count = CurrentRowCount();
    if (count <= m_rowCount) {
        return;
    }
    beginInsertRows({}, m_rowCount, count - 1);
    m_rowCount = count;
    endInsertRows();
}

void GridModel::Reset(const std::function<void()>& change)
{
    beginResetModel();
    if (change) {
        change();
    }
    m_rowCount = CurrentRowCount();
    endResetModel();
}

int GridModel::CurrentRowCount() const
{
    const Dataset* dataSet = m_grid->GetDataSet();
    if (dataSet == nullptr || !dataSet->IsActive() || m_grid->GetColumnCount() == 0) {
        return 0;
    }
    return dataSet->FetchedRowCount();
}

} // namespace host::grid
