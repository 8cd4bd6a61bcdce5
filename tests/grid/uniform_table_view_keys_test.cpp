// UniformTableView's keys where some cells cannot take the cursor: hidden and moved
// columns, disabled items, whole disabled rows and columns, right to left. The current
// cell goes where a QTableView with the same model and header takes it.
#include "host/grid/uniform_table_view.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QRandomGenerator>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>
#include <utility>

namespace {

// Cells that are disabled: all of column 2 and row 3 of every 5, and a scatter; or,
// with one cell named, every cell but that one.
class PatchyModel : public QAbstractTableModel {
public:
    PatchyModel(int rows, int columns, QPoint only = {-1, -1})
        : m_rows(rows), m_columns(columns), m_only(only)
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : m_rows;
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : m_columns;
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(index.row() * 100 + index.column()) : QVariant();
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid()) {
            return Qt::NoItemFlags;
        }
        const bool disabled = m_only.x() >= 0 ? QPoint(index.column(), index.row()) != m_only
                                              : index.column() == 2 || index.row() % 5 == 3 ||
                                                    (index.row() * 3 + index.column()) % 7 == 0;
        return disabled ? Qt::ItemIsSelectable : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }

private:
    int m_rows;
    int m_columns;
    QPoint m_only;
};

struct Views {
    Views(int rows, int columns, Qt::LayoutDirection direction, QPoint only = {-1, -1})
        : model(rows, columns, only)
    {
        for (QAbstractItemView* view :
             {static_cast<QAbstractItemView*>(&table), static_cast<QAbstractItemView*>(&uniform)}) {
            view->setLayoutDirection(direction);
            view->setModel(&model);
            view->setEditTriggers(QAbstractItemView::NoEditTriggers);
            view->setSelectionMode(QAbstractItemView::SingleSelection);
            view->setTabKeyNavigation(true);
            view->resize(400, 240);
        }
        table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table.verticalHeader()->setDefaultSectionSize(uniform.uniformRowHeight());
        table.verticalHeader()->hide();
        for (QHeaderView* header : {table.horizontalHeader(), uniform.horizontalHeader()}) {
            header->hideSection(1);
            header->hideSection(columns - 1);
            header->moveSection(0, 3);
        }
        table.show();
        uniform.show();
    }

    PatchyModel model;
    QTableView table;
    host::grid::UniformTableView uniform;
};

const std::pair<Qt::Key, Qt::KeyboardModifiers> kKeys[] = {
    {Qt::Key_Down, {}},
    {Qt::Key_Up, {}},
    {Qt::Key_Right, {}},
    {Qt::Key_Left, {}},
    {Qt::Key_Tab, {}},
    {Qt::Key_Backtab, Qt::ShiftModifier},
    {Qt::Key_Home, {}},
    {Qt::Key_End, {}},
    {Qt::Key_Home, Qt::ControlModifier},
    {Qt::Key_End, Qt::ControlModifier},
};

} // namespace

TEST(UniformTableView, KeysPastHiddenMovedAndDisabledCellsMatchQTableView)
{
    for (const Qt::LayoutDirection direction : {Qt::LeftToRight, Qt::RightToLeft}) {
        SCOPED_TRACE(direction == Qt::LeftToRight ? "left to right" : "right to left");
        Views v(23, 7, direction);
        QRandomGenerator random(29);
        for (int step = 0; step < 600; ++step) {
            if (step % 50 == 0) {
                const QModelIndex start = v.model.index(static_cast<int>(random.bounded(23)),
                                                        static_cast<int>(random.bounded(7)));
                v.table.setCurrentIndex(start);
                v.uniform.setCurrentIndex(start);
            } else if (step % 50 == 25) {
                // No current cell: a key starts on the first row.
                v.table.setCurrentIndex({});
                v.uniform.setCurrentIndex({});
            }
            const auto [key, modifiers] =
                kKeys[random.bounded(static_cast<quint32>(std::size(kKeys)))];
            QTest::keyClick(&v.table, key, modifiers);
            QTest::keyClick(&v.uniform, key, modifiers);
            ASSERT_EQ(v.table.currentIndex(), v.uniform.currentIndex())
                << "step " << step << ", key " << key << ", modifiers " << modifiers;
        }
    }
}

// With one cell that can take the cursor, Tab and Backtab go round the whole table and
// come back to it, from any cell they start on; with none, they come round and stop.
TEST(UniformTableView, TabRoundATableWithOneUsableCellMatchesQTableView)
{
    for (const QPoint only :
         {QPoint(0, 0), QPoint(3, 2), QPoint(5, 4), QPoint(2, 0), QPoint(99, 99)}) {
        SCOPED_TRACE(QStringLiteral("%1,%2").arg(only.x()).arg(only.y()).toStdString());
        Views v(5, 7, Qt::LeftToRight, only);
        for (int row = 0; row < 5; ++row) {
            for (int column = 0; column < 7; ++column) {
                for (const auto& [key, modifiers] : {kKeys[4], kKeys[5], kKeys[2], kKeys[3]}) {
                    const QModelIndex start = v.model.index(row, column);
                    v.table.setCurrentIndex(start);
                    v.uniform.setCurrentIndex(start);
                    QTest::keyClick(&v.table, key, modifiers);
                    QTest::keyClick(&v.uniform, key, modifiers);
                    ASSERT_EQ(v.table.currentIndex(), v.uniform.currentIndex())
                        << "from " << row << "," << column << ", key " << key;
                }
            }
        }
    }
}
