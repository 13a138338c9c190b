// The command line of veltra-send.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltra::send {

enum class Action { Send, Check, ListPorts, Help, Version };

struct Options {
  Action eAction = Action::Send;
  std::vector<std::string> aImages; // served in this order, one disk each
  std::optional<std::string> cPort; // --port; without it, VELTRA.INI names the port
  // --wait: how long to wait for a port that does not exist yet; 0 for as long as it takes.
  std::optional<unsigned> nWaitSeconds;
};

// The options, or no value with cError saying what is wrong with them.
std::optional<Options> PARSEOPTIONS(const std::vector<std::string_view>& aArgs,
                                    std::string& cError);

extern const char* const kUsage;

} // namespace veltra::send
