// The command line of veltra-send: one action, its images in order, --port and --wait for the
// transfer.
// --help wins over everything else on the line, then --version.
#include "send/send_options.h"

#include "send/command_line.h"

#include <charconv>

namespace veltra::send {

const char* const kUsage =
    "usage: veltra-send [-p NAME] [--wait[=SECONDS]] IMAGE...\n"
    "       veltra-send --check IMAGE...\n"
    "       veltra-send -l\n"
    "Sends a disk image to the disk device over a serial line, as VELTRA does, from a terminal.\n"
    "  -p, --port NAME   the serial port (COM1, ttyUSB0, /dev/serial/by-id/...); without it,\n"
    "                    the port named in VELTRA.INI in the current folder (section\n"
    "                    Impostazioni, key Porta)\n"
    "      --wait[=SECONDS]  wait for a port that does not exist yet (an adapter not yet\n"
    "                    plugged in), for ever or SECONDS at most\n"
    "      --check       say whether IMAGE is a whole disk (819200 bytes, 160 blocks) and what\n"
    "                    would be sent\n"
    "  -l, --list-ports  the serial ports present, with their stable names and adapters\n"
    "  -h, --help        this text; -V, --version  the version\n"
    "Several images are served one after the other, each from the device's next request after\n"
    "it ended the one before.\n"
    "Options may come before or after IMAGE; an IMAGE beginning with - follows --.\n"
    "Esc or Ctrl-C sends the abort byte to the device and ends; a second Ctrl-C ends at once.\n"
    "Exit status: 0 the device ended the transfer (or --check: a whole disk), 1 stopped by the\n"
    "user (or --check: not a whole disk), 2 the port, the image or the command line cannot be\n"
    "used, 3 the line was lost during the transfer, 4 the device asked for more blocks than the\n"
    "image has. With several images, the first of these that is not 0.\n";

std::optional<Options> PARSEOPTIONS(const std::vector<std::string_view>& aArgs,
                                    std::string& cError) {
  constexpr int kCheck = 256; // no short form
  constexpr int kWait = 257;
  static const option aLong[] = {{"port", required_argument, nullptr, 'p'},
                                 {"check", no_argument, nullptr, kCheck},
                                 {"wait", optional_argument, nullptr, kWait},
                                 {"list-ports", no_argument, nullptr, 'l'},
                                 {"help", no_argument, nullptr, 'h'},
                                 {"version", no_argument, nullptr, 'V'},
                                 {nullptr, 0, nullptr, 0}};
  Options o;
  bool lHelp = false;
  bool lVersion = false;
  std::vector<Action> aActions;
  std::vector<std::string> aImages;
  const auto bOption = [&](int nValue, const char* pValue) {
    switch (nValue) {
    case 'p':
      if (*pValue == '\0') {
        cError = "--port needs a port name";
        return false;
      }
      o.cPort = pValue;
      return true;
    case kCheck:
      aActions.push_back(Action::Check);
      return true;
    case kWait: {
      unsigned nSeconds = 0;
      if (pValue != nullptr) {
        const std::string_view c(pValue);
        const auto [pEnd, eError] = std::from_chars(c.data(), c.data() + c.size(), nSeconds);
        if (c.empty() || eError != std::errc() || pEnd != c.data() + c.size() || nSeconds == 0) {
          cError = "--wait takes a count of seconds from 1 on";
          return false;
        }
      }
      o.nWaitSeconds = nSeconds;
      return true;
    }
    case 'l':
      aActions.push_back(Action::ListPorts);
      return true;
    case 'h':
      lHelp = true;
      return true;
    default:
      lVersion = true;
      return true;
    }
  };
  if (!PARSECOMMANDLINE(aArgs, "p:lhV", aLong, bOption, aImages, cError)) {
    return std::nullopt;
  }
  if (lHelp || lVersion) {
    return Options{.eAction = lHelp ? Action::Help : Action::Version,
                   .aImages = {},
                   .cPort = {},
                   .nWaitSeconds = {}};
  }
  if (aActions.size() > 1) {
    cError = "give one of --check, --list-ports, --help, --version";
    return std::nullopt;
  }
  o.eAction = aActions.empty() ? Action::Send : aActions.front();
  const bool lNeedsImage = o.eAction == Action::Send || o.eAction == Action::Check;
  if (lNeedsImage && aImages.empty()) {
    cError = "no image given";
    return std::nullopt;
  }
  if (!lNeedsImage && !aImages.empty()) {
    cError = "--list-ports takes no image";
    return std::nullopt;
  }
  if ((o.cPort || o.nWaitSeconds) && o.eAction != Action::Send) {
    cError = std::string(o.cPort ? "--port" : "--wait") + " goes with a transfer only";
    return std::nullopt;
  }
  o.aImages = std::move(aImages);
  return o;
}

} // namespace veltra::send
