// The search reaching beyond its column: several searched fields, words in any
// order, the exact value first; typed with real key events on the offscreen form.
#include "form/search_condition.h"
#include "form/search_options.h"
#include "host/grid/db_grid.h"
#include "tests/form/form_test_support.h"

#include <QHeaderView>
#include <QTest>
#include <touchsearch/dataset_error.h>
#include <touchsearch/pesquisa.h>

using form_test::FormTest;
using form_test::RecordingDataset;

namespace {

// CODIGO, NMCLIENTE (20), FONE (11), CPF (11), CIDADE (15), in name order:
// ANA SILVEIRA, BRUNO LIMA, JOAO DA SILVA, MARIA JOANA SOUZA, SILVA JOSE.
std::unique_ptr<host::ClientDataset> MakeCustomers()
{
    auto customers = std::make_unique<host::ClientDataset>();
    customers->AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
    customers->AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 20);
    customers->AddField(QStringLiteral("FONE"), host::FieldType::Text, 11);
    customers->AddField(QStringLiteral("CPF"), host::FieldType::Text, 11);
    customers->AddField(QStringLiteral("CIDADE"), host::FieldType::Text, 15);
    customers->Open();
    const struct {
        int code;
        const char* name;
        const char* phone;
        const char* taxId;
    } rows[] = {
        {1, "JOAO DA SILVA", "8132221111", "01234567890"},
        {2, "MARIA JOANA SOUZA", "81987654321", "11122233344"},
        {3, "SILVA JOSE", "8432105555", "55566677788"},
        {4, "ANA SILVEIRA", "8132229999", "01234500000"},
        {5, "BRUNO LIMA", "2133334444", "98765432100"},
    };
    for (const auto& row : rows) {
        customers->AppendRecord({row.code, QString::fromLatin1(row.name),
                                 QString::fromLatin1(row.phone), QString::fromLatin1(row.taxId),
                                 QStringLiteral("RECIFE")});
    }
    customers->First();
    return customers;
}

// NMPRODUTO (5) and CODBARRAS (13); ordered by name the codes are 789123456, 789123
// and 7891234: the one scanned is not the first that begins with it.
std::unique_ptr<host::ClientDataset> MakeProducts()
{
    auto products = std::make_unique<host::ClientDataset>();
    products->AddField(QStringLiteral("NMPRODUTO"), host::FieldType::Text, 5);
    products->AddField(QStringLiteral("CODBARRAS"), host::FieldType::Text, 13);
    products->Open();
    products->AppendRecord({QStringLiteral("ARROZ"), QStringLiteral("789123456")});
    products->AppendRecord({QStringLiteral("CAFE"), QStringLiteral("7891234")});
    products->AppendRecord({QStringLiteral("BOLO"), QStringLiteral("789123")});
    products->First();
    return products;
}

void SetOptions(const char* fields, std::uint32_t options)
{
    pesquisa::ModuleSearchOptions() =
        pesquisa::ParseSearchOptions(QString::fromLatin1(fields), options);
}

QString Current(const host::Dataset& dataSet, const char* field)
{
    return dataSet.DisplayText(dataSet.RecNo(),
                               dataSet.FieldByName(QLatin1String(field))->GetIndex());
}

int GridRow(host::DbGrid* grid)
{
    return grid->currentIndex().row();
}

} // namespace

TEST(SearchOptions, NamesAreTrimmedAndEmptyOnesLeftOut)
{
    const pesquisa::SearchOptions none = pesquisa::ParseSearchOptions(QString(), 0);
    EXPECT_TRUE(none.fields.isEmpty());
    EXPECT_FALSE(none.Any());
    const pesquisa::SearchOptions options = pesquisa::ParseSearchOptions(
        QStringLiteral(" CODIGO , ,fone,"), pesquisa::SearchWords | pesquisa::SearchExactFirst);
    EXPECT_EQ(options.fields, (QStringList{QStringLiteral("CODIGO"), QStringLiteral("fone")}));
    EXPECT_TRUE(options.words);
    EXPECT_TRUE(options.exactFirst);
    EXPECT_TRUE(pesquisa::ParseSearchOptions(QString(), pesquisa::SearchExactFirst).Any());
    EXPECT_FALSE(pesquisa::ParseSearchOptions(QStringLiteral(" , "), 0x80).Any());
}

TEST(SearchCondition, ShapesForEachKindOfDataset)
{
    const QStringList fields{QStringLiteral("NMCLIENTE"), QStringLiteral("FONE")};
    EXPECT_EQ(pesquisa::SearchCondition(QStringLiteral("MA"), fields, true, false),
              QStringLiteral("(UPPER(NMCLIENTE) LIKE 'MA%' OR UPPER(FONE) LIKE 'MA%')"));
    EXPECT_EQ(pesquisa::SearchCondition(QStringLiteral("%MA"), fields, false, false),
              QStringLiteral("(NMCLIENTE LIKE '%MA%' OR FONE LIKE '%MA%')"));
    EXPECT_EQ(
        pesquisa::SearchCondition(QStringLiteral("A  B"), {QStringLiteral("NM X")}, false, true),
        QStringLiteral("(\"NM X\" LIKE 'A%' OR \"NM X\" LIKE '% A%') AND (\"NM X\" LIKE "
                       "'B%' OR \"NM X\" LIKE '% B%')"));
    EXPECT_EQ(pesquisa::SearchCondition(QStringLiteral("% A A"), fields, true, true),
              QStringLiteral("(UPPER(NMCLIENTE) LIKE '%A%' OR UPPER(FONE) LIKE '%A%') AND "
                             "(UPPER(NMCLIENTE) LIKE '%A%' OR UPPER(FONE) LIKE '%A%')"));
    EXPECT_EQ(pesquisa::SearchCondition(QStringLiteral("  "), fields, true, true), QString());
    EXPECT_EQ(pesquisa::SearchCondition(QStringLiteral("%"), fields, true, true), QString());
    EXPECT_EQ(pesquisa::ExactValue(QStringLiteral("%7891a")), QStringLiteral("7891A"));
    EXPECT_EQ(pesquisa::ExactCondition(QStringLiteral("789"), fields, true),
              QStringLiteral("(UPPER(NMCLIENTE) LIKE '789' OR UPPER(FONE) LIKE '789')"));
}

TEST_F(FormTest, SearchedFieldsJoinTheSearchColumnAndFindAPhoneOrATaxId)
{
    SetOptions("fone, CPF, nmcliente", 0);
    auto customers = MakeCustomers();
    auto form = MakeForm(customers.get());
    // Named as the dataset names them.
    EXPECT_EQ(
        form->SearchOptions().fields,
        (QStringList{QStringLiteral("FONE"), QStringLiteral("CPF"), QStringLiteral("NMCLIENTE")}));
    Show(*form);
    Type(*form, QStringLiteral("8132"));
    // The search column once, first; the others in the order given.
    EXPECT_EQ(customers->GetFilter(),
              QStringLiteral("(UPPER(NMCLIENTE) LIKE '8132%' OR UPPER(FONE) LIKE '8132%' OR "
                             "UPPER(CPF) LIKE '8132%')"));
    EXPECT_TRUE(customers->GetFiltered());
    EXPECT_EQ(customers->RecordCount(), 2);
    Press(*form, Qt::Key_Delete);
    Type(*form, QStringLiteral("0123456"));
    EXPECT_EQ(customers->RecordCount(), 1);
    EXPECT_EQ(Current(*customers, "NMCLIENTE"), QStringLiteral("JOAO DA SILVA"));
    // Names still find names, with the first letter's case as always.
    Press(*form, Qt::Key_Delete);
    Type(*form, QStringLiteral("bru"));
    EXPECT_EQ(customers->RecordCount(), 1);
    EXPECT_EQ(Current(*customers, "NMCLIENTE"), QStringLiteral("BRUNO LIMA"));
}

TEST_F(FormTest, ABaseFilterWithOrIsBracketedBeforeTheSearchedFields)
{
    SetOptions("FONE", 0);
    auto customers = MakeCustomers();
    customers->SetFilter(QStringLiteral("CODIGO = 1 OR CODIGO = 3"));
    customers->SetFiltered(true);
    auto form = MakeForm(customers.get());
    Show(*form);
    Type(*form, QStringLiteral("s"));
    EXPECT_EQ(customers->GetFilter(),
              QStringLiteral("(CODIGO = 1 OR CODIGO = 3) AND (UPPER(NMCLIENTE) LIKE 'S%' OR "
                             "UPPER(FONE) LIKE 'S%')"));
    EXPECT_EQ(customers->RecordCount(), 1); // SILVA JOSE, not SOUZA outside the base
    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(customers->GetFilter(), QStringLiteral("CODIGO = 1 OR CODIGO = 3"));
}

TEST_F(FormTest, WordsInAnyOrderMatchTheStartOfAnyWord)
{
    SetOptions("FONE,CPF", pesquisa::SearchWords);
    auto customers = MakeCustomers();
    auto form = MakeForm(customers.get());
    Show(*form);
    const QString group =
        QStringLiteral("(UPPER(NMCLIENTE) LIKE '%1%' OR UPPER(NMCLIENTE) LIKE '% %1%' OR "
                       "UPPER(FONE) LIKE '%1%' OR UPPER(FONE) LIKE '% %1%' OR UPPER(CPF) LIKE "
                       "'%1%' OR UPPER(CPF) LIKE '% %1%')");
    // Surname first, then the start of a first name; two spaces between them.
    Type(*form, QStringLiteral("silva  jo"));
    EXPECT_EQ(form->SearchText(), QStringLiteral("Silva  jo"));
    EXPECT_EQ(customers->GetFilter(), group.arg(QStringLiteral("SILVA")) + QStringLiteral(" AND ") +
                                          group.arg(QStringLiteral("JO")));
    EXPECT_EQ(customers->RecordCount(), 2); // JOAO DA SILVA and SILVA JOSE, not SILVEIRA
    EXPECT_EQ(Current(*customers, "NMCLIENTE"), QStringLiteral("JOAO DA SILVA"));
    Type(*form, QStringLiteral("s"));
    EXPECT_EQ(customers->RecordCount(), 1);
    EXPECT_EQ(Current(*customers, "NMCLIENTE"), QStringLiteral("SILVA JOSE"));
    // A word inside another does not count in prefix mode.
    Press(*form, Qt::Key_Delete);
    Type(*form, QStringLiteral("ilva"));
    EXPECT_EQ(customers->RecordCount(), 0);

    // Only blanks: no word, the base filter (empty here) and filtering off.
    Press(*form, Qt::Key_Delete);
    Type(*form, QStringLiteral("  "));
    EXPECT_EQ(customers->GetFilter(), QString());
    EXPECT_FALSE(customers->GetFiltered());
    EXPECT_EQ(customers->RecordCount(), 5);
    // A leading blank is no word either.
    Type(*form, QStringLiteral("an"));
    EXPECT_EQ(customers->GetFilter(), group.arg(QStringLiteral("AN")));
    EXPECT_EQ(customers->RecordCount(), 1); // ANA SILVEIRA; in JOANA it is inside a word
}

TEST_F(FormTest, WordsInContainsModeMatchAnywhere)
{
    SetOptions("FONE,CPF", pesquisa::SearchWords);
    auto customers = MakeCustomers();
    auto form = MakeForm(customers.get());
    Show(*form);
    Press(*form, Qt::Key_Percent, Qt::ShiftModifier);
    Type(*form, QStringLiteral("ilv an"));
    const QString group = QStringLiteral(
        "(UPPER(NMCLIENTE) LIKE '%%1%' OR UPPER(FONE) LIKE '%%1%' OR UPPER(CPF) LIKE '%%1%')");
    EXPECT_EQ(customers->GetFilter(), group.arg(QStringLiteral("ILV")) + QStringLiteral(" AND ") +
                                          group.arg(QStringLiteral("AN")));
    EXPECT_EQ(customers->RecordCount(), 1);
    EXPECT_EQ(Current(*customers, "NMCLIENTE"), QStringLiteral("ANA SILVEIRA"));
    // Backspace down to "%": no word is left, the base filter applies.
    for (int i = 0; i < 6; ++i) {
        Press(*form, Qt::Key_Backspace);
    }
    EXPECT_EQ(form->SearchText(), QStringLiteral("%"));
    EXPECT_EQ(customers->GetFilter(), QString());
    EXPECT_EQ(customers->RecordCount(), 5);
}

TEST_F(FormTest, AnotherKindOfDatasetGetsTermsWithoutUpper)
{
    SetOptions("FONE", pesquisa::SearchWords);
    RecordingDataset dataSet(
        {QStringLiteral("CODIGO"), QStringLiteral("NMCLIENTE"), QStringLiteral("FONE")}, 3);
    dataSet.SetFilter(QStringLiteral("ATIVO = 1"));
    auto form = MakeForm(&dataSet);
    Show(*form);
    Type(*form, QStringLiteral("a b"));
    EXPECT_EQ(dataSet.GetFilter(),
              QStringLiteral("ATIVO = 1 AND (NMCLIENTE LIKE 'A%' OR NMCLIENTE LIKE '% A%' OR "
                             "FONE LIKE 'A%' OR FONE LIKE '% A%') AND (NMCLIENTE LIKE 'B%' OR "
                             "NMCLIENTE LIKE '% B%' OR FONE LIKE 'B%' OR FONE LIKE '% B%')"));

    SetOptions("FONE", 0);
    RecordingDataset plain(
        {QStringLiteral("CODIGO"), QStringLiteral("NMCLIENTE"), QStringLiteral("FONE")}, 3);
    auto second = MakeForm(&plain);
    Show(*second);
    Press(*second, Qt::Key_Percent, Qt::ShiftModifier);
    Type(*second, QStringLiteral("81"));
    EXPECT_EQ(plain.GetFilter(), QStringLiteral("(NMCLIENTE LIKE '%81%' OR FONE LIKE '%81%')"));
}

TEST_F(FormTest, TheLengthLimitIsTheLargestSearchedField)
{
    auto products = MakeProducts();
    {
        auto form = MakeForm(products.get());
        EXPECT_EQ(form->TamanhoMaximo(), 5);
    }
    SetOptions("CODBARRAS", 0);
    auto form = MakeForm(products.get());
    EXPECT_EQ(form->TamanhoMaximo(), 13);
    Show(*form);
    Type(*form, QStringLiteral("78912345678901"));
    EXPECT_EQ(form->SearchText(), QStringLiteral("7891234567890"));
    EXPECT_EQ(products->GetFilter(),
              QStringLiteral("(UPPER(NMPRODUTO) LIKE '7891234567890%' OR UPPER(CODBARRAS) LIKE "
                             "'7891234567890%')"));
}

TEST_F(FormTest, ATitleTapKeepsTheSearchedFields)
{
    SetOptions("FONE,CPF", 0);
    auto customers = MakeCustomers();
    auto form = MakeForm(customers.get());
    Show(*form);
    host::DbGrid* grid = Grid(*form);
    QHeaderView* header = grid->horizontalHeader();
    // The code column: its own size is 1, the searched fields allow 11.
    const int x = header->sectionViewportPosition(0) + header->sectionSize(0) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(x, header->height() / 2));
    EXPECT_EQ(form->CampoPesquisa(), QStringLiteral("CODIGO"));
    EXPECT_EQ(customers->FieldByName(QStringLiteral("CODIGO"))->GetSize(), 1);
    EXPECT_EQ(form->TamanhoMaximo(), 11);
    Type(*form, QStringLiteral("0123"));
    EXPECT_EQ(customers->GetFilter(),
              QStringLiteral("(UPPER(CODIGO) LIKE '0123%' OR UPPER(FONE) LIKE '0123%' OR "
                             "UPPER(CPF) LIKE '0123%')"));
    EXPECT_EQ(customers->RecordCount(), 2);
    // Ordered by the code now: JOAO DA SILVA (1) before ANA SILVEIRA (4).
    EXPECT_EQ(Current(*customers, "CODIGO"), QStringLiteral("1"));

    // A tap on a searched field's title: it is the search column, named once.
    const int phone = header->sectionViewportPosition(2) + header->sectionSize(2) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(phone, header->height() / 2));
    EXPECT_EQ(form->CampoPesquisa(), QStringLiteral("FONE"));
    Press(*form, Qt::Key_Delete);
    Type(*form, QStringLiteral("8"));
    EXPECT_EQ(customers->GetFilter(),
              QStringLiteral("(UPPER(FONE) LIKE '8%' OR UPPER(CPF) LIKE '8%')"));
}

TEST_F(FormTest, TheExactValueComesFirstAfterTypingAndBackspace)
{
    auto products = MakeProducts();
    {
        // Without the option the cursor stays on the first record.
        SetOptions("CODBARRAS", 0);
        auto form = MakeForm(products.get());
        Show(*form);
        Type(*form, QStringLiteral("789123"));
        EXPECT_EQ(products->RecordCount(), 3);
        EXPECT_EQ(products->RecNo(), 0);
        Press(*form, Qt::Key_Delete);
    }
    SetOptions("CODBARRAS", pesquisa::SearchExactFirst);
    auto form = MakeForm(products.get());
    Show(*form);
    host::DbGrid* grid = Grid(*form);
    Type(*form, QStringLiteral("789123"));
    EXPECT_EQ(products->RecordCount(), 3);
    EXPECT_EQ(Current(*products, "CODBARRAS"), QStringLiteral("789123"));
    EXPECT_EQ(products->RecNo(), 1);
    EXPECT_EQ(GridRow(grid), 1);
    Type(*form, QStringLiteral("4"));
    EXPECT_EQ(products->RecordCount(), 2);
    EXPECT_EQ(Current(*products, "CODBARRAS"), QStringLiteral("7891234"));
    EXPECT_EQ(GridRow(grid), 1);
    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(Current(*products, "CODBARRAS"), QStringLiteral("789123"));
    EXPECT_EQ(GridRow(grid), 1);
    // No record equal to the text: the first one, as always.
    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(products->RecNo(), 0);
    EXPECT_EQ(GridRow(grid), 0);
    // Enter confirms the record the cursor is on.
    Press(*form, Qt::Key_Delete);
    Press(*form, Qt::Key_Percent, Qt::ShiftModifier);
    Type(*form, QStringLiteral("7891234")); // ARROZ holds it too, further on
    EXPECT_EQ(products->RecordCount(), 2);
    EXPECT_EQ(Current(*products, "CODBARRAS"), QStringLiteral("7891234"));
    Press(*form, Qt::Key_Return);
    ProcessPosted();
    EXPECT_TRUE(form->Confirmou());
    EXPECT_EQ(Current(*products, "NMPRODUTO"), QStringLiteral("CAFE"));
}

TEST_F(FormTest, ASearchedFieldMissingOrHiddenIsRefusedWhenTheDialogOpens)
{
    auto customers = MakeCustomers();
    customers->SetFilter(QStringLiteral("CODIGO > 1"));
    customers->FieldByName(QStringLiteral("CIDADE"))->SetVisible(false);
    const struct {
        const char* fields;
        const char* message;
    } cases[] = {
        {"FONE, FOO", "Search fields: the dataset has no field \"FOO\""},
        {"cidade", "Search fields: the field \"cidade\" is hidden"},
    };
    for (const auto& c : cases) {
        SetOptions(c.fields, pesquisa::SearchWords);
        QString message;
        try {
            MakeForm(customers.get(), QStringLiteral("S"));
        } catch (const host::DatasetError& error) {
            message = error.Message();
        }
        EXPECT_EQ(message, QLatin1String(c.message));
        // Refused before the dataset was touched: the filter stays, no index was made.
        EXPECT_EQ(customers->GetFilter(), QStringLiteral("CODIGO > 1"));
        EXPECT_EQ(customers->GetIndexDefs().GetCount(), 0);
    }
}
