// The device emulator's command line, and the line format it paces and configures with.
#pragma once

#include "app/protocol.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltra::tools {

// Line format for pacing and for configuring a real port: "115200,8N2".
struct LineFormat {
  unsigned nBaud = 115200;
  int nDataBits = 8;
  char cParity = 'N';
  int nStopBits = 2;
  // Seconds one character takes on the line (start bit, data, parity, stop bits).
  double CharSeconds() const;
};

std::optional<LineFormat> ParseLineFormat(std::string_view cText);

struct Options {
  bool lPty = false;
  std::string cPort;
  std::optional<std::string> cImage;
  std::optional<std::string> cExpect;
  std::optional<std::string> cSave;
  std::optional<std::string> cCommands;
  double dTimeout = 10.0;
  // --timeout was given: it then also bounds the wait for a program to open the line, which is
  // otherwise as long as the person choosing the image takes.
  bool lTimeoutGiven = false;
  std::optional<std::string> cPace;
  // The loop pauses kPauseAfterZeroMs; a millisecond less allows for the clocks of two programs.
  double dMinGapMs = static_cast<double>(veltra::app::kPauseAfterZeroMs) - 1.0;
  int nSettleMs = 300;
  bool lVerbose = false;
  bool lHelp = false;    // --help: the usage, whatever else is given
  bool lVersion = false; // --version
};

// The options of aArgs (the arguments after the program name), or no value with cError
// saying which option is wrong and why.
std::optional<Options> ParseOptions(const std::vector<std::string_view>& aArgs,
                                    std::string& cError);

extern const char* const kUsage;

} // namespace veltra::tools
