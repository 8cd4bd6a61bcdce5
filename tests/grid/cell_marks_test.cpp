// Marked characters in the grid's cells: where they are drawn, and that a grid without
// a marker paints exactly as before.
#include "host/grid/data_source.h"
#include "host/grid/db_grid.h"
#include "tests/grid/fake_dataset.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

using host::DbGrid;
using host::FieldType;
using host::TextSpan;
using testing_support::FakeDataset;

namespace {

struct MarkedGrid {
    MarkedGrid() : dataSet(5)
    {
        dataSet.Add(QStringLiteral("CODIGO"), FieldType::Integer, 6);
        dataSet.Add(QStringLiteral("NMCLIENTE"), FieldType::Text, 30);
        dataSet.Add(QStringLiteral("CIDADE"), FieldType::Text, 20);
        source.SetDataSet(&dataSet);
        grid.SetDataSource(&source);
        grid.resize(600, 200);
        grid.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }

    QImage Cells() { return grid.viewport()->grab().toImage(); }
    QRect Cell(int row, int column) const
    {
        return grid.visualRect(grid.model()->index(row, column));
    }

    FakeDataset dataSet;
    host::DataSource source;
    DbGrid grid;
};

bool IsMarkColour(QColor c)
{
    const QColor mark = DbGrid::DefaultTitleColor();
    // Anti-aliased edges blend with the background: the core of a bold stroke is the colour.
    return c == mark;
}

// The columns (x) of a cell where the mark colour is drawn.
std::vector<int> MarkedColumns(const QImage& image, QRect cell)
{
    cell &= image.rect();
    std::vector<int> xs;
    for (int x = cell.left(); x <= cell.right(); ++x) {
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            if (IsMarkColour(image.pixelColor(x, y))) {
                xs.push_back(x);
                break;
            }
        }
    }
    return xs;
}

} // namespace

TEST(CellMarks, MarkedCharactersAreDrawnBoldInTheTitleColourOnlyWhereTheMarkerSays)
{
    MarkedGrid w;
    const QImage plain = w.Cells();
    for (int column = 0; column < 3; ++column) {
        EXPECT_TRUE(MarkedColumns(plain, w.Cell(0, column)).empty()) << column;
    }

    // Rows read "F1-R<row>": mark the first three characters of the name column.
    QStringList asked;
    w.grid.SetCellMarker([&](const QString& field, const QString& /*text*/) {
        asked << field;
        return field == QLatin1String("NMCLIENTE") ? QList<TextSpan>{{0, 3}} : QList<TextSpan>{};
    });
    const QImage marked = w.Cells();
    EXPECT_TRUE(asked.contains(QStringLiteral("NMCLIENTE")));
    EXPECT_TRUE(asked.contains(QStringLiteral("CIDADE")));

    const QRect name = w.Cell(1, 1) & marked.rect();
    const std::vector<int> xs = MarkedColumns(marked, name);
    ASSERT_FALSE(xs.empty());
    // The marks cover "F1-" in bold, from the text's left margin, and nothing after it.
    QFont bold = w.grid.font();
    bold.setBold(true);
    const int boldWidth = QFontMetrics(bold).horizontalAdvance(QStringLiteral("F1-"));
    EXPECT_LT(xs.front(), name.left() + 8);
    EXPECT_LE(xs.back(), name.left() + 8 + boldWidth);
    EXPECT_GE(xs.back() - xs.front(), boldWidth / 2);
    // The rest of the text is still drawn in the text colour.
    bool darkAfter = false;
    for (int x = xs.back() + 2; x < name.right() && !darkAfter; ++x) {
        for (int y = name.top(); y <= name.bottom(); ++y) {
            darkAfter = darkAfter || marked.pixelColor(x, y).lightness() < 80;
        }
    }
    EXPECT_TRUE(darkAfter);
    // Other columns are not marked, and their pixels are unchanged.
    EXPECT_TRUE(MarkedColumns(marked, w.Cell(1, 0)).empty());
    EXPECT_TRUE(MarkedColumns(marked, w.Cell(1, 2)).empty());
    const QRect city = w.Cell(1, 2);
    EXPECT_EQ(marked.copy(city), plain.copy(city));

    // Without the marker, the cells are the style's own again, pixel for pixel.
    w.grid.SetCellMarker({});
    EXPECT_FALSE(w.grid.HasCellMarker());
    EXPECT_EQ(w.Cells(), plain);
}

TEST(CellMarks, ASpanPastTheCellsEdgeOrPastItsTextIsClippedNotACrash)
{
    MarkedGrid w;
    w.grid.setColumnWidth(1, 30); // the name elided
    w.grid.SetCellMarker([](const QString&, const QString& text) {
        return QList<TextSpan>{{0, text.size() + 50}, {text.size() + 10, 4}};
    });
    const QImage image = w.Cells();
    EXPECT_FALSE(image.isNull());
    const std::vector<int> xs = MarkedColumns(image, w.Cell(0, 1));
    for (int x : xs) {
        EXPECT_LE(x, w.Cell(0, 1).right());
    }
}
