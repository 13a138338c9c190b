// The built programs, the sample image and the device emulator on a pseudo-terminal.
#include "harness/programs.h"

#include "app/protocol.h"

#include <cstdlib>

namespace veltra::harness {
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
std::string SendPath() {
  return VELTRA_SEND_BINARY;
}

std::string PatternImage(std::size_t nSize) {
  std::string c(nSize, '\0');
  for (std::size_t i = 0; i < nSize; ++i) {
    c[i] = static_cast<char>((i * 131 + i / app::kBlockSize + 7) & 0xFF);
  }
  if (nSize > 0) {
    c.back() = '\x1A'; // the old end-of-file mark, which a text file's read would drop
  }
  return c;
}

void EscInDialog(const Display& oDisplay) {
  if (const auto cDialog = WaitWindow(oDisplay, kDialogTitle, 5s)) {
    Keys(oDisplay, {"windowactivate", "--sync", *cDialog});
  }
  Keys(oDisplay, {"keydown", "Escape", "sleep", "0.1", "keyup", "Escape"});
}

Child StartDevice(const std::vector<std::string>& aArgs, std::string& cPort) {
  std::vector<std::string> a{DevicePath(), "--pty"};
  a.insert(a.end(), aArgs.begin(), aArgs.end());
  Child oDevice(a, {});
  cPort = oDevice.ReadLine(10s).value_or("");
  return oDevice;
}

std::string DeviceSummary(Child& oDevice) {
  const std::string& c = oDevice.Out();
  const auto n = c.rfind("veltra-device:");
  return n == std::string::npos ? c : c.substr(n);
}

} // namespace veltra::harness
