#include "host/grid/db_grid.h"
#include "host/grid/grid_column.h"
#include "tests/form/form_test_support.h"

#include <QHeaderView>
#include <QTest>
#include <touchsearch/dataset_error.h>

using form_test::FormTest;

namespace {

QColor TitleColor(host::DbGrid* grid, int column)
{
    return grid->GetColumn(column)->GetFont().GetColor();
}

QStringList IndexNames(host::ClientDataset& dataSet)
{
    QStringList names;
    for (int i = 0; i < dataSet.GetIndexDefs().GetCount(); ++i) {
        names.append(dataSet.GetIndexDefs().GetIndexDef(i).GetName());
    }
    return names;
}

} // namespace

TEST_F(FormTest, NameColumnIsChosenFirstAndMarkedWhite)
{
    auto dataSet = form_test::MakeTextDataset({"CODIGO", "NMCLIENTE", "CIDADE"});
    auto form = MakeForm(dataSet.get());
    host::DbGrid* grid = Grid(*form);
    ASSERT_EQ(grid->GetColumnCount(), 3);
    EXPECT_EQ(form->CampoPesquisa(), QStringLiteral("NMCLIENTE"));
    EXPECT_EQ(TitleColor(grid, 1), QColor(Qt::white));
    EXPECT_NE(TitleColor(grid, 0), QColor(Qt::white));
    EXPECT_EQ(TitleColor(grid, 0), TitleColor(grid, 2));
    EXPECT_EQ(dataSet->GetIndexName(), QStringLiteral("NMCLIENTE"));
    EXPECT_EQ(IndexNames(*dataSet), (QStringList{"CODIGO", "NMCLIENTE", "CIDADE"}));
    EXPECT_EQ(dataSet->GetIndexDefs().GetIndexDef(1).GetFields(), QStringLiteral("NMCLIENTE"));
    EXPECT_EQ(form->TamanhoMaximo(), 10);
    EXPECT_EQ(dataSet->RecNo(), 0);
}

TEST_F(FormTest, WithoutANameColumnThePositionDecides)
{
    struct Case {
        QStringList fields;
        int expected;
    } cases[] = {
        {{"CODIGO"}, 0},
        {{"CODIGO", "CIDADE"}, 1},
        {{"A", "B", "C", "D", "E"}, 2},
        {{"CODIGO", "CIDADENM", "XNM"}, 2}, // "NM" later in the name does not count
    };
    for (const Case& c : cases) {
        auto dataSet = form_test::MakeTextDataset(c.fields);
        auto form = MakeForm(dataSet.get());
        host::DbGrid* grid = Grid(*form);
        EXPECT_EQ(form->CampoPesquisa(), c.fields[c.expected]) << c.fields.join(',').toStdString();
        EXPECT_EQ(TitleColor(grid, c.expected), QColor(Qt::black));
        EXPECT_EQ(dataSet->GetIndexName(), c.fields[c.expected]);
    }

    // Lower-case "nm" is a name column too.
    auto lower = form_test::MakeTextDataset({"codigo", "cidade", "nmfantasia"});
    auto form = MakeForm(lower.get());
    EXPECT_EQ(form->CampoPesquisa(), QStringLiteral("nmfantasia"));
    EXPECT_EQ(TitleColor(Grid(*form), 2), QColor(Qt::white));
}

TEST_F(FormTest, HiddenFieldGetsNoIndexAndPositionsStayAligned)
{
    auto dataSet = form_test::MakeTextDataset({"SENHA", "CODIGO", "CIDADE", "BAIRRO"});
    dataSet->GetField(0)->SetVisible(false);
    dataSet->GetIndexDefs().Add(QStringLiteral("OLD"), QStringLiteral("CIDADE"));
    auto form = MakeForm(dataSet.get());
    EXPECT_EQ(IndexNames(*dataSet), (QStringList{"CODIGO", "CIDADE", "BAIRRO"}));
    EXPECT_EQ(Grid(*form)->GetColumnCount(), 3);
    EXPECT_EQ(form->CampoPesquisa(), QStringLiteral("BAIRRO"));
    EXPECT_EQ(dataSet->GetIndexName(), QStringLiteral("BAIRRO"));
}

TEST_F(FormTest, DatasetWithoutVisibleFieldFailsWithAClearMessage)
{
    auto client = form_test::MakeTextDataset({"SENHA"});
    form_test::RecordingDataset other({QStringLiteral("SENHA")}, 2);
    for (host::Dataset* dataSet :
         {static_cast<host::Dataset*>(client.get()), static_cast<host::Dataset*>(&other)}) {
        dataSet->GetField(0)->SetVisible(false);
        TfrmPesquisa form;
        try {
            form.InicializaForm(dataSet, {}, QStringLiteral("N"), 0, 0, 0, 0, false);
            ADD_FAILURE() << "expected a failure";
        } catch (const host::DatasetError& error) {
            EXPECT_NE(error.Message().indexOf(QLatin1String("no visible field")), -1)
                << error.what();
        }
        EXPECT_EQ(form.TamanhoMaximo(), 0);
    }
}

TEST_F(FormTest, OnlyAnExactSClearsTheHostFilter)
{
    for (const QString& limpa : {QStringLiteral("S"), QStringLiteral("s"), QStringLiteral("N")}) {
        auto clients = form_test::MakeClients();
        clients->SetFilter(QStringLiteral("ATIVO = 1"));
        clients->SetFiltered(true);
        auto form = MakeForm(clients.get(), limpa);
        const bool cleared = limpa == QLatin1String("S");
        EXPECT_EQ(clients->GetFilter(), cleared ? QString() : QStringLiteral("ATIVO = 1"));
        EXPECT_EQ(form->FiltroBase(), clients->GetFilter());
        EXPECT_TRUE(clients->GetFiltered()); // the switch is not touched
        Type(*form, QStringLiteral("j"));
        EXPECT_EQ(clients->GetFilter(), cleared ? QStringLiteral("UPPER(NMCLIENTE) LIKE 'J%'")
                                                : QStringLiteral("ATIVO = 1 AND UPPER(NMCLIENTE) "
                                                                 "LIKE 'J%'"));
    }
}

TEST_F(FormTest, TitleTapMovesTheSearchColumn)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    host::DbGrid* grid = Grid(*form);
    QHeaderView* header = grid->horizontalHeader();
    const int x = header->sectionViewportPosition(2) + header->sectionSize(2) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(x, header->height() / 2));
    EXPECT_EQ(sleeps, std::vector<unsigned>{1000});
    EXPECT_EQ(form->CampoPesquisa(), QStringLiteral("CIDADE"));
    EXPECT_EQ(form->TamanhoMaximo(), 30);
    EXPECT_EQ(clients->GetIndexName(), QStringLiteral("CIDADE"));
    for (int i = 0; i < grid->GetColumnCount(); ++i) {
        EXPECT_EQ(TitleColor(grid, i), i == 2 ? QColor(Qt::black) : QColor(Qt::white)) << i;
    }
    EXPECT_EQ(form->ColunaAtual(), 0);
    // The next key builds the filter on the new column.
    Type(*form, QStringLiteral("r"));
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("UPPER(CIDADE) LIKE 'R%'"));
}
