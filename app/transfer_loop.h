// The transfer loop: serves the device's "T" requests with the next 5120 bytes of the image,
// ends on "E", and aborts with 0x09 when the user holds Esc.
#pragma once

#include "app/protocol.h"
#include "common/virtual_keys.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veltra::app {

// A byte string that is filled at its end and taken from its front, each byte in constant
// time: a flood of noise ahead of a command costs one step per byte, not one copy of the rest.
class ReceiveBuffer {
public:
  ReceiveBuffer& operator+=(std::string_view c) {
    m_cData.append(c);
    return *this;
  }
  ReceiveBuffer& operator=(std::string_view c) {
    m_cData.assign(c);
    m_nFront = 0;
    return *this;
  }
  // The first byte, taken off; no value when there is none.
  std::optional<char> Take();
  std::size_t size() const { return m_cData.size() - m_nFront; }
  bool empty() const { return size() == 0; }
  void clear() { *this = std::string_view(); }
  // The bytes not yet taken, valid until the next change.
  std::string_view View() const { return std::string_view(m_cData).substr(m_nFront); }
  friend bool operator==(const ReceiveBuffer& a, std::string_view b) { return a.View() == b; }

private:
  std::string m_cData;
  std::size_t m_nFront = 0; // bytes before it are taken
};

// Bytes received from the device and not yet consumed.
extern ReceiveBuffer cReceived;
// The part of the image not yet sent.
extern std::string cImage;
// Track and side shown in the log for the next block.
extern int nTrack;
extern int nSide;

using ui::VK_ESCAPE;

enum class TransferEvent {
  BlockBegins, // a "T" is being served: the block's log line and its bytes follow
  BlockSent,   // the 0x00 and every byte of the block have left
  WriteFailed, // a write of the block left short; nothing more is served
  Aborted,     // Esc: the abort byte 0x09 was sent
  LineLost,    // the line is gone; nothing more is served
  ImageEnded,  // a "T" came after the whole image was sent: answered with the 0x00 alone
};

// One event of the transfer. For the block events: its track and side, nBytes image bytes in
// the block (5120, fewer at the end of the image, 0 once it is used up) and nSent of them that
// left (all of them for BlockSent; for WriteFailed, 0 when the 0x00 itself did not go).
// WriteFailed and LineLost come before the loop's own log line that says so. ImageEnded comes
// for every request past the end of the image (in place of BlockBegins and BlockSent), with
// the track and side asked for and nBytes 0; nBlocks is the count of blocks the image made.
struct TransferNews {
  TransferEvent eEvent;
  int nTrack = 0;
  int nSide = 0;
  std::size_t nBytes = 0;
  std::size_t nSent = 0;
  int nBlocks = 0;
};

// Everything the loop needs from its surroundings: the port write, the message pump (and
// its non-spinning wait), the pause, the key test, the log (the log control's text
// operations, or one operation that takes each line) and the close of the window that owns
// the log.
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
  // When set, the log is this one operation, given each line without its line break, and the
  // four above are not used (a front end without a log control: the terminal).
  std::function<void(std::string_view cLine)> APPENDLINE;
  std::function<bool()> End;
  // True once the line to the device is gone and every byte received before has been taken.
  // When unset, the line is never lost.
  std::function<bool()> LINELOST;
  // When set, told what happened, as it happens, so that a front end can show progress and a
  // summary without reading the log text (see TransferNews).
  std::function<void(const TransferNews&)> bNews;
};

// How the log line of each block begins: "Sending track 0, side 1".
inline constexpr std::string_view kSendingTrack = "Sending track ";

// The log line written at the first request past the end of the image, with the track and
// side asked for and the blocks the image made: "Image ended: the device asked for track 80,
// side 0, the image has 160 blocks (ESC to exit)".
std::string IMAGEENDEDMESSAGE(int nAskedTrack, int nAskedSide, int nBlocks);

// The log line written once when the line to the device is gone.
inline constexpr std::string_view kLineLostMessage =
    "Port lost: the device was unplugged or closed (ESC to exit)";

// Serves the device until it sends "E" (the window is ended), Esc aborts (0x09 is sent), the
// line is lost or a block cannot be written whole (one log line says so; nothing more is sent
// and the window is left to the user, who ends it with Esc).
void VELTRA(int nComm, const TransferBinding& oGet);
// The next command byte, or no value when Esc was down or the line was lost before a byte was
// taken.
std::optional<std::string> WAITCOMMAND(const TransferBinding& oGet);
std::string GETCHAR();
// Logs and sends the next block. Past the end of the image the 0x00 goes alone, and the first
// time that happens one more log line says so. True when the 0x00 and the whole block left;
// otherwise the failure is logged ("Write failed: track 3, side 1, 1023 of 5120 bytes sent (ESC to
// exit)"), only the bytes that left are taken off cImage, and the track and side stay on that
// block.
bool TRK(int nComm, const TransferBinding& oGet);
void MESSAGE(const TransferBinding& oGet, std::string_view cText);
bool SENDSTR(int nComm, std::string_view cData, const TransferBinding& oGet);
// The count of bytes of cData that the port write took, 0 when it failed.
std::size_t SENDCOUNT(int nComm, std::string_view cData, const TransferBinding& oGet);

// Puts the loop's module variables back to their start values: for a front end that serves
// several disks one after the other (veltra-send), and for tests.
void RESETTRANSFERSTATE();

} // namespace veltra::app
