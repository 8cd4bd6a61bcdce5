#include "host/grid/db_grid.h"
#include "host/grid/edit.h"
#include "host/maker/tblended_bit_btn.h"
#include "host/maker/tmessages.h"
#include "tests/form/form_test_support.h"

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QTimer>

using form_test::FormTest;

namespace {

struct KeySample {
    const char* name;
    QRect box;
    int tag;
    const char* caption;
    int pixels = 24;
};

} // namespace

TEST_F(FormTest, LayoutHasTheDescribedComponents)
{
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            if (text.contains(QLatin1String("connect"))) {
                ADD_FAILURE() << "binding failed: " << text.toStdString();
            }
        });
    TfrmPesquisa form;
    qInstallMessageHandler(previous);

    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form.size(), QSize(775, 589));

    const KeySample samples[] = {
        {"sbt1", {26, 323, 57, 46}, 49, "1"},
        {"sbt9", {507, 323, 57, 46}, 57, "9"},
        {"sbt0", {566, 323, 58, 46}, 48, "0"},
        {"sbtq", {26, 373, 57, 46}, 81, "q"},
        {"sbtf", {206, 424, 57, 46}, 70, "f"},
        {"sbtk", {446, 424, 57, 46}, 75, "k"},
        {"sbtb", {265, 473, 57, 46}, 66, "b"},
        {"sbtVirgula", {447, 473, 57, 46}, 44, ","},
        {"sbtBarraE", {566, 523, 57, 46}, 92, "\\"},
        {"sbt_", {626, 423, 57, 46}, 95, "_"},
        {"BlendedBitBtn36", {206, 524, 237, 46}, 32, ""},
        {"sbtEnter", {626, 473, 119, 96}, 0, "Enter", 21},
        {"sbtShift", {86, 523, 114, 46}, 0, "Shift", 21},
        {"spdCapsLock", {446, 523, 117, 46}, 0, "Caps Lock", 21},
        {"sbtFiltro", {626, 373, 57, 46}, 0, "%", 21},
        {"sbtLimpar", {687, 423, 57, 46}, 0, ""},
        {"sbtPrimeiro", {727, 64, 49, 46}, 0, ""},
        {"sbtUltimo", {727, 232, 49, 46}, 0, ""},
    };
    for (const KeySample& sample : samples) {
        host::TBlendedBitBtn* key = Key(form, QString::fromLatin1(sample.name));
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->geometry(), sample.box) << sample.name;
        EXPECT_EQ(key->GetTag(), sample.tag) << sample.name;
        EXPECT_EQ(key->GetCaption(), QString::fromUtf8(sample.caption)) << sample.name;
        EXPECT_TRUE(key->isEnabled()) << sample.name;
        EXPECT_EQ(key->font().pixelSize(), sample.pixels) << sample.name;
    }
    EXPECT_EQ(Key(form, QStringLiteral("sbtCCdil"))->GetCaption(), QStringLiteral("\u00E7"));
    EXPECT_EQ(Key(form, QStringLiteral("sbtSair"))->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(Key(form, QStringLiteral("sbtPrimeiro"))->GetShape(), host::TBlendedBitBtn::stCircle);
    EXPECT_EQ(Key(form, QStringLiteral("sbtq"))->GetShape(), host::TBlendedBitBtn::stRoundRect);
    EXPECT_EQ(Key(form, QStringLiteral("sbtq"))->GetBrushColor(), QColor(128, 128, 128));
    EXPECT_EQ(Key(form, QStringLiteral("sbtLimpar"))->GetDisabledColor(), QColor(128, 128, 128));
    EXPECT_EQ(Key(form, QStringLiteral("sbtLimpar"))->GetDisabledFontColor(),
              QColor(192, 192, 192));
    for (const char* iconKey : {"sbtVoltar", "sbtAvancar", "spdBackSpace", "sbtLimpar", "sbtSair",
                                "sbtPrimeiro", "sbtRolarCima", "sbtRolarBaixo", "sbtUltimo"}) {
        host::TBlendedBitBtn* key = Key(form, QString::fromLatin1(iconKey));
        EXPECT_EQ(key->GetGlyph().size(), QSize(34, 34)) << iconKey;
        EXPECT_EQ(key->GetGlyphDisabled().size(), QSize(34, 34)) << iconKey;
    }
    // The 26 letters are found by either case.
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const QString upper = QStringLiteral("sbt") + QLatin1Char(letter);
        ASSERT_NE(form.FindComponent(upper), nullptr) << letter;
        EXPECT_EQ(form.FindComponent(upper), form.FindComponent(upper.toLower()));
    }

    auto* edit = SearchBox(form);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->geometry(), QRect(18, 13, 743, 37));
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_TRUE(edit->font().bold());
    EXPECT_EQ(edit->font().pixelSize(), 24);

    auto* panel = form.findChild<QFrame*>(QStringLiteral("panGrid"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(18, 58, 716, 250));
    host::DbGrid* grid = Grid(form);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->parentWidget(), panel);
    EXPECT_EQ(grid->geometry(), QRect(-1, 1, 740, 249));
    EXPECT_EQ(grid->GetTitleColor(), QColor(204, 91, 44));

    auto* footer = form.findChild<QLabel*>(QStringLiteral("lblCodTela"));
    ASSERT_NE(footer, nullptr);
    EXPECT_EQ(footer->geometry(), QRect(579, 571, 162, 11));
    EXPECT_EQ(footer->text(), QStringLiteral("F1 - Menu Fiscal - Qbx00512"));

    auto* messagesTable = qobject_cast<host::TMessages*>(form.FindComponent("msgPadrao"));
    ASSERT_NE(messagesTable, nullptr);
    EXPECT_EQ(messagesTable->GetMessages(),
              (QStringList{"FILIAL|Filial", "Operador|Operador", "Versao|Vers\u00E3o "}));
    EXPECT_NE(qobject_cast<host::ClientDataset*>(form.FindComponent("cdsParametrosZyl")), nullptr);
    EXPECT_NE(form.FindComponent("dtsPesquisa"), nullptr);
    auto* timer = qobject_cast<QTimer*>(form.FindComponent("timDataHora"));
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());
}

TEST_F(FormTest, WindowIsWhiteInsideAnAccentFrameAtAnySize)
{
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    Show(*form);
    EXPECT_EQ(form->size(), QSize(800, 600));
    QWidget* shape = form->findChild<QWidget*>(QStringLiteral("Shape1"));
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->geometry(), form->rect());
    // Lowest in z-order: the first child widget.
    EXPECT_EQ(form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).first(), shape);

    const QImage shot = form->grab().toImage();
    const QColor accent(204, 91, 44);
    EXPECT_EQ(shot.pixelColor(0, 300), accent);
    EXPECT_EQ(shot.pixelColor(1, 300), accent);
    EXPECT_EQ(shot.pixelColor(799, 300), accent);
    EXPECT_EQ(shot.pixelColor(400, 599), accent);
    EXPECT_EQ(shot.pixelColor(2, 300), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(790, 590), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(760, 560), QColor(Qt::white));

    form->resize(900, 700);
    EXPECT_EQ(shape->geometry(), QRect(0, 0, 900, 700));
    const QImage larger = form->grab().toImage();
    EXPECT_EQ(larger.pixelColor(899, 650), accent);
    EXPECT_EQ(larger.pixelColor(850, 650), QColor(Qt::white));
}
