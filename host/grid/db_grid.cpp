#include "host/grid/db_grid.h"

#include "host/grid/data_source.h"
#include "host/grid/grid_column.h"
#include "host/grid/grid_header.h"
#include "host/grid/grid_model.h"
#include "host/grid/key_down.h"
#include "host/grid/marking_delegate.h"
#include "host/platform/virtual_keys.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>
#include <touchsearch/application.h>
#include <touchsearch/dataset.h>
#include <touchsearch/dataset_error.h>

namespace host {

namespace {

constexpr int kMaxColumnChars = 40;

QFont MakeFont(const QString& family, int pixelSize)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

} // namespace

DbGrid::DbGrid(QWidget* parent)
    : UniformTableView(parent), m_model(new grid::GridModel(*this)),
      m_titleFont(MakeFont(QStringLiteral("Tahoma"), 19))
{
    setFont(MakeFont(QStringLiteral("Arial"), 16));
    setUniformRowHeight(fontMetrics().height() + 6);

    auto* header = new grid::GridHeader(this);
    header->setFont(m_titleFont);
    setHorizontalHeader(header);
    // A title tap reports the column; it neither selects the column nor moves the row.
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
        if (section >= 0 && section < GetColumnCount()) {
            Application::Instance().Guard([&] { Q_EMIT OnTitleClick(GetColumn(section)); });
        }
    });

    setModel(m_model);
    m_marking = new grid::MarkingDelegate(*this);
    setItemDelegate(m_marking);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setAutoFillBackground(true);
    ApplyColors();
}

DbGrid::~DbGrid() = default;

void DbGrid::SetDataSource(DataSource* dataSource)
{
    if (m_dataSource == dataSource) {
        return;
    }
    if (m_dataSource) {
        disconnect(m_dataSource, nullptr, this, nullptr);
    }
    m_dataSource = dataSource;
    if (dataSource != nullptr) {
        connect(dataSource, &DataSource::dataSetChanged, this, &DbGrid::Bind);
        connect(dataSource, &QObject::destroyed, this, &DbGrid::Bind);
    }
    Bind();
}

DataSource* DbGrid::GetDataSource() const
{
    return m_dataSource.data();
}

Dataset* DbGrid::GetDataSet() const
{
    return m_dataSource ? m_dataSource->GetDataSet() : nullptr;
}

GridColumn* DbGrid::GetColumn(int index) const
{
    if (index < 0 || index >= GetColumnCount()) {
        throw DatasetError(QStringLiteral("Grid \"%1\": column index %2 out of range (%3 columns)")
                               .arg(objectName())
                               .arg(index)
                               .arg(GetColumnCount()));
    }
    return m_columns[static_cast<size_t>(index)].get();
}

GridColumn* DbGrid::AddColumn(const QString& fieldName)
{
    m_model->Reset([&] {
        if (!m_ownColumns) {
            m_columns.clear();
            m_ownColumns = true;
        }
        m_columns.push_back(std::make_unique<GridColumn>(*this, GetColumnCount(), fieldName));
    });
    FitColumnWidths();
    OnCursorMoved(GetDataSet() != nullptr && GetDataSet()->IsActive() ? GetDataSet()->RecNo() : -1);
    return m_columns.back().get();
}

void DbGrid::ClearColumns()
{
    m_ownColumns = false;
    m_model->Reset([this] { RebuildColumns(); });
    FitColumnWidths();
}

void DbGrid::Bind()
{
    Dataset* dataSet = GetDataSet();
    if (m_boundDataSet != dataSet) {
        if (m_boundDataSet) {
            disconnect(m_boundDataSet, nullptr, this, nullptr);
        }
        m_boundDataSet = dataSet;
        if (dataSet != nullptr) {
            connect(dataSet, &Dataset::viewReset, this, &DbGrid::OnViewReset);
            connect(dataSet, &Dataset::cursorMoved, this, &DbGrid::OnCursorMoved);
            connect(dataSet, &Dataset::rowsFetched, m_model, &grid::GridModel::RowsFetched);
            connect(dataSet, &Dataset::fieldsChanged, this, &DbGrid::OnFieldsChanged);
            connect(dataSet, &Dataset::focusFieldRequested, this, &DbGrid::OnFocusFieldRequested);
        }
    }
    m_model->Reset([this] { RebuildColumns(); });
    FitColumnWidths();
    OnCursorMoved(dataSet != nullptr && dataSet->IsActive() ? dataSet->RecNo() : -1);
}

void DbGrid::RebuildColumns()
{
    if (m_ownColumns) {
        return;
    }
    m_columns.clear();
    const Dataset* dataSet = GetDataSet();
    if (dataSet == nullptr) {
        return;
    }
    for (int i = 0; i < dataSet->GetFieldCount(); ++i) {
        const Field* field = dataSet->GetField(i);
        if (field->GetVisible()) {
            m_columns.push_back(
                std::make_unique<GridColumn>(*this, GetColumnCount(), field->GetName()));
        }
    }
}

void DbGrid::FitColumnWidths()
{
    // From the field's declared size, never from the data: the cost does not grow
    // with the number of records.
    const QFontMetrics cells(font());
    const QFontMetrics titles(m_titleFont);
    for (const auto& column : m_columns) {
        const Field* field = column->GetField();
        const int chars = std::clamp(field != nullptr ? field->GetSize() : 10, 4, kMaxColumnChars);
        const int width = std::max(chars * cells.averageCharWidth(),
                                   titles.horizontalAdvance(column->GetTitle())) +
                          12;
        setColumnWidth(column->GetIndex(), width);
    }
}

void DbGrid::OnViewReset()
{
    m_model->Reset();
    const Dataset* dataSet = GetDataSet();
    OnCursorMoved(dataSet != nullptr && dataSet->IsActive() ? dataSet->RecNo() : -1);
}

void DbGrid::OnFieldsChanged()
{
    if (m_ownColumns) {
        return;
    }
    const int selected = m_selectedColumn;
    m_model->Reset([this] { RebuildColumns(); });
    FitColumnWidths();
    m_selectedColumn = std::clamp(selected, 0, std::max(0, GetColumnCount() - 1));
    const Dataset* dataSet = GetDataSet();
    OnCursorMoved(dataSet != nullptr && dataSet->IsActive() ? dataSet->RecNo() : -1);
}

void DbGrid::OnCursorMoved(int row)
{
    if (m_syncing) {
        return;
    }
    if (row < 0 || row >= m_model->rowCount() || GetColumnCount() == 0) {
        return;
    }
    const int column = std::clamp(m_selectedColumn, 0, GetColumnCount() - 1);
    const QModelIndex index = m_model->index(row, column);
    m_syncing = true;
    setCurrentIndex(index);
    scrollTo(index);
    m_syncing = false;
}

void DbGrid::OnFocusFieldRequested(Field* field)
{
    for (const auto& column : m_columns) {
        if (column->GetField() == field) {
            SetSelectedIndex(column->GetIndex());
            setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void DbGrid::SetSelectedIndex(int column)
{
    if (column < 0 || column >= GetColumnCount()) {
        return;
    }
    m_selectedColumn = column;
    const QModelIndex current = currentIndex();
    if (current.isValid()) {
        const QModelIndex index = m_model->index(current.row(), column);
        m_syncing = true;
        setCurrentIndex(index);
        m_syncing = false;
        scrollTo(index);
    }
}

void DbGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    UniformTableView::currentChanged(current, previous);
    if (!current.isValid()) {
        return;
    }
    m_selectedColumn = current.column();
    if (m_syncing) {
        return;
    }
    Dataset* dataSet = GetDataSet();
    if (dataSet != nullptr && dataSet->IsActive() && current.row() != dataSet->RecNo()) {
        m_syncing = true;
        Application::Instance().Guard([&] { dataSet->MoveTo(current.row()); });
        m_syncing = false;
    }
}

void DbGrid::changeEvent(QEvent* event)
{
    UniformTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        // Rows fit the cell font.
        setUniformRowHeight(fontMetrics().height() + 6);
    }
}

void DbGrid::keyPressEvent(QKeyEvent* event)
{
    if (grid::OfferKeyDown(event,
                           [&](int& key) { Q_EMIT OnKeyDown(this, key, event->modifiers()); })) {
        return;
    }
    UniformTableView::keyPressEvent(event);
}

void DbGrid::keyboardSearch(const QString& search)
{
    Q_UNUSED(search);
}

void DbGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    UniformTableView::mouseDoubleClickEvent(event);
    Application::Instance().Guard([this] { Q_EMIT OnDblClick(); });
}

void DbGrid::SetDefaultColors(bool useDefault)
{
    m_defaultColors = useDefault;
    ApplyColors();
}

void DbGrid::ApplyColors()
{
    QPalette colors = m_defaultColors ? palette() : QPalette();
    if (m_defaultColors) {
        for (const auto group : {QPalette::Active, QPalette::Inactive}) {
            colors.setColor(group, QPalette::Base, Qt::white);
            colors.setColor(group, QPalette::Window, Qt::white);
            colors.setColor(group, QPalette::Text, Qt::black);
            colors.setColor(group, QPalette::Highlight, QColor(0, 0, 128));
            colors.setColor(group, QPalette::HighlightedText, Qt::white);
        }
    }
    // The selection stays visible when another control has the focus.
    colors.setColor(QPalette::Inactive, QPalette::Highlight,
                    colors.color(QPalette::Active, QPalette::Highlight));
    colors.setColor(QPalette::Inactive, QPalette::HighlightedText,
                    colors.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(colors);
}

void DbGrid::setTitleColor(const QColor& color)
{
    m_titleColor = color;
    m_marking->SetMarkColor(color);
    horizontalHeader()->viewport()->update();
    viewport()->update();
}

void DbGrid::SetCellMarker(grid::CellMarker marker)
{
    m_marking->SetMarker(std::move(marker));
    viewport()->update();
}

bool DbGrid::HasCellMarker() const
{
    return m_marking->HasMarker();
}

void DbGrid::SetTitleFont(const QFont& font)
{
    m_titleFont = font;
    horizontalHeader()->setFont(font);
    horizontalHeader()->updateGeometry();
    horizontalHeader()->viewport()->update();
}

void DbGrid::RepaintTitle(int column)
{
    Q_EMIT m_model->headerDataChanged(Qt::Horizontal, column, column);
}

} // namespace host
