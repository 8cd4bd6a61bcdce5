#pragma once

#include <QString>
#include <Qt>
#include <stdexcept>
#include <vector>

namespace zyl {

// One physical key press: the Qt key, the modifiers held and the text it types.
struct KeyStroke {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    QString text;

    bool operator==(const KeyStroke&) const = default;
};

// One step of a keys script.
struct ScriptStep {
    enum class Kind {
        Key,       // a key press (a plain character or {Mod+Name})
        Tap,       // [name]: a tap at the centre of the component
        TitleTap,  // [title:N]: a tap on the title of grid column N
        RowTap,    // [row:N]: a tap on visible grid row N
        DoubleTap, // [dbl:N]: a double tap on visible grid row N
        Wheel,     // [wheel:D]: one wheel message with delta D over the grid
        Shot,      // <shot:FILE>: a PNG of the dialog
    };

    Kind kind = Kind::Key;
    int position = 1; // 1-based character position of the step in the script
    QString source;   // the step as written
    KeyStroke stroke; // Key
    QString argument; // Tap: component name; Shot: file name
    int number = 0;   // TitleTap, RowTap, DoubleTap: N; Wheel: D
};

// A script that cannot be played; the message names the position and the cause.
class KeysScriptError : public std::runtime_error {
public:
    KeysScriptError(int position, const QString& message);
    int Position() const { return m_position; }
    QString Message() const { return QString::fromUtf8(what()); }

private:
    int m_position;
};

// The keys-script language of the demo host:
//   a plain character  types it as on a US keyboard (Shift for capitals and shifted
//                      symbols, so "%" is Shift+5); other printable characters ("ç")
//                      are one key press carrying that text;
//   {Name} {Mod+Name}  a named key (Enter, Esc, Backspace, Delete, CapsLock, Shift,
//                      F1..F12, Up, Down, ...) or one character, with Shift, Ctrl, Alt;
//   [name]             a tap on the form's component of that name (any case);
//   [title:N] [row:N] [dbl:N] [wheel:D]   grid title tap, row tap, row double tap,
//                      one wheel message;
//   <shot:FILE>        a PNG of the dialog;
//   {{ [[ <<           the characters { [ < themselves; line breaks are skipped.
class KeysScript {
public:
    static constexpr int kMaxLength = 100000;

    // Raises KeysScriptError for a script that cannot be played.
    static KeysScript Parse(const QString& script);

    // The key press that types the character on a US keyboard; with Shift added,
    // the shifted character of the same key ("5" gives "%").
    static KeyStroke StrokeForCharacter(char32_t character, Qt::KeyboardModifiers modifiers = {});

    const std::vector<ScriptStep>& Steps() const { return m_steps; }

private:
    std::vector<ScriptStep> m_steps;
};

} // namespace zyl
