// The message pump of the user-interface thread: handling every pending event, a wait that
// sleeps until something worth looking at happens, the quit request, the last key, and the
// pause.
#pragma once

#include <optional>

namespace veltra::serial {

// Handles every event pending for the user-interface thread and returns without waiting.
// Returns false when it took a quit request (see POSTQUITMESSAGE), true otherwise. The quit
// request is taken after the posted events; once taken, nothing else is handled in this call
// (input, timers and events posted meanwhile stay queued for the next one).
bool SYSREFRESH();

// The non-spinning form of SYSREFRESH for polling loops: sleeps until WAKEWAIT is called
// (a comm notification was handled, a key went down or up, a dialog ended) or nMaxMs have
// passed, handling events meanwhile, then returns as SYSREFRESH does.
bool SYSWAIT(int nMaxMs = 20);

// Ends the current SYSWAIT, or makes the next one return at once. Callable from any thread.
void WAKEWAIT();

// Queues a quit request for the user-interface thread; SYSREFRESH returns false when it
// takes it, and passes it on to the program's main loop when that is running. Callable from
// any thread.
void POSTQUITMESSAGE(int nExitCode = 0);

// The last key of a character message: the window layer's key tracker stores it (the pump
// itself sees no key events). Only the low 16 bits are kept.
void SETLASTKEY(int nKey);
int LASTKEY();

// The dialog whose keyboard messages SYSREFRESH offers to the dialog manager before
// dispatching them (Esc, Tab and Enter act as dialog keys there); 0 for none. The window layer
// names its innermost running dialog. Returns the previous one. Qt's own dialogs handle their
// keys themselves, so there the choice is only kept.
int SETPUMPDIALOG(int hDlg);

} // namespace veltra::serial
