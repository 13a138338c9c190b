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

} // namespace veltra::serial::detail
