// Fuzzes the device emulator's command script parser. What must hold for any input:
// - a script that parses formats back to exactly its own text, in no more steps than it has
//   bytes, and makes one request per "T" in it;
// - a script that is refused is empty, or has an unclosed "[" where the error says.
#include "tools/device/device_script.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  using namespace veltra::tools;
  const std::string_view cScript(reinterpret_cast<const char*>(pData), nSize);
  const auto oParsed = PARSESCRIPT(cScript);
  if (const auto* pError = std::get_if<ScriptError>(&oParsed)) {
    const bool lEmpty = cScript.empty() && pError->nOffset == 0;
    const bool lUnclosed = pError->nOffset < cScript.size() && cScript[pError->nOffset] == '[' &&
                           cScript.find(']', pError->nOffset) == std::string_view::npos;
    if (!lEmpty && !lUnclosed) {
      std::abort();
    }
    return 0;
  }
  const auto& aSteps = std::get<std::vector<ScriptStep>>(oParsed);
  if (aSteps.size() > cScript.size() || FORMATSCRIPT(aSteps) != cScript ||
      REQUESTCOUNT(aSteps) !=
          static_cast<std::size_t>(std::count(cScript.begin(), cScript.end(), 'T'))) {
    std::abort();
  }
  return 0;
}
