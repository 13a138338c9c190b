// The names the purges look for: the library's leftovers (first byte 0x7F) and the index files
// of its views (0x7F + "VIEW*.NTX", letters in either case).
#pragma once

#include "runtime/startup.h"

#include <string_view>

namespace veltra::runtime::detail {

inline bool ISLEFTOVER(std::string_view cName) {
  return !cName.empty() && cName[0] == LEFTOVER_MARK;
}

inline bool MATCHESVIEWINDEX(std::string_view cName) {
  // 0x7F + "VIEW*.NTX", letters in either case.
  auto lEqual = [](std::string_view cPart, std::string_view cUpper) {
    if (cPart.size() != cUpper.size()) {
      return false;
    }
    for (size_t i = 0; i < cPart.size(); ++i) {
      char c = cPart[i];
      c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
      if (c != cUpper[i]) {
        return false;
      }
    }
    return true;
  };
  return cName.size() >= 9 && ISLEFTOVER(cName) && lEqual(cName.substr(1, 4), "VIEW") &&
         lEqual(cName.substr(cName.size() - 4), ".NTX");
}

} // namespace veltra::runtime::detail
