// The built programs and the sample image of the end-to-end suite.
#include "tests/e2e/harness.h"

namespace veltra::e2e {

std::string VeltraPath() {
  return VELTRA_BINARY;
}
std::string DevicePath() {
  return VELTRA_DEVICE_BINARY;
}

std::string PatternImage(std::size_t nSize) {
  std::string c(nSize, '\0');
  for (std::size_t i = 0; i < nSize; ++i) {
    c[i] = static_cast<char>((i * 131 + i / 5120 + 7) & 0xFF);
  }
  return c;
}

} // namespace veltra::e2e
