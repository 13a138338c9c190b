// The settings of the message pump that its platform-free part keeps (message_pump.cpp) and
// the platform's pump reads. User-interface thread only.
#pragma once

namespace veltra::serial::detail {

// As SETMAINLOOPRUNNING left it: a quit request taken by SYSREFRESH also ends the main loop.
bool MainLoopRunning();

// As SETPUMPDIALOG left it: the dialog offered keyboard messages first; 0 for none.
int PumpDialog();

} // namespace veltra::serial::detail
