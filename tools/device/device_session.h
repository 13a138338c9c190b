// One run of the device emulator: the script's steps played against the PC, every answer
// checked (0x00, at least the least gap of silence, then the block), the blocks compared with
// the expected image, and the figures for the summary.
#pragma once

#include "tools/device/device_options.h"
#include "tools/device/device_script.h"
#include "tools/device/line_reader.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace veltra::tools {

struct Summary {
  int nBlocks = 0;
  std::size_t nBytes = 0;
  int nErrors = 0;
  bool lAborted = false;
  std::vector<double> aTimeToZeroMs;
};

class Session {
public:
  Session(const Options& o, int nFd, std::optional<LineFormat> oPace,
          std::optional<std::string> cExpected);

  // Plays the steps; false when it had to stop early.
  bool Run(const std::vector<ScriptStep>& aSteps);

  const Summary& Result() const { return m_oSummary; }
  const std::string& Received() const { return m_cReceived; }

private:
  struct Answer {
    LineReader::Byte oZero{};
    std::string cBlock;
    double dGapMs = -1; // silence between the 0x00 and the block; -1 when no block came
  };

  Clock::time_point Deadline() const;
  void Error(const std::string& cText);
  bool Lost(LineReader::Status eStatus, const std::string& cWhat);
  // Sends cBytes, then stalls when a stall step came before.
  bool Send(std::string_view cBytes);
  // Reads nothing for the pending stall's time, if there is one.
  void Stall();
  // Sends T (unless it already went out in a burst at tBurst) and checks the answer.
  bool ServeBlock(std::optional<Clock::time_point> tBurst = std::nullopt);
  // The 0x00 that begins the answer to request nBlock; false after an abort or a wrong byte.
  bool ReadZero(int nBlock, LineReader::Byte& oZero);
  // The block after the 0x00: what is left of the expected image (up to app::kBlockSize
  // bytes), or without one, up to app::kBlockSize bytes followed by silence.
  bool ReadBlock(int nBlock, Answer& oAnswer);
  // The gap and the bytes against what was expected; true when both are right.
  bool CheckBlock(int nBlock, const Answer& oAnswer, double dToZero);
  bool WaitForAbort();

  const Options& m_o;
  int m_nFd;
  LineReader m_oReader;
  std::optional<std::string> m_cExpected;
  Summary m_oSummary;
  std::string m_cReceived;
  unsigned m_nStallMs = 0; // a stall step waiting for the next bytes sent
};

// The 99th percentile (nearest rank); 0 for no values.
double Percentile99(std::vector<double> aValues);

// Prints "veltra-device: " + cLine on standard output at once.
void Say(const std::string& cLine);

// printf into a string.
std::string Format(const char* pFormat, auto... aArgs) {
  std::array<char, 512> aBuf{};
  std::snprintf(aBuf.data(), aBuf.size(), pFormat, aArgs...);
  return aBuf.data();
}

} // namespace veltra::tools
