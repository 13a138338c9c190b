// Key state: whether a key is down at this moment, by virtual-key code. On Windows a key
// counts only while a window of this process is in the foreground.
#pragma once

#include "common/virtual_keys.h"

namespace veltra::ui {

// True while the key is held down now.
bool GETASYNCKEYSTATE(int nVirtualKey);

// True while a key press or release wakes a waiting loop by itself (serial::SYSWAIT): one of
// the application's windows has the keyboard (on X11 also: no modifier is held). False while
// another window has it: a loop waiting for a key then has to ask again at short intervals.
bool KEYSTATEFROMEVENTS();

// The last character typed, as the message pump records it.
void NOTELASTKEY(int nKey);
int LASTKEYNOTED();

} // namespace veltra::ui
