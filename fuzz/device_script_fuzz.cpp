// Fuzzes the device emulator's command script parser. What must hold for any input:
// - a script that parses formats back to exactly its own text, in no more steps than it has
//   bytes, and makes one request per "T" in it;
// - a script that is refused is empty, or has where the error says an unclosed "[" or "{", or
//   a "{..}" stall that is not 1 to 6 digits.
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
    const bool lAt = pError->nOffset < cScript.size();
    const char cAt = lAt ? cScript[pError->nOffset] : '\0';
    const bool lUnclosed =
        (cAt == '[' || cAt == '{') &&
        cScript.find(cAt == '[' ? ']' : '}', pError->nOffset) == std::string_view::npos;
    bool lBadStall = false;
    if (cAt == '{' && !lUnclosed) {
      const std::size_t nEnd = cScript.find('}', pError->nOffset);
      const std::string_view cDigits =
          cScript.substr(pError->nOffset + 1, nEnd - pError->nOffset - 1);
      lBadStall =
          cDigits.empty() || cDigits.size() > 6 ||
          !std::all_of(cDigits.begin(), cDigits.end(), [](char d) { return d >= '0' && d <= '9'; });
    }
    if (!lEmpty && !lUnclosed && !lBadStall) {
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
