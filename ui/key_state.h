// Key state: whether a key is down at this moment, whichever window has the focus, by
// virtual-key code. On X11 the server's keyboard state is read; elsewhere an application-wide
// tracker of key presses and releases stands in.
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

// True while the key is held down now.
bool GETASYNCKEYSTATE(int nVirtualKey);

// True while GETASYNCKEYSTATE answers from the application's own key events: one of its
// windows has the keyboard and no modifier is held, so every press and release reaches it
// and wakes a waiting loop (serial::WAKEWAIT). False while another window has the keyboard:
// the key state is then read from the X server, and a loop waiting for a key has to ask again
// at short intervals.
bool KEYSTATEFROMEVENTS();

// Virtual-key code of a Qt key (Qt::Key value); 0 when it has none.
int VKFROMQTKEY(int nQtKey);

// Installs the application-wide key tracker (once; later calls do nothing). Needs the
// application object; GETASYNCKEYSTATE and TDialog::Activate call it.
void INSTALLKEYTRACKER();

// True while the tracker holds nVirtualKey as down (the fallback source of GETASYNCKEYSTATE).
bool TRACKEDKEYDOWN(int nVirtualKey);

// The last character typed, as the message pump records it.
void NOTELASTKEY(int nKey);
int LASTKEYNOTED();

} // namespace veltra::ui
