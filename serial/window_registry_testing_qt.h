// What only the suites call on the window handles of window_registry_qt.h: posting to a
// handle from any thread, and whether a handle is still registered.
#pragma once

#include <memory>

class QEvent;

namespace veltra::serial {

// Posts oEvent to the receiver named by hWnd (from any thread). Returns false, and destroys
// the event, when hWnd is 0 or names no registered window.
bool POSTTOWINDOW(int hWnd, std::unique_ptr<QEvent> oEvent);

// True while hWnd names a registered window.
bool ISWINDOW(int hWnd);

} // namespace veltra::serial
