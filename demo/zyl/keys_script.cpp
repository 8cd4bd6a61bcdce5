#include "demo/zyl/keys_script.h"

#include <QChar>
#include <array>
#include <optional>

namespace zyl {

namespace {

constexpr int kMaxKeyLength = 64;
constexpr int kMaxBracketLength = 128;
constexpr int kMaxFileLength = 4096;
constexpr int kMaxGridIndex = 999999;
constexpr int kMinWheelDelta = -32768; // the wheel message carries 16 signed bits
constexpr int kMaxWheelDelta = 32767;

// Unshifted and shifted character of each symbol key of a US keyboard.
constexpr std::array<std::pair<char, char>, 21> kUsSymbolKeys = {{
    {'1', '!'},  {'2', '@'}, {'3', '#'},  {'4', '$'}, {'5', '%'}, {'6', '^'}, {'7', '&'},
    {'8', '*'},  {'9', '('}, {'0', ')'},  {'-', '_'}, {'=', '+'}, {'[', '{'}, {']', '}'},
    {'\\', '|'}, {';', ':'}, {'\'', '"'}, {'`', '~'}, {',', '<'}, {'.', '>'}, {'/', '?'},
}};

struct NamedKey {
    const char* name;
    int key;
    const char* text; // what the key types without Ctrl or Alt
};

constexpr std::array<NamedKey, 24> kNamedKeys = {{
    {"Enter", Qt::Key_Return, "\r"},
    {"Return", Qt::Key_Return, "\r"},
    {"Esc", Qt::Key_Escape, "\x1b"},
    {"Escape", Qt::Key_Escape, "\x1b"},
    {"Backspace", Qt::Key_Backspace, "\b"},
    {"Tab", Qt::Key_Tab, "\t"},
    {"Space", Qt::Key_Space, " "},
    {"Delete", Qt::Key_Delete, ""},
    {"Del", Qt::Key_Delete, ""},
    {"Insert", Qt::Key_Insert, ""},
    {"Home", Qt::Key_Home, ""},
    {"End", Qt::Key_End, ""},
    {"PageUp", Qt::Key_PageUp, ""},
    {"PageDown", Qt::Key_PageDown, ""},
    {"Up", Qt::Key_Up, ""},
    {"Down", Qt::Key_Down, ""},
    {"Left", Qt::Key_Left, ""},
    {"Right", Qt::Key_Right, ""},
    {"CapsLock", Qt::Key_CapsLock, ""},
    {"Shift", Qt::Key_Shift, ""},
    {"Ctrl", Qt::Key_Control, ""},
    {"Control", Qt::Key_Control, ""},
    {"Alt", Qt::Key_Alt, ""},
    {"Pause", Qt::Key_Pause, ""},
}};

[[noreturn]] void Fail(int position, const QString& message)
{
    throw KeysScriptError(position, message);
}

bool IsAsciiLetter(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

bool HasControlCharacter(const QString& text)
{
    for (const QChar ch : text) {
        if (ch.category() == QChar::Other_Control) {
            return true;
        }
    }
    return false;
}

// Reads the code point at index; a lone surrogate is returned as itself (not printable).
char32_t CodePointAt(const QString& text, qsizetype index, qsizetype* units)
{
    const char16_t unit = text.at(index).unicode();
    if (QChar::isHighSurrogate(unit) && index + 1 < text.size() &&
        QChar::isLowSurrogate(text.at(index + 1).unicode())) {
        *units = 2;
        return QChar::surrogateToUcs4(unit, text.at(index + 1).unicode());
    }
    *units = 1;
    return unit;
}

std::optional<int> ParseNumber(const QString& digits, bool allowSign, int low, int high)
{
    qsizetype i = 0;
    bool negative = false;
    if (allowSign && !digits.isEmpty() &&
        (digits[0] == QLatin1Char('-') || digits[0] == QLatin1Char('+'))) {
        negative = digits[0] == QLatin1Char('-');
        i = 1;
    }
    if (i == digits.size() || digits.size() - i > 9) {
        return std::nullopt;
    }
    long long value = 0;
    for (; i < digits.size(); ++i) {
        const char16_t unit = digits.at(i).unicode();
        if (unit < u'0' || unit > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (unit - u'0');
    }
    if (negative) {
        value = -value;
    }
    if (value < low || value > high) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

class Parser {
public:
    explicit Parser(const QString& script) : m_script(script) {}

    std::vector<ScriptStep> Run()
    {
        if (m_script.size() > KeysScript::kMaxLength) {
            Fail(KeysScript::kMaxLength + 1,
                 QStringLiteral("the script is longer than %1 characters")
                     .arg(KeysScript::kMaxLength));
        }
        while (m_index < m_script.size()) {
            const QChar ch = m_script.at(m_index);
            if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r')) {
                ++m_index; // line breaks only lay the script out
            } else if (IsDoubled(ch, QLatin1Char('{')) || IsDoubled(ch, QLatin1Char('[')) ||
                       IsDoubled(ch, QLatin1Char('<'))) {
                AddCharacter(ch.unicode(), 2);
            } else if (ch == QLatin1Char('{')) {
                ParseNamedKey();
            } else if (ch == QLatin1Char('[')) {
                ParseTap();
            } else if (ch == QLatin1Char('<')) {
                ParseShot();
            } else {
                qsizetype units = 1;
                const char32_t c = CodePointAt(m_script, m_index, &units);
                if (!QChar::isPrint(c)) {
                    Fail(Position(), QStringLiteral("character U+%1 cannot be typed")
                                         .arg(QString::number(static_cast<uint>(c), 16)
                                                  .toUpper()
                                                  .rightJustified(4, QLatin1Char('0'))));
                }
                AddCharacter(c, units);
            }
        }
        return std::move(m_steps);
    }

private:
    int Position() const { return static_cast<int>(m_index) + 1; }

    bool IsDoubled(QChar ch, QChar opener) const
    {
        return ch == opener && m_index + 1 < m_script.size() && m_script.at(m_index + 1) == opener;
    }

    void AddCharacter(char32_t c, qsizetype units)
    {
        ScriptStep step;
        step.kind = ScriptStep::Kind::Key;
        step.position = Position();
        step.source = m_script.mid(m_index, units);
        step.stroke = KeysScript::StrokeForCharacter(c);
        m_steps.push_back(std::move(step));
        m_index += units;
    }

    // The text between the opener at m_index and its closer; moves past the closer.
    QString Enclosed(QChar closer, int maxLength, const QString& what)
    {
        qsizetype close = m_script.indexOf(closer, m_index + 1);
        // "{}}" and "{Shift+}}" name the "}" key itself.
        if (closer == QLatin1Char('}') && close >= 0 && close + 1 < m_script.size() &&
            m_script.at(close + 1) == QLatin1Char('}') &&
            (close == m_index + 1 || m_script.at(close - 1) == QLatin1Char('+'))) {
            ++close;
        }
        if (close < 0) {
            Fail(Position(), QStringLiteral("%1 has no closing %2").arg(what, closer));
        }
        const QString content = m_script.mid(m_index + 1, close - m_index - 1);
        if (content.size() > maxLength) {
            Fail(Position(),
                 QStringLiteral("%1 is longer than %2 characters").arg(what).arg(maxLength));
        }
        if (content.contains(QLatin1Char('\n')) || content.contains(QLatin1Char('\r'))) {
            Fail(Position(), QStringLiteral("%1 runs over a line break").arg(what));
        }
        m_source = m_script.mid(m_index, close - m_index + 1);
        return content;
    }

    ScriptStep Start(ScriptStep::Kind kind) const
    {
        ScriptStep step;
        step.kind = kind;
        step.position = Position();
        step.source = m_source;
        return step;
    }

    void Finish(ScriptStep step)
    {
        m_index += m_source.size();
        m_steps.push_back(std::move(step));
    }

    void ParseNamedKey()
    {
        QString content = Enclosed(QLatin1Char('}'), kMaxKeyLength, QStringLiteral("the key {"));
        Qt::KeyboardModifiers modifiers;
        for (;;) {
            const qsizetype plus = content.indexOf(QLatin1Char('+'));
            if (plus <= 0) {
                break;
            }
            const QString prefix = content.left(plus);
            Qt::KeyboardModifier modifier = Qt::NoModifier;
            if (prefix.compare(QLatin1String("Shift"), Qt::CaseInsensitive) == 0) {
                modifier = Qt::ShiftModifier;
            } else if (prefix.compare(QLatin1String("Ctrl"), Qt::CaseInsensitive) == 0 ||
                       prefix.compare(QLatin1String("Control"), Qt::CaseInsensitive) == 0) {
                modifier = Qt::ControlModifier;
            } else if (prefix.compare(QLatin1String("Alt"), Qt::CaseInsensitive) == 0) {
                modifier = Qt::AltModifier;
            } else {
                Fail(Position(),
                     QStringLiteral("unknown modifier \"%1\" in %2 (Shift, Ctrl or Alt)")
                         .arg(prefix, m_source));
            }
            if (modifiers.testFlag(modifier)) {
                Fail(Position(),
                     QStringLiteral("modifier \"%1\" given twice in %2").arg(prefix, m_source));
            }
            modifiers |= modifier;
            content = content.mid(plus + 1);
        }
        if (content.isEmpty()) {
            Fail(Position(), QStringLiteral("no key name in %1").arg(m_source));
        }
        ScriptStep step = Start(ScriptStep::Kind::Key);
        qsizetype units = 0;
        const char32_t first = CodePointAt(content, 0, &units);
        if (units == content.size()) {
            if (!QChar::isPrint(first)) {
                Fail(Position(),
                     QStringLiteral("%1 names a character that cannot be typed").arg(m_source));
            }
            step.stroke = KeysScript::StrokeForCharacter(first, modifiers);
        } else {
            step.stroke = NamedStroke(content, modifiers);
        }
        Finish(std::move(step));
    }

    KeyStroke NamedStroke(const QString& name, Qt::KeyboardModifiers modifiers) const
    {
        KeyStroke stroke;
        stroke.modifiers = modifiers;
        const bool ctrlOrAlt = modifiers & (Qt::ControlModifier | Qt::AltModifier);
        for (const NamedKey& named : kNamedKeys) {
            if (name.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0) {
                stroke.key = named.key;
                stroke.text = ctrlOrAlt ? QString() : QString::fromLatin1(named.text);
                if (stroke.key == Qt::Key_Tab && modifiers.testFlag(Qt::ShiftModifier)) {
                    stroke.key = Qt::Key_Backtab;
                }
                return stroke;
            }
        }
        if (name.size() >= 2 && (name[0] == QLatin1Char('F') || name[0] == QLatin1Char('f'))) {
            if (const std::optional<int> number = ParseNumber(name.mid(1), false, 1, 12)) {
                stroke.key = Qt::Key_F1 + (*number - 1);
                return stroke;
            }
        }
        Fail(Position(), QStringLiteral("unknown key name \"%1\" in %2").arg(name, m_source));
    }

    void ParseTap()
    {
        const QString content =
            Enclosed(QLatin1Char(']'), kMaxBracketLength, QStringLiteral("the tap ["));
        const qsizetype colon = content.indexOf(QLatin1Char(':'));
        if (colon < 0) {
            if (content.isEmpty()) {
                Fail(Position(), QStringLiteral("no component name in []"));
            }
            for (const QChar ch : content) {
                if (!(ch.unicode() < 0x80 && (ch.isLetterOrNumber() || ch == QLatin1Char('_')))) {
                    Fail(Position(),
                         QStringLiteral("the component name in %1 may hold only letters, "
                                        "digits and _")
                             .arg(m_source));
                }
            }
            ScriptStep step = Start(ScriptStep::Kind::Tap);
            step.argument = content;
            Finish(std::move(step));
            return;
        }
        const QString kind = content.left(colon).toLower();
        const QString value = content.mid(colon + 1);
        ScriptStep step;
        std::optional<int> number;
        if (kind == QLatin1String("title") || kind == QLatin1String("row") ||
            kind == QLatin1String("dbl")) {
            step = Start(kind == QLatin1String("title") ? ScriptStep::Kind::TitleTap
                         : kind == QLatin1String("row") ? ScriptStep::Kind::RowTap
                                                        : ScriptStep::Kind::DoubleTap);
            number = ParseNumber(value, false, 0, kMaxGridIndex);
            if (!number) {
                Fail(Position(), QStringLiteral("%1 needs a number from 0 to %2")
                                     .arg(m_source)
                                     .arg(kMaxGridIndex));
            }
        } else if (kind == QLatin1String("wheel")) {
            step = Start(ScriptStep::Kind::Wheel);
            number = ParseNumber(value, true, kMinWheelDelta, kMaxWheelDelta);
            if (!number) {
                Fail(Position(), QStringLiteral("%1 needs a delta from %2 to %3")
                                     .arg(m_source)
                                     .arg(kMinWheelDelta)
                                     .arg(kMaxWheelDelta));
            }
        } else {
            Fail(Position(), QStringLiteral("unknown tap \"%1\" in %2 (title, row, dbl or wheel)")
                                 .arg(content.left(colon), m_source));
        }
        step.number = *number;
        Finish(std::move(step));
    }

    void ParseShot()
    {
        const QString content =
            Enclosed(QLatin1Char('>'), kMaxFileLength + 5, QStringLiteral("the command <"));
        if (!content.startsWith(QLatin1String("shot:"), Qt::CaseInsensitive)) {
            Fail(Position(),
                 QStringLiteral("unknown command %1 (<shot:FILE>; << types <)").arg(m_source));
        }
        const QString file = content.mid(5);
        if (file.trimmed().isEmpty()) {
            Fail(Position(), QStringLiteral("no file name in %1").arg(m_source));
        }
        if (HasControlCharacter(file)) {
            Fail(Position(),
                 QStringLiteral("the file name in <shot:...> holds a control character"));
        }
        ScriptStep step = Start(ScriptStep::Kind::Shot);
        step.argument = file;
        Finish(std::move(step));
    }

    const QString& m_script;
    qsizetype m_index = 0;
    QString m_source;
    std::vector<ScriptStep> m_steps;
};

} // namespace

KeysScriptError::KeysScriptError(int position, const QString& message)
    : std::runtime_error(
          QStringLiteral("keys script, character %1: %2").arg(position).arg(message).toStdString()),
      m_position(position)
{
}

KeysScript KeysScript::Parse(const QString& script)
{
    KeysScript result;
    result.m_steps = Parser(script).Run();
    return result;
}

KeyStroke KeysScript::StrokeForCharacter(char32_t character, Qt::KeyboardModifiers modifiers)
{
    KeyStroke stroke;
    char32_t c = character;
    if (c >= U'a' && c <= U'z') {
        if (modifiers.testFlag(Qt::ShiftModifier)) {
            c = c - U'a' + U'A';
        }
        stroke.key = Qt::Key_A + static_cast<int>(c >= U'a' ? c - U'a' : c - U'A');
    } else if (c >= U'A' && c <= U'Z') {
        modifiers |= Qt::ShiftModifier;
        stroke.key = Qt::Key_A + static_cast<int>(c - U'A');
    } else if (c >= 0x20 && c < 0x7F) {
        // Qt's key code of an ASCII symbol is the symbol itself.
        for (const auto& [plain, shifted] : kUsSymbolKeys) {
            if (static_cast<char32_t>(shifted) == c) {
                modifiers |= Qt::ShiftModifier;
                break;
            }
            if (static_cast<char32_t>(plain) == c && modifiers.testFlag(Qt::ShiftModifier)) {
                c = static_cast<char32_t>(shifted);
                break;
            }
        }
        stroke.key = static_cast<int>(c);
    } else {
        // Beyond ASCII: one key press carrying the text; Qt's key code is the
        // upper-case character.
        if (modifiers.testFlag(Qt::ShiftModifier) && QChar::isLower(c)) {
            c = QChar::toUpper(c);
        } else if (QChar::isUpper(c) && QChar::toLower(c) != c) {
            modifiers |= Qt::ShiftModifier;
        }
        stroke.key = static_cast<int>(QChar::toUpper(c));
    }
    stroke.modifiers = modifiers;
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool alt = modifiers.testFlag(Qt::AltModifier);
    if (ctrl && !alt && IsAsciiLetter(c)) {
        stroke.text = QChar(static_cast<char16_t>(c & 0x1F)); // Ctrl+A is 0x01
    } else if (!ctrl && !alt) {
        stroke.text = QString::fromUcs4(&c, 1);
    }
    return stroke;
}

} // namespace zyl
