// The built programs and the sample image of the end-to-end suite.
#include "tests/e2e/harness.h"

#include <cstdlib>

namespace veltra::e2e {
namespace {

// The programs of this build, or others named in the environment (the package check runs
// the suite against the programs unpacked from the .deb).
std::string ProgramPath(const char* cVariable, const char* cBuilt) {
  const char* c = std::getenv(cVariable);
  return c != nullptr && *c != '\0' ? c : cBuilt;
}

} // namespace

std::string VeltraPath() {
  return ProgramPath("VELTRA_E2E_VELTRA", VELTRA_BINARY);
}
std::string DevicePath() {
  return ProgramPath("VELTRA_E2E_DEVICE", VELTRA_DEVICE_BINARY);
}

std::string PatternImage(std::size_t nSize) {
  std::string c(nSize, '\0');
  for (std::size_t i = 0; i < nSize; ++i) {
    c[i] = static_cast<char>((i * 131 + i / 5120 + 7) & 0xFF);
  }
  return c;
}

} // namespace veltra::e2e
