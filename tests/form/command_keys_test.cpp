#include "form/fiscal_menu.h"
#include "form/host_program.h"
#include "host/grid/db_grid.h"
#include "host/grid/edit.h"
#include "host/maker/tblended_bit_btn.h"
#include "tests/form/form_test_support.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

using form_test::FormTest;

namespace {

int g_fiscalMenuCalls = 0;
void FiscalMenuStandIn()
{
    ++g_fiscalMenuCalls;
}

// Installs the stand-in for RelFiscais for one scope.
class FiscalMenuStandInScope {
public:
    FiscalMenuStandInScope()
        : m_previous(pesquisa::SetFiscalMenuLocator([] { return &FiscalMenuStandIn; }))
    {
        g_fiscalMenuCalls = 0;
    }
    ~FiscalMenuStandInScope() { pesquisa::SetFiscalMenuLocator(m_previous); }

private:
    pesquisa::FiscalMenuLocator m_previous;
};

} // namespace

TEST_F(FormTest, ModalDialogEndsOnceThroughEnterWithTheChosenRecord)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    int finished = 0;
    QObject::connect(form.get(), &QDialog::finished, [&finished] { ++finished; });
    QTimer::singleShot(0, form.get(), [&] {
        Type(*form, QStringLiteral("jo"));
        Press(*form, Qt::Key_Down);
        // The grid has the focus: the form and the grid both confirm.
        Press(*form, Qt::Key_Return);
    });
    QTimer::singleShot(10000, form.get(), [&] { form->done(-1); }); // safety only
    const int result = form->exec();
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(form->Confirmou());
    EXPECT_EQ(finished, 1);
    ProcessPosted(); // the second close request changes nothing
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("UPPER(NMCLIENTE) LIKE 'JO%'"));
    EXPECT_TRUE(clients->GetFiltered());
    EXPECT_EQ(clients->FieldByName(QStringLiteral("NMCLIENTE"))->AsString(),
              QStringLiteral("JOAO"));
}

TEST_F(FormTest, EscCancelsEvenWithEnterDisabledAndGivesTheBaseFilterBack)
{
    auto clients = form_test::MakeClients();
    clients->SetFilter(QStringLiteral("ATIVO = 1"));
    auto form = MakeForm(clients.get());
    Show(*form);
    Type(*form, QStringLiteral("zz"));
    EXPECT_FALSE(Key(*form, "sbtEnter")->isEnabled());
    EXPECT_EQ(clients->RecordCount(), 0);
    Press(*form, Qt::Key_Return); // disabled: nothing
    ProcessPosted();
    EXPECT_TRUE(form->isVisible());
    Press(*form, Qt::Key_Escape);
    ProcessPosted();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Confirmou());
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("ATIVO = 1"));
    EXPECT_TRUE(clients->GetFiltered()); // as the last search left it
}

TEST_F(FormTest, EnterWorksAgainOnceBackspaceBringsRecordsBack)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    SearchBox(*form)->setFocus(); // the search box's own handler runs too
    Type(*form, QStringLiteral("bz"));
    Press(*form, Qt::Key_Return);
    ProcessPosted();
    EXPECT_TRUE(form->isVisible());
    Press(*form, Qt::Key_Backspace);
    EXPECT_TRUE(Key(*form, "sbtEnter")->isEnabled());
    Press(*form, Qt::Key_Enter);
    ProcessPosted();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Confirmou());
}

TEST_F(FormTest, WindowSystemCloseAndAltF4AreRefused)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    EXPECT_FALSE(form->close());
    Press(*form, Qt::Key_F4, Qt::AltModifier);
    ProcessPosted();
    EXPECT_TRUE(form->isVisible());
    SearchBox(*form)->setFocus();
    Press(*form, Qt::Key_F4, Qt::AltModifier);
    form->reject();
    form->accept();
    ProcessPosted();
    EXPECT_TRUE(form->isVisible());
}

TEST_F(FormTest, ShiftFiveSwitchesToContainsButCtrlOrAltFiveDoNot)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    Type(*form, QStringLiteral("j"));
    Press(*form, Qt::Key_5, Qt::ControlModifier);
    EXPECT_EQ(form->SearchText(), QStringLiteral("J"));
    Press(*form, Qt::Key_5, Qt::AltModifier);
    EXPECT_EQ(form->SearchText(), QStringLiteral("J"));
    Press(*form, Qt::Key_5, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(form->SearchText(), QStringLiteral("J"));
    Press(*form, Qt::Key_Percent, Qt::ShiftModifier);
    EXPECT_EQ(form->SearchText(), QStringLiteral("%"));
}

TEST_F(FormTest, F1OpensTheFiscalMenuOnlyInsideTheFiscalHost)
{
    FiscalMenuStandInScope standIn;
    auto clients = form_test::MakeClients();
    {
        auto form = MakeForm(clients.get()); // another host program
        Show(*form);
        Press(*form, Qt::Key_F1);
        EXPECT_EQ(g_fiscalMenuCalls, 0);
    }
    pesquisa::SetHostProgramPath(dir.filePath(QStringLiteral("zyl")));
    {
        auto form = MakeForm(clients.get(), QStringLiteral("N"), true); // SemMenuFiscal
        Show(*form);
        Press(*form, Qt::Key_F1);
        EXPECT_EQ(g_fiscalMenuCalls, 0);
    }
    auto form = MakeForm(clients.get());
    Show(*form);
    Press(*form, Qt::Key_F1);
    EXPECT_EQ(g_fiscalMenuCalls, 1);
    Press(*form, Qt::Key_F1, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(g_fiscalMenuCalls, 2);

    // Without a procedure in RelFiscais nothing happens.
    pesquisa::SetFiscalMenuLocator([] { return pesquisa::FiscalMenuProcedure(nullptr); });
    Press(*form, Qt::Key_F1);
    EXPECT_EQ(g_fiscalMenuCalls, 2);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FormTest, CtrlDeleteInTheGridEmptiesTheSearchButIsSwallowed)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    host::DbGrid* grid = Grid(*form);
    std::vector<int> seenByGrid;
    QObject::connect(grid, &host::DbGrid::OnKeyDown,
                     [&](QObject*, int& key, Qt::KeyboardModifiers) { seenByGrid.push_back(key); });
    Type(*form, QStringLiteral("jo"));
    seenByGrid.clear();
    Press(*form, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->SearchText(), QString());
    EXPECT_EQ(clients->TotalRecordCount(), 6);
    ASSERT_FALSE(seenByGrid.empty());
    EXPECT_EQ(seenByGrid.back(), 0);
    Press(*form, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(seenByGrid.back(), 46);
}

TEST_F(FormTest, CursorAndColumnStepButtons)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    host::DbGrid* grid = Grid(*form);
    Tap(*form, "sbtUltimo");
    EXPECT_EQ(clients->RecNo(), 5);
    Tap(*form, "sbtRolarCima");
    EXPECT_EQ(clients->RecNo(), 4);
    Tap(*form, "sbtPrimeiro");
    EXPECT_EQ(clients->RecNo(), 0);
    Tap(*form, "sbtRolarBaixo");
    EXPECT_EQ(clients->RecNo(), 1);

    SearchBox(*form)->setFocus();
    Tap(*form, "sbtVoltar"); // at column 0: stays and focuses it again
    EXPECT_EQ(form->ColunaAtual(), 0);
    EXPECT_EQ(grid->GetSelectedIndex(), 0);
    EXPECT_EQ(QApplication::focusWidget(), grid);
    for (int i = 0; i < 5; ++i) {
        Tap(*form, "sbtAvancar");
    }
    EXPECT_EQ(form->ColunaAtual(), 3); // the last column
    EXPECT_EQ(grid->GetSelectedIndex(), 3);
    EXPECT_EQ(form->CampoPesquisa(), QStringLiteral("NMCLIENTE")); // search column unchanged
    Tap(*form, "sbtVoltar");
    EXPECT_EQ(form->ColunaAtual(), 2);
    EXPECT_TRUE(messages.isEmpty());

    Press(*form, Qt::Key_Escape);
    ProcessPosted();
    EXPECT_EQ(form->ColunaAtual(), 0); // FormClose
}
