// What veltra-send shows while it serves the device: on a terminal one line redrawn in place
// (block count, track and side, bytes, percentage, the measured rate, the time left); into a
// file or a pipe the transfer loop's log, one plain line each. The counts come from the loop's
// events, never from its log text, and count only what has left. Output is held back until the
// loop has time for it (the pause after the 0x00, or a wait for the device), and then written
// only as far as the output takes it at once, so that writing it never delays an answer: a
// reader that does not keep up (a full pipe, a terminal held by Ctrl-S) costs the progress
// line its redraws and, past a bound, plain lines, which are counted.
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
  std::string cDisk;   // "Disk 2/3" when several disks are served, else empty
};

// "Disk 2/3  Block 3/160  track 1 side 0  10240/819200 bytes  1%  11.1 KiB/s  1:12 left", in
// nColumns - 1 characters at most so that it never wraps: the fields that matter least go
// first (track and side, bytes, rate, disk), the block, the percentage and the time left last.
std::string FORMATPROGRESS(const Progress& o, std::size_t nColumns);

// "1:05", or "1:02:03" from an hour on.
std::string FORMATDURATION(double dSeconds);

// The text on its way to standard output. bWrite writes what the output takes now, without
// waiting, and returns the count of bytes taken. Plain lines wait in a buffer of kBound bytes
// at most; a line that finds it full is dropped and counted.
class OutputQueue {
public:
  static constexpr std::size_t kBound = 64 * 1024;
  explicit OutputQueue(std::function<std::size_t(std::string_view)> bWrite);

  // A line of the log, with its line break.
  void Line(std::string_view cText);
  // Text kept whatever the buffer holds: the summaries, and the progress line (offered only
  // when nothing waits).
  void Keep(std::string_view cText);
  bool Idle() const { return m_cWaiting.empty(); }
  // Writes what the output takes now.
  void Pump();
  // What still waits, taken out (for a last write that may wait, once the device is served).
  std::string TakeRest();
  std::size_t DroppedLines() const { return m_nDropped; }

private:
  std::function<std::size_t(std::string_view)> m_bWrite;
  std::string m_cWaiting;
  std::size_t m_nDropped = 0;
};

class TerminalLog {
public:
  // lTerminal: standard output is a terminal; oOut writes to it; bColumns gives its width;
  // cDisk names the disk in the progress line ("Disk 2/3"), empty for a single one.
  TerminalLog(OutputQueue& oOut, bool lTerminal, std::size_t nTotal,
              std::function<std::size_t()> bColumns, std::string cDisk = {});

  // One line of the transfer loop's log. On a terminal the block's own line is left to the
  // progress line; once the transfer has failed, the summary says it instead.
  void Append(std::string_view cLine);
  // One event of the transfer loop.
  void News(const app::TransferNews& o);
  // Writes what waits and the output takes (the plain lines, the redrawn progress line, also
  // when the terminal's width has changed since it was drawn).
  void Flush();
  // What waits, then cSummary on a line of its own (never dropped).
  void Finish(std::string_view cSummary);

  int Blocks() const { return m_oNow.nBlock; }
  std::size_t Bytes() const { return m_oNow.nDone; }
  double Seconds() const;

private:
  void Draw();

  OutputQueue& m_oOut;
  bool m_lTerminal;
  std::function<std::size_t()> m_bColumns;
  Progress m_oNow;
  bool m_lStarted = false; // the first block has begun
  bool m_lInBlock = false; // a block is being sent
  bool m_lFailed = false;  // the line was lost or a write left short
  std::chrono::steady_clock::time_point m_tFirst{};
  std::string m_cStatus; // the terminal's line before the first block
  bool m_lDirty = false;
  bool m_lDrawn = false;
  std::size_t m_nDrawnColumns = 0; // the width the line was last drawn for
};

} // namespace veltra::send
