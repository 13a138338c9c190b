// What the close check asks of the platform about the keyboard focus and a failed field.
#pragma once

#include "ui/control.h"

#include <functional>

namespace veltra::ui {

// A way back to the window that has the keyboard focus now (it does nothing once that window
// is gone).
std::function<void()> FOCUSRETURN();

// True when the window has the keyboard focus.
bool HASFOCUS(const TWindow& oWnd);

// Shows the control on a red background, or back in its own colours.
void SHOWALERT(TControl& oControl, bool lOn);

} // namespace veltra::ui
