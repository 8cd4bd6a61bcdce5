#include "host/grid/uniform_table_view.h"

#include "host/grid/cell_walk.h"

#include <QBitArray>
#include <QHeaderView>
#include <QHoverEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

namespace host::grid {

UniformTableView::UniformTableView(QWidget* parent)
    : QAbstractItemView(parent),
      m_rowHeight(style()->pixelMetric(QStyle::PM_HeaderDefaultSectionSizeVertical, nullptr, this))
{
    auto* header = new QHeaderView(Qt::Horizontal, this);
    header->setSectionsClickable(true);
    header->setHighlightSections(true);
    setHorizontalHeader(header);
    setTabKeyNavigation(true);
}

UniformTableView::~UniformTableView()
{
    // The base classes' destructors delete the header and may still see the model
    // signal: neither may reach this part of the object any more.
    disconnect(m_header, nullptr, this, nullptr);
    FollowModel(false);
}

void UniformTableView::FollowModel(bool follow)
{
    QAbstractItemModel* now = model();
    if (now == nullptr) {
        return;
    }
    const auto follow_ = [&](auto signal) {
        if (follow) {
            connect(now, signal, this, &UniformTableView::OnRowCountChanged);
        } else {
            disconnect(now, signal, this, &UniformTableView::OnRowCountChanged);
        }
    };
    follow_(&QAbstractItemModel::rowsInserted);
    follow_(&QAbstractItemModel::rowsRemoved);
    follow_(&QAbstractItemModel::modelReset);
    follow_(&QAbstractItemModel::layoutChanged);
}

void UniformTableView::setModel(QAbstractItemModel* model)
{
    if (model != nullptr && model == this->model()) {
        return;
    }
    FollowModel(false);
    m_header->setModel(model);
    QAbstractItemView::setModel(model);
    // The base class has reset itself by the time these run (it connected first).
    FollowModel(true);
    OnRowCountChanged();
}

void UniformTableView::setSelectionModel(QItemSelectionModel* selectionModel)
{
    m_header->setSelectionModel(selectionModel);
    QAbstractItemView::setSelectionModel(selectionModel);
}

void UniformTableView::setHorizontalHeader(QHeaderView* header)
{
    if (header == nullptr || header == m_header) {
        return;
    }
    if (m_header != nullptr && m_header->parent() == this) {
        delete m_header;
    }
    m_header = header;
    m_header->setParent(this);
    if (m_header->model() == nullptr) {
        m_header->setModel(model());
        if (selectionModel() != nullptr) {
            m_header->setSelectionModel(selectionModel());
        }
    }
    connect(m_header, &QHeaderView::sectionResized, this, &UniformTableView::OnColumnResized);
    connect(m_header, &QHeaderView::sectionMoved, this, &UniformTableView::OnColumnResized);
    connect(m_header, &QHeaderView::sectionCountChanged, this,
            &UniformTableView::OnColumnCountChanged);
    connect(m_header, &QHeaderView::sectionHandleDoubleClicked, this,
            &UniformTableView::resizeColumnToContents);
    connect(m_header, &QHeaderView::geometriesChanged, this, &UniformTableView::updateGeometries);
}

void UniformTableView::setUniformRowHeight(int height)
{
    height = std::max(0, height);
    if (height == m_rowHeight) {
        return;
    }
    m_rowHeight = height;
    updateGeometries();
    viewport()->update();
}

int UniformTableView::RowCount() const
{
    return model() != nullptr ? model()->rowCount(rootIndex()) : 0;
}

int UniformTableView::ColumnCount() const
{
    return m_header->count();
}

int UniformTableView::ContentHeight() const
{
    const qint64 height = qint64{RowCount()} * m_rowHeight;
    return static_cast<int>(std::min<qint64>(height, INT_MAX));
}

int UniformTableView::rowHeight(int row) const
{
    return row >= 0 && row < RowCount() ? m_rowHeight : 0;
}

int UniformTableView::rowAt(int y) const
{
    if (m_rowHeight <= 0) {
        return -1;
    }
    const qint64 at = qint64{y} + verticalOffset();
    if (at < 0 || at >= qint64{RowCount()} * m_rowHeight) {
        return -1;
    }
    return static_cast<int>(at / m_rowHeight);
}

int UniformTableView::rowViewportPosition(int row) const
{
    if (row < 0 || row >= RowCount()) {
        return -1;
    }
    const qint64 top = qint64{row} * m_rowHeight - verticalOffset();
    return static_cast<int>(std::clamp<qint64>(top, INT_MIN, INT_MAX));
}

int UniformTableView::columnWidth(int column) const
{
    return m_header->sectionSize(column);
}

void UniformTableView::setColumnWidth(int column, int width)
{
    m_header->resizeSection(column, width);
}

int UniformTableView::columnAt(int x) const
{
    return m_header->logicalIndexAt(x);
}

int UniformTableView::columnViewportPosition(int column) const
{
    return m_header->sectionViewportPosition(column);
}

int UniformTableView::horizontalOffset() const
{
    return m_header->offset();
}

int UniformTableView::verticalOffset() const
{
    const QScrollBar* bar = verticalScrollBar();
    if (verticalScrollMode() == ScrollPerPixel) {
        return bar->value();
    }
    // Per item: the last position shows the last row at the bottom.
    if (bar->maximum() > 0 && bar->value() == bar->maximum()) {
        return std::max(0, ContentHeight() - viewport()->height());
    }
    return static_cast<int>(std::min<qint64>(qint64{bar->value()} * m_rowHeight, INT_MAX));
}

bool UniformTableView::isIndexHidden(const QModelIndex& index) const
{
    return m_header->isSectionHidden(index.column());
}

QRect UniformTableView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex() ||
        isIndexHidden(index)) {
        return {};
    }
    return {columnViewportPosition(index.column()), rowViewportPosition(index.row()),
            columnWidth(index.column()), rowHeight(index.row())};
}

QModelIndex UniformTableView::indexAt(const QPoint& point) const
{
    const int row = rowAt(point.y());
    const int column = columnAt(point.x());
    if (row < 0 || column < 0 || model() == nullptr) {
        return {};
    }
    return model()->index(row, column, rootIndex());
}

void UniformTableView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex() ||
        isIndexHidden(index)) {
        return;
    }

    // Across: whole columns at a time, or pixels.
    const int viewportWidth = viewport()->width();
    const int horizontalOffset = m_header->offset();
    const int horizontalPosition = m_header->sectionPosition(index.column());
    int horizontalIndex = m_header->visualIndex(index.column());
    const int cellWidth = m_header->sectionSize(index.column());
    if (horizontalScrollMode() == ScrollPerItem) {
        const bool atLeft = horizontalPosition - horizontalOffset < 0;
        const bool atRight = horizontalPosition - horizontalOffset + cellWidth > viewportWidth;
        if (hint == PositionAtCenter || atRight) {
            const int room = hint == PositionAtCenter ? viewportWidth / 2 : viewportWidth;
            int x = cellWidth;
            while (horizontalIndex > 0) {
                x += columnWidth(m_header->logicalIndex(horizontalIndex - 1));
                if (x > room) {
                    break;
                }
                --horizontalIndex;
            }
        }
        if (atRight || hint == PositionAtCenter || atLeft) {
            int hidden = 0;
            for (int s = horizontalIndex - 1; s >= 0 && m_header->sectionsHidden(); --s) {
                hidden += m_header->isSectionHidden(m_header->logicalIndex(s)) ? 1 : 0;
            }
            horizontalScrollBar()->setValue(horizontalIndex - hidden);
        }
    } else if (hint == PositionAtCenter) {
        horizontalScrollBar()->setValue(horizontalPosition - (viewportWidth - cellWidth) / 2);
    } else if (horizontalPosition - horizontalOffset < 0 || cellWidth > viewportWidth) {
        horizontalScrollBar()->setValue(horizontalPosition);
    } else if (horizontalPosition - horizontalOffset + cellWidth > viewportWidth) {
        horizontalScrollBar()->setValue(horizontalPosition - viewportWidth + cellWidth);
    }

    // Down: the row's place is its number times the row height.
    const int viewportHeight = viewport()->height();
    const qint64 verticalPosition = qint64{index.row()} * m_rowHeight;
    const qint64 top = verticalPosition - verticalOffset();
    if (top < 0 || m_rowHeight > viewportHeight) {
        if (hint == EnsureVisible) {
            hint = PositionAtTop;
        }
    } else if (top + m_rowHeight > viewportHeight) {
        if (hint == EnsureVisible) {
            hint = PositionAtBottom;
        }
    }
    const auto clampInt = [](qint64 v) {
        return static_cast<int>(std::clamp<qint64>(v, INT_MIN, INT_MAX));
    };
    if (verticalScrollMode() == ScrollPerItem) {
        int row = index.row();
        if ((hint == PositionAtBottom || hint == PositionAtCenter) && m_rowHeight > 0) {
            const int room = hint == PositionAtCenter ? viewportHeight / 2 : viewportHeight;
            // Rows above that still fit with this one.
            const int above = std::max(0, room - m_rowHeight) / m_rowHeight;
            row = std::max(0, row - above);
        }
        if (hint == PositionAtBottom || hint == PositionAtCenter || hint == PositionAtTop) {
            verticalScrollBar()->setValue(row);
        }
    } else if (hint == PositionAtTop) {
        verticalScrollBar()->setValue(clampInt(verticalPosition));
    } else if (hint == PositionAtBottom) {
        verticalScrollBar()->setValue(clampInt(verticalPosition - viewportHeight + m_rowHeight));
    } else if (hint == PositionAtCenter) {
        verticalScrollBar()->setValue(
            clampInt(verticalPosition - (viewportHeight - m_rowHeight) / 2));
    }
    update(index);
}

QModelIndex UniformTableView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    if (model() == nullptr) {
        return {};
    }
    const CellWalk walk(*m_header, *model(), rootIndex());
    if (walk.IsEmpty()) {
        return {};
    }
    const QModelIndex current = currentIndex();
    if (!current.isValid()) {
        return model()->index(0, walk.Logical(walk.FirstShown()), rootIndex());
    }
    if (cursorAction == MovePageUp || cursorAction == MovePageDown) {
        return PageTarget(current, cursorAction == MovePageDown, walk.Bottom());
    }
    if (isRightToLeft()) {
        if (cursorAction == MoveLeft) {
            cursorAction = MoveRight;
        } else if (cursorAction == MoveRight) {
            cursorAction = MoveLeft;
        }
    }
    const CellWalk::Cell from{std::min(current.row(), walk.Bottom()),
                              std::min(m_header->visualIndex(current.column()), walk.Right())};
    const bool control = modifiers.testFlag(Qt::ControlModifier);
    CellWalk::Cell to = from;
    switch (cursorAction) {
    case MoveUp:
        to.row = walk.Up(from);
        break;
    case MoveDown:
        to.row = walk.Down(from);
        break;
    case MovePrevious:
    case MoveLeft:
        to = walk.Back(from, cursorAction == MovePrevious);
        break;
    case MoveNext:
    case MoveRight:
        to = walk.Forward(from, cursorAction == MoveNext);
        break;
    case MoveHome:
        to = walk.Home(from, control);
        break;
    case MoveEnd:
        to = walk.End(from, control);
        break;
    case MovePageUp:
    case MovePageDown:
        break; // answered by PageTarget above
    }
    const int logical = walk.Logical(to.column);
    if (!model()->hasIndex(to.row, logical, rootIndex())) {
        return {};
    }
    return walk.Usable(to.row, to.column) ? model()->index(to.row, logical, rootIndex())
                                          : QModelIndex();
}

QModelIndex UniformTableView::PageTarget(const QModelIndex& current, bool down, int bottom) const
{
    if (down) {
        int to = rowAt(visualRect(current).top() + viewport()->height());
        if (to == -1) {
            to = bottom;
        }
        return model()->index(to, current.column(), rootIndex());
    }
    int to = rowAt(visualRect(current).bottom() - viewport()->height());
    if (to == -1) {
        to = 0;
    }
    return model()->index(to, current.column(), rootIndex());
}

void UniformTableView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    const int left = std::min(rect.left(), rect.right());
    const int rightX = std::max(rect.left(), rect.right());
    const int topY = std::min(rect.top(), rect.bottom());
    const int bottomY = std::max(rect.top(), rect.bottom());
    const QModelIndex topLeft = indexAt(QPoint(isRightToLeft() ? rightX : left, topY));
    const QModelIndex bottomRight = indexAt(QPoint(isRightToLeft() ? left : rightX, bottomY));
    if (selectionModel() == nullptr || !topLeft.isValid() || !bottomRight.isValid() ||
        !(topLeft.flags() & Qt::ItemIsEnabled) || !(bottomRight.flags() & Qt::ItemIsEnabled)) {
        return;
    }
    QItemSelection selection;
    if (m_header->sectionsMoved()) {
        const int from = m_header->visualIndex(topLeft.column());
        const int to = m_header->visualIndex(bottomRight.column());
        for (int visual = std::min(from, to); visual <= std::max(from, to); ++visual) {
            const int column = m_header->logicalIndex(visual);
            selection.append(
                QItemSelectionRange(model()->index(topLeft.row(), column, rootIndex()),
                                    model()->index(bottomRight.row(), column, rootIndex())));
        }
    } else {
        const QItemSelectionRange range(topLeft, bottomRight);
        if (!range.isEmpty()) {
            selection.append(range);
        }
    }
    selectionModel()->select(selection, command);
}

QRegion UniformTableView::visualRegionForSelection(const QItemSelection& selection) const
{
    QRegion region;
    const QRect viewportRect = viewport()->rect();
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex() || !range.isValid()) {
            continue;
        }
        const int top = rowViewportPosition(range.top());
        const int bottom = rowViewportPosition(range.bottom()) + rowHeight(range.bottom());
        for (int c = range.left(); c <= range.right(); ++c) {
            if (m_header->isSectionHidden(c)) {
                continue;
            }
            const QRect rect(QPoint(columnViewportPosition(c), top),
                             QPoint(columnViewportPosition(c) + columnWidth(c) - 1, bottom - 1));
            if (viewportRect.intersects(rect)) {
                region += rect;
            }
        }
    }
    return region;
}

void UniformTableView::initViewItemOption(QStyleOptionViewItem* option) const
{
    QAbstractItemView::initViewItemOption(option);
    option->showDecorationSelected = true; // a selected cell is filled whole
    option->features &= ~QStyleOptionViewItem::WrapText;
}

void UniformTableView::DrawCell(QPainter& painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    QStyleOptionViewItem cell = option;
    if (selectionModel() != nullptr && selectionModel()->isSelected(index)) {
        cell.state |= QStyle::State_Selected;
    }
    if (index == m_hover) {
        cell.state |= QStyle::State_MouseOver;
    }
    if (option.state & QStyle::State_Enabled) {
        QPalette::ColorGroup group = QPalette::Normal;
        if (!(index.flags() & Qt::ItemIsEnabled)) {
            cell.state &= ~QStyle::State_Enabled;
            group = QPalette::Disabled;
        }
        cell.palette.setCurrentColorGroup(group);
    }
    if (index == currentIndex() && (hasFocus() || viewport()->hasFocus())) {
        cell.state |= QStyle::State_HasFocus;
    }
    style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &cell, &painter, this);
    itemDelegateForIndex(index)->paint(&painter, cell, index);
}

void UniformTableView::paintEvent(QPaintEvent* event)
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    QPainter painter(viewport());
    const int rows = RowCount();
    const int columns = ColumnCount();
    if (rows == 0 || columns == 0 || itemDelegate() == nullptr || m_rowHeight <= 0) {
        return;
    }
    const bool rightToLeft = isRightToLeft();
    const int cellsRight = m_header->length() - m_header->offset() - (rightToLeft ? 0 : 1);
    const int cellsBottom = ContentHeight() - verticalOffset() - 1;

    // Each cell once, however many dirty rectangles cover it.
    const int firstRow = std::max(rowAt(0), 0);
    int lastRow = rowAt(viewport()->height());
    if (lastRow == -1) {
        lastRow = rows - 1;
    }
    int firstColumn = m_header->visualIndexAt(0);
    int lastColumn = m_header->visualIndexAt(m_header->viewport()->width());
    if (rightToLeft) {
        std::swap(firstColumn, lastColumn);
    }
    if (firstColumn == -1) {
        firstColumn = 0;
    }
    if (lastColumn == -1) {
        lastColumn = columns - 1;
    }
    const int across = lastColumn - firstColumn + 1;
    QBitArray drawn(std::max(0, (lastRow - firstRow + 1) * across));

    for (QRect dirty : event->region()) {
        dirty.setBottom(std::min(dirty.bottom(), cellsBottom));
        if (rightToLeft) {
            dirty.setLeft(std::max(dirty.left(), viewport()->width() - cellsRight));
        } else {
            dirty.setRight(std::min(dirty.right(), cellsRight));
        }
        if (!dirty.isValid()) {
            continue;
        }
        int left = m_header->visualIndexAt(dirty.left());
        int right = m_header->visualIndexAt(dirty.right());
        if (rightToLeft) {
            std::swap(left, right);
        }
        if (left == -1) {
            left = 0;
        }
        if (right == -1) {
            right = columns - 1;
        }
        int bottom = rowAt(dirty.bottom());
        if (bottom == -1) {
            bottom = rows - 1;
        }
        const int top = rowAt(dirty.top());
        if (top == -1 || top > bottom) {
            continue;
        }
        for (int row = top; row <= bottom; ++row) {
            const int y = rowViewportPosition(row);
            for (int visual = left; visual <= right; ++visual) {
                const int bit = (row - firstRow) * across + visual - firstColumn;
                if (bit < 0 || bit >= drawn.size() || drawn.testBit(bit)) {
                    continue;
                }
                drawn.setBit(bit);
                const int column = m_header->logicalIndex(visual);
                if (m_header->isSectionHidden(column)) {
                    continue;
                }
                const QModelIndex index = model()->index(row, column, rootIndex());
                if (index.isValid()) {
                    option.rect =
                        QRect(columnViewportPosition(column), y, columnWidth(column), m_rowHeight);
                    DrawCell(painter, option, index);
                }
            }
        }
    }
}

void UniformTableView::SyncHeaderOffset()
{
    const QScrollBar* bar = horizontalScrollBar();
    if (horizontalScrollMode() == ScrollPerItem) {
        if (bar->maximum() > 0 && bar->value() == bar->maximum()) {
            m_header->setOffsetToLastSection();
        } else {
            m_header->setOffsetToSectionPosition(bar->value());
        }
    } else {
        m_header->setOffset(bar->value());
    }
}

void UniformTableView::scrollContentsBy(int dx, int dy)
{
    dx = isRightToLeft() ? -dx : dx;
    if (dx != 0) {
        const int before = m_header->offset();
        SyncHeaderOffset();
        if (horizontalScrollMode() == ScrollPerItem) {
            const int after = m_header->offset();
            dx = isRightToLeft() ? after - before : before - after;
        }
    }
    if (dy != 0 && verticalScrollMode() == ScrollPerItem) {
        // A step of rows is not always a whole number of row heights (the last one
        // aligns the bottom): paint afresh rather than move the pixels.
        viewport()->update();
        dy = 0;
    }
    viewport()->scroll(dx, dy);
}

void UniformTableView::updateGeometries()
{
    if (m_inGeometries) {
        return;
    }
    m_inGeometries = true;

    int height = 0;
    if (!m_header->isHidden()) {
        height = std::min(std::max(m_header->minimumHeight(), m_header->sizeHint().height()),
                          m_header->maximumHeight());
    }
    setViewportMargins(0, height, 0, 0);
    const QRect cells = viewport()->geometry();
    m_header->setGeometry(cells.left(), cells.top() - height, cells.width(), height);
    if (m_header->isHidden()) {
        QMetaObject::invokeMethod(m_header, "updateGeometries");
    }

    // Without scroll bars when everything fits the largest viewport.
    QSize size = viewport()->size();
    const QSize largest = maximumViewportSize();
    const auto horizontalLength = static_cast<unsigned>(m_header->length());
    const auto verticalLength = static_cast<unsigned>(ContentHeight());
    if (static_cast<unsigned>(largest.width()) >= horizontalLength &&
        static_cast<unsigned>(largest.height()) >= verticalLength) {
        size = largest;
    }

    const int columns = ColumnCount();
    int columnsInViewport = 0;
    for (int width = 0, visual = columns - 1; visual >= 0; --visual) {
        const int logical = m_header->logicalIndex(visual);
        if (!m_header->isSectionHidden(logical)) {
            width += m_header->sectionSize(logical);
            if (width > size.width()) {
                break;
            }
            ++columnsInViewport;
        }
    }
    columnsInViewport = std::max(columnsInViewport, 1);
    if (horizontalScrollMode() == ScrollPerItem) {
        const int visibleColumns = columns - m_header->hiddenSectionCount();
        horizontalScrollBar()->setRange(0, visibleColumns - columnsInViewport);
        horizontalScrollBar()->setPageStep(columnsInViewport);
        if (columnsInViewport >= visibleColumns) {
            m_header->setOffset(0);
        }
        horizontalScrollBar()->setSingleStep(1);
    } else {
        horizontalScrollBar()->setPageStep(size.width());
        horizontalScrollBar()->setRange(0, static_cast<int>(horizontalLength) - size.width());
        horizontalScrollBar()->setSingleStep(std::max(size.width() / (columnsInViewport + 1), 2));
    }

    const int rows = RowCount();
    int rowsInViewport = m_rowHeight > 0 ? std::min(rows, size.height() / m_rowHeight) : rows;
    rowsInViewport = std::max(rowsInViewport, 1);
    if (verticalScrollMode() == ScrollPerItem) {
        verticalScrollBar()->setRange(0, rows - rowsInViewport);
        verticalScrollBar()->setPageStep(rowsInViewport);
        verticalScrollBar()->setSingleStep(1);
    } else {
        verticalScrollBar()->setPageStep(size.height());
        verticalScrollBar()->setRange(0, static_cast<int>(verticalLength) - size.height());
        verticalScrollBar()->setSingleStep(std::max(size.height() / (rowsInViewport + 1), 2));
    }

    m_inGeometries = false;
    QAbstractItemView::updateGeometries();
}

QSize UniformTableView::viewportSizeHint() const
{
    QSize hint(m_header->length(),
               (m_header->isHidden() ? 0 : m_header->height()) + ContentHeight());
    if (verticalScrollBar()->isVisible()) {
        hint.rwidth() += verticalScrollBar()->width();
    }
    if (horizontalScrollBar()->isVisible()) {
        hint.rheight() += horizontalScrollBar()->height();
    }
    return hint;
}

int UniformTableView::sizeHintForColumn(int column) const
{
    ensurePolished();
    const int rows = RowCount();
    const int most = m_header->resizeContentsPrecision();
    const int top = std::max(0, rowAt(0));
    int bottom = rowAt(viewport()->height());
    if (!isVisible() || bottom == -1) {
        bottom = rows - 1;
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    int hint = 0;
    int processed = 0;
    const auto measure = [&](int row) {
        const QModelIndex index = model()->index(row, column, rootIndex());
        hint = std::max(hint, itemDelegateForIndex(index)->sizeHint(option, index).width());
        ++processed;
    };
    // The rows on screen first, then alternately below and above them.
    int row = top;
    for (; row <= bottom && processed != most; ++row) {
        measure(row);
    }
    int above = top;
    int below = row - 1;
    if (most == 0) {
        processed = 0;
    }
    while (processed != most && (above > 0 || below < rows - 1)) {
        if ((processed % 2 != 0 && above > 0) || below == rows - 1) {
            measure(--above);
        } else {
            measure(++below);
        }
    }
    return hint;
}

void UniformTableView::resizeColumnToContents(int column)
{
    m_header->resizeSection(column,
                            std::max(sizeHintForColumn(column), m_header->sectionSizeHint(column)));
}

bool UniformTableView::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        m_hover = indexAt(static_cast<QHoverEvent*>(event)->position().toPoint());
        break;
    case QEvent::HoverLeave:
        m_hover = QPersistentModelIndex();
        break;
    default:
        break;
    }
    return QAbstractItemView::viewportEvent(event);
}

void UniformTableView::OnRowCountChanged()
{
    updateGeometries();
    viewport()->update();
}

void UniformTableView::OnColumnCountChanged()
{
    updateGeometries();
    SyncHeaderOffset();
    viewport()->update();
}

void UniformTableView::OnColumnResized()
{
    updateGeometries();
    viewport()->update();
}

} // namespace host::grid
