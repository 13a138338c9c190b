// The whole-file read of a text file: the platform's whole-file read, less a final 0x1A (the
// old end-of-file mark, which is not part of the text).
#include "runtime/profile.h"

namespace veltra::runtime {

std::string MEMOREAD(std::optional<std::string_view> cFile) {
  std::string cData = ReadWholeFile(cFile);
  if (!cData.empty() && cData.back() == '\x1A') {
    cData.pop_back();
  }
  return cData;
}

} // namespace veltra::runtime
