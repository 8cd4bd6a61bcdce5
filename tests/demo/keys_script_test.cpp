#include "demo/zyl/keys_script.h"

#include <gtest/gtest.h>
#include <string>

using zyl::KeysScript;
using zyl::KeysScriptError;
using zyl::ScriptStep;
using Kind = zyl::ScriptStep::Kind;

namespace {

// The position and message of the error a script raises; position 0 when none.
std::pair<int, std::string> ErrorOf(const QString& script)
{
    try {
        KeysScript::Parse(script);
    } catch (const KeysScriptError& e) {
        return {e.Position(), e.what()};
    }
    return {0, {}};
}

std::vector<ScriptStep> StepsOf(const QString& script)
{
    return KeysScript::Parse(script).Steps();
}

} // namespace

TEST(KeysScript, PlainCharactersAreUsKeyPresses)
{
    const KeysScript script = KeysScript::Parse(QStringLiteral("aZ5%ç\n ?"));
    const auto& steps = script.Steps();
    ASSERT_EQ(steps.size(), 7u); // the line break is skipped
    for (const ScriptStep& step : steps) {
        EXPECT_EQ(step.kind, Kind::Key);
    }
    EXPECT_EQ(steps[0].stroke, (zyl::KeyStroke{Qt::Key_A, {}, QStringLiteral("a")}));
    EXPECT_EQ(steps[1].stroke, (zyl::KeyStroke{Qt::Key_Z, Qt::ShiftModifier, QStringLiteral("Z")}));
    EXPECT_EQ(steps[2].stroke, (zyl::KeyStroke{Qt::Key_5, {}, QStringLiteral("5")}));
    EXPECT_EQ(steps[3].stroke,
              (zyl::KeyStroke{Qt::Key_Percent, Qt::ShiftModifier, QStringLiteral("%")}));
    EXPECT_EQ(steps[4].stroke, (zyl::KeyStroke{Qt::Key_Ccedilla, {}, QStringLiteral("ç")}));
    EXPECT_EQ(steps[5].stroke, (zyl::KeyStroke{Qt::Key_Space, {}, QStringLiteral(" ")}));
    EXPECT_EQ(steps[6].stroke,
              (zyl::KeyStroke{Qt::Key_Question, Qt::ShiftModifier, QStringLiteral("?")}));
    EXPECT_EQ(steps[5].position, 7);
    EXPECT_EQ(steps[6].source, QStringLiteral("?"));

    // Doubled openers type the opener itself.
    const auto doubled = StepsOf(QStringLiteral("{{[[<<"));
    ASSERT_EQ(doubled.size(), 3u);
    EXPECT_EQ(doubled[0].stroke,
              (zyl::KeyStroke{Qt::Key_BraceLeft, Qt::ShiftModifier, QStringLiteral("{")}));
    EXPECT_EQ(doubled[1].stroke, (zyl::KeyStroke{Qt::Key_BracketLeft, {}, QStringLiteral("[")}));
    EXPECT_EQ(doubled[2].stroke,
              (zyl::KeyStroke{Qt::Key_Less, Qt::ShiftModifier, QStringLiteral("<")}));
    EXPECT_EQ(doubled[2].position, 5);
}

TEST(KeysScript, NamedKeysTakeModifiers)
{
    const auto steps =
        StepsOf(QStringLiteral("{Enter}{esc}{Alt+F4}{Ctrl+Delete}{Ctrl+5}{Shift+5}{Shift+a}"
                               "{Ctrl+Shift+Delete}{F12}{Backspace}{CapsLock}{Shift}{Ctrl+a}{}}"));
    ASSERT_EQ(steps.size(), 14u);
    EXPECT_EQ(steps[0].stroke, (zyl::KeyStroke{Qt::Key_Return, {}, QStringLiteral("\r")}));
    EXPECT_EQ(steps[1].stroke, (zyl::KeyStroke{Qt::Key_Escape, {}, QStringLiteral("\x1b")}));
    EXPECT_EQ(steps[2].stroke, (zyl::KeyStroke{Qt::Key_F4, Qt::AltModifier, {}}));
    EXPECT_EQ(steps[3].stroke, (zyl::KeyStroke{Qt::Key_Delete, Qt::ControlModifier, {}}));
    // Ctrl+5 types nothing and stays the "5" key; Shift+5 is "%".
    EXPECT_EQ(steps[4].stroke, (zyl::KeyStroke{Qt::Key_5, Qt::ControlModifier, {}}));
    EXPECT_EQ(steps[5].stroke,
              (zyl::KeyStroke{Qt::Key_Percent, Qt::ShiftModifier, QStringLiteral("%")}));
    EXPECT_EQ(steps[6].stroke, (zyl::KeyStroke{Qt::Key_A, Qt::ShiftModifier, QStringLiteral("A")}));
    EXPECT_EQ(steps[7].stroke.modifiers, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(steps[8].stroke.key, Qt::Key_F12);
    EXPECT_EQ(steps[9].stroke, (zyl::KeyStroke{Qt::Key_Backspace, {}, QStringLiteral("\b")}));
    EXPECT_EQ(steps[10].stroke.key, Qt::Key_CapsLock);
    EXPECT_EQ(steps[11].stroke, (zyl::KeyStroke{Qt::Key_Shift, {}, {}}));
    EXPECT_EQ(steps[12].stroke,
              (zyl::KeyStroke{Qt::Key_A, Qt::ControlModifier, QStringLiteral("\x01")}));
    EXPECT_EQ(steps[13].stroke,
              (zyl::KeyStroke{Qt::Key_BraceRight, Qt::ShiftModifier, QStringLiteral("}")}));
    EXPECT_EQ(steps[2].source, QStringLiteral("{Alt+F4}"));
    EXPECT_EQ(steps[2].position, 13);
}

TEST(KeysScript, TapsWheelAndShots)
{
    const auto steps = StepsOf(QStringLiteral("[sbtq][SBTENTER][title:2][row:0][dbl:11][wheel:-120]"
                                              "[wheel:+120]<shot:out dir/a.png>"));
    ASSERT_EQ(steps.size(), 8u);
    EXPECT_EQ(steps[0].kind, Kind::Tap);
    EXPECT_EQ(steps[0].argument, QStringLiteral("sbtq"));
    EXPECT_EQ(steps[1].argument, QStringLiteral("SBTENTER"));
    EXPECT_EQ(steps[2].kind, Kind::TitleTap);
    EXPECT_EQ(steps[2].number, 2);
    EXPECT_EQ(steps[3].kind, Kind::RowTap);
    EXPECT_EQ(steps[3].number, 0);
    EXPECT_EQ(steps[4].kind, Kind::DoubleTap);
    EXPECT_EQ(steps[4].number, 11);
    EXPECT_EQ(steps[5].kind, Kind::Wheel);
    EXPECT_EQ(steps[5].number, -120);
    EXPECT_EQ(steps[6].number, 120);
    EXPECT_EQ(steps[7].kind, Kind::Shot);
    EXPECT_EQ(steps[7].argument, QStringLiteral("out dir/a.png"));
    EXPECT_TRUE(StepsOf(QString()).empty());
}

TEST(KeysScript, BadScriptsNameThePosition)
{
    const struct {
        const char* script;
        int position;
        const char* words;
    } cases[] = {
        {"ab{Entr}", 3, "unknown key name \"Entr\""},
        {"{Enter", 1, "no closing }"},
        {"x{Meta+a}", 2, "unknown modifier \"Meta\""},
        {"{Shift+Shift+a}", 1, "given twice"},
        {"{Shift+}", 1, "no key name"},
        {"{}", 1, "no key name"},
        {"abc[", 4, "no closing ]"},
        {"[]", 1, "no component name"},
        {"[sbt q]", 1, "letters, digits and _"},
        {"[row:]", 1, "needs a number"},
        {"[row:-1]", 1, "needs a number"},
        {"[row:1x]", 1, "needs a number"},
        {"[title:9999999999]", 1, "needs a number"},
        {"[wheel:40000]", 1, "needs a delta"},
        {"[tap:1]", 1, "unknown tap \"tap\""},
        {"<shot:>", 1, "no file name"},
        {"<snap:a.png>", 1, "unknown command"},
        {"ok<shot:a.png", 3, "no closing >"},
        {"a\tb", 2, "cannot be typed"},
        {"{F13}", 1, "unknown key name"},
        {"{Ent\ner}", 1, "line break"},
    };
    for (const auto& c : cases) {
        const auto [position, message] = ErrorOf(QString::fromUtf8(c.script));
        EXPECT_EQ(position, c.position) << c.script << " -> " << message;
        EXPECT_NE(message.find(c.words), std::string::npos) << c.script << " -> " << message;
        EXPECT_NE(message.find("character " + std::to_string(c.position)), std::string::npos)
            << message;
    }
    // Control characters, lone surrogates and overlong scripts are refused, not played.
    EXPECT_EQ(ErrorOf(QString(QChar(0))).first, 1);
    EXPECT_EQ(ErrorOf(QStringLiteral("a") + QChar(0xD800)).first, 2);
    EXPECT_EQ(ErrorOf(QString(KeysScript::kMaxLength + 1, QLatin1Char('a'))).first,
              KeysScript::kMaxLength + 1);
    EXPECT_EQ(ErrorOf(QString(KeysScript::kMaxLength, QLatin1Char('a'))).first, 0);
    EXPECT_EQ(
        ErrorOf(QStringLiteral("{") + QString(100, QLatin1Char('a')) + QStringLiteral("}")).first,
        1);
}
