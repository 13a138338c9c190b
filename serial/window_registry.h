// Window handles: small integers that name a receiver object living on the user-interface
// thread. Receive workers post their notifications through a handle, so a window that has
// gone away is simply not found instead of being touched after it was freed.
#pragma once

#include <memory>

class QObject;
class QEvent;

namespace veltra::serial {

// Registers pReceiver and returns its handle (1 or more, never reused in a process).
int REGISTERWINDOW(QObject* pReceiver);

// Forgets hWnd. After it returns no further event is posted to its receiver.
void UNREGISTERWINDOW(int hWnd);

// Posts oEvent to the receiver named by hWnd (from any thread). Returns false, and destroys
// the event, when hWnd is 0 or names no registered window.
bool POSTTOWINDOW(int hWnd, std::unique_ptr<QEvent> oEvent);

// True while hWnd names a registered window.
bool ISWINDOW(int hWnd);

} // namespace veltra::serial
