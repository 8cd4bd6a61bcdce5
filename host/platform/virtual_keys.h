#pragma once

namespace host {

// Windows virtual-key codes, the key codes every key handler of the run time takes.
inline constexpr int VK_BACK = 8;
inline constexpr int VK_TAB = 9;
inline constexpr int VK_RETURN = 13;
inline constexpr int VK_SHIFT = 16;
inline constexpr int VK_CONTROL = 17;
inline constexpr int VK_MENU = 18; // Alt
inline constexpr int VK_PAUSE = 19;
inline constexpr int VK_CAPITAL = 20;
inline constexpr int VK_ESCAPE = 27;
inline constexpr int VK_SPACE = 32;
inline constexpr int VK_PRIOR = 33; // Page Up
inline constexpr int VK_NEXT = 34;  // Page Down
inline constexpr int VK_END = 35;
inline constexpr int VK_HOME = 36;
inline constexpr int VK_LEFT = 37;
inline constexpr int VK_UP = 38;
inline constexpr int VK_RIGHT = 39;
inline constexpr int VK_DOWN = 40;
inline constexpr int VK_INSERT = 45;
inline constexpr int VK_DELETE = 46;
inline constexpr int VK_0 = 48; // '0'..'9' are 48..57
inline constexpr int VK_5 = 53;
inline constexpr int VK_A = 65;   // 'A'..'Z' are 65..90
inline constexpr int VK_F1 = 112; // F1..F12 are 112..123
inline constexpr int VK_F4 = 115;
inline constexpr int VK_F12 = 123;
inline constexpr int VK_OEM_1 = 186;      // ; (ç on a Brazilian keyboard)
inline constexpr int VK_OEM_PLUS = 187;   // =
inline constexpr int VK_OEM_COMMA = 188;  // ,
inline constexpr int VK_OEM_MINUS = 189;  // -
inline constexpr int VK_OEM_PERIOD = 190; // .
inline constexpr int VK_OEM_2 = 191;      // /
inline constexpr int VK_OEM_3 = 192;      // `
inline constexpr int VK_OEM_4 = 219;      // [
inline constexpr int VK_OEM_5 = 220;      // backslash
inline constexpr int VK_OEM_6 = 221;      // ]
inline constexpr int VK_OEM_7 = 222;      // '

// Virtual-key code of a Qt key (Qt::Key); 0 when the key has none. Shifted digit
// symbols of the US layout give their digit's code, as the physical key would
// ("%" gives "5", 53).
int VirtualKeyFromQtKey(int qtKey);

// Qt key (Qt::Key) of a virtual-key code; 0 (Qt::Key_unknown is never returned)
// when the code has none.
int QtKeyFromVirtualKey(int vk);

} // namespace host
