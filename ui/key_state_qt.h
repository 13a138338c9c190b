// Key state on Qt: the key codes of Qt's key events and the application-wide key tracker. On
// X11 the server's keyboard state is read; elsewhere the tracker of key presses and releases
// stands in.
#pragma once

#include "ui/key_state.h"

namespace veltra::ui {

// Virtual-key code of a Qt key (Qt::Key value); 0 when it has none.
int VKFROMQTKEY(int nQtKey);

// Installs the application-wide key tracker (once; later calls do nothing). Needs the
// application object; GETASYNCKEYSTATE and TDialog::Activate call it.
void INSTALLKEYTRACKER();

// True while the tracker holds nVirtualKey as down (the fallback source of GETASYNCKEYSTATE).
bool TRACKEDKEYDOWN(int nVirtualKey);

} // namespace veltra::ui
