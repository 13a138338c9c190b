// Ending the program from outside: SIGTERM (a shutdown, kill), SIGINT (Ctrl+C in the terminal
// it was started from), SIGQUIT (Ctrl+\ there) and SIGHUP (that terminal closed).
#pragma once

#include <functional>

namespace veltra::app {

// From now on the first of those signals runs bEnd on the user-interface thread, at its next
// event handling (any event loop, SYSREFRESH or SYSWAIT); bEnd is to end the process in
// order. A second signal ends the process at once, by the signal's own default action.
void WATCHENDSIGNALS(std::function<void()> bEnd);

// What the program does on such a signal: closes every port (each line put back as it was
// found), runs the exit sequence and ends the process with its exit code (0).
void ENDONSIGNAL();

} // namespace veltra::app
