// The command line of veltra-send: one action, at most one image, --port for the transfer.
// --help wins over everything else on the line, then --version.
#include "send/send_options.h"

#include "runtime/command_line.h"

namespace veltra::send {

const char* const kUsage =
    "usage: veltra-send [-p NAME] IMAGE\n"
    "       veltra-send --check IMAGE\n"
    "       veltra-send -l\n"
    "Sends a disk image to the disk device over a serial line, as VELTRA does, from a terminal.\n"
    "  -p, --port NAME   the serial port (COM1, ttyUSB0, /dev/serial/by-id/...); without it,\n"
    "                    the port named in VELTRA.INI in the current folder (section\n"
    "                    Impostazioni, key Porta)\n"
    "      --check       say whether IMAGE is a whole disk (819200 bytes, 160 blocks) and what\n"
    "                    would be sent\n"
    "  -l, --list-ports  the serial ports present, with their stable names and adapters\n"
    "  -h, --help        this text; -V, --version  the version\n"
    "Options may come before or after IMAGE; an IMAGE beginning with - follows --.\n"
    "Esc or Ctrl-C sends the abort byte to the device and ends; a second Ctrl-C ends at once.\n"
    "Exit status: 0 the device ended the transfer (or --check: a whole disk), 1 stopped by the\n"
    "user (or --check: not a whole disk), 2 the port, the image or the command line cannot be\n"
    "used, 3 the line was lost during the transfer.\n";

std::optional<Options> PARSEOPTIONS(const std::vector<std::string_view>& aArgs,
                                    std::string& cError) {
  constexpr int kCheck = 256; // no short form
  static const option aLong[] = {
      {"port", required_argument, nullptr, 'p'}, {"check", no_argument, nullptr, kCheck},
      {"list-ports", no_argument, nullptr, 'l'}, {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},    {nullptr, 0, nullptr, 0}};
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
  if (!runtime::PARSECOMMANDLINE(aArgs, "p:lhV", aLong, bOption, aImages, cError)) {
    return std::nullopt;
  }
  if (lHelp || lVersion) {
    return Options{.eAction = lHelp ? Action::Help : Action::Version, .cImage = {}, .cPort = {}};
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
  if (aImages.size() > 1) {
    cError = "one image at a time";
    return std::nullopt;
  }
  if (o.cPort && o.eAction != Action::Send) {
    cError = "--port goes with a transfer only";
    return std::nullopt;
  }
  if (lNeedsImage) {
    o.cImage = aImages.front();
  }
  return o;
}

} // namespace veltra::send
