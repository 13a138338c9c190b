// What only the suites and the benchmarks call on the serial layer: observers of an open port
// and the message pump's main-loop switch. Compiled into the library with the rest, so they
// see the very code the programs run; the programs themselves never need them.
#pragma once

#include <optional>

namespace veltra::serial {

// Bytes in the port's receive ring not yet read; -1 when the handle is not open.
int COMMRECEIVED(int nComm);

// Processor time used so far by the port's receive worker, in seconds.
std::optional<double> COMMWORKERCPUTIME(int nComm);

// True while the program's main loop runs (a quit request taken by SYSREFRESH then ends the
// main loop too).
void SETMAINLOOPRUNNING(bool lRunning);

} // namespace veltra::serial
