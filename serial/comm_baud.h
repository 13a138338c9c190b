// Line speeds that the termios interface of the C library cannot express: set and read back
// through the kernel's termios2 (BOTHER). Kept apart because the kernel's termios header
// cannot be included together with the C library's.
#pragma once

#include <optional>

namespace veltra::serial::detail {

// Sets any baud rate on the open terminal nFd, leaving its other settings alone.
bool SetAnyBaudRate(int nFd, unsigned nBaud);

// The output baud rate the driver reports for nFd, standard or not. Where the driver (or an
// emulator) has no termios2, a standard rate is read through the classic termios instead; a
// rate set by number (BOTHER) then reads as no value.
std::optional<unsigned> ReadBaudRate(int nFd);

// The rate of a classic termios speed code (B9600 and so on: the same values in the kernel's
// header and the C library's); no value for a code outside the table.
std::optional<unsigned> StandardRateOfCode(unsigned nCode);

} // namespace veltra::serial::detail
