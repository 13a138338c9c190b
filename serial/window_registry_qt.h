// Window handles: small integers that name a receiver object living on the user-interface
// thread. Notifications reach windows through their handles, so a window that has gone away
// is simply not found instead of being touched after it was freed.
#pragma once

class QObject;
class QEvent;

namespace veltra::serial {

// Registers pReceiver and returns its handle (1 or more, never reused in a process).
int REGISTERWINDOW(QObject* pReceiver);

// Forgets hWnd. After it returns no further event is posted to its receiver.
void UNREGISTERWINDOW(int hWnd);

// Delivers oEvent at once to the receiver named by hWnd. Only on the user-interface thread,
// where the receivers live (so none can go away during the call). False, and nothing
// delivered, when hWnd is 0 or names no registered window.
bool SENDTOWINDOW(int hWnd, QEvent& oEvent);

} // namespace veltra::serial
