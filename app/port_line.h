// The part of the port link that needs no window, shared by VELTRA and veltra-send: opening
// and configuring the line, moving received bytes into the receive buffer, and telling the
// person at the terminal why an open failed and which ports there are.
#pragma once

#include <string>
#include <string_view>

namespace veltra::app {

// The step of setting up the line that failed.
enum class LineStep { None, Open, Parameters, State };

struct LineSetup {
  int nComm = -1;
  LineStep eFailed = LineStep::None;
  int nErrno = 0;      // the system's reason, when the open failed
  std::string cDevice; // the device path the port name stands for
};

// Opens cPort (as named in VELTRA.INI) with 16384-byte queues at 115200 baud, 8N2. On failure
// the port is closed again and nComm is -1.
LineSetup OPENLINE(const std::string& cPort);

// Moves every waiting byte into the transfer loop's receive buffer, in reads of at most 1000,
// with notification off meanwhile; the caller arms it again.
void CONNECT(int nComm);

// What each receive notification does: moves the waiting bytes into the receive buffer, then
// arms notification for hWnd again.
void RECEIVENOTIFIED(int nComm, int hWnd);

// Ties the port's receive notification to hWnd, then takes at once what the device sent
// while the line was being set up: those bytes were announced to no one, and a command among
// them would otherwise wait for the device's next byte, which may never come.
void ARMLINE(int nComm, int hWnd);

// At most 1000 bytes received on the port, exactly as many as were waiting.
std::string RECEIVESTR(int nComm);

// One line for standard error, from cProgram, saying which device could not be opened and
// what to do about it, from the system's reason (errno).
std::string OPENFAILUREHINT(const std::string& cDevice, int nErrno,
                            std::string_view cProgram = "veltra");

// The hint, then the serial ports present (the system console left out), one per line, so
// that a wrong name meets the right one.
std::string OPENFAILUREREPORT(const std::string& cDevice, int nErrno, std::string_view cProgram);

} // namespace veltra::app
