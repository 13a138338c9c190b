// The device emulator's command line.
#include "tools/device/device_options.h"

#include "send/command_line.h"

#include <cctype>
#include <cstdlib>

namespace veltra::tools {

const char* const kUsage =
    "usage: veltra-device [options] (--pty | PORT)\n"
    "       veltra-device -h | -V\n"
    "Plays the disk device for VELTRA: sends T per block, checks every answer.\n"
    "  --pty               create a pseudo-terminal; its path is the first line printed\n"
    "  PORT                a serial port, named as in VELTRA.INI (COM1, ttyUSB0, /dev/...)\n"
    "  --image FILE        script: one T per 5120-byte block of FILE, then E\n"
    "  --expect FILE       compare the received blocks with FILE (and script as --image)\n"
    "  --save FILE         write the received blocks to FILE\n"
    "  --commands SCRIPT   bytes to send instead; T waits for its answer, ! waits for 0x09,\n"
    "                      [..] sends its bytes in one burst, then reads each T's answer,\n"
    "                      {MS} reads nothing for MS milliseconds after the next bytes sent\n"
    "  --timeout SECONDS   longest silence of the PC, and longest wait for a program to open\n"
    "                      the pseudo-terminal, before giving up (default 10)\n"
    "  --pace BAUD,FORMAT  read no faster than such a line delivers, e.g. 115200,8N2\n"
    "  --min-gap MS        least silence between 0x00 and the block (default 9)\n"
    "  --settle MS         pause between the PC opening the port and the first command\n"
    "                      (default 300)\n"
    "  --verbose           one line per block\n"
    "  -h, --help          this text; -V, --version  the version\n"
    "Options may come before or after PORT; a PORT beginning with - follows --.\n"
    "Exit status: 0 every block as expected and the script ended, 1 an answer was wrong or\n"
    "missing, 2 the command line, a file or the port cannot be used.\n";

double LineFormat::CharSeconds() const {
  return (1.0 + nDataBits + (cParity == 'N' ? 0 : 1) + nStopBits) / nBaud;
}

std::optional<LineFormat> ParseLineFormat(std::string_view cText) {
  const std::size_t nComma = cText.find(',');
  if (nComma == std::string_view::npos || cText.size() != nComma + 4) {
    return std::nullopt;
  }
  LineFormat oFormat;
  const std::string cBaud(cText.substr(0, nComma));
  char* pEnd = nullptr;
  const unsigned long nBaud = std::strtoul(cBaud.c_str(), &pEnd, 10);
  const std::string_view cRest = cText.substr(nComma + 1);
  oFormat.cParity = static_cast<char>(std::toupper(static_cast<unsigned char>(cRest[1])));
  if (cBaud.empty() || *pEnd != '\0' || nBaud == 0 || nBaud > 4000000 || cRest[0] < '5' ||
      cRest[0] > '8' || std::string_view("NOEMS").find(oFormat.cParity) == std::string_view::npos ||
      (cRest[2] != '1' && cRest[2] != '2')) {
    return std::nullopt;
  }
  oFormat.nBaud = static_cast<unsigned>(nBaud);
  oFormat.nDataBits = cRest[0] - '0';
  oFormat.nStopBits = cRest[2] - '0';
  return oFormat;
}

std::optional<Options> ParseOptions(const std::vector<std::string_view>& aArgs,
                                    std::string& cError) {
  enum : int {
    kPty = 256,
    kVerbose,
    kImage,
    kExpect,
    kSave,
    kCommands,
    kPace,
    kTimeout,
    kMinGap,
    kSettle
  };
  static const option aLong[] = {{"pty", no_argument, nullptr, kPty},
                                 {"verbose", no_argument, nullptr, kVerbose},
                                 {"image", required_argument, nullptr, kImage},
                                 {"expect", required_argument, nullptr, kExpect},
                                 {"save", required_argument, nullptr, kSave},
                                 {"commands", required_argument, nullptr, kCommands},
                                 {"pace", required_argument, nullptr, kPace},
                                 {"timeout", required_argument, nullptr, kTimeout},
                                 {"min-gap", required_argument, nullptr, kMinGap},
                                 {"settle", required_argument, nullptr, kSettle},
                                 {"help", no_argument, nullptr, 'h'},
                                 {"version", no_argument, nullptr, 'V'},
                                 {nullptr, 0, nullptr, 0}};
  Options o;
  const auto bOption = [&](int nValue, const char* pValue) {
    switch (nValue) {
    case kPty:
      o.lPty = true;
      return true;
    case kVerbose:
      o.lVerbose = true;
      return true;
    case 'h':
      o.lHelp = true;
      return true;
    case 'V':
      o.lVersion = true;
      return true;
    case kImage:
      o.cImage = pValue;
      return true;
    case kExpect:
      o.cExpect = pValue;
      return true;
    case kSave:
      o.cSave = pValue;
      return true;
    case kCommands:
      o.cCommands = pValue;
      return true;
    case kPace:
      if (!ParseLineFormat(pValue)) {
        cError = "--pace wants BAUD,FORMAT such as 115200,8N2";
        return false;
      }
      o.cPace = pValue;
      return true;
    default:
      break;
    }
    const char* pName = nValue == kTimeout  ? "--timeout"
                        : nValue == kMinGap ? "--min-gap"
                                            : "--settle";
    char* pEnd = nullptr;
    const double dValue = std::strtod(pValue, &pEnd);
    if (*pValue == '\0' || *pEnd != '\0' || !(dValue >= 0 && dValue <= 1e6)) {
      cError = std::string(pName) + " wants a number from 0 to 1000000";
      return false;
    }
    if (nValue == kTimeout) {
      o.dTimeout = dValue;
      o.lTimeoutGiven = true;
    } else if (nValue == kMinGap) {
      o.dMinGapMs = dValue;
    } else {
      o.nSettleMs = static_cast<int>(dValue);
    }
    return true;
  };
  std::vector<std::string> aPorts;
  if (!send::PARSECOMMANDLINE(aArgs, "hV", aLong, bOption, aPorts, cError)) {
    return std::nullopt;
  }
  if (o.lHelp || o.lVersion) {
    return o;
  }
  if (aPorts.size() > 1) {
    cError = "one port at a time";
    return std::nullopt;
  }
  if (o.lPty == !aPorts.empty()) {
    cError = o.lPty ? "give --pty or a PORT, not both" : "give a PORT or --pty";
    return std::nullopt;
  }
  if (!aPorts.empty()) {
    o.cPort = aPorts.front();
  }
  if (o.cPort.empty() && !o.lPty) {
    cError = "the PORT is empty";
    return std::nullopt;
  }
  return o;
}

} // namespace veltra::tools
