#include "form/tfrm_pesquisa.h"
#include "tests/entry/search_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <climits>
#include <touchsearch/dataset_error.h>
#include <touchsearch/pesquisa.h>

namespace {

bool AnySearchFormAlive()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<TfrmPesquisa*>(widget) != nullptr) {
            return true;
        }
    }
    return false;
}

std::string ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const host::DatasetError& e) {
        return e.what();
    }
    return {};
}

// A client dataset whose filter cannot be read: preparation fails.
class UnreadableFilterDataset : public host::ClientDataset {
public:
    QString GetFilter() const override
    {
        throw host::DatasetError(QStringLiteral("filter unreadable"));
    }
};

} // namespace

using PesquisaTest = SearchTest;

TEST_F(PesquisaTest, NullOrClosedDatasetRaisesBeforeAnyWindow)
{
    const WhenShown never([](TfrmPesquisa&) { ADD_FAILURE() << "a window appeared"; });
    std::string error = ErrorOf([] { Pesquisa(nullptr, "", "", 0, 0, 0, 0, false); });
    EXPECT_NE(error.find("null"), std::string::npos) << error;

    auto closed = Customers();
    closed->setObjectName(QStringLiteral("cdsClientes"));
    closed->Close();
    error = ErrorOf([&] { pesquisa::Pesquisa(closed.get(), nullptr, nullptr, 0, 0, 0, 0, false); });
    EXPECT_NE(error.find("\"cdsClientes\" is closed"), std::string::npos) << error;
    EXPECT_EQ(never.Shown(), 0);
    EXPECT_FALSE(AnySearchFormAlive());
    EXPECT_EQ(frmPesquisa, nullptr);
}

TEST_F(PesquisaTest, BothNamesAreOneFunction)
{
    EXPECT_EQ(reinterpret_cast<void*>(&Pesquisa), reinterpret_cast<void*>(&pesquisa::Pesquisa));
}

TEST_F(PesquisaTest, FailureDuringInitialisationDestroysTheFormAndReachesTheCaller)
{
    const WhenShown never([](TfrmPesquisa&) { ADD_FAILURE() << "a window appeared"; });
    UnreadableFilterDataset unreadable;
    unreadable.AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 20);
    unreadable.Open();
    EXPECT_EQ(ErrorOf([&] { Pesquisa(&unreadable, "", "", 0, 0, 0, 0, false); }),
              "filter unreadable");
    EXPECT_EQ(frmPesquisa, nullptr);
    EXPECT_FALSE(AnySearchFormAlive());

    // A client dataset without visible fields cannot be searched.
    auto hidden = Customers();
    for (int i = 0; i < hidden->GetFieldCount(); ++i) {
        hidden->GetField(i)->SetVisible(false);
    }
    EXPECT_FALSE(ErrorOf([&] { Pesquisa(hidden.get(), "", "", 0, 0, 0, 0, false); }).empty());
    EXPECT_EQ(frmPesquisa, nullptr);
    EXPECT_FALSE(AnySearchFormAlive());
    EXPECT_EQ(never.Shown(), 0);
}

// Search options set through the exported function hold for the next dialogs: a bad
// field name fails the call before any window, a good one is searched, none restores
// the plain search.
TEST_F(PesquisaTest, SearchOptionsHoldForTheDialogsThatFollow)
{
    auto customers = Customers();
    customers->FieldByName(QStringLiteral("CODIGO"))->SetVisible(false);
    {
        const WhenShown never([](TfrmPesquisa&) { ADD_FAILURE() << "a window appeared"; });
        PesquisaSearchOptions(" CODIGO ", pesquisa::SearchWords);
        EXPECT_EQ(ErrorOf([&] { Pesquisa(customers.get(), "", "S", 0, 0, 0, 0, false); }),
                  "Search fields: the field \"CODIGO\" is hidden");
        pesquisa::SetSearchOptions("NMCLIENTE,FONE", 0);
        EXPECT_EQ(ErrorOf([&] { Pesquisa(customers.get(), "", "", 0, 0, 0, 0, false); }),
                  "Search fields: the dataset has no field \"FONE\"");
        EXPECT_EQ(frmPesquisa, nullptr);
        EXPECT_FALSE(AnySearchFormAlive());
        EXPECT_EQ(never.Shown(), 0);
    }
    customers->FieldByName(QStringLiteral("CODIGO"))->SetVisible(true);
    PesquisaSearchOptions("CODIGO", pesquisa::SearchWords);
    QString filter;
    {
        const WhenShown words([&](TfrmPesquisa& form) {
            Type(form, QStringLiteral("4"));
            filter = customers->GetFilter();
            PressKey(form, Qt::Key_Return);
        });
        EXPECT_TRUE(Pesquisa(customers.get(), "", "", 0, 0, 0, 0, false));
        EXPECT_EQ(filter, QStringLiteral("(UPPER(NMCLIENTE) LIKE '4%' OR UPPER(NMCLIENTE) LIKE "
                                         "'% 4%' OR UPPER(CODIGO) LIKE '4%' OR UPPER(CODIGO) LIKE "
                                         "'% 4%')"));
        EXPECT_EQ(customers->FieldByName(QStringLiteral("NMCLIENTE"))->AsString(),
                  QStringLiteral("CARLOS REIS"));
    }
    PesquisaSearchOptions(nullptr, 0);
    const WhenShown plain([&](TfrmPesquisa& form) {
        Type(form, QStringLiteral("c"));
        filter = customers->GetFilter();
        PressKey(form, Qt::Key_Escape);
    });
    // "S": the last search's filter is not kept as the base.
    EXPECT_FALSE(Pesquisa(customers.get(), "", "S", 0, 0, 0, 0, false));
    EXPECT_EQ(filter, QStringLiteral("UPPER(NMCLIENTE) LIKE 'C%'"));
}

TEST_F(PesquisaTest, CallDuringADialogRaisesAndLeavesItRunning)
{
    auto customers = Customers();
    auto other = Customers();
    std::string error;
    const WhenShown action([&](TfrmPesquisa& form) {
        error = ErrorOf([&] { Pesquisa(other.get(), "", "", 0, 0, 0, 0, false); });
        EXPECT_EQ(frmPesquisa, &form);
        EXPECT_TRUE(form.isVisible());
        PressKey(form, Qt::Key_Escape);
    });
    EXPECT_FALSE(Pesquisa(customers.get(), "", "", 0, 0, 0, 0, false));
    EXPECT_NE(error.find("already running"), std::string::npos) << error;
    EXPECT_EQ(action.Shown(), 1);
    // The refused call touched nothing of its dataset.
    EXPECT_EQ(other->GetIndexDefs().GetCount(), 0);
    EXPECT_EQ(other->GetFilter(), QString());
}

TEST_F(PesquisaTest, ArgumentsReachTheFormAndValoresChangeNothing)
{
    struct Run {
        bool result = false;
        QString texto, limpa, campo, filtro, search;
        bool semMenu = false;
        int recNo = -1;
        QString filter;
        bool filtered = false;
    };
    const auto run = [this](int32_t v1, int32_t v2, int32_t v3, int32_t v4) {
        auto customers = Customers();
        customers->SetFilter(QStringLiteral("CODIGO > 1"));
        Run r;
        const WhenShown action([&](TfrmPesquisa& form) {
            r.texto = form.TextoAuxiliar();
            r.limpa = form.LimpaFiltro();
            r.semMenu = form.SemMenuFiscal();
            Type(form, QStringLiteral("c"));
            r.campo = form.CampoPesquisa();
            r.filtro = form.FiltroBase();
            r.search = form.SearchText();
            Tap(form, "sbtEnter");
        });
        // "Texto ç" and "N" in Windows-1252.
        r.result = Pesquisa(customers.get(), "Texto \xe7\x80", "N", v1, v2, v3, v4, true);
        r.recNo = customers->RecNo();
        r.filter = customers->GetFilter();
        r.filtered = customers->GetFiltered();
        return r;
    };
    const Run plain = run(0, 0, 0, 0);
    const Run odd = run(INT_MIN, -1, 1, INT_MAX);
    EXPECT_EQ(plain.texto, QStringLiteral("Texto ç€"));
    EXPECT_EQ(plain.limpa, QStringLiteral("N"));
    EXPECT_TRUE(plain.semMenu);
    EXPECT_TRUE(plain.result);
    for (const Run* r : {&plain, &odd}) {
        EXPECT_EQ(r->campo, QStringLiteral("NMCLIENTE"));
        EXPECT_EQ(r->filtro, QStringLiteral("CODIGO > 1"));
    }
    EXPECT_EQ(plain.result, odd.result);
    EXPECT_EQ(plain.texto, odd.texto);
    EXPECT_EQ(plain.search, odd.search);
    EXPECT_EQ(plain.recNo, odd.recNo);
    EXPECT_EQ(plain.filter, odd.filter);
    EXPECT_EQ(plain.filtered, odd.filtered);
}

TEST_F(PesquisaTest, ConfirmLeavesTheDatasetOnTheChosenRow)
{
    auto customers = Customers();
    const WhenShown action([](TfrmPesquisa& form) {
        TapRow(form, 2);
        Tap(form, "sbtEnter");
    });
    EXPECT_TRUE(Pesquisa(customers.get(), "", "", 0, 0, 0, 0, false));
    ASSERT_EQ(customers->RecNo(), 2);
    EXPECT_EQ(customers->FieldByName(QStringLiteral("NMCLIENTE"))->AsString(),
              QStringLiteral("CARLA DIAS"));
}

TEST_F(PesquisaTest, CancelGivesBackTheCapturedFilterText)
{
    for (const char* limpa : {"N", "S"}) {
        auto customers = Customers();
        customers->SetFilter(QStringLiteral("CODIGO < 5"));
        bool filteredBeforeEsc = false;
        const WhenShown action([&](TfrmPesquisa& form) {
            Type(form, QStringLiteral("ca"));
            filteredBeforeEsc = customers->GetFiltered();
            EXPECT_NE(customers->GetFilter(), QStringLiteral("CODIGO < 5"));
            PressKey(form, Qt::Key_Escape);
        });
        EXPECT_FALSE(Pesquisa(customers.get(), "", limpa, 0, 0, 0, 0, false)) << limpa;
        // "S" cleared the text before it was captured.
        EXPECT_EQ(customers->GetFilter(), QLatin1String(limpa) == QLatin1String("S")
                                              ? QString()
                                              : QStringLiteral("CODIGO < 5"))
            << limpa;
        EXPECT_EQ(customers->GetFiltered(), filteredBeforeEsc) << limpa;
        EXPECT_TRUE(filteredBeforeEsc);
    }
}

TEST_F(PesquisaTest, TwoConfirmsInOneKeyEventEndTheDialogOnce)
{
    auto customers = Customers();
    int finished = 0;
    {
        const WhenShown action([&](TfrmPesquisa& form) {
            QObject::connect(&form, &QDialog::finished, [&finished] { ++finished; });
            auto* edit = qobject_cast<QLineEdit*>(form.FindComponent(QStringLiteral("edtFiltro")));
            ASSERT_NE(edit, nullptr);
            edit->setFocus();
            // The form's preview and the search box each confirm.
            QTest::keyClick(edit, Qt::Key_Return);
        });
        EXPECT_TRUE(Pesquisa(customers.get(), "", "", 0, 0, 0, 0, false));
        EXPECT_EQ(finished, 1);
    }

    // The second close request dies with its form: the next dialog stays open.
    bool stayedOpen = false;
    const WhenShown next([&](TfrmPesquisa& form) {
        QCoreApplication::processEvents();
        stayedOpen = form.isVisible();
        PressKey(form, Qt::Key_Escape);
    });
    EXPECT_FALSE(Pesquisa(customers.get(), "", "", 0, 0, 0, 0, false));
    EXPECT_TRUE(stayedOpen);
}

TEST_F(PesquisaTest, OverAnEmptyDatasetEnterConfirmsOnlyBeforeTheFirstKey)
{
    auto empty = Customers(0);
    {
        const WhenShown action([](TfrmPesquisa& form) { Tap(form, "sbtEnter"); });
        EXPECT_TRUE(Pesquisa(empty.get(), "", "", 0, 0, 0, 0, false));
    }
    {
        const WhenShown action([](TfrmPesquisa& form) { PressKey(form, Qt::Key_Return); });
        EXPECT_TRUE(Pesquisa(empty.get(), "", "", 0, 0, 0, 0, false));
    }
    bool openAfterEnter = false;
    const WhenShown action([&](TfrmPesquisa& form) {
        Type(form, QStringLiteral("x"));
        Tap(form, "sbtEnter");
        PressKey(form, Qt::Key_Return);
        QCoreApplication::processEvents();
        openAfterEnter = form.isVisible();
        PressKey(form, Qt::Key_Escape);
    });
    EXPECT_FALSE(Pesquisa(empty.get(), "", "", 0, 0, 0, 0, false));
    EXPECT_TRUE(openAfterEnter);
}
