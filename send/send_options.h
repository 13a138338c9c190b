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
  std::string cImage;
  std::optional<std::string> cPort; // --port; without it, VELTRA.INI names the port
};

// The options, or no value with cError saying what is wrong with them.
std::optional<Options> PARSEOPTIONS(const std::vector<std::string_view>& aArgs,
                                    std::string& cError);

extern const char* const kUsage;

} // namespace veltra::send
