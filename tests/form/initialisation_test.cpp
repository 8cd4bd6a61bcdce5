#include "form/host_program.h"
#include "host/maker/maker_routines.h"
#include "tests/form/form_test_support.h"

#include <QFile>
#include <QLabel>
#include <touchsearch/dataset_error.h>

using form_test::FormTest;

namespace {

const QString kFiscalFooter = QStringLiteral("F1 - Menu Fiscal - Qbx00512");

void WriteParameters(const QString& folder, const QString& field, const QVariant& value)
{
    host::ClientDataset parameters;
    parameters.AddField(field, host::FieldType::Boolean);
    parameters.Open();
    parameters.AppendRecord({value});
    const QString path = folder + QStringLiteral("/PARAMETROSZYL.CDS");
    QFile::remove(path);
    parameters.SaveToFile(path);
}

QString Footer(TfrmPesquisa& form)
{
    return form.findChild<QLabel*>(QStringLiteral("lblCodTela"))->text();
}

} // namespace

TEST_F(FormTest, FooterFollowsTheParameterFileAndTheHostProgram)
{
    const QString plain =
        host::MontaRodapeGeral(false, QStringLiteral("QBX00512"), QStringLiteral("N"));
    auto clients = form_test::MakeClients();

    // No parameter file: the routine's footer, even inside the fiscal host.
    pesquisa::SetHostProgramPath(dir.filePath(QStringLiteral("ZYL.EXE")));
    {
        auto form = MakeForm(clients.get());
        EXPECT_TRUE(form->HostZyl());
        EXPECT_FALSE(form->UtilizaImpFis());
        EXPECT_EQ(Footer(*form), plain);
    }

    WriteParameters(dir.path(), QStringLiteral("UTILIZAIMPFIS"), true);
    for (const char* program : {"zyl.exe", "Zyl.Exe", "ZYL", "zyl"}) {
        pesquisa::SetHostProgramPath(dir.filePath(QString::fromLatin1(program)));
        auto form = MakeForm(clients.get());
        EXPECT_TRUE(form->HostZyl()) << program;
        EXPECT_TRUE(form->UtilizaImpFis()) << program;
        EXPECT_EQ(Footer(*form), kFiscalFooter) << program;
    }
    for (const char* program : {"caixa", "zyl.exe.bak", "xzyl"}) {
        pesquisa::SetHostProgramPath(dir.filePath(QString::fromLatin1(program)));
        auto form = MakeForm(clients.get());
        EXPECT_FALSE(form->HostZyl()) << program;
        EXPECT_TRUE(form->UtilizaImpFis()) << program;
        EXPECT_EQ(Footer(*form), plain) << program;
    }

    // UTILIZAIMPFIS false: the routine's footer inside the fiscal host too.
    WriteParameters(dir.path(), QStringLiteral("UTILIZAIMPFIS"), false);
    pesquisa::SetHostProgramPath(dir.filePath(QStringLiteral("zyl")));
    auto form = MakeForm(clients.get(), QStringLiteral("N"), true);
    EXPECT_FALSE(form->UtilizaImpFis());
    EXPECT_EQ(Footer(*form), plain);
}

TEST_F(FormTest, BrokenParameterFileEndsTheDialogNamingTheFile)
{
    auto clients = form_test::MakeClients();
    const QString path = dir.filePath(QStringLiteral("PARAMETROSZYL.CDS"));

    QFile garbage(path);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("this is not a dataset file\n");
    garbage.close();
    {
        TfrmPesquisa form;
        try {
            form.InicializaForm(clients.get(), {}, QStringLiteral("N"), 0, 0, 0, 0, false);
            FAIL() << "expected a failure";
        } catch (const std::exception& error) {
            EXPECT_NE(QString::fromUtf8(error.what()).indexOf(path), -1) << error.what();
        }
    }

    ASSERT_TRUE(QFile::remove(path));
    WriteParameters(dir.path(), QStringLiteral("OUTROCAMPO"), true);
    TfrmPesquisa form;
    try {
        form.InicializaForm(clients.get(), {}, QStringLiteral("N"), 0, 0, 0, 0, false);
        FAIL() << "expected a failure";
    } catch (const std::exception& error) {
        const QString message = QString::fromUtf8(error.what());
        EXPECT_NE(message.indexOf(path), -1) << error.what();
        EXPECT_NE(message.indexOf(QLatin1String("UTILIZAIMPFIS"), 0, Qt::CaseInsensitive), -1)
            << error.what();
    }
}

TEST_F(FormTest, InitialisationShapesTheWindowAndKeepsTheArguments)
{
    host::Application& application = host::Application::Instance();
    const QString previousTitle = application.GetTitle();
    application.SetTitle(QStringLiteral("Caixa 3"));
    auto clients = form_test::MakeClients();
    TfrmPesquisa form;
    const QPoint before = form.pos();
    form.InicializaForm(clients.get(), QStringLiteral("texto"), QStringLiteral("N"), 7, 8, 9, 10,
                        true);
    application.SetTitle(previousTitle);

    EXPECT_EQ(form.windowTitle(), QStringLiteral("Caixa 3"));
    EXPECT_EQ(form.size(), QSize(800, 600));
    EXPECT_EQ(form.pos(), before); // a 1024x768 screen leaves both edges alone
    EXPECT_EQ(form.TextoAuxiliar(), QStringLiteral("texto"));
    EXPECT_TRUE(form.SemMenuFiscal());
    EXPECT_FALSE(form.Confirmou());
    EXPECT_EQ(form.ColunaAtual(), 0);
    EXPECT_EQ(sleeps, std::vector<unsigned>{1000}); // stray taps flushed at the end
}

TEST_F(FormTest, FirstCharacterOfADialogIsUpperCase)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    Type(*form, QStringLiteral("qw"));
    EXPECT_EQ(form->SearchText(), QStringLiteral("Qw"));

    auto other = MakeForm(clients.get());
    Show(*other);
    Type(*other, QStringLiteral("1q"));
    EXPECT_EQ(other->SearchText(), QStringLiteral("1q"));
}
