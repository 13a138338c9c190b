// Line speeds that the termios interface of the C library cannot express: set and read back
// through the kernel's termios2 (BOTHER). Kept apart because the kernel's termios header
// cannot be included together with the C library's.
#pragma once

#include <optional>

namespace veltra::serial::detail {

// Sets any baud rate on the open terminal nFd, leaving its other settings alone.
bool SetAnyBaudRate(int nFd, unsigned nBaud);

// The output baud rate the driver reports for nFd, standard or not.
std::optional<unsigned> ReadBaudRate(int nFd);

} // namespace veltra::serial::detail
