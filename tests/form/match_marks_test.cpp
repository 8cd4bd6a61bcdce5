// The characters a search matched, marked on screen: typed with real keys on the
// offscreen form, checked in the grid's pixels.
#include "form/search_options.h"
#include "host/grid/db_grid.h"
#include "tests/form/form_test_support.h"

#include <QFontMetrics>
#include <QImage>
#include <QStyle>
#include <cstdlib>
#include <touchsearch/client_dataset.h>
#include <touchsearch/pesquisa.h>

using form_test::FormTest;

namespace {

// In name order: JOAO DA SILVA, MARIA SOUZA, SILVA JOSE.
std::unique_ptr<host::ClientDataset> MakeCustomers()
{
    auto customers = std::make_unique<host::ClientDataset>();
    customers->AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
    customers->AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 20);
    customers->AddField(QStringLiteral("FONE"), host::FieldType::Text, 11);
    customers->Open();
    customers->AppendRecord({1, QStringLiteral("JOAO DA SILVA"), QStringLiteral("8132221111")});
    customers->AppendRecord({2, QStringLiteral("SILVA JOSE"), QStringLiteral("8132105555")});
    customers->AppendRecord({3, QStringLiteral("MARIA SOUZA"), QStringLiteral("2133334444")});
    customers->First();
    return customers;
}

void SetOptions(const char* fields, std::uint32_t options)
{
    pesquisa::ModuleSearchOptions() =
        pesquisa::ParseSearchOptions(QString::fromLatin1(fields), options);
}

// The mark colour, or the mark colour blended with the cell's background by
// anti-aliasing: its hue, clearly saturated.
bool IsMarkColour(QColor colour)
{
    const QColor mark = host::DbGrid::DefaultTitleColor();
    return colour.hsvSaturation() > 60 && std::abs(colour.hsvHue() - mark.hsvHue()) <= 12;
}

// Runs of the grid cell's pixel columns drawn in the mark colour, as [first, last] x
// relative to the cell's left edge; runs closer than a letter's gap are one.
std::vector<std::pair<int, int>> MarkedRuns(host::DbGrid& grid, int row, int column)
{
    const QImage image = grid.viewport()->grab().toImage();
    const QRect cell = grid.visualRect(grid.model()->index(row, column)) & image.rect();
    std::vector<std::pair<int, int>> runs;
    for (int x = cell.left(); x <= cell.right(); ++x) {
        bool marked = false;
        for (int y = cell.top(); y <= cell.bottom() && !marked; ++y) {
            marked = IsMarkColour(image.pixelColor(x, y));
        }
        if (!marked) {
            continue;
        }
        const int at = x - cell.left();
        if (!runs.empty() && at - runs.back().second <= 4) {
            runs.back().second = at;
        } else {
            runs.emplace_back(at, at);
        }
    }
    return runs;
}

} // namespace

TEST_F(FormTest, TheMatchedCharactersAreMarkedAndOnlyThem)
{
    SetOptions("FONE", pesquisa::SearchWords);
    auto customers = MakeCustomers();
    auto form = MakeForm(customers.get());
    Show(*form);
    host::DbGrid& grid = *Grid(*form);
    EXPECT_FALSE(grid.HasCellMarker());

    Type(*form, QStringLiteral("silva jo"));
    ASSERT_EQ(customers->RecordCount(), 2);
    ASSERT_EQ(customers->DisplayText(1, 1), QStringLiteral("SILVA JOSE"));
    QFont bold = grid.font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    const QFontMetrics plainMetrics(grid.font());

    // SILVA JOSE: "SILVA" at its start and "JO" after the space, nothing of "SE".
    const auto runs = MarkedRuns(grid, 1, 1);
    ASSERT_EQ(runs.size(), 2u);
    const int left = runs[0].first; // the text's margin
    EXPECT_LT(left, 10);
    EXPECT_NEAR(runs[0].second - left, boldMetrics.horizontalAdvance(QStringLiteral("SILVA")), 4);
    const int joAt = boldMetrics.horizontalAdvance(QStringLiteral("SILVA")) +
                     plainMetrics.horizontalAdvance(QLatin1Char(' '));
    EXPECT_NEAR(runs[1].first - left, joAt, 4);
    EXPECT_NEAR(runs[1].second - runs[1].first, boldMetrics.horizontalAdvance(QStringLiteral("JO")),
                4);

    // JOAO DA SILVA: "JO" and "SILVA", not the "DA" between them.
    const auto first = MarkedRuns(grid, 0, 1);
    ASSERT_EQ(first.size(), 2u);
    const int silvaAt = boldMetrics.horizontalAdvance(QStringLiteral("JO")) +
                        plainMetrics.horizontalAdvance(QStringLiteral("AO DA "));
    EXPECT_NEAR(first[1].first - first[0].first, silvaAt, 4);

    // The phone is searched but matched nothing; the code is not searched at all.
    EXPECT_TRUE(MarkedRuns(grid, 0, 2).empty());
    EXPECT_TRUE(MarkedRuns(grid, 0, 0).empty());

    // A phone number: its digits marked in the phone column only.
    Press(*form, Qt::Key_Delete);
    EXPECT_TRUE(MarkedRuns(grid, 0, 1).empty());
    EXPECT_TRUE(MarkedRuns(grid, 0, 2).empty());
    Type(*form, QStringLiteral("81321"));
    ASSERT_EQ(customers->RecordCount(), 1);
    const auto phone = MarkedRuns(grid, 0, 2);
    ASSERT_EQ(phone.size(), 1u);
    EXPECT_NEAR(phone[0].second - phone[0].first,
                boldMetrics.horizontalAdvance(QStringLiteral("81321")), 4);
    EXPECT_TRUE(MarkedRuns(grid, 0, 1).empty());
}

TEST_F(FormTest, WithoutSearchOptionsNothingIsMarked)
{
    SetOptions("", 0);
    auto customers = MakeCustomers();
    auto form = MakeForm(customers.get());
    Show(*form);
    Type(*form, QStringLiteral("silva"));
    ASSERT_EQ(customers->RecordCount(), 1);
    EXPECT_FALSE(Grid(*form)->HasCellMarker());
    EXPECT_TRUE(MarkedRuns(*Grid(*form), 0, 1).empty());
}

TEST_F(FormTest, ContainsMarksEveryPlaceOfTheText)
{
    SetOptions("FONE", 0);
    auto customers = MakeCustomers();
    auto form = MakeForm(customers.get());
    Show(*form);
    Tap(*form, QStringLiteral("sbtFiltro"));
    Type(*form, QStringLiteral("a"));
    // MARIA SOUZA (row 1 by name): the A of MARIA twice, the A of SOUZA.
    ASSERT_EQ(customers->DisplayText(1, 1), QStringLiteral("MARIA SOUZA"));
    EXPECT_EQ(MarkedRuns(*Grid(*form), 1, 1).size(), 3u);
}
