// The Windows build's veltra.exe under Wine, in that build's private Wine session
// (tests/wine/session, which the Windows suites run in too).
#pragma once

#include "harness/process.h"

#include <string>

namespace veltra::harness {

// An X server with a window manager that takes no keys, and the wine server of the folder's
// prefix, where every COM port points nowhere until a caller links one to a terminal.
class WineSession {
public:
  // The Windows build folder named by VELTRA_WINE_BUILD; empty when it is not set.
  static std::string BuildFolder();
  // False when the session cannot start. cWmConfig names the window manager's configuration
  // in tests/wine/ (the default takes no keys).
  bool Up(const std::string& cBuild, const std::string& cWmConfig = "openbox.xml");
  void Down();
  // Replaces the session's window manager by one configured by cWmConfig (tests/wine/).
  bool UseWindowManager(const std::string& cWmConfig) const;
  const Display& Screen() const { return m_oScreen; }
  // veltra.exe (the build's, or cExe) started under Wine in cDir, as a user starts it from
  // that folder.
  Child StartVeltra(const std::string& cDir, const std::string& cExe = "") const;
  const std::string& Build() const { return m_cBuild; }
  // Points COMn of the prefix at cPath; an empty path points it nowhere again.
  bool LinkPort(int nCom, const std::string& cPath) const;
  // A Unix path as the Windows program names it.
  static std::string WindowsPath(const std::string& cPath);

private:
  std::string m_cBuild;
  Display m_oScreen;
};

} // namespace veltra::harness
