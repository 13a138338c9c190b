// How a configuration record maps onto termios (raw mode, size, parity, stop bits, no flow
// control), and the settings a read-back must show.
#pragma once

#include "serial/comm_dcb.h"

#include <optional>
#include <termios.h>

namespace veltra::serial::detail {

// Raw mode with the receiver on and modem lines ignored; the speed is left alone.
void MakeRawLine(termios& oTio);

// MakeRawLine plus data bits, parity and stop bits of oSettings; no hardware or software flow
// control. The speed is left alone.
void ApplyLineSettings(const LineSettings& oSettings, termios& oTio);

// The c_cflag bits that carry size, parity and stop bits.
tcflag_t LineFormatBits(const termios& oTio);

// The termios speed constant for a standard rate; no value for other rates.
std::optional<speed_t> StandardSpeed(unsigned nBaud);

// The driver's output queue as WRITECOMM watches it after the last write: the bytes it still
// holds (0 when it cannot tell), its drain and its purge. A unit test puts its own in, since
// a pseudo-terminal's queue always reads empty and its drain returns at once.
struct OutputQueueCalls {
  int (*bQueued)(int nFd);
  int (*bDrain)(int nFd);
  void (*bPurge)(int nFd);
};
extern OutputQueueCalls g_oOutputQueue;

} // namespace veltra::serial::detail
