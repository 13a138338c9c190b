// The device emulator's command script (--commands): what the device sends and what it waits
// for. "T" sends a request and checks its answer; "!" waits for the abort byte 0x09; "[..]"
// sends the bytes between the brackets in one write, then checks the answer of each "T"
// among them, in order; "{MS}" (1 to 6 digits) makes the device stop reading for MS
// milliseconds right after it next sends something (a stalled reader: the PC's bytes pile up
// in the line's queues), then read on; any other byte is sent as it is. Parsing is a pure
// function, so it can be tested and fuzzed on its own.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltra::tools {

struct ScriptStep {
  enum class Kind {
    Request,   // "T": send it, check the answer
    WaitAbort, // "!": wait for 0x09
    Burst,     // "[..]": send cBytes at once, check the answer of each T in them
    Send,      // any other byte: send it
    Stall,     // "{MS}": read nothing for nStallMs after the next bytes sent
  };
  Kind eKind = Kind::Send;
  std::string cBytes;    // Burst: the bytes; Send: the one byte; Stall: the digits as written
  unsigned nStallMs = 0; // Stall: how long

  bool operator==(const ScriptStep&) const = default;
};

struct ScriptError {
  std::size_t nOffset; // where the script goes wrong
  std::string cText;
};

// The steps of cScript, or what is wrong with it: an empty script, a "[" or "{" never closed,
// or a "{..}" that is not 1 to 6 digits.
std::variant<std::vector<ScriptStep>, ScriptError> PARSESCRIPT(std::string_view cScript);

// The script text of aSteps: PARSESCRIPT(FORMATSCRIPT(a)) gives a again.
std::string FORMATSCRIPT(const std::vector<ScriptStep>& aSteps);

// The number of requests ("T", in bursts too) the steps make.
std::size_t REQUESTCOUNT(const std::vector<ScriptStep>& aSteps);

} // namespace veltra::tools
