// The built programs, the sample image and the Wine session of the end-to-end suites.
#include "tests/e2e/harness.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace veltra::e2e {
namespace {

// The programs of this build, or others named in the environment (the package check runs
// the suite against the programs unpacked from the .deb).
std::string ProgramPath(const char* cVariable, const char* cBuilt) {
  const char* c = std::getenv(cVariable);
  return c != nullptr && *c != '\0' ? c : cBuilt;
}

const char* const kNowhere = "/nonexistent/veltra-no-port";

std::string SessionScript(const char* cScript) {
  return std::string(VELTRA_SOURCE_DIR) + "/tests/wine/" + cScript;
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

std::string WineSession::BuildFolder() {
  const char* c = std::getenv("VELTRA_WINE_BUILD");
  return c != nullptr && *c != '\0' ? std::filesystem::absolute(c).string() : std::string();
}

bool WineSession::Up(const std::string& cBuild, const std::string& cWmConfig) {
  m_cBuild = cBuild;
  if (RunToEnd({SessionScript("session"), "up", m_cBuild, cWmConfig}, {}, 120s).nExit != 0) {
    return false;
  }
  // The session's settings, as tests/wine/run reads them: "export DISPLAY=:N" first.
  std::ifstream in(m_cBuild + "/wine-session.env");
  std::string cLine;
  while (std::getline(in, cLine)) {
    if (cLine.rfind("export DISPLAY=", 0) == 0) {
      m_oScreen.Attach(cLine.substr(15));
      return true;
    }
  }
  return false;
}

void WineSession::Down() {
  if (!m_cBuild.empty()) {
    RunToEnd({SessionScript("session"), "down", m_cBuild}, {}, 60s);
  }
}

Child WineSession::StartVeltra(const std::string& cDir, const std::string& cExe) const {
  return Child({SessionScript("run"), m_cBuild, cExe.empty() ? m_cBuild + "/app/veltra.exe" : cExe},
               {}, cDir);
}

bool WineSession::LinkPort(int nCom, const std::string& cPath) const {
  const std::string cLink = m_cBuild + "/wineprefix/dosdevices/com" + std::to_string(nCom);
  std::error_code e;
  std::filesystem::remove(cLink, e);
  std::filesystem::create_symlink(cPath.empty() ? kNowhere : cPath, cLink, e);
  return !e;
}

std::string WineSession::WindowsPath(const std::string& cPath) {
  std::string c = "Z:" + std::filesystem::absolute(cPath).string();
  for (char& ch : c) {
    ch = ch == '/' ? '\\' : ch;
  }
  return c;
}

} // namespace veltra::e2e
