// What the end-to-end suites, the benchmarks and the screenshot tools share: the built
// programs and a sample disk image, on top of the common process and X server helpers; and
// the Windows build's veltra.exe under Wine, in that build's private Wine session.
#pragma once

#include "tests/support/process.h"

#include <string>

namespace veltra::e2e {

using namespace veltra::test;

// The programs of this build; VELTRA_E2E_VELTRA and VELTRA_E2E_DEVICE name others to run.
std::string VeltraPath();
std::string DevicePath();
// A disk image whose bytes differ from block to block.
std::string PatternImage(std::size_t nSize);

// The titles of the program's file chooser and (their common ending) its transfer window.
inline constexpr const char* kChooserTitle = "Seleziona immagine da inviare";
inline constexpr const char* kDialogTitle = "115200,N,8,2";
// Esc held in the transfer window, as a person ends a transfer.
void EscInDialog(const Display& oDisplay);

// The device emulator started with aArgs on a new pseudo-terminal; cPort is set to the
// terminal's path (empty when it did not start).
Child StartDevice(const std::vector<std::string>& aArgs, std::string& cPort);
// The emulator's closing summary ("veltra-device: blocks ..."), or all it printed.
std::string DeviceSummary(Child& oDevice);

// The private Wine session of a Windows build folder (tests/wine/session): an X server with a
// window manager that takes no keys, and the wine server of the folder's prefix, where every
// COM port points nowhere until a caller links one to a terminal.
class WineSession {
public:
  // The Windows build folder named by VELTRA_WINE_BUILD; empty when it is not set.
  static std::string BuildFolder();
  // False when the session cannot start. cWmConfig names the window manager's configuration
  // in tests/wine/ (the default takes no keys).
  bool Up(const std::string& cBuild, const std::string& cWmConfig = "openbox.xml");
  void Down();
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

} // namespace veltra::e2e
