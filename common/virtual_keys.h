// Virtual-key codes of the keys the program and its windows name, one definition for every
// platform (they are the Win32 values). They are the key-state query's vocabulary, so they stay
// in the window layer's namespace; the file lives here so that the transfer loop, which links
// no window code, can name Esc.
#pragma once

namespace veltra::ui {

inline constexpr int VK_BACK = 8;
inline constexpr int VK_TAB = 9;
inline constexpr int VK_RETURN = 13;
inline constexpr int VK_SHIFT = 16;
inline constexpr int VK_CONTROL = 17;
inline constexpr int VK_MENU = 18; // Alt
inline constexpr int VK_ESCAPE = 27;
inline constexpr int VK_SPACE = 32;
inline constexpr int VK_PRIOR = 33;
inline constexpr int VK_NEXT = 34;
inline constexpr int VK_END = 35;
inline constexpr int VK_HOME = 36;
inline constexpr int VK_LEFT = 37;
inline constexpr int VK_UP = 38;
inline constexpr int VK_RIGHT = 39;
inline constexpr int VK_DOWN = 40;
inline constexpr int VK_INSERT = 45;
inline constexpr int VK_DELETE = 46;
inline constexpr int VK_F1 = 112;
inline constexpr int VK_F4 = 115;
inline constexpr int VK_F12 = 123;
// Digits and letters are their own upper-case ASCII codes ('0'..'9', 'A'..'Z').

} // namespace veltra::ui
