// UniformTableView against the QTableView it stands in for (hidden vertical header of
// fixed sections, per-pixel vertical scrolling, no grid lines, no word wrap): the same
// model, size and input give the same geometry, scroll positions, current cell,
// selection and pixels.
#include "host/grid/uniform_table_view.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>

namespace {

class CellsModel : public QAbstractTableModel {
public:
    CellsModel(int rows, int columns) : m_rows(rows), m_columns(columns) {}

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
        if (role == Qt::DisplayRole) {
            return QStringLiteral("R%1 C%2 %3")
                .arg(index.row())
                .arg(index.column())
                .arg(QString(index.row() % 7, u'w'));
        }
        if (role == Qt::TextAlignmentRole && index.column() == 0) {
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }
    void SetRows(int rows)
    {
        beginResetModel();
        m_rows = rows;
        endResetModel();
    }
    void AppendRows(int more)
    {
        beginInsertRows({}, m_rows, m_rows + more - 1);
        m_rows += more;
        endInsertRows();
    }
    void RemoveLastRows(int fewer)
    {
        beginRemoveRows({}, m_rows - fewer, m_rows - 1);
        m_rows -= fewer;
        endRemoveRows();
    }

private:
    int m_rows;
    int m_columns;
};

// Where two images of one size first differ, or nothing when they are the same.
QString FirstDifference(const QImage& a, const QImage& b)
{
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                return QStringLiteral("at %1,%2: %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixelColor(x, y).name(QColor::HexArgb),
                         b.pixelColor(x, y).name(QColor::HexArgb));
            }
        }
    }
    return {};
}

// One view of each kind, set up alike, each in a window of its own beside a line edit
// that can take the focus from it.
struct Pair {
    Pair(int rows, int columns, QSize size, QAbstractItemView::ScrollMode horizontal)
        : model(rows, columns)
    {
        for (auto [window, view, edit] :
             {std::tuple<QWidget*, QWidget*, QLineEdit*>{&tableWindow, &table, &tableEdit},
              std::tuple<QWidget*, QWidget*, QLineEdit*>{&uniformWindow, &uniform, &uniformEdit}}) {
            view->setParent(window);
            view->move(0, 0);
            edit->setParent(window);
            edit->setGeometry(0, 1000, 100, 24);
            window->resize(1000, 1030);
        }
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(16);
        font.setBold(true);
        const int rowHeight = QFontMetrics(font).height() + 6;
        for (QAbstractItemView* view :
             {static_cast<QAbstractItemView*>(&table), static_cast<QAbstractItemView*>(&uniform)}) {
            view->setFont(font);
            view->setModel(&model);
            view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
            view->setHorizontalScrollMode(horizontal);
            view->setEditTriggers(QAbstractItemView::NoEditTriggers);
            view->setSelectionMode(QAbstractItemView::SingleSelection);
            view->setSelectionBehavior(QAbstractItemView::SelectItems);
            view->setTabKeyNavigation(true);
            view->resize(size);
        }
        table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table.verticalHeader()->setDefaultSectionSize(rowHeight);
        table.verticalHeader()->hide();
        table.setShowGrid(false);
        table.setWordWrap(false);
        uniform.setUniformRowHeight(rowHeight);
        for (int c = 0; c < columns; ++c) {
            const int width = 60 + 37 * c;
            table.setColumnWidth(c, width);
            uniform.setColumnWidth(c, width);
        }
        tableWindow.show();
        uniformWindow.show();
        // Whichever window the platform activates first would otherwise get a current
        // cell from its focus alone.
        Both([](QAbstractItemView& v) { v.setCurrentIndex(v.model()->index(0, 0)); });
    }

    void Settle()
    {
        // A QTableView lays out later what changes its row count (a visualRect call
        // brings that forward), and scroll bars show or hide later still.
        for (int i = 0; i < 2; ++i) {
            (void)table.visualRect(table.model()->index(0, 0));
            QApplication::processEvents();
        }
    }

    void ExpectSame(const char* step) const
    {
        SCOPED_TRACE(step);
        for (auto [a, b] :
             {std::pair{table.verticalScrollBar(), uniform.verticalScrollBar()},
              std::pair{table.horizontalScrollBar(), uniform.horizontalScrollBar()}}) {
            EXPECT_EQ(a->minimum(), b->minimum());
            EXPECT_EQ(a->maximum(), b->maximum());
            EXPECT_EQ(a->value(), b->value());
            EXPECT_EQ(a->pageStep(), b->pageStep());
            EXPECT_EQ(a->singleStep(), b->singleStep());
            EXPECT_EQ(a->isVisible(), b->isVisible());
        }
        EXPECT_EQ(table.viewport()->geometry(), uniform.viewport()->geometry());
        EXPECT_EQ(table.horizontalHeader()->geometry(), uniform.horizontalHeader()->geometry());
        EXPECT_EQ(table.horizontalHeader()->offset(), uniform.horizontalHeader()->offset());
        EXPECT_EQ(table.currentIndex(), uniform.currentIndex());
        EXPECT_EQ(table.selectionModel()->selectedIndexes(),
                  uniform.selectionModel()->selectedIndexes());
        const int rows = model.rowCount();
        for (int row : {0, 1, rows / 2, rows - 2, rows - 1, rows, -1}) {
            EXPECT_EQ(table.rowViewportPosition(row), uniform.rowViewportPosition(row)) << row;
            EXPECT_EQ(table.rowHeight(row), uniform.rowHeight(row)) << row;
            for (int column = 0; column < model.columnCount(); ++column) {
                const QModelIndex index = model.index(row, column);
                EXPECT_EQ(table.visualRect(index), uniform.visualRect(index)) << row << column;
            }
        }
        const QSize size = table.viewport()->size();
        for (int y = -3; y <= size.height() + 3; y += 7) {
            EXPECT_EQ(table.rowAt(y), uniform.rowAt(y)) << y;
            for (int x = -3; x <= size.width() + 3; x += 23) {
                EXPECT_EQ(table.indexAt({x, y}), uniform.indexAt({x, y})) << x << "," << y;
            }
        }
    }

    // A view's pixels while its window is the active one, with the focus or without.
    static QImage Pixels(QAbstractItemView& view, QLineEdit& edit, bool focused)
    {
        view.window()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(view.window()));
        if (focused) {
            view.setFocus();
        } else {
            edit.setFocus();
        }
        return view.viewport()->grab().toImage();
    }

    void ExpectSamePixels(const char* step)
    {
        SCOPED_TRACE(step);
        for (const bool focused : {true, false}) {
            const QImage a = Pixels(table, tableEdit, focused);
            const QImage b = Pixels(uniform, uniformEdit, focused);
            ASSERT_EQ(a.size(), b.size());
            EXPECT_EQ(FirstDifference(a, b).toStdString(), "") << (focused ? "focused" : "not");
        }
        EXPECT_EQ(FirstDifference(table.horizontalHeader()->grab().toImage(),
                                  uniform.horizontalHeader()->grab().toImage())
                      .toStdString(),
                  "");
    }

    template <typename F> void Both(F&& action)
    {
        action(static_cast<QAbstractItemView&>(table));
        action(static_cast<QAbstractItemView&>(uniform));
        Settle();
    }

    CellsModel model;
    QWidget tableWindow;
    QWidget uniformWindow;
    QTableView table;
    host::grid::UniformTableView uniform;
    QLineEdit tableEdit;
    QLineEdit uniformEdit;
};

void SendWheel(QWidget* target, int delta)
{
    const QPointF at(10, 10);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(UniformTableView, KeysMouseAndScrollingMatchQTableView)
{
    for (const auto mode : {QAbstractItemView::ScrollPerItem, QAbstractItemView::ScrollPerPixel}) {
        SCOPED_TRACE(mode == QAbstractItemView::ScrollPerItem ? "columns per item"
                                                              : "columns per pixel");
        Pair p(500, 6, {320, 230}, mode);
        p.ExpectSame("shown");
        p.ExpectSamePixels("shown");

        const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
            {Qt::Key_Down, {}},
            {Qt::Key_Up, {}},
            {Qt::Key_Right, {}},
            {Qt::Key_Left, {}},
            {Qt::Key_PageDown, {}},
            {Qt::Key_PageUp, {}},
            {Qt::Key_Tab, {}},
            {Qt::Key_Backtab, Qt::ShiftModifier},
            {Qt::Key_End, {}},
            {Qt::Key_Home, {}},
            {Qt::Key_End, Qt::ControlModifier},
            {Qt::Key_Home, Qt::ControlModifier},
        };
        QRandomGenerator random(17);
        for (int step = 0; step < 300; ++step) {
            const int what = static_cast<int>(random.bounded(10));
            if (what < 6) {
                const auto [key, modifiers] =
                    keys[random.bounded(static_cast<quint32>(std::size(keys)))];
                const int times = 1 + static_cast<int>(random.bounded(4));
                p.Both([&](QAbstractItemView& v) {
                    for (int i = 0; i < times; ++i) {
                        QTest::keyClick(&v, key, modifiers);
                    }
                });
            } else if (what == 6) {
                const QPoint at(static_cast<int>(random.bounded(320)),
                                static_cast<int>(random.bounded(200)));
                p.Both([&](QAbstractItemView& v) {
                    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, at);
                });
            } else if (what == 7) {
                const int delta = random.bounded(2) ? 120 : -240;
                p.Both([&](QAbstractItemView& v) { SendWheel(v.viewport(), delta); });
            } else if (what == 8) {
                const QModelIndex index =
                    p.model.index(static_cast<int>(random.bounded(p.model.rowCount())),
                                  static_cast<int>(random.bounded(6)));
                const auto hint = static_cast<QAbstractItemView::ScrollHint>(random.bounded(4));
                p.Both([&](QAbstractItemView& v) { v.scrollTo(index, hint); });
            } else {
                const int value =
                    static_cast<int>(random.bounded(p.table.verticalScrollBar()->maximum() + 1));
                p.Both([&](QAbstractItemView& v) { v.verticalScrollBar()->setValue(value); });
            }
            p.ExpectSame("random step");
            if (::testing::Test::HasFailure()) {
                FAIL() << "first difference at step " << step;
            }
        }
        p.ExpectSamePixels("after the random steps");
    }
}

TEST(UniformTableView, RowCountChangesAndResizesMatchQTableView)
{
    Pair p(40, 4, {300, 200}, QAbstractItemView::ScrollPerItem);
    p.Both([](QAbstractItemView& v) { v.setCurrentIndex(v.model()->index(30, 2)); });
    p.ExpectSame("row 30");
    for (const int rows : {1000, 3, 0, 7, 250000}) {
        p.model.SetRows(rows);
        p.Settle();
        p.ExpectSame("reset");
        p.ExpectSamePixels("reset");
        if (rows > 0) {
            p.Both([&](QAbstractItemView& v) {
                v.setCurrentIndex(v.model()->index(rows - 1, 1));
                v.scrollTo(v.currentIndex());
            });
            p.ExpectSame("last row");
            p.ExpectSamePixels("last row");
        }
    }
    p.model.AppendRows(100);
    p.Settle();
    p.ExpectSame("rows appended");
    p.model.RemoveLastRows(250050);
    p.Settle();
    p.ExpectSame("rows removed");
    p.Both([](QAbstractItemView& v) { v.resize(520, 140); });
    p.ExpectSame("wider, shorter");
    p.ExpectSamePixels("wider, shorter");
    p.Both([](QAbstractItemView& v) { v.resize(900, 600); });
    p.ExpectSame("everything fits");
    p.ExpectSamePixels("everything fits");
    // A double tap on a title's edge fits the column to the rows around the visible ones.
    p.Both([](QAbstractItemView& v) { v.verticalScrollBar()->setValue(300); });
    for (int column = 0; column < 4; ++column) {
        p.table.resizeColumnToContents(column);
        p.uniform.resizeColumnToContents(column);
        p.Settle();
        EXPECT_EQ(p.table.columnWidth(column), p.uniform.columnWidth(column)) << column;
    }
    p.ExpectSame("columns fitted");
    // A new row height moves the rows, the scroll range and the pixels alike.
    p.table.verticalHeader()->setDefaultSectionSize(31);
    p.uniform.setUniformRowHeight(31);
    p.Both([](QAbstractItemView& v) { v.resize(300, 200); });
    p.ExpectSame("taller rows");
    p.ExpectSamePixels("taller rows");
}
