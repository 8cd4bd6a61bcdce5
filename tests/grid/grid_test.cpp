#include "host/grid/data_source.h"
#include "host/grid/db_grid.h"
#include "host/grid/edit.h"
#include "host/grid/grid_column.h"
#include "host/platform/virtual_keys.h"
#include "tests/grid/fake_dataset.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>

using host::DbGrid;
using host::FieldType;
using testing_support::FakeDataset;

namespace {

// A shown, active window holding a grid bound to a dataset, plus a line edit that can
// take the focus away from the grid.
struct GridWindow {
    explicit GridWindow(int rows, QSize size = {400, 240})
        : dataSet(rows), grid(new DbGrid(&window)), other(new QLineEdit(&window))
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(other);
        layout->addWidget(grid);
        dataSet.Add(QStringLiteral("CODIGO"), FieldType::Integer, 6);
        dataSet.Add(QStringLiteral("NMCLIENTE"), FieldType::Text, 30);
        dataSet.Add(QStringLiteral("CIDADE"), FieldType::Text, 20);
        source.SetDataSet(&dataSet);
        grid->SetDataSource(&source);
        window.resize(size);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        grid->setFocus();
    }

    QPoint CellCenter(int row, int column) const
    {
        return grid->visualRect(grid->model()->index(row, column)).center();
    }

    FakeDataset dataSet;
    host::DataSource source;
    QWidget window;
    DbGrid* grid;
    QLineEdit* other;
};

// Handlers bound by name, as a .ui file's connections bind the form's slots.
class NamedHandlers : public QObject {
    Q_OBJECT

public:
    int titleTaps = 0;
    QList<int> keys;

public Q_SLOTS:
    void dbgPesquisaTitleClick(host::GridColumn*) { ++titleTaps; }
    void dbgPesquisaKeyDown(QObject*, int& Key, Qt::KeyboardModifiers)
    {
        keys.append(Key);
        if (Key == host::VK_DOWN) {
            Key = 0;
        }
    }
};

bool RowOnScreen(const DbGrid& grid, int row)
{
    const QRect cell = grid.visualRect(grid.model()->index(row, 0));
    return grid.viewport()->rect().contains(cell);
}

} // namespace

TEST(DbGrid, ColumnsAreTheVisibleFieldsInFieldOrder)
{
    FakeDataset dataSet(3);
    dataSet.Add(QStringLiteral("A"));
    dataSet.Add(QStringLiteral("B")).SetVisible(false);
    dataSet.Add(QStringLiteral("C"));
    dataSet.Add(QStringLiteral("D")).SetVisible(false);
    dataSet.Add(QStringLiteral("E"), FieldType::Integer);
    host::DataSource source;
    DbGrid grid;

    // No data source, then a source without a dataset: no columns, no rows, no crash.
    EXPECT_EQ(grid.GetColumnCount(), 0);
    grid.SetDataSource(&source);
    EXPECT_EQ(grid.model()->rowCount(), 0);
    EXPECT_EQ(grid.GetColumnCount(), 0);

    source.SetDataSet(&dataSet);
    ASSERT_EQ(grid.GetColumnCount(), 3);
    EXPECT_EQ(grid.model()->columnCount(), 3);
    EXPECT_EQ(grid.model()->rowCount(), 3);
    // Column k and the k-th visible field are the same field.
    const QStringList expected{"A", "C", "E"};
    int k = 0;
    for (int i = 0; i < dataSet.GetFieldCount(); ++i) {
        if (dataSet.GetField(i)->GetVisible()) {
            EXPECT_EQ(grid.GetColumn(k)->GetField(), dataSet.GetField(i));
            EXPECT_EQ(grid.GetColumn(k)->GetFieldName(), expected[k]);
            EXPECT_EQ(grid.GetColumn(k)->GetIndex(), k);
            ++k;
        }
    }
    // Cells show the column's own field, not the field at the column's position.
    EXPECT_EQ(grid.model()->index(2, 1).data().toString(), "F2-R2");
    EXPECT_EQ(grid.model()->index(1, 2).data().toString(), "1");
    EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal).toString(), "C");
    EXPECT_THROW(grid.GetColumn(3), host::DatasetError);
    EXPECT_THROW(grid.GetColumn(-1), host::DatasetError);

    // A field shown again: the columns are rebuilt and stay aligned.
    dataSet.GetField(1)->SetVisible(true);
    ASSERT_EQ(grid.GetColumnCount(), 4);
    EXPECT_EQ(grid.GetColumn(1)->GetFieldName(), "B");
    EXPECT_EQ(grid.model()->index(0, 1).data().toString(), "F1-R0");
    EXPECT_EQ(grid.GetColumn(2)->GetField(), dataSet.GetField(2));

    // Nothing is editable.
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(0, 0)) & Qt::ItemIsEditable);

    // A closed dataset shows no rows; reopened, its rows come back.
    dataSet.Close();
    EXPECT_EQ(grid.model()->rowCount(), 0);
    EXPECT_TRUE(grid.grab().width() > 0);
    dataSet.Open();
    EXPECT_EQ(grid.model()->rowCount(), 3);

    // A destroyed dataset leaves an empty grid.
    {
        FakeDataset shortLived(5);
        shortLived.Add(QStringLiteral("X"));
        source.SetDataSet(&shortLived);
        EXPECT_EQ(grid.model()->rowCount(), 5);
    }
    EXPECT_EQ(source.GetDataSet(), nullptr);
    EXPECT_EQ(grid.model()->rowCount(), 0);
    EXPECT_EQ(grid.GetColumnCount(), 0);
}

TEST(DbGrid, CursorAndGridStayInStep)
{
    GridWindow w(200);
    DbGrid& grid = *w.grid;
    EXPECT_EQ(grid.currentIndex().row(), 0);

    // Dataset moves drive the grid and scroll the row into view.
    w.dataSet.Last();
    EXPECT_EQ(grid.currentIndex().row(), 199);
    EXPECT_TRUE(RowOnScreen(grid, 199));
    w.dataSet.Prior();
    EXPECT_EQ(grid.currentIndex().row(), 198);
    w.dataSet.First();
    EXPECT_EQ(grid.currentIndex().row(), 0);
    EXPECT_TRUE(RowOnScreen(grid, 0));
    w.dataSet.Next();
    EXPECT_EQ(grid.currentIndex().row(), 1);

    // A tap on a row moves the dataset's cursor.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, w.CellCenter(3, 1));
    EXPECT_EQ(w.dataSet.RecNo(), 3);
    EXPECT_EQ(grid.currentIndex(), grid.model()->index(3, 1));

    // Arrow and page keys move it too.
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(w.dataSet.RecNo(), 4);
    QTest::keyClick(&grid, Qt::Key_Up);
    QTest::keyClick(&grid, Qt::Key_Up);
    EXPECT_EQ(w.dataSet.RecNo(), 2);
    QTest::keyClick(&grid, Qt::Key_PageDown);
    EXPECT_GT(w.dataSet.RecNo(), 3);
    EXPECT_EQ(grid.currentIndex().row(), w.dataSet.RecNo());
    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(w.dataSet.RecNo(), 199);

    // Dataset-driven moves do not bounce back into MoveTo.
    const qsizetype moves = w.dataSet.Moves().size();
    w.dataSet.First();
    w.dataSet.Next();
    EXPECT_EQ(w.dataSet.Moves().size(), moves);

    // A new view (a filter) puts the grid on the dataset's row, keeping the column.
    const int column = grid.currentIndex().column();
    w.dataSet.SetRowCount(10);
    EXPECT_EQ(grid.model()->rowCount(), 10);
    EXPECT_EQ(grid.currentIndex(), grid.model()->index(0, column));
    w.dataSet.SetRowCount(0);
    EXPECT_EQ(grid.model()->rowCount(), 0);
    QTest::keyClick(&grid, Qt::Key_Down); // nothing to move to, no crash
    EXPECT_EQ(w.dataSet.RecNo(), -1);
}

TEST(DbGrid, AsksOnlyForTheRowsOnScreen)
{
    GridWindow w(10);
    const int columns = w.grid->GetColumnCount();
    w.dataSet.ResetValueCalls();
    w.dataSet.SetRowCount(1'000'000);
    w.grid->grab();
    const int rowsOnScreen = w.grid->viewport()->height() / w.grid->uniformRowHeight() + 2;
    EXPECT_GT(w.dataSet.ValueCalls(), 0);
    EXPECT_LE(w.dataSet.ValueCalls(), rowsOnScreen * columns * 2);

    // Moving to the end asks only for the rows around it.
    w.dataSet.ResetValueCalls();
    w.dataSet.Last();
    w.grid->grab();
    EXPECT_EQ(w.grid->currentIndex().row(), 999'999);
    EXPECT_LE(w.dataSet.ValueCalls(), rowsOnScreen * columns * 2);
}

TEST(DbGrid, TitleTapAndDoubleTapReachTheirHandlers)
{
    GridWindow w(20);
    DbGrid& grid = *w.grid;
    w.dataSet.MoveTo(5);
    QList<host::GridColumn*> titles;
    int doubleTaps = 0;
    QObject::connect(&grid, &DbGrid::OnTitleClick,
                     [&](host::GridColumn* column) { titles.append(column); });
    QObject::connect(&grid, &DbGrid::OnDblClick, [&] { ++doubleTaps; });

    QHeaderView* header = grid.horizontalHeader();
    const QPoint title2(header->sectionViewportPosition(2) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title2);
    ASSERT_EQ(titles.size(), 1);
    EXPECT_EQ(titles[0], grid.GetColumn(2));
    // A title tap neither moves the cursor nor selects the column.
    EXPECT_EQ(w.dataSet.RecNo(), 5);
    EXPECT_EQ(grid.selectionModel()->selectedIndexes().size(), 1);

    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, w.CellCenter(2, 0));
    EXPECT_EQ(doubleTaps, 1);
    EXPECT_EQ(w.dataSet.RecNo(), 2);

    // The signatures a .ui file's name-based connections look for.
    const QMetaObject* meta = grid.metaObject();
    EXPECT_GE(meta->indexOfSignal("OnTitleClick(host::GridColumn*)"), 0);
    EXPECT_GE(meta->indexOfSignal(QMetaObject::normalizedSignature(
                  "OnKeyDown(QObject*,int&,Qt::KeyboardModifiers)")),
              0);
    EXPECT_GE(meta->indexOfSignal("OnDblClick()"), 0);

    NamedHandlers handlers;
    ASSERT_TRUE(QObject::connect(&grid, SIGNAL(OnTitleClick(host::GridColumn*)), &handlers,
                                 SLOT(dbgPesquisaTitleClick(host::GridColumn*))));
    ASSERT_TRUE(QObject::connect(&grid, SIGNAL(OnKeyDown(QObject*, int&, Qt::KeyboardModifiers)),
                                 &handlers,
                                 SLOT(dbgPesquisaKeyDown(QObject*, int&, Qt::KeyboardModifiers))));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title2);
    EXPECT_EQ(handlers.titleTaps, 1);
    QTest::keyClick(&grid, Qt::Key_Down); // the handler swallows it through the reference
    QTest::keyClick(&grid, Qt::Key_Up);
    EXPECT_EQ(handlers.keys, (QList<int>{host::VK_DOWN, host::VK_UP}));
    EXPECT_EQ(w.dataSet.RecNo(), 1);
}

TEST(DbGrid, PrintableKeysNeitherMoveNorEdit)
{
    GridWindow w(100);
    // Rows whose text starts with the typed letter would attract a keyboard search.
    w.dataSet.MoveTo(10);
    QList<int> keys;
    QObject::connect(w.grid, &DbGrid::OnKeyDown,
                     [&](QObject* sender, int& key, Qt::KeyboardModifiers) {
                         EXPECT_EQ(sender, w.grid);
                         keys.append(key);
                     });
    QTest::keyClicks(w.grid, QStringLiteral("F1-R5"));
    QTest::keyClick(w.grid, Qt::Key_Space);
    EXPECT_EQ(w.dataSet.RecNo(), 10);
    EXPECT_EQ(w.grid->currentIndex().row(), 10);
    EXPECT_EQ(w.grid->indexWidget(w.grid->currentIndex()), nullptr); // no editor opened
    EXPECT_EQ(w.grid->findChild<QLineEdit*>(), nullptr);
    EXPECT_EQ(w.grid->model()->index(10, 1).data().toString(), "F1-R10");
    EXPECT_EQ(keys.first(), 'F');
    EXPECT_EQ(keys.last(), host::VK_SPACE);
}

TEST(DbGrid, KeyDownHandlerMaySwallowTheKey)
{
    GridWindow w(50);
    int seenKey = -1;
    Qt::KeyboardModifiers seenShift;
    bool swallow = true;
    QObject::connect(w.grid, &DbGrid::OnKeyDown,
                     [&](QObject*, int& key, Qt::KeyboardModifiers shift) {
                         seenKey = key;
                         seenShift = shift;
                         if (swallow) {
                             key = 0;
                         }
                     });
    QTest::keyClick(w.grid, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(seenKey, host::VK_DOWN);
    EXPECT_EQ(seenShift, Qt::ShiftModifier);
    EXPECT_EQ(w.dataSet.RecNo(), 0);

    swallow = false;
    QTest::keyClick(w.grid, Qt::Key_Down);
    EXPECT_EQ(w.dataSet.RecNo(), 1);
    QTest::keyClick(w.grid, Qt::Key_F4, Qt::AltModifier);
    EXPECT_EQ(seenKey, host::VK_F4);
    EXPECT_EQ(seenShift, Qt::AltModifier);
}

TEST(DbGrid, FocusControlSelectsTheFieldsColumnAndTakesTheFocus)
{
    GridWindow w(30);
    w.dataSet.GetField(0)->SetVisible(false); // columns: NMCLIENTE, CIDADE
    w.dataSet.MoveTo(7);
    w.other->setFocus();
    ASSERT_TRUE(w.other->hasFocus());

    w.dataSet.FieldByName(QStringLiteral("CIDADE"))->FocusControl();
    EXPECT_TRUE(w.grid->hasFocus());
    EXPECT_EQ(w.grid->currentIndex(), w.grid->model()->index(7, 1));
    EXPECT_EQ(w.grid->GetSelectedIndex(), 1);
    EXPECT_EQ(w.dataSet.RecNo(), 7);

    // A hidden field has no column: nothing happens.
    w.other->setFocus();
    w.dataSet.GetField(0)->FocusControl();
    EXPECT_TRUE(w.other->hasFocus());

    // The selected column is kept while the grid moves row by row.
    w.dataSet.Next();
    EXPECT_EQ(w.grid->currentIndex(), w.grid->model()->index(8, 1));
}

TEST(DbGrid, Look)
{
    GridWindow w(30, {500, 260});
    DbGrid& grid = *w.grid;
    grid.SetDefaultColors(true);
    // No row-number column: the first column starts at the viewport's left edge.
    EXPECT_EQ(grid.columnViewportPosition(0), 0);
    EXPECT_EQ(grid.rowHeight(0), grid.fontMetrics().height() + 6);
    EXPECT_EQ(grid.font().family(), "Arial");
    EXPECT_EQ(grid.font().pixelSize(), 16);
    EXPECT_TRUE(grid.font().bold());
    EXPECT_EQ(grid.GetTitleFont().family(), "Tahoma");
    EXPECT_EQ(grid.GetTitleFont().pixelSize(), 19);
    EXPECT_TRUE(grid.GetTitleFont().bold());
    EXPECT_EQ(grid.property("TitleColor").value<QColor>(), QColor(204, 91, 44));
    EXPECT_EQ(grid.palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(grid.palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(grid.palette().color(QPalette::Inactive, QPalette::Highlight),
              grid.palette().color(QPalette::Active, QPalette::Highlight));
    EXPECT_EQ(grid.editTriggers(), QAbstractItemView::NoEditTriggers);

    // The title row is the accent colour; a column's title colour shows in its title.
    const QColor red(255, 0, 0);
    grid.GetColumn(1)->GetFont().SetColor(red);
    EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), red);
    QHeaderView* header = grid.horizontalHeader();
    const QImage titles = header->grab().toImage();
    EXPECT_EQ(titles.pixelColor(header->sectionViewportPosition(0) + 1, 1), QColor(204, 91, 44));
    EXPECT_EQ(titles.pixelColor(titles.width() - 2, 1), QColor(204, 91, 44));
    const auto redPixels = [&](int section) {
        int count = 0;
        const int left = header->sectionViewportPosition(section);
        for (int x = left; x < left + header->sectionSize(section) && x < titles.width(); ++x) {
            for (int y = 0; y < titles.height(); ++y) {
                count += titles.pixelColor(x, y) == red ? 1 : 0;
            }
        }
        return count;
    };
    EXPECT_GT(redPixels(1), 0);
    EXPECT_EQ(redPixels(0), 0);

    // Cells: white background, and the current cell stays highlighted without focus.
    w.other->setFocus();
    const QImage cells = grid.viewport()->grab().toImage();
    const QRect current = grid.visualRect(grid.currentIndex());
    EXPECT_EQ(cells.pixelColor(current.left() + 1, current.top() + 1),
              grid.palette().color(QPalette::Active, QPalette::Highlight));
    const QRect other = grid.visualRect(grid.model()->index(2, 2));
    EXPECT_EQ(cells.pixelColor(other.left() + 1, other.top() + 1), QColor(Qt::white));
    // No grid lines between cells.
    const QRect middle = grid.visualRect(grid.model()->index(2, 1));
    EXPECT_EQ(cells.pixelColor(middle.right(), middle.bottom()), QColor(Qt::white));
    EXPECT_EQ(cells.pixelColor(middle.right(), middle.top()), QColor(Qt::white));
}

// The application's style, noting what the grid's cells hand it to lay out: the
// characters of each item's text, drawn or measured.
class TextNotingStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
            item != nullptr && element == CE_ItemViewItem) {
            Note(item->text);
            ++drawn;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        if (const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
            item != nullptr && type == CT_ItemViewItem) {
            Note(item->text);
            ++measured;
        }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }
    void Note(const QString& text) const
    {
        longest = std::max(longest, text.size());
        bigShown = bigShown || text.startsWith(QStringLiteral("GIGANTE"));
    }

    mutable qsizetype longest = 0;
    mutable int drawn = 0;
    mutable int measured = 0;
    mutable bool bigShown = false;
};

TEST(DbGrid, AValueOfMegabytesIsCutToWhatACellShowsBeforeItIsLaidOut)
{
    // A real client dataset whose third record holds 5 MB of text in the searched column.
    const QString big = QStringLiteral("GIGANTE ") + QString(5 * 1024 * 1024, u'x');
    host::ClientDataset dataSet;
    dataSet.AddField(QStringLiteral("CODIGO"), FieldType::Integer);
    dataSet.AddField(QStringLiteral("NMCLIENTE"), FieldType::Text);
    for (int i = 1; i <= 20; ++i) {
        dataSet.AppendRecord({i, i == 3 ? big : QStringLiteral("CLIENTE %1").arg(i)});
    }
    dataSet.Open();
    host::DataSource source;
    source.SetDataSet(&dataSet);
    QWidget window;
    auto* grid = new DbGrid(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(grid);
    TextNotingStyle style;
    grid->setStyle(&style);
    grid->SetDataSource(&source);
    window.resize(600, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    style.longest = 0;
    style.drawn = 0;
    grid->viewport()->repaint();
    EXPECT_GT(style.drawn, 0);
    EXPECT_TRUE(style.bigShown) << "the 5 MB value's cell was not painted";
    // What reaches the layout is a line's worth, with "…" saying that it goes on.
    EXPECT_LE(style.longest, 401);
    const QString shown = grid->model()->index(2, 1).data().toString();
    EXPECT_EQ(shown.size(), 401);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("GIGANTE xxx")));
    EXPECT_EQ(shown.back(), QChar(0x2026));
    // Ordinary values are shown whole.
    EXPECT_EQ(grid->model()->index(3, 1).data().toString(), QStringLiteral("CLIENTE 4"));

    // Fitting the column to its contents measures the same cut text.
    style.longest = 0;
    style.measured = 0;
    grid->resizeColumnToContents(1);
    EXPECT_GT(style.measured, 0);
    EXPECT_LE(style.longest, 401);

    // The figure: a repaint of the grid now, beside one cell drawn with the whole value
    // as the grid drew it before the cut (printed, not judged).
    QElapsedTimer timer;
    timer.start();
    constexpr int kRepaints = 5;
    for (int i = 0; i < kRepaints; ++i) {
        grid->viewport()->repaint();
    }
    const double repaintMs = static_cast<double>(timer.nsecsElapsed()) / 1e6 / kRepaints;
    QStyleOptionViewItem whole;
    whole.initFrom(grid->viewport());
    whole.rect = grid->visualRect(grid->model()->index(2, 1));
    whole.text = big;
    whole.features = QStyleOptionViewItem::HasDisplay;
    whole.textElideMode = Qt::ElideRight;
    whole.font = grid->font();
    QImage canvas(whole.rect.size() + QSize(whole.rect.x(), whole.rect.y()), QImage::Format_ARGB32);
    QPainter painter(&canvas);
    timer.restart();
    style.QProxyStyle::drawControl(QStyle::CE_ItemViewItem, &whole, &painter, grid);
    const double wholeMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::printf("grid repaint with a 5 MB value on screen: %.2f ms (whole grid); the value's "
                "cell drawn with the whole text: %.2f ms\n",
                repaintMs, wholeMs);
}

TEST(Edit, ReportsPhysicalKeysAsVirtualKeys)
{
    QWidget window;
    auto* edit = new host::Edit(&window);
    edit->setReadOnly(true);
    window.show();
    QList<int> keys;
    QObject::connect(edit, &host::Edit::OnKeyDown,
                     [&](QObject* sender, int& key, Qt::KeyboardModifiers) {
                         EXPECT_EQ(sender, edit);
                         keys.append(key);
                         if (key == host::VK_BACK) {
                             key = 0;
                         }
                     });
    QTest::keyClick(edit, Qt::Key_Escape);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Percent, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_A);
    // Shift+5 arrives as Shift, then the 5 key.
    EXPECT_EQ(keys, (QList<int>{host::VK_ESCAPE, host::VK_BACK, host::VK_SHIFT, host::VK_5, 'A'}));
    EXPECT_TRUE(edit->text().isEmpty()); // read-only: keys never type
}

#include "grid_test.moc"
