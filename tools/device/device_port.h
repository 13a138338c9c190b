// The emulator's end of the line: a pseudo-terminal it creates, or a real serial port it
// opens exclusively and configures like VELTRA does.
#pragma once

#include "common/unique_fd.h"
#include "tools/device/device_options.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace veltra::tools {

// A real port's line settings as found, put back when the port is closed.
struct SavedLine;

struct DevicePort {
  common::UniqueFd oFd; // non-blocking
  std::string cPath;    // the path the PC opens (the pty's slave side)
  // Declared after oFd, so destroyed first: the line is put back while it is still open.
  std::unique_ptr<SavedLine> pSaved;

  DevicePort();
  DevicePort(DevicePort&&) noexcept;
  DevicePort& operator=(DevicePort&&) noexcept;
  ~DevicePort();
};

// A pseudo-terminal whose slave side is already raw, so nothing is echoed or translated
// before the PC configures it.
std::optional<DevicePort> CreatePty();

// A real port, by its VELTRA.INI name, locked and set to oLine (115200,8N2 by default), its
// settings saved first. Never a system console nor the terminal this program runs in: those
// are refused with ECOMMCONSOLE or ECOMMOWNTERMINAL (serial/comm_port.h), a console before it
// is even opened. No value with errno saying why.
std::optional<DevicePort> OpenPort(const std::string& cName,
                                   const std::optional<LineFormat>& oLine);

// Puts the line of the open port back as OpenPort found it, from a signal handler
// (async-signal-safe).
void RESTOREPORTNOW();

// Waits (up to tLimit) until someone opens the slave side: until then the master reports a
// hang-up. False when nobody did.
bool WaitForPeer(int nMaster, std::chrono::steady_clock::duration tLimit);

// Before closing a pty, waits (up to tLimit) until the PC has closed its end: closing the
// master first would discard the last command unread. Whatever arrives meanwhile is dropped.
void WaitForPeerToClose(int nMaster, std::chrono::steady_clock::duration tLimit);

// Writes all of cData to the non-blocking nFd; false when the port has gone.
bool WriteAll(int nFd, std::string_view cData);

} // namespace veltra::tools
