// The progress line and the plain log of veltra-send.
#include "send/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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
  char aLine[256];
  std::snprintf(aLine, sizeof aLine, "Block %d/%d  track %d side %d  %zu/%zu bytes  %d%%  %s  %s",
                o.nBlock, o.nBlocks, o.nTrack, o.nSide, o.nDone, o.nTotal, nPercent, cRate.c_str(),
                cLeft.c_str());
  std::string cLine = aLine;
  if (nColumns > 1 && cLine.size() > nColumns - 1) {
    cLine.resize(nColumns - 1);
  }
  return cLine;
}

TerminalLog::TerminalLog(bool lTerminal, std::size_t nTotal,
                         std::function<void(std::string_view)> bWrite,
                         std::function<std::size_t()> bColumns)
    : m_lTerminal(lTerminal), m_bWrite(std::move(bWrite)), m_bColumns(std::move(bColumns)) {
  m_oNow.nTotal = nTotal;
  m_oNow.nBlocks = static_cast<int>((nTotal + kBlockSize - 1) / kBlockSize);
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
    m_cPending.append(cLine);
    m_cPending.push_back('\n');
  } else if (m_oNow.nBlock == 0) {
    m_cStatus = cLine;
  } else {
    m_cPending.append(kRedraw);
    m_cPending.append(cLine);
    m_cPending.push_back('\n');
  }
  m_lDirty = true;
}

void TerminalLog::Flush() {
  if (!m_lDirty) {
    return;
  }
  m_lDirty = false;
  if (m_lTerminal) {
    Draw();
  } else {
    m_bWrite(m_cPending);
  }
  m_cPending.clear();
}

void TerminalLog::Draw() {
  std::string cOut = m_cPending;
  cOut.append(kRedraw);
  if (m_oNow.nBlock == 0) {
    cOut.append(m_cStatus);
  } else {
    m_oNow.dSeconds = Seconds();
    cOut.append(FORMATPROGRESS(m_oNow, m_bColumns()));
  }
  m_bWrite(cOut);
  m_lDrawn = true;
}

void TerminalLog::Finish(std::string_view cSummary) {
  Flush();
  std::string cOut = m_lTerminal && m_lDrawn ? "\n" : "";
  cOut.append(cSummary);
  cOut.push_back('\n');
  m_bWrite(cOut);
}

} // namespace veltra::send
