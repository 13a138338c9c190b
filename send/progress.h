// What veltra-send shows while it serves the device: on a terminal one line redrawn in place
// (block count, track and side, bytes, percentage, the measured rate, the time left); into a
// file or a pipe the transfer loop's log, one plain line each. The counts come from the loop's
// events, never from its log text, and count only what has left. Output is held back until the
// loop has time for it (the pause after the 0x00, or a wait for the device), so that writing
// it never delays an answer.
#pragma once

#include "app/transfer_loop.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace veltra::send {

struct Progress {
  int nBlock = 0; // blocks sent whole
  int nBlocks = 0;
  int nTrack = 0; // of the last block sent
  int nSide = 0;
  std::size_t nDone = 0; // bytes of the blocks sent whole
  std::size_t nTotal = 0;
  double dSeconds = 0; // since the first block began
};

// "Block 3/160  track 1 side 0  10240/819200 bytes  1%  11.1 KiB/s  1:12 left", cut to
// nColumns - 1 characters so that it never wraps.
std::string FORMATPROGRESS(const Progress& o, std::size_t nColumns);

// "1:05", or "1:02:03" from an hour on.
std::string FORMATDURATION(double dSeconds);

class TerminalLog {
public:
  // lTerminal: standard output is a terminal; bWrite writes to it; bColumns gives its width.
  TerminalLog(bool lTerminal, std::size_t nTotal, std::function<void(std::string_view)> bWrite,
              std::function<std::size_t()> bColumns);

  // One line of the transfer loop's log. On a terminal the block's own line is left to the
  // progress line; once the transfer has failed, the summary says it instead.
  void Append(std::string_view cLine);
  // One event of the transfer loop.
  void News(const app::TransferNews& o);
  // Writes what waits (the redrawn progress line, the plain lines).
  void Flush();
  // What waits, then cSummary on a line of its own.
  void Finish(std::string_view cSummary);

  int Blocks() const { return m_oNow.nBlock; }
  std::size_t Bytes() const { return m_oNow.nDone; }
  double Seconds() const;

private:
  void Draw();

  bool m_lTerminal;
  std::function<void(std::string_view)> m_bWrite;
  std::function<std::size_t()> m_bColumns;
  Progress m_oNow;
  bool m_lStarted = false; // the first block has begun
  bool m_lInBlock = false; // a block is being sent
  bool m_lFailed = false;  // the line was lost or a write left short
  std::chrono::steady_clock::time_point m_tFirst{};
  std::string m_cStatus;  // the terminal's line before the first block
  std::string m_cPending; // plain lines not yet written
  bool m_lDirty = false;
  bool m_lDrawn = false;
};

} // namespace veltra::send
