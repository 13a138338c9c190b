// The command script parser of the device emulator.
#include "tools/device/device_script.h"

#include <algorithm>

namespace veltra::tools {

std::variant<std::vector<ScriptStep>, ScriptError> PARSESCRIPT(std::string_view cScript) {
  if (cScript.empty()) {
    return ScriptError{0, "the script is empty"};
  }
  std::vector<ScriptStep> aSteps;
  for (std::size_t i = 0; i < cScript.size(); ++i) {
    const char c = cScript[i];
    if (c == '[') {
      const std::size_t nEnd = cScript.find(']', i + 1);
      if (nEnd == std::string_view::npos) {
        return ScriptError{i, "\"[\" without \"]\""};
      }
      aSteps.push_back({ScriptStep::Kind::Burst, std::string(cScript.substr(i + 1, nEnd - i - 1))});
      i = nEnd;
    } else if (c == '{') {
      const std::size_t nEnd = cScript.find('}', i + 1);
      if (nEnd == std::string_view::npos) {
        return ScriptError{i, "\"{\" without \"}\""};
      }
      const std::string_view cDigits = cScript.substr(i + 1, nEnd - i - 1);
      if (cDigits.empty() || cDigits.size() > 6 ||
          !std::all_of(cDigits.begin(), cDigits.end(),
                       [](char d) { return d >= '0' && d <= '9'; })) {
        return ScriptError{i, "a stall \"{MS}\" takes 1 to 6 digits of milliseconds"};
      }
      ScriptStep oStall{ScriptStep::Kind::Stall, std::string(cDigits)};
      for (const char d : cDigits) {
        oStall.nStallMs = oStall.nStallMs * 10 + static_cast<unsigned>(d - '0');
      }
      aSteps.push_back(std::move(oStall));
      i = nEnd;
    } else if (c == 'T') {
      aSteps.push_back({ScriptStep::Kind::Request, {}});
    } else if (c == '!') {
      aSteps.push_back({ScriptStep::Kind::WaitAbort, {}});
    } else {
      aSteps.push_back({ScriptStep::Kind::Send, std::string(1, c)});
    }
  }
  return aSteps;
}

std::string FORMATSCRIPT(const std::vector<ScriptStep>& aSteps) {
  std::string c;
  for (const ScriptStep& o : aSteps) {
    switch (o.eKind) {
    case ScriptStep::Kind::Request:
      c += 'T';
      break;
    case ScriptStep::Kind::WaitAbort:
      c += '!';
      break;
    case ScriptStep::Kind::Burst:
      c += '[' + o.cBytes + ']';
      break;
    case ScriptStep::Kind::Send:
      c += o.cBytes;
      break;
    case ScriptStep::Kind::Stall:
      c += '{' + o.cBytes + '}';
      break;
    }
  }
  return c;
}

std::size_t REQUESTCOUNT(const std::vector<ScriptStep>& aSteps) {
  std::size_t n = 0;
  for (const ScriptStep& o : aSteps) {
    if (o.eKind == ScriptStep::Kind::Request) {
      ++n;
    } else if (o.eKind == ScriptStep::Kind::Burst) {
      n += static_cast<std::size_t>(std::count(o.cBytes.begin(), o.cBytes.end(), 'T'));
    }
  }
  return n;
}

} // namespace veltra::tools
