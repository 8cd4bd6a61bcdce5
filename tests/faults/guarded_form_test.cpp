// Every handler of the form runs under the guard: a dataset that raises from any
// operation the form calls gives the user a message, never a crash, and the dialog
// stays usable: a later key works once the fault is gone, and cancel gives back the
// filter captured at preparation.
#include "host/grid/db_grid.h"
#include "tests/faults/throwing_dataset.h"
#include "tests/form/form_test_support.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QWheelEvent>
#include <map>
#include <string>
#include <touchsearch/application.h>
#include <touchsearch/dataset_error.h>

namespace {

using faults_test::Op;
using faults_test::ThrowingDataset;

const QString kBaseFilter = QStringLiteral("CODIGO > 0");

class GuardedFormTest : public form_test::FormTest {
protected:
    using Action = std::function<void(TfrmPesquisa&)>;
    struct Path {
        const char* name;
        Action act;
    };

    std::vector<Path> Paths()
    {
        return {
            {"physical character", [](TfrmPesquisa& f) { Type(f, QStringLiteral("o")); }},
            {"screen character", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbto")); }},
            {"screen cedilla", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbtCCdil")); }},
            {"Backspace", [](TfrmPesquisa& f) { Press(f, Qt::Key_Backspace); }},
            {"Delete", [](TfrmPesquisa& f) { Press(f, Qt::Key_Delete); }},
            {"clear key", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbtLimpar")); }},
            {"backspace key", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("spdBackSpace")); }},
            {"first", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbtPrimeiro")); }},
            {"up", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbtRolarCima")); }},
            {"down", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbtRolarBaixo")); }},
            {"last", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbtUltimo")); }},
            {"column back", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbtVoltar")); }},
            {"column forward", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbtAvancar")); }},
            {"title tap", [](TfrmPesquisa& f) { TapTitle(f, 2); }},
            {"double tap", [](TfrmPesquisa& f) { DoubleTapRow(f, 1); }},
            {"Enter", [](TfrmPesquisa& f) { Press(f, Qt::Key_Return); }},
            {"Esc", [](TfrmPesquisa& f) { Press(f, Qt::Key_Escape); }},
            {"exit key", [](TfrmPesquisa& f) { Tap(f, QStringLiteral("sbtSair")); }},
            {"wheel", [](TfrmPesquisa& f) { Wheel(f, -120); }},
            {"grid arrow key", [](TfrmPesquisa& f) { PressOnGrid(f, Qt::Key_Down); }},
            {"grid repaint", [](TfrmPesquisa& f) { Grid(f)->viewport()->repaint(); }},
        };
    }

    static void TapTitle(TfrmPesquisa& form, int column)
    {
        QHeaderView* header = Grid(form)->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(x, header->height() / 2));
    }

    static void DoubleTapRow(TfrmPesquisa& form, int row)
    {
        host::DbGrid* grid = Grid(form);
        const QPoint at = grid->visualRect(grid->model()->index(row, 0)).center();
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    static void Wheel(TfrmPesquisa& form, int delta)
    {
        host::DbGrid* grid = Grid(form);
        grid->setFocus();
        const QPoint centre = grid->viewport()->rect().center();
        QWheelEvent wheel(centre, grid->viewport()->mapToGlobal(centre), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &wheel);
    }

    static void PressOnGrid(TfrmPesquisa& form, Qt::Key key)
    {
        host::DbGrid* grid = Grid(form);
        grid->setFocus();
        QTest::keyClick(grid, key);
    }

    // A shown form over a dataset with a base filter, with "J" already typed.
    std::unique_ptr<TfrmPesquisa> OpenSearch(ThrowingDataset& data)
    {
        data.SetFilter(kBaseFilter);
        data.SetFiltered(true);
        auto form = MakeForm(&data);
        Show(*form);
        Type(*form, QStringLiteral("J"));
        EXPECT_EQ(data.GetFilter(),
                  kBaseFilter + QStringLiteral(" AND UPPER(NMCLIENTE) LIKE 'J%'"));
        messages.clear();
        return form;
    }

    // Once the fault is gone the form works again and cancel gives the base back.
    void ExpectUsableAndCancelRestores(TfrmPesquisa& form, ThrowingDataset& data,
                                       const std::string& where)
    {
        data.FailNothing();
        ProcessPosted();
        messages.clear();
        if (!form.isVisible()) {
            // The path itself ended the dialog (confirm, or cancel before the fault).
            if (!form.Confirmou()) {
                EXPECT_EQ(data.GetFilter(), kBaseFilter) << where;
            }
            return;
        }
        Tap(form, QStringLiteral("sbta"));
        EXPECT_TRUE(messages.isEmpty()) << where << ": " << messages.join('|').toStdString();
        EXPECT_TRUE(form.SearchText().endsWith(u'A', Qt::CaseInsensitive)) << where;
        EXPECT_EQ(data.GetFilter(), form.BuildSearchFilter(form.SearchText())) << where;
        EXPECT_TRUE(data.GetFiltered()) << where;
        Tap(form, QStringLiteral("sbtRolarBaixo"));
        Press(form, Qt::Key_Escape);
        ProcessPosted();
        EXPECT_TRUE(messages.isEmpty()) << where << ": " << messages.join('|').toStdString();
        EXPECT_FALSE(form.isVisible()) << where;
        EXPECT_FALSE(form.Confirmou()) << where;
        EXPECT_EQ(data.GetFilter(), kBaseFilter) << where;
    }
};

TEST_F(GuardedFormTest, EveryPathShowsTheFaultAndStaysUsable)
{
    std::map<std::string, int> raisedByPath;
    for (const Path& path : Paths()) {
        for (const Op op : faults_test::AllOps()) {
            const std::string where = std::string(path.name) + " / " + faults_test::OpName(op);
            ThrowingDataset data;
            auto form = OpenSearch(data);
            data.FailOn(op);
            path.act(*form);
            const int raised = data.Raised(op);
            raisedByPath[path.name] += raised;
            if (raised > 0) {
                ASSERT_FALSE(messages.isEmpty()) << where << ": a fault went unseen";
                EXPECT_TRUE(messages.front().startsWith(
                    QStringLiteral("Injected fault in %1").arg(faults_test::OpName(op))))
                    << where << ": " << messages.front().toStdString();
            } else {
                EXPECT_TRUE(messages.isEmpty())
                    << where << ": " << messages.join('|').toStdString();
            }
            ExpectUsableAndCancelRestores(*form, data, where);
        }
    }
    // Each path that touches the dataset was really put under a fault.
    for (const char* name :
         {"physical character", "screen character", "screen cedilla", "Backspace", "Delete",
          "clear key", "backspace key", "first", "up", "down", "last", "title tap", "double tap",
          "Enter", "Esc", "exit key", "wheel", "grid arrow key", "grid repaint"}) {
        EXPECT_GT(raisedByPath[name], 0) << name;
    }
}

TEST_F(GuardedFormTest, FaultsWhileTypingKeepTheTextAndTheNextKeyRecovers)
{
    ThrowingDataset data;
    auto form = OpenSearch(data);
    data.FailOn(Op::SetFilter);
    Tap(*form, QStringLiteral("sbto"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.front(), QStringLiteral("Injected fault in SetFilter"));
    // The character stays typed; the dataset keeps the last filter that applied.
    EXPECT_EQ(form->SearchText(), QStringLiteral("Jo"));
    EXPECT_EQ(data.GetFilter(), kBaseFilter + QStringLiteral(" AND UPPER(NMCLIENTE) LIKE 'J%'"));
    data.FailNothing();
    messages.clear();
    Tap(*form, QStringLiteral("sbta"));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(data.GetFilter(), kBaseFilter + QStringLiteral(" AND UPPER(NMCLIENTE) LIKE 'JOA%'"));
    EXPECT_EQ(data.RecordCount(), 2); // JOANA, JOAO

    // Cancel under a failing SetFilter: the message shows and the dialog stays open, so
    // the filter can still be given back by the next cancel.
    data.FailOn(Op::SetFilter);
    messages.clear();
    Press(*form, Qt::Key_Escape);
    ProcessPosted();
    // The form's key preview and the grid's own key handler both cancel on Esc: each
    // failing cancel shows its message.
    ASSERT_FALSE(messages.isEmpty());
    for (const QString& message : messages) {
        EXPECT_EQ(message, QStringLiteral("Injected fault in SetFilter"));
    }
    EXPECT_TRUE(form->isVisible());
    data.FailNothing();
    Press(*form, Qt::Key_Escape);
    ProcessPosted();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(data.GetFilter(), kBaseFilter);
}

TEST_F(GuardedFormTest, TitleTapOnAColumnWhoseIndexIsGoneShowsTheMessage)
{
    // SetIndexName and GetIndexDefs are not virtual: the real failure is an index name
    // the dataset no longer has.
    ThrowingDataset data;
    auto form = OpenSearch(data);
    data.GetIndexDefs().Delete(2);
    messages.clear();
    TapTitle(*form, 2);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(QStringLiteral("CIDADE")))
        << messages.front().toStdString();
    data.GetIndexDefs().Add(QStringLiteral("CIDADE"), QStringLiteral("CIDADE"));
    messages.clear();
    TapTitle(*form, 2);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(data.GetIndexName(), QStringLiteral("CIDADE"));
    ExpectUsableAndCancelRestores(*form, data, "index gone");
}

TEST_F(GuardedFormTest, FaultsDuringPreparationLeaveTheCallerAnError)
{
    // Creation and initialisation failures go to the caller, not to a message box.
    for (const Op op : {Op::First, Op::GetFilter, Op::SetFilter}) {
        ThrowingDataset data;
        data.FailOn(op);
        auto form = std::make_unique<TfrmPesquisa>();
        try {
            form->InicializaForm(&data, QStringLiteral("aux"), QStringLiteral("S"), 1, 2, 3, 4,
                                 false);
            ADD_FAILURE() << faults_test::OpName(op) << ": no error";
        } catch (const host::DatasetError& error) {
            EXPECT_EQ(error.Message(),
                      QStringLiteral("Injected fault in %1").arg(faults_test::OpName(op)));
        }
        EXPECT_TRUE(messages.isEmpty());
    }
}

} // namespace
