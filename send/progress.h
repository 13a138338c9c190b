// What veltra-send shows while it serves the device: on a terminal one line redrawn in place
// (block count, track and side, bytes, percentage, the measured rate, the time left); into a
// file or a pipe the transfer loop's log, one plain line each. Output is held back until the
// loop has time for it (the pause after the 0x00, or a wait for the device), so that writing
// it never delays an answer.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace veltra::send {

struct Progress {
  int nBlock = 0; // the block being sent, from 1
  int nBlocks = 0;
  int nTrack = 0;
  int nSide = 0;
  std::size_t nDone = 0; // bytes of the blocks sent before
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

  // One line of the transfer loop's log, with the loop's state when it was written: the
  // bytes of the image not yet sent, and the track and side of the block it announces.
  void Append(std::string_view cLine, std::size_t nLeft, int nTrack, int nSide);
  // Writes what waits (the redrawn progress line, the plain lines).
  void Flush();
  // The last state (nLeft bytes not sent), then cSummary on a line of its own.
  void Finish(std::size_t nLeft, std::string_view cSummary);

  int Blocks() const { return m_oNow.nBlock; }
  double Seconds() const;

private:
  void Draw();

  bool m_lTerminal;
  std::function<void(std::string_view)> m_bWrite;
  std::function<std::size_t()> m_bColumns;
  Progress m_oNow;
  std::chrono::steady_clock::time_point m_tFirst{};
  std::string m_cStatus;  // the terminal's line before the first block
  std::string m_cPending; // plain lines not yet written
  bool m_lDirty = false;
  bool m_lDrawn = false;
};

} // namespace veltra::send
