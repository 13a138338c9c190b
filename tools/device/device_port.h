// The emulator's end of the line: a pseudo-terminal it creates, or a real serial port it
// opens exclusively and configures like VELTRA does.
#pragma once

#include "serial/unique_fd.h"
#include "tools/device/device_options.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace veltra::tools {

struct DevicePort {
  serial::detail::UniqueFd oFd; // non-blocking
  std::string cPath;            // the path the PC opens (the pty's slave side)
};

// A pseudo-terminal whose slave side is already raw, so nothing is echoed or translated
// before the PC configures it.
std::optional<DevicePort> CreatePty();

// A real port, by its VELTRA.INI name, locked and set to oLine (115200,8N2 by default).
std::optional<DevicePort> OpenPort(const std::string& cName,
                                   const std::optional<LineFormat>& oLine);

// Waits until someone opens the slave side: until then the master reports a hang-up.
void WaitForPeer(int nMaster);

// Before closing a pty, waits (up to tLimit) until the PC has closed its end: closing the
// master first would discard the last command unread. Whatever arrives meanwhile is dropped.
void WaitForPeerToClose(int nMaster, std::chrono::steady_clock::duration tLimit);

// Writes all of cData to the non-blocking nFd; false when the port has gone.
bool WriteAll(int nFd, std::string_view cData);

} // namespace veltra::tools
