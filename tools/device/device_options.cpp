// The device emulator's command line.
#include "tools/device/device_options.h"

#include <cctype>
#include <cstdlib>

namespace veltra::tools {

const char* const kUsage =
    "usage: veltra-device [options] (--pty | PORT)\n"
    "Plays the disk device for VELTRA: sends T per block, checks every answer.\n"
    "  --pty               create a pseudo-terminal; its path is the first line printed\n"
    "  PORT                a serial port, named as in VELTRA.INI (COM1, ttyUSB0, /dev/...)\n"
    "  --image FILE        script: one T per 5120-byte block of FILE, then E\n"
    "  --expect FILE       compare the received blocks with FILE (and script as --image)\n"
    "  --save FILE         write the received blocks to FILE\n"
    "  --commands SCRIPT   bytes to send instead; T waits for its answer, ! waits for 0x09,\n"
    "                      [..] sends its bytes in one burst, then reads each T's answer\n"
    "  --timeout SECONDS   longest silence of the PC before giving up (default 10)\n"
    "  --pace BAUD,FORMAT  read no faster than such a line delivers, e.g. 115200,8N2\n"
    "  --min-gap MS        least silence between 0x00 and the block (default 9)\n"
    "  --settle MS         pause between the PC opening the port and the first command\n"
    "                      (default 300)\n"
    "  --verbose           one line per block\n";

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

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view cArg = argv[i];
    auto Value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) {
        return std::nullopt;
      }
      return std::string(argv[++i]);
    };
    std::optional<std::string> cValue;
    if (cArg == "--pty") {
      o.lPty = true;
    } else if (cArg == "--verbose") {
      o.lVerbose = true;
    } else if (cArg == "--image" || cArg == "--expect" || cArg == "--save" ||
               cArg == "--commands" || cArg == "--pace") {
      if (!(cValue = Value())) {
        return std::nullopt;
      }
      auto& rTarget = cArg == "--image"    ? o.cImage
                      : cArg == "--expect" ? o.cExpect
                      : cArg == "--save"   ? o.cSave
                      : cArg == "--pace"   ? o.cPace
                                           : o.cCommands;
      rTarget = *cValue;
    } else if (cArg == "--timeout" || cArg == "--min-gap" || cArg == "--settle") {
      if (!(cValue = Value())) {
        return std::nullopt;
      }
      char* pEnd = nullptr;
      const double dValue = std::strtod(cValue->c_str(), &pEnd);
      if (*pEnd != '\0' || !(dValue >= 0 && dValue <= 1e6)) {
        return std::nullopt;
      }
      if (cArg == "--timeout") {
        o.dTimeout = dValue;
      } else if (cArg == "--min-gap") {
        o.dMinGapMs = dValue;
      } else {
        o.nSettleMs = static_cast<int>(dValue);
      }
    } else if (!cArg.empty() && cArg.front() != '-' && o.cPort.empty()) {
      o.cPort = cArg;
    } else {
      return std::nullopt;
    }
  }
  if (o.lPty == !o.cPort.empty()) {
    return std::nullopt;
  }
  return o;
}

} // namespace veltra::tools
