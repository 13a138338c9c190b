// The progress line and the plain log of veltra-send.
#include "send/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace veltra::send {
namespace {

constexpr std::size_t kBlockSize = app::kBlockSize;
// Back to the start of the line, then erase to its end: the line is redrawn in place.
constexpr std::string_view kRedraw = "\r\x1b[K";

} // namespace

std::string FORMATDURATION(double dSeconds) {
  const long n = std::lround(std::max(dSeconds, 0.0));
  char aBuf[32];
  if (n >= 3600) {
    std::snprintf(aBuf, sizeof aBuf, "%ld:%02ld:%02ld", n / 3600, n / 60 % 60, n % 60);
  } else {
    std::snprintf(aBuf, sizeof aBuf, "%ld:%02ld", n / 60, n % 60);
  }
  return aBuf;
}

std::string FORMATPROGRESS(const Progress& o, std::size_t nColumns) {
  const int nPercent =
      o.nTotal == 0 ? 100 : static_cast<int>(std::min(o.nDone, o.nTotal) * 100 / o.nTotal);
  std::string cRate = "-- KiB/s";
  std::string cLeft = "--:-- left";
  if (o.nDone > 0 && o.dSeconds > 0) {
    const double dRate = static_cast<double>(o.nDone) / o.dSeconds;
    char aBuf[32];
    std::snprintf(aBuf, sizeof aBuf, "%.1f KiB/s", dRate / 1024.0);
    cRate = aBuf;
    const std::size_t nRest = o.nTotal - std::min(o.nDone, o.nTotal);
    cLeft = FORMATDURATION(static_cast<double>(nRest) / dRate) + " left";
  }
  // The fields in the order shown, each with the rank at which it is left out (0: never).
  const struct {
    std::string cText;
    int nDropRank;
  } aFields[] = {
      {o.cDisk, 4},
      {"Block " + std::to_string(o.nBlock) + "/" + std::to_string(o.nBlocks), 0},
      {"track " + std::to_string(o.nTrack) + " side " + std::to_string(o.nSide), 1},
      {std::to_string(o.nDone) + "/" + std::to_string(o.nTotal) + " bytes", 2},
      {std::to_string(nPercent) + "%", 0},
      {cRate, 3},
      {cLeft, 0},
  };
  const std::size_t nRoom = nColumns > 1 ? nColumns - 1 : 0;
  std::string cLine;
  for (int nDropped = 0; nDropped <= 4; ++nDropped) {
    cLine.clear();
    for (const auto& f : aFields) {
      if (!f.cText.empty() && (f.nDropRank == 0 || f.nDropRank > nDropped)) {
        cLine += (cLine.empty() ? "" : "  ") + f.cText;
      }
    }
    if (nRoom == 0 || cLine.size() <= nRoom) {
      return cLine;
    }
  }
  cLine.resize(nRoom); // narrower than the three that matter: what fits of them
  return cLine;
}

OutputQueue::OutputQueue(std::function<std::size_t(std::string_view)> bWrite)
    : m_bWrite(std::move(bWrite)) {}

// Only queued: the loop writes in its idle moments (Flush), never while a block is due.
void OutputQueue::Line(std::string_view cText) {
  if (m_cWaiting.size() + cText.size() > kBound) {
    ++m_nDropped;
    return;
  }
  m_cWaiting.append(cText);
}

void OutputQueue::Keep(std::string_view cText) {
  m_cWaiting.append(cText);
}

void OutputQueue::Pump() {
  if (!m_cWaiting.empty()) {
    m_cWaiting.erase(0, std::min(m_bWrite(m_cWaiting), m_cWaiting.size()));
  }
}

std::string OutputQueue::TakeRest() {
  return std::exchange(m_cWaiting, {});
}

TerminalLog::TerminalLog(OutputQueue& oOut, bool lTerminal, std::size_t nTotal,
                         std::function<std::size_t()> bColumns, std::string cDisk)
    : m_oOut(oOut), m_lTerminal(lTerminal), m_bColumns(std::move(bColumns)) {
  m_oNow.nTotal = nTotal;
  m_oNow.nBlocks = static_cast<int>((nTotal + kBlockSize - 1) / kBlockSize);
  m_oNow.cDisk = std::move(cDisk);
}

double TerminalLog::Seconds() const {
  if (!m_lStarted) {
    return 0;
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_tFirst).count();
}

void TerminalLog::News(const app::TransferNews& o) {
  switch (o.eEvent) {
  case app::TransferEvent::BlockBegins:
    if (!m_lStarted) {
      m_tFirst = std::chrono::steady_clock::now();
      m_lStarted = true;
    }
    m_lInBlock = true;
    break;
  case app::TransferEvent::BlockSent:
    ++m_oNow.nBlock;
    m_oNow.nTrack = o.nTrack;
    m_oNow.nSide = o.nSide;
    m_oNow.nDone += o.nSent;
    m_lInBlock = false;
    m_lDirty = true;
    break;
  case app::TransferEvent::WriteFailed:
  case app::TransferEvent::LineLost:
    m_lInBlock = false;
    m_lFailed = true;
    break;
  case app::TransferEvent::Aborted:
  case app::TransferEvent::ImageEnded:
    break;
  }
}

void TerminalLog::Append(std::string_view cLine) {
  if (m_lFailed || (m_lTerminal && m_lInBlock)) {
    return;
  }
  if (!m_lTerminal) {
    m_oOut.Line(std::string(cLine) + "\n");
  } else if (m_oNow.nBlock == 0) {
    m_cStatus = cLine;
  } else {
    m_oOut.Line(std::string(kRedraw) + std::string(cLine) + "\n");
  }
  m_lDirty = m_lDirty || m_lTerminal;
}

void TerminalLog::Flush() {
  m_oOut.Pump();
  // A resized terminal gets the line drawn for its new width at the next idle moment.
  m_lDirty = m_lDirty || (m_lTerminal && m_lDrawn && m_bColumns() != m_nDrawnColumns);
  // The progress line is drawn only on an output that has taken everything before it, and
  // stays due until then.
  if (m_lDirty && m_lTerminal && m_oOut.Idle()) {
    m_lDirty = false;
    Draw();
    m_oOut.Pump();
  }
}

void TerminalLog::Draw() {
  m_nDrawnColumns = m_bColumns();
  std::string cOut(kRedraw);
  if (m_oNow.nBlock == 0) {
    cOut.append(m_cStatus);
  } else {
    m_oNow.dSeconds = Seconds();
    cOut.append(FORMATPROGRESS(m_oNow, m_nDrawnColumns));
  }
  m_oOut.Keep(cOut);
  m_lDrawn = true;
}

void TerminalLog::Finish(std::string_view cSummary) {
  Flush();
  std::string cOut = m_lTerminal && m_lDrawn ? "\n" : "";
  cOut.append(cSummary);
  cOut.push_back('\n');
  m_oOut.Keep(cOut);
  m_oOut.Pump();
}

} // namespace veltra::send
