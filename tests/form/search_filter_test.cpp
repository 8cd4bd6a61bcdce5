#include "form/search_text.h"
#include "host/grid/db_grid.h"
#include "host/maker/tblended_bit_btn.h"
#include "tests/form/form_test_support.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSignalSpy>

using form_test::FormTest;
using form_test::RecordingDataset;

TEST(SearchText, AllowedCharactersAndCaseRules)
{
    const QByteArray& allowed = pesquisa::AllowedSearchChars();
    EXPECT_EQ(allowed.size(), 70);
    for (char c : {'%', '-', '\'', '\r', '\b', '\x1b', '"', '*', '\0'}) {
        EXPECT_FALSE(pesquisa::IsAllowedSearchChar(c)) << int(c);
    }
    for (char c : {' ', ',', '.', '/', '\\', '_', '0', '9', 'A', 'z', char(199), char(231)}) {
        EXPECT_TRUE(pesquisa::IsAllowedSearchChar(c)) << int(c);
    }
    EXPECT_EQ(pesquisa::AsciiUpper(QStringLiteral("jo\u00E7a")), QStringLiteral("JO\u00E7A"));
    EXPECT_EQ(pesquisa::CaseForKey('A', true, true).key, 'a');
    EXPECT_TRUE(pesquisa::CaseForKey('A', true, true).releaseShift);
    EXPECT_EQ(pesquisa::CaseForKey('a', true, false).key, 'A');
    EXPECT_FALSE(pesquisa::CaseForKey('a', true, false).releaseShift);
    EXPECT_EQ(pesquisa::CaseForKey('a', false, true).key, 'A');
    EXPECT_EQ(pesquisa::CaseForKey('A', false, false).key, 'a');
    EXPECT_EQ(pesquisa::Condicao(true, "x", "y"), QStringLiteral("x"));
    EXPECT_EQ(pesquisa::Condicao(false, "x", "y"), QStringLiteral("y"));
    EXPECT_EQ(pesquisa::ByteFromChar(QChar(0xE7)), char(231));
    EXPECT_EQ(pesquisa::CharFromByte(char(199)), QChar(0xC7));
}

TEST_F(FormTest, TypingNarrowsAClientDatasetAndBackspaceWidensIt)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    Type(*form, QStringLiteral("jo"));
    EXPECT_EQ(form->SearchText(), QStringLiteral("Jo"));
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("UPPER(NMCLIENTE) LIKE 'JO%'"));
    EXPECT_TRUE(clients->GetFiltered());
    EXPECT_EQ(clients->RecordCount(), 2);

    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(form->SearchText(), QStringLiteral("J"));
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("UPPER(NMCLIENTE) LIKE 'J%'"));
    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(form->SearchText(), QString());
    EXPECT_EQ(clients->GetFilter(), QString());
    EXPECT_FALSE(clients->GetFiltered()); // empty base filter: switch ends off
    EXPECT_EQ(clients->RecordCount(), 6);
    Press(*form, Qt::Key_Backspace); // an empty text stays empty
    EXPECT_EQ(form->SearchText(), QString());

    // "%" then a, n, a: anywhere in the field.
    Press(*form, Qt::Key_Percent, Qt::ShiftModifier);
    EXPECT_EQ(form->SearchText(), QStringLiteral("%"));
    EXPECT_EQ(clients->GetFilter(), QString()); // not re-applied
    Type(*form, QStringLiteral("ana"));
    EXPECT_TRUE(clients->GetFilter().endsWith(QLatin1String("LIKE '%ANA%'")))
        << clients->GetFilter().toStdString();
    EXPECT_EQ(clients->RecordCount(), 2); // JOANA and ANA

    // Backspace from "%" and one letter leaves "%" and applies its own expression.
    Press(*form, Qt::Key_Delete);
    Press(*form, Qt::Key_Percent, Qt::ShiftModifier);
    Type(*form, QStringLiteral("b"));
    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(form->SearchText(), QStringLiteral("%"));
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("UPPER(NMCLIENTE) LIKE '%%'"));

    // Delete with an empty base filter: text empty, filter empty and off.
    Press(*form, Qt::Key_Delete);
    EXPECT_EQ(form->SearchText(), QString());
    EXPECT_EQ(clients->GetFilter(), QString());
    EXPECT_FALSE(clients->GetFiltered());
}

TEST_F(FormTest, OtherDatasetsAreFilteredByFieldNameJoinedToTheBase)
{
    RecordingDataset dataSet({"CODIGO", "NOME"}, 3);
    dataSet.SetFilter(QStringLiteral("ATIVO = 1"));
    auto form = MakeForm(&dataSet);
    Show(*form);
    EXPECT_EQ(form->CampoPesquisa(), QStringLiteral("NOME"));
    Type(*form, QStringLiteral("a"));
    EXPECT_EQ(dataSet.GetFilter(), QStringLiteral("ATIVO = 1 AND NOME LIKE 'A%'"));
    EXPECT_TRUE(dataSet.GetFiltered());
    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(dataSet.GetFilter(), QStringLiteral("ATIVO = 1"));
    EXPECT_TRUE(dataSet.GetFiltered());
}

TEST_F(FormTest, RefusedCharactersAndTheLengthLimit)
{
    auto clients = std::make_unique<host::ClientDataset>();
    clients->AddField(QStringLiteral("NMCURTO"), host::FieldType::Text, 3);
    clients->Open();
    auto form = MakeForm(clients.get()); // empty dataset
    Show(*form);
    host::TBlendedBitBtn* enter = Key(*form, "sbtEnter");
    EXPECT_TRUE(enter->isEnabled()); // no key event yet

    // "-" is refused, but Enter enabling runs.
    Type(*form, QStringLiteral("-"));
    EXPECT_EQ(form->SearchText(), QString());
    EXPECT_EQ(clients->GetFilter(), QString());
    EXPECT_FALSE(enter->isEnabled());

    // "ç" stays "ç" in the expression.
    QKeyEvent cedilla(QEvent::KeyPress, Qt::Key_Ccedilla, Qt::NoModifier, QStringLiteral("\u00E7"));
    QApplication::sendEvent(QApplication::focusWidget(), &cedilla);
    EXPECT_EQ(form->SearchText(), QStringLiteral("\u00E7")); // ASCII rule: no upper case
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("UPPER(NMCURTO) LIKE '\u00E7%'"));

    Type(*form, QStringLiteral("abc"));
    EXPECT_EQ(form->SearchText(), QStringLiteral("\u00E7ab")); // limit 3
    Press(*form, Qt::Key_Backspace);
    Type(*form, QStringLiteral("d"));
    EXPECT_EQ(form->SearchText(), QStringLiteral("\u00E7ad"));
    // Screen keys stop at the limit too.
    Tap(*form, "sbte");
    Tap(*form, "BlendedBitBtn36");
    EXPECT_EQ(form->SearchText(), QStringLiteral("\u00E7ad"));
}

TEST_F(FormTest, RejectedFilterShowsItsMessageAndKeepsTheCharacter)
{
    RecordingDataset dataSet({"NOME"}, 2);
    auto form = MakeForm(&dataSet);
    Show(*form);
    dataSet.failWith = QStringLiteral("Bad filter at position 3");
    Type(*form, QStringLiteral("x"));
    EXPECT_EQ(form->SearchText(), QStringLiteral("X"));
    EXPECT_EQ(messages, QStringList{QStringLiteral("Bad filter at position 3")});

    // Backspace and Delete do not catch: the default handler shows the message.
    messages.clear();
    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(form->SearchText(), QString());
    EXPECT_EQ(messages, QStringList{QStringLiteral("Bad filter at position 3")});
    messages.clear();
    Tap(*form, "sbtLimpar");
    EXPECT_EQ(messages, QStringList{QStringLiteral("Bad filter at position 3")});
    EXPECT_TRUE(form->isVisible());
}

TEST_F(FormTest, ABaseFilterWithAlternativesIsBracketedBeforeTheSearch)
{
    auto clients = form_test::MakeClients();
    clients->SetFilter(QStringLiteral("CODIGO = 1 or CODIGO = 3"));
    clients->SetFiltered(true);
    auto form = MakeForm(clients.get());
    Show(*form);
    Type(*form, QStringLiteral("a"));
    // Without the brackets AND would bind tighter and JOANA (code 1) would stay.
    EXPECT_EQ(clients->GetFilter(),
              QStringLiteral("(CODIGO = 1 or CODIGO = 3) AND UPPER(NMCLIENTE) LIKE 'A%'"));
    EXPECT_EQ(clients->RecordCount(), 1);
    EXPECT_EQ(clients->FieldByName(QStringLiteral("NMCLIENTE"))->AsString(), QStringLiteral("ANA"));
    // Backspace to empty gives back the base exactly as the host wrote it.
    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("CODIGO = 1 or CODIGO = 3"));

    // OR inside a literal, inside brackets or inside a name is no alternative.
    EXPECT_EQ(pesquisa::JoinableBase(QStringLiteral("CIDADE = 'OR' AND (A = 1 OR B = 2)")),
              QStringLiteral("CIDADE = 'OR' AND (A = 1 OR B = 2)"));
    EXPECT_EQ(pesquisa::JoinableBase(QStringLiteral("ORIGEM = 1 AND COR = 2")),
              QStringLiteral("ORIGEM = 1 AND COR = 2"));
    EXPECT_EQ(pesquisa::JoinableBase(QStringLiteral("A = 'it''s' OR B = 1")),
              QStringLiteral("(A = 'it''s' OR B = 1)"));
}

TEST_F(FormTest, EachKeystrokeRefreshesTheGridOnce)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    const auto* grid = form->findChild<host::DbGrid*>(QStringLiteral("dbgPesquisa"));
    QSignalSpy resets(grid->model(), &QAbstractItemModel::modelReset);
    // The filter switch goes off and on within each keystroke; the grid sees only the
    // outcome, never the whole unfiltered dataset in between.
    Type(*form, QStringLiteral("jo"));
    EXPECT_EQ(resets.count(), 2);
    EXPECT_EQ(grid->model()->rowCount(), 2);
    Press(*form, Qt::Key_Backspace);
    Press(*form, Qt::Key_Backspace);
    EXPECT_EQ(resets.count(), 4);
    EXPECT_EQ(grid->model()->rowCount(), 6);
}
