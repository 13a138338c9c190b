// The command line of veltra-send: one action, at most one image, --port for the transfer.
#include "send/send_options.h"

namespace veltra::send {

const char* const kUsage =
    "usage: veltra-send [--port NAME] IMAGE\n"
    "       veltra-send --check IMAGE\n"
    "       veltra-send --list-ports\n"
    "Sends a disk image to the disk device over a serial line, as VELTRA does, from a terminal.\n"
    "  --port NAME   the serial port (COM1, ttyUSB0, /dev/serial/by-id/...); without it, the\n"
    "                port named in VELTRA.INI in the current folder (section Impostazioni,\n"
    "                key Porta)\n"
    "  --check       say whether IMAGE is a whole disk (819200 bytes, 160 blocks) and what\n"
    "                would be sent\n"
    "  --list-ports  the serial ports present, with their stable names and adapters\n"
    "  --help, --version\n"
    "Esc or Ctrl-C sends the abort byte to the device and ends; a second Ctrl-C ends at once.\n"
    "Exit status: 0 the device ended the transfer, 1 stopped by the user, 2 the port or the\n"
    "image cannot be used, 3 the line was lost during the transfer.\n";

std::optional<Options> PARSEOPTIONS(const std::vector<std::string_view>& aArgs,
                                    std::string& cError) {
  Options o;
  bool lActionGiven = false;
  const auto SetAction = [&](Action e) {
    if (lActionGiven) {
      cError = "give one of --check, --list-ports, --help, --version";
      return false;
    }
    lActionGiven = true;
    o.eAction = e;
    return true;
  };
  bool lImageGiven = false;
  for (std::size_t i = 0; i < aArgs.size(); ++i) {
    const std::string_view cArg = aArgs[i];
    if (cArg == "--help" || cArg == "-h") {
      if (!SetAction(Action::Help)) {
        return std::nullopt;
      }
    } else if (cArg == "--version") {
      if (!SetAction(Action::Version)) {
        return std::nullopt;
      }
    } else if (cArg == "--list-ports") {
      if (!SetAction(Action::ListPorts)) {
        return std::nullopt;
      }
    } else if (cArg == "--check") {
      if (!SetAction(Action::Check)) {
        return std::nullopt;
      }
    } else if (cArg == "--port" || cArg.starts_with("--port=")) {
      std::string_view cValue;
      if (cArg == "--port") {
        if (i + 1 >= aArgs.size()) {
          cError = "--port needs a port name";
          return std::nullopt;
        }
        cValue = aArgs[++i];
      } else {
        cValue = cArg.substr(7);
      }
      if (cValue.empty()) {
        cError = "--port needs a port name";
        return std::nullopt;
      }
      o.cPort = std::string(cValue);
    } else if (cArg == "--" && i + 1 == aArgs.size() - 1 && !lImageGiven) {
      o.cImage = std::string(aArgs[++i]);
      lImageGiven = true;
    } else if (cArg.starts_with("-") && cArg != "-") {
      cError = "unknown option " + std::string(cArg);
      return std::nullopt;
    } else if (lImageGiven) {
      cError = "one image at a time";
      return std::nullopt;
    } else {
      o.cImage = std::string(cArg);
      lImageGiven = true;
    }
  }
  const bool lNeedsImage = o.eAction == Action::Send || o.eAction == Action::Check;
  if (lNeedsImage != lImageGiven) {
    cError = lNeedsImage ? "no image given" : "this option takes no image";
    return std::nullopt;
  }
  if (o.cPort && o.eAction != Action::Send) {
    cError = "--port goes with a transfer only";
    return std::nullopt;
  }
  return o;
}

} // namespace veltra::send
