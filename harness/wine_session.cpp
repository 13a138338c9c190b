// The Wine session of a Windows build folder, driven through tests/wine/session.
#include "harness/wine_session.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace veltra::harness {
namespace {

const char* const kNowhere = "/nonexistent/veltra-no-port";

std::string SessionScript(const char* cScript) {
  return std::string(VELTRA_SOURCE_DIR) + "/tests/wine/" + cScript;
}

} // namespace

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

bool WineSession::UseWindowManager(const std::string& cWmConfig) const {
  return RunToEnd({SessionScript("session"), "wm", m_cBuild, cWmConfig}, {}, 30s).nExit == 0;
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

} // namespace veltra::harness
