#include "host/maker/maker_routines.h"
#include "host/maker/tblended_bit_btn.h"
#include "host/maker/tmessages.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QTranslator>
#include <gtest/gtest.h>

using host::TBlendedBitBtn;

namespace {

QColor Centre(TBlendedBitBtn& button)
{
    const QImage image = button.grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

int CountPixels(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton, buttons, {});
    QApplication::sendEvent(target, &event);
}

// Translates one text of one context.
class OneTextTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        if (QByteArray(context) == "QWidget" && QString::fromUtf8(source) == "Sair") {
            return QStringLiteral("Exit");
        }
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

TEST(TBlendedBitBtn, DisabledButtonClicksOnlyFromCode)
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* button = new TBlendedBitBtn(&window);
    button->setGeometry(100, 100, 57, 46);
    window.resize(300, 300);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(edit->hasFocus()); // a tap leaves the focus where it was

    button->setEnabled(false);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    button->Click();
    EXPECT_EQ(clicks, 2);
    button->setEnabled(true);
    button->Click();
    EXPECT_EQ(clicks, 3);
}

TEST(TBlendedBitBtn, PressThatSlidesOffAndBackStillClicks)
{
    TBlendedBitBtn button;
    button.resize(57, 46);
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    const QPoint centre(28, 23);

    // A finger a little outside the face still holds the button.
    SendMouse(&button, QEvent::MouseButtonPress, centre, Qt::LeftButton);
    SendMouse(&button, QEvent::MouseMove, {-10, 23}, Qt::LeftButton);
    EXPECT_TRUE(button.isDown());
    SendMouse(&button, QEvent::MouseButtonRelease, {-10, 23}, Qt::NoButton);
    EXPECT_EQ(clicks, 1);

    // Far off and back again.
    SendMouse(&button, QEvent::MouseButtonPress, centre, Qt::LeftButton);
    SendMouse(&button, QEvent::MouseMove, {200, 200}, Qt::LeftButton);
    EXPECT_FALSE(button.isDown());
    SendMouse(&button, QEvent::MouseMove, centre, Qt::LeftButton);
    EXPECT_TRUE(button.isDown());
    SendMouse(&button, QEvent::MouseButtonRelease, centre, Qt::NoButton);
    EXPECT_EQ(clicks, 2);

    // Released far away: no click.
    SendMouse(&button, QEvent::MouseButtonPress, centre, Qt::LeftButton);
    SendMouse(&button, QEvent::MouseMove, {200, 200}, Qt::LeftButton);
    SendMouse(&button, QEvent::MouseButtonRelease, {200, 200}, Qt::NoButton);
    EXPECT_EQ(clicks, 2);
}

TEST(TBlendedBitBtn, FacesNormalPressedAndDisabled)
{
    TBlendedBitBtn button;
    button.resize(57, 46);
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(button.GetBrushColor(), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(Centre(button), QColor(0x80, 0x80, 0x80));
    button.setDown(true);
    EXPECT_EQ(Centre(button), button.palette().color(QPalette::WindowText));
    button.setDown(false);
    button.setEnabled(false);
    EXPECT_EQ(Centre(button), QColor(0xCC, 0xCC, 0xCC));
    button.setEnabled(true);

    // Captions: white normally, the disabled caption colour while disabled.
    button.setCaption(QStringLiteral("W"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(30);
    font.setBold(true);
    button.setFont(font);
    EXPECT_GT(CountPixels(button.grab().toImage(), Qt::white), 0);
    button.setDisabledFontColor(QColor(0, 0, 255));
    button.setEnabled(false);
    EXPECT_GT(CountPixels(button.grab().toImage(), QColor(0, 0, 255)), 0);
    button.setEnabled(true);
    button.setCaption({});

    // Rounded corners and circles leave the corner unpainted; an outline only with a pen.
    const QImage round = button.grab().toImage();
    EXPECT_NE(round.pixelColor(0, 0), QColor(0x80, 0x80, 0x80));
    button.setPenStyle(Qt::SolidLine);
    const QColor withPen = button.grab().toImage().pixelColor(0, 23);
    button.setPenStyle(Qt::NoPen);
    const QColor withoutPen = button.grab().toImage().pixelColor(0, 23);
    EXPECT_NE(withPen, withoutPen);
    button.resize(49, 46);
    button.setShape(TBlendedBitBtn::stCircle);
    const QImage circle = button.grab().toImage();
    EXPECT_NE(circle.pixelColor(3, 3), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(circle.pixelColor(24, 23), QColor(0x80, 0x80, 0x80));

    // Glyphs are centred; the disabled twin shows while disabled.
    QPixmap glyph(10, 10);
    glyph.fill(Qt::red);
    QPixmap twin(10, 10);
    twin.fill(Qt::green);
    button.setGlyph(glyph);
    button.setGlyphDisabled(twin);
    EXPECT_EQ(Centre(button), QColor(Qt::red));
    button.setEnabled(false);
    EXPECT_EQ(Centre(button), QColor(Qt::green));
}

TEST(TBlendedBitBtn, EveryPropertyIsSettableByName)
{
    TBlendedBitBtn button;
    EXPECT_TRUE(button.setProperty("Caption", QStringLiteral("Enter")));
    EXPECT_TRUE(button.setProperty("Tag", 49));
    EXPECT_TRUE(button.setProperty("Shape", QVariant::fromValue(TBlendedBitBtn::stCircle)));
    EXPECT_TRUE(button.setProperty("BrushColor", QColor(Qt::white)));
    EXPECT_TRUE(button.setProperty("PenStyle", QVariant::fromValue(Qt::NoPen)));
    EXPECT_TRUE(button.setProperty("DownColor", QColor(Qt::blue)));
    EXPECT_TRUE(button.setProperty("DownFontColor", QColor(Qt::yellow)));
    EXPECT_TRUE(button.setProperty("DisabledColor", QColor(Qt::white)));
    EXPECT_TRUE(button.setProperty("DisabledFontColor", QColor(Qt::gray)));
    EXPECT_TRUE(button.setProperty("FontColor", QColor(Qt::black)));
    EXPECT_TRUE(button.setProperty("Layout", QVariant::fromValue(TBlendedBitBtn::blGlyphTop)));
    EXPECT_TRUE(button.setProperty("Spacing", 7));
    EXPECT_TRUE(button.setProperty("Glyph", QPixmap(34, 34)));
    EXPECT_TRUE(button.setProperty("GlyphDisabled", QPixmap(34, 34)));
    EXPECT_EQ(button.text(), "Enter");
    EXPECT_EQ(button.GetTag(), 49);
    EXPECT_EQ(button.GetShape(), TBlendedBitBtn::stCircle);
    EXPECT_EQ(button.GetBrushColor(), QColor(Qt::white));
    EXPECT_EQ(button.GetPenStyle(), Qt::NoPen);
    EXPECT_EQ(button.GetDownFontColor(), QColor(Qt::yellow));
    EXPECT_EQ(button.GetLayout(), TBlendedBitBtn::blGlyphTop);
    EXPECT_EQ(button.GetSpacing(), 7);
    EXPECT_EQ(button.GetGlyph().size(), QSize(34, 34));
}

TEST(TMessages, LooksUpKeyedLines)
{
    host::TMessages messages;
    messages.setProperty("Messages", QStringList{"FILIAL|Filial", "Operador|Operador",
                                                 "Versao|Versão ", "sem barra", "URL|a|b"});
    EXPECT_EQ(messages.Lookup(QStringLiteral("FILIAL")), "Filial");
    EXPECT_EQ(messages.Lookup(QStringLiteral("versao")), "Versão "); // trailing blank kept
    EXPECT_EQ(messages.Lookup(QStringLiteral("URL")), "a|b");
    EXPECT_TRUE(messages.Lookup(QStringLiteral("sem barra")).isEmpty());
    EXPECT_FALSE(messages.Contains(QStringLiteral("Nada")));
    EXPECT_TRUE(messages.Contains(QStringLiteral("operador")));
}

TEST(MakerRoutines, TradTranslatesCaptionsOnlyWithATranslation)
{
    QWidget form;
    form.setWindowTitle(QStringLiteral("Pesquisa"));
    auto* exit = new TBlendedBitBtn(&form);
    exit->setCaption(QStringLiteral("Sair"));
    auto* label = new QLabel(QStringLiteral("Sair"), &form);
    auto* other = new QLabel(QStringLiteral("Filial"), &form);

    host::Trad(&form);
    EXPECT_EQ(exit->text(), "Sair");
    EXPECT_EQ(label->text(), "Sair");

    OneTextTranslator translator;
    QCoreApplication::installTranslator(&translator);
    host::Trad(&form);
    QCoreApplication::removeTranslator(&translator);
    EXPECT_EQ(exit->text(), "Exit");
    EXPECT_EQ(label->text(), "Exit");
    EXPECT_EQ(other->text(), "Filial");
    EXPECT_EQ(form.windowTitle(), "Pesquisa");
    host::Trad(nullptr); // harmless
}

TEST(MakerRoutines, FooterAndEmptyString)
{
    const QString saved = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QStringLiteral("2.3.4"));
    EXPECT_EQ(host::MontaRodapeGeral(false, QStringLiteral("QBX00512"), QStringLiteral("N")),
              "QBX00512 - v2.3.4");
    EXPECT_EQ(host::MontaRodapeGeral(true, QStringLiteral("QBX00512"), QStringLiteral("N")),
              "F1 - Menu Fiscal - QBX00512 - v2.3.4");
    QCoreApplication::setApplicationVersion({});
    EXPECT_EQ(host::MontaRodapeGeral(false, QStringLiteral("QBX00512"), QStringLiteral("N")),
              QStringLiteral("QBX00512 - v") + TS_PROJECT_VERSION);
    QCoreApplication::setApplicationVersion(saved);

    EXPECT_TRUE(host::EmptyString({}));
    EXPECT_TRUE(host::EmptyString(QStringLiteral("   ")));
    EXPECT_TRUE(host::EmptyString(QStringLiteral(" \t ")));
    EXPECT_FALSE(host::EmptyString(QStringLiteral(" NM ")));
    EXPECT_FALSE(host::EmptyString(QStringLiteral("ç")));
}
