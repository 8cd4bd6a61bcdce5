#include "host/platform/virtual_keys.h"

#include <Qt>
#include <utility>

namespace host {

namespace {

// Keys whose virtual-key code is not a plain range of the Qt key space. The first
// entry for a code is the key QtKeyFromVirtualKey gives back.
constexpr std::pair<int, int> kKeyTable[] = {
    {Qt::Key_Backspace, VK_BACK},
    {Qt::Key_Tab, VK_TAB},
    {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},
    {Qt::Key_Enter, VK_RETURN},
    {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL},
    {Qt::Key_Alt, VK_MENU},
    {Qt::Key_AltGr, VK_MENU},
    {Qt::Key_Pause, VK_PAUSE},
    {Qt::Key_CapsLock, VK_CAPITAL},
    {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE},
    {Qt::Key_PageUp, VK_PRIOR},
    {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END},
    {Qt::Key_Home, VK_HOME},
    {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP},
    {Qt::Key_Right, VK_RIGHT},
    {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Insert, VK_INSERT},
    {Qt::Key_Delete, VK_DELETE},
    // Shifted digits of the US layout: the physical key is the digit.
    {Qt::Key_Exclam, VK_0 + 1},
    {Qt::Key_At, VK_0 + 2},
    {Qt::Key_NumberSign, VK_0 + 3},
    {Qt::Key_Dollar, VK_0 + 4},
    {Qt::Key_Percent, VK_0 + 5},
    {Qt::Key_AsciiCircum, VK_0 + 6},
    {Qt::Key_Ampersand, VK_0 + 7},
    {Qt::Key_Asterisk, VK_0 + 8},
    {Qt::Key_ParenLeft, VK_0 + 9},
    {Qt::Key_ParenRight, VK_0},
    // Punctuation keys (the unshifted symbol first).
    {Qt::Key_Semicolon, VK_OEM_1},
    {Qt::Key_Colon, VK_OEM_1},
    {Qt::Key_Ccedilla, VK_OEM_1},
    {Qt::Key_Equal, VK_OEM_PLUS},
    {Qt::Key_Plus, VK_OEM_PLUS},
    {Qt::Key_Comma, VK_OEM_COMMA},
    {Qt::Key_Less, VK_OEM_COMMA},
    {Qt::Key_Minus, VK_OEM_MINUS},
    {Qt::Key_Underscore, VK_OEM_MINUS},
    {Qt::Key_Period, VK_OEM_PERIOD},
    {Qt::Key_Greater, VK_OEM_PERIOD},
    {Qt::Key_Slash, VK_OEM_2},
    {Qt::Key_Question, VK_OEM_2},
    {Qt::Key_QuoteLeft, VK_OEM_3},
    {Qt::Key_BracketLeft, VK_OEM_4},
    {Qt::Key_Backslash, VK_OEM_5},
    {Qt::Key_Bar, VK_OEM_5},
    {Qt::Key_BracketRight, VK_OEM_6},
    {Qt::Key_Apostrophe, VK_OEM_7},
    {Qt::Key_QuoteDbl, VK_OEM_7},
};

} // namespace

int VirtualKeyFromQtKey(int qtKey)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        return VK_A + (qtKey - Qt::Key_A);
    }
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return VK_0 + (qtKey - Qt::Key_0);
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) {
        return VK_F1 + (qtKey - Qt::Key_F1);
    }
    for (const auto& [key, vk] : kKeyTable) {
        if (key == qtKey) {
            return vk;
        }
    }
    return 0;
}

int QtKeyFromVirtualKey(int vk)
{
    if (vk >= VK_A && vk < VK_A + 26) {
        return Qt::Key_A + (vk - VK_A);
    }
    if (vk >= VK_0 && vk <= VK_0 + 9) {
        return Qt::Key_0 + (vk - VK_0);
    }
    if (vk >= VK_F1 && vk <= VK_F12) {
        return Qt::Key_F1 + (vk - VK_F1);
    }
    for (const auto& [key, code] : kKeyTable) {
        if (code == vk) {
            return key;
        }
    }
    return 0;
}

} // namespace host
