// Writes the README's picture of a transfer in progress: the real veltra under a private X
// server with a window manager, serving the device emulator at the pace of a real line. With
// VELTRA_WINE_BUILD naming a Windows build folder, the picture is of that build's veltra.exe
// under Wine instead; with --popup as well, the picture is of that veltra.exe's popup for a
// port that cannot be opened (COM7, which points nowhere in the test prefix).
// Usage: veltra_transfer_screenshot [--popup] OUT.png
#include "harness/programs.h"
#include "harness/wine_session.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <filesystem>
#include <thread>

using namespace veltra::harness;

int main(int argc, char** argv) {
  const bool lPopup = argc == 3 && std::string(argv[1]) == "--popup";
  const std::string cWineBuild = WineSession::BuildFolder();
  if (argc != (lPopup ? 3 : 2) || (lPopup && cWineBuild.empty())) {
    std::fputs("usage: veltra_transfer_screenshot [--popup] OUT.png (--popup: of veltra.exe under "
               "Wine, VELTRA_WINE_BUILD set)\n",
               stderr);
    return 2;
  }
  const char* pOut = argv[argc - 1];
  WineSession oWine;
  veltra::harness::Display oOwn;
  if (cWineBuild.empty() ? !oOwn.Start() : !oWine.Up(cWineBuild)) {
    std::fputs("Xvfb, openbox, xdotool or Wine missing\n", stderr);
    return 1;
  }
  const veltra::harness::Display& oDisplay = cWineBuild.empty() ? oOwn : oWine.Screen();
  const std::string cDir = TempFolder();
  const std::string cImage = cDir + "/GAMES.MGT";
  WriteFile(cImage, PatternImage(819200));
  std::string cPort;
  Child oDevice = StartDevice({"--expect", cImage, "--pace", "115200,8N2"}, cPort);
  if (cPort.empty()) {
    return 1;
  }
  Child oVeltra;
  if (cWineBuild.empty()) {
    WriteFile(cDir + "/VELTRA.INI", "[Impostazioni]\nPorta=" + cPort + "\n");
    oVeltra = Child({VeltraPath()}, oDisplay.Env(), cDir);
  } else {
    WriteFile(cDir + "/VELTRA.INI",
              std::string("[Impostazioni]\r\nPorta=") + (lPopup ? "COM7" : "COM3") + "\r\n");
    oWine.LinkPort(3, cPort);
    oVeltra = oWine.StartVeltra(cDir);
  }
  const auto cChooser = WaitWindow(oDisplay, kChooserTitle);
  if (!cChooser || !TypeInto(oDisplay, *cChooser, cWineBuild.empty() ? cImage : "GAMES.MGT")) {
    return 1;
  }
  const auto cDialog = WaitWindow(oDisplay, lPopup ? "Attenzione" : kDialogTitle);
  std::this_thread::sleep_for(lPopup ? 1s : 4s); // a few blocks at line speed
  for (const auto& [k, v] : oDisplay.Env()) {
    qputenv(k.c_str(), v.c_str());
  }
  int nArgc = 1;
  QGuiApplication oApp(nArgc, argv);
  const QPixmap oShot = QGuiApplication::primaryScreen()->grabWindow(0);
  // The window and a margin around it, cut from the whole screen.
  const auto aGeometry =
      RunToEnd({"xdotool", "getwindowgeometry", "--shell", cDialog.value_or("")}, oDisplay.Env());
  int x = 0, y = 0, w = oShot.width(), h = oShot.height();
  std::sscanf(aGeometry.cOut.c_str(), "WINDOW=%*d\nX=%d\nY=%d\nWIDTH=%d\nHEIGHT=%d", &x, &y, &w,
              &h);
  const int nFrameTop = 40; // the window manager's title bar above the client area
  const bool lSaved = oShot.copy(x - 6, y - nFrameTop, w + 12, h + nFrameTop + 2).save(pOut);
  oVeltra.Kill();
  oDevice.Kill();
  if (cWineBuild.empty()) {
    oOwn.Stop();
  } else {
    oWine.LinkPort(3, "");
    oWine.Down();
  }
  std::filesystem::remove_all(cDir);
  return lSaved ? 0 : 1;
}
