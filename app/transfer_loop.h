// The transfer loop: serves the device's "T" requests with the next 5120 bytes of the image,
// ends on "E", and aborts with 0x09 when the user holds Esc.
#pragma once

#include "ui/virtual_keys.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veltra::app {

// Bytes received from the device and not yet consumed.
extern std::string cReceived;
// The part of the image not yet sent.
extern std::string cImage;
// Track and side shown in the log for the next block.
extern int nTrack;
extern int nSide;

using ui::VK_ESCAPE;
inline constexpr std::size_t kBlockSize = 5120;

// Everything the loop needs from its surroundings: the port write, the message pump (and
// its non-spinning wait), the pause, the key test, the log control's text operations and
// the close of the window that owns the log.
struct TransferBinding {
  std::function<long(int nComm, std::string_view cData)> WRITECOMM;
  std::function<bool()> SYSREFRESH;
  // Sleeps until something may have changed (a notification handled, a key pressed or
  // released, the window ended) or a short bound passed, then pumps as SYSREFRESH does.
  // When unset, the wait pumps with SYSREFRESH alone.
  std::function<bool()> SYSWAIT;
  std::function<void(long nMilliseconds)> SLEEP;
  std::function<bool(int nVirtualKey)> GETASYNCKEYSTATE;
  std::function<std::string()> VarGet;
  std::function<void(std::string)> VarPut;
  std::function<void(bool lErase)> Refresh;
  std::function<void()> GoBottom;
  std::function<bool()> End;
  // True once the line to the device is gone and every byte received before has been taken.
  // When unset, the line is never lost.
  std::function<bool()> LINELOST;
};

// The log line written once when the line to the device is gone.
inline constexpr std::string_view kLineLostMessage =
    "Port lost: the device was unplugged or closed (ESC to exit)";

// Serves the device until it sends "E" (the window is ended), Esc aborts (0x09 is sent) or the
// line is lost (one log line says so; nothing is sent and the window is left to the user).
void VELTRA(int nComm, const TransferBinding& oGet);
// The next command byte, or no value when Esc was down or the line was lost before a byte was
// taken.
std::optional<std::string> WAITCOMMAND(const TransferBinding& oGet);
std::string GETCHAR();
void TRK(int nComm, const TransferBinding& oGet);
void MESSAGE(const TransferBinding& oGet, std::string_view cText);
bool SENDSTR(int nComm, std::string_view cData, const TransferBinding& oGet);

} // namespace veltra::app
