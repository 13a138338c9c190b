// The emptiness test.
#include "runtime/empty.h"

namespace veltra::runtime {

bool EMPTY(std::optional<std::string_view> cValue) {
  if (!cValue) {
    return true;
  }
  for (const char c : *cValue) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
      return false;
    }
  }
  return true;
}

} // namespace veltra::runtime
