#include "host/maker/tblended_bit_btn.h"
#include "tests/form/form_test_support.h"

using form_test::FormTest;

TEST_F(FormTest, ScreenKeysTypeThroughTheFormHandlers)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    Tap(*form, "sbtq");
    Tap(*form, "sbtw");
    EXPECT_EQ(form->SearchText(), QStringLiteral("Qw"));
    EXPECT_EQ(clients->GetFilter(), QStringLiteral("UPPER(NMCLIENTE) LIKE 'QW%'"));

    Tap(*form, "BlendedBitBtn36"); // the space bar
    Tap(*form, "sbtPonto");
    Tap(*form, "sbt7");
    EXPECT_EQ(form->SearchText(), QStringLiteral("Qw .7"));

    Tap(*form, "spdBackSpace");
    EXPECT_EQ(form->SearchText(), QStringLiteral("Qw ."));
    Tap(*form, "sbtLimpar"); // sends "." as a key code: Delete
    EXPECT_EQ(form->SearchText(), QString());
    EXPECT_EQ(clients->GetFilter(), QString());
    EXPECT_FALSE(clients->GetFiltered());

    // Caps Lock, then Shift, then a: lower-case a.
    Tap(*form, "spdCapsLock");
    Tap(*form, "sbtShift");
    Tap(*form, "sbta");
    EXPECT_EQ(form->SearchText(), QStringLiteral("a"));
    Tap(*form, "sbta"); // Caps alone now
    EXPECT_EQ(form->SearchText(), QStringLiteral("aA"));

    // The cedilla key: "Ç" with Caps Lock on, "ç" with both latches off.
    Tap(*form, "sbtCCdil");
    Tap(*form, "spdCapsLock");
    Tap(*form, "sbtCCdil");
    EXPECT_EQ(form->SearchText(), QStringLiteral("aA\u00C7\u00E7"));
    // With Shift latched the cedilla key types "Ç" and uses the latch up.
    Tap(*form, "sbtShift");
    Tap(*form, "sbtCCdil");
    EXPECT_FALSE(form->ShiftLatched());
    Tap(*form, "sbt_");
    Tap(*form, "sbtBarraD");
    Tap(*form, "sbtBarraE");
    Tap(*form, "sbtVirgula");
    EXPECT_EQ(form->SearchText(), QStringLiteral("aA\u00C7\u00E7\u00C7_/\\,"));

    // The "%" key replaces the text.
    Tap(*form, "sbtFiltro");
    EXPECT_EQ(form->SearchText(), QStringLiteral("%"));

    // The Enter and exit keys end the dialog.
    Tap(*form, "sbtSair");
    ProcessPosted();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Confirmou());
}

TEST_F(FormTest, EnterKeyOverAnEmptyDatasetConfirmsUntilTheFirstKeyEvent)
{
    auto empty = std::make_unique<host::ClientDataset>();
    empty->AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 10);
    empty->Open();
    auto form = MakeForm(empty.get());
    Show(*form);
    Tap(*form, "sbtEnter");
    ProcessPosted();
    EXPECT_TRUE(form->Confirmou());
    EXPECT_FALSE(form->isVisible());

    auto second = MakeForm(empty.get());
    Show(*second);
    Tap(*second, "sbtShift");     // not a key event
    Tap(*second, "spdBackSpace"); // a key event: Enter is disabled from now on
    Tap(*second, "sbtEnter");
    ProcessPosted();
    EXPECT_FALSE(second->Confirmou());
    EXPECT_TRUE(second->isVisible());
}
