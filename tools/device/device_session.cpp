// Playing the script against the PC and checking its answers.
#include "tools/device/device_session.h"

#include "app/protocol.h"
#include "tools/device/device_port.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace veltra::tools {
namespace {

using Seconds = std::chrono::duration<double>;

constexpr std::size_t kBlockSize = veltra::app::kBlockSize;
constexpr auto kAbortByte = static_cast<unsigned char>(veltra::app::kAbortByte);
constexpr auto kQuietEnd = std::chrono::milliseconds(200);

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

void Say(const std::string& cLine) {
  std::printf("veltra-device: %s\n", cLine.c_str());
  std::fflush(stdout);
}

double Percentile99(std::vector<double> aValues) {
  if (aValues.empty()) {
    return 0;
  }
  std::sort(aValues.begin(), aValues.end());
  const auto nRank =
      static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(aValues.size())));
  return aValues[std::max<std::size_t>(nRank, 1) - 1];
}

Session::Session(const Options& o, int nFd, std::optional<LineFormat> oPace,
                 std::optional<std::string> cExpected)
    : m_o(o), m_nFd(nFd), m_oReader(nFd, oPace), m_cExpected(std::move(cExpected)) {}

bool Session::Run(const std::vector<ScriptStep>& aSteps) {
  for (const ScriptStep& oStep : aSteps) {
    switch (oStep.eKind) {
    case ScriptStep::Kind::Burst: {
      // The bytes go out in one write, then each T's answer is read.
      const auto tSent = Clock::now();
      if (!Send(oStep.cBytes)) {
        return false;
      }
      for (const char cCmd : oStep.cBytes) {
        if (cCmd == veltra::app::kCommandBlock && !ServeBlock(tSent)) {
          return false;
        }
      }
      break;
    }
    case ScriptStep::Kind::Request:
      if (!ServeBlock()) {
        return false;
      }
      break;
    case ScriptStep::Kind::WaitAbort:
      if (!WaitForAbort()) {
        return false;
      }
      break;
    case ScriptStep::Kind::Send:
      if (!Send(oStep.cBytes)) {
        return false;
      }
      break;
    case ScriptStep::Kind::Stall:
      m_nStallMs = oStep.nStallMs;
      break;
    }
  }
  Stall(); // a stall with nothing sent after it: at the end
  return true;
}

void Session::Stall() {
  if (m_nStallMs == 0) {
    return;
  }
  // The line is not read meanwhile: what the PC sends piles up in the pseudo-terminal or the
  // port's receive queue, and then in the PC's own output queue.
  Say(Format("stalled: reading nothing for %u ms", m_nStallMs));
  std::this_thread::sleep_for(std::chrono::milliseconds(m_nStallMs));
  m_nStallMs = 0;
  Say("reading again");
}

Clock::time_point Session::Deadline() const {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(m_o.dTimeout));
}

void Session::Error(const std::string& cText) {
  ++m_oSummary.nErrors;
  Say(cText);
}

bool Session::Lost(LineReader::Status eStatus, const std::string& cWhat) {
  if (eStatus == LineReader::Status::Timeout) {
    Error(Format("timeout: the PC sent nothing for %.1f s (%s)", m_o.dTimeout, cWhat.c_str()));
  } else {
    Error("the port has gone (" + cWhat + ")");
  }
  return false;
}

bool Session::Send(std::string_view cBytes) {
  if (!WriteAll(m_nFd, cBytes)) {
    Error("the port has gone while sending a command");
    return false;
  }
  Stall();
  return true;
}

bool Session::ServeBlock(std::optional<Clock::time_point> tBurst) {
  const int nBlock = m_oSummary.nBlocks + 1;
  // Taken before the write: the PC may answer before this thread runs again.
  const auto tSent = tBurst.value_or(Clock::now());
  if (!tBurst && !Send("T")) {
    return false;
  }
  Answer oAnswer;
  if (!ReadZero(nBlock, oAnswer.oZero)) {
    return false;
  }
  const double dToZero = Ms(oAnswer.oZero.tEnd - tSent);
  m_oSummary.aTimeToZeroMs.push_back(dToZero);
  if (!ReadBlock(nBlock, oAnswer)) {
    return false;
  }
  ++m_oSummary.nBlocks;
  m_oSummary.nBytes += oAnswer.cBlock.size();
  const bool lMatch = CheckBlock(nBlock, oAnswer, dToZero);
  m_cReceived += oAnswer.cBlock;
  if (m_o.lVerbose) {
    const int nIndex = nBlock - 1;
    Say(Format("block %d (track %d, side %d): %zu bytes, gap %.2f ms, t-to-0 %.2f ms, %s", nBlock,
               nIndex / 2, nIndex % 2, oAnswer.cBlock.size(), oAnswer.dGapMs, dToZero,
               lMatch ? "ok" : "ERROR"));
  }
  return true;
}

bool Session::ReadZero(int nBlock, LineReader::Byte& oZero) {
  const auto eStatus = m_oReader.Next(Deadline(), oZero);
  if (eStatus != LineReader::Status::Ok) {
    return Lost(eStatus, Format("no answer to T of block %d", nBlock));
  }
  if (oZero.nValue == kAbortByte) {
    Say("received 0x09 (abort)");
    m_oSummary.lAborted = true;
    Error(Format("block %d: the PC aborted instead of answering", nBlock));
    return false;
  }
  if (oZero.nValue != 0) {
    Error(Format("block %d: the answer begins with 0x%02X instead of 0x00", nBlock, oZero.nValue));
    return false;
  }
  return true;
}

bool Session::ReadBlock(int nBlock, Answer& oAnswer) {
  const std::size_t nOffset = m_cReceived.size();
  const std::optional<std::size_t> nExpected =
      m_cExpected ? std::optional(std::min(kBlockSize, m_cExpected->size() -
                                                           std::min(nOffset, m_cExpected->size())))
                  : std::nullopt;
  const std::size_t nWant = nExpected.value_or(kBlockSize);
  const bool lOpenEnded = !nExpected.has_value();
  std::string& cBlock = oAnswer.cBlock;
  while (cBlock.size() < nWant) {
    LineReader::Byte oByte{};
    const auto tDeadline = lOpenEnded && !cBlock.empty() ? Clock::now() + kQuietEnd : Deadline();
    const auto eNext = m_oReader.Next(tDeadline, oByte);
    if (eNext == LineReader::Status::Timeout && lOpenEnded && !cBlock.empty()) {
      break;
    }
    if (eNext != LineReader::Status::Ok) {
      return Lost(eNext, Format("block %d: %zu of %zu bytes", nBlock, cBlock.size(), nWant));
    }
    if (cBlock.empty()) {
      oAnswer.dGapMs = Ms(oByte.tEnd - m_oReader.CharTime() - oAnswer.oZero.tEnd);
    }
    cBlock.push_back(static_cast<char>(oByte.nValue));
  }
  if (nExpected == 0) {
    oAnswer.dGapMs = -1; // the image is used up: the answer is the 0x00 alone
  }
  return true;
}

bool Session::CheckBlock(int nBlock, const Answer& oAnswer, double dToZero) {
  bool lMatch = true;
  // The 0x00 may have been seen late (this program was not scheduled at once), which
  // shortens the silence as measured. It arrived after T was sent, so the silence was at
  // most the measured one plus the time from T to 0x00: only that bound counts as a fault.
  const double dGapBound = oAnswer.dGapMs + dToZero;
  if (oAnswer.dGapMs >= 0 && dGapBound < m_o.dMinGapMs) {
    Error(Format("block %d: at most %.2f ms of silence after 0x00 (at least %.1f expected)", nBlock,
                 dGapBound, m_o.dMinGapMs));
    lMatch = false;
  }
  const std::string& cBlock = oAnswer.cBlock;
  const std::size_t nOffset = m_cReceived.size();
  if (m_cExpected && !cBlock.empty()) {
    const auto itMismatch = std::mismatch(cBlock.begin(), cBlock.end(),
                                          m_cExpected->begin() + static_cast<long>(nOffset));
    if (itMismatch.first != cBlock.end()) {
      const auto nAt = static_cast<std::size_t>(itMismatch.first - cBlock.begin());
      Error(Format("block %d: mismatch at offset %zu (image offset %zu): expected 0x%02X, got "
                   "0x%02X",
                   nBlock, nAt, nOffset + nAt, static_cast<unsigned char>(*itMismatch.second),
                   static_cast<unsigned char>(*itMismatch.first)));
      lMatch = false;
    }
  }
  return lMatch;
}

bool Session::WaitForAbort() {
  LineReader::Byte oByte{};
  const auto eStatus = m_oReader.Next(Deadline(), oByte);
  if (eStatus != LineReader::Status::Ok) {
    return Lost(eStatus, "waiting for 0x09");
  }
  if (oByte.nValue != kAbortByte) {
    Error(Format("expected 0x09 (abort), got 0x%02X", oByte.nValue));
    return false;
  }
  Say("received 0x09 (abort)");
  m_oSummary.lAborted = true;
  return true;
}

} // namespace veltra::tools
