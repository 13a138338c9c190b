// Writes the README's picture of a transfer in progress: the real veltra under a private X
// server with a window manager, serving the device emulator at the pace of a real line. With
// VELTRA_WINE_BUILD naming a Windows build folder, the picture is of that build's veltra.exe
// under Wine instead; with --popup as well, the picture is of that veltra.exe's popup for a
// port that cannot be opened (COM7, which points nowhere in the test prefix). With --picker,
// the picture is of the port picker that follows that popup: under Wine over the prefix's COM
// ports, on Linux over a made-up device tree (a console, an adapter held by another program,
// and the free adapter that stands for the emulator).
// Usage: veltra_transfer_pictures [--popup | --picker] OUT.png
#include "harness/programs.h"
#include "harness/wine_session.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

using namespace veltra::harness;

namespace {

// A made-up device tree under cRoot: ttyS0 the console, ttyUSB0 held by picocom, ttyUSB1 an
// adapter with a stable name whose device node is cPort.
std::map<std::string, std::string> FakeTree(const std::string& cRoot, const std::string& cPort) {
  namespace fs = std::filesystem;
  const auto Add = [&](const std::string& cName, const std::string& cVendor,
                       const std::string& cProduct) {
    const std::string cDevice = cRoot + "/sys/devices/" + cName;
    fs::create_directories(cDevice + "/tty/" + cName);
    fs::create_directories(cRoot + "/sys/class/tty");
    fs::create_directory_symlink(cDevice, cDevice + "/tty/" + cName + "/device");
    fs::create_directory_symlink(cDevice + "/tty/" + cName, cRoot + "/sys/class/tty/" + cName);
    if (!cVendor.empty()) {
      WriteFile(cDevice + "/idVendor", "0403\n");
      WriteFile(cDevice + "/idProduct", "6001\n");
      WriteFile(cDevice + "/manufacturer", cVendor + "\n");
      WriteFile(cDevice + "/product", cProduct + "\n");
    }
  };
  Add("ttyS0", "", "");
  Add("ttyUSB0", "Prolific", "USB-Serial Controller");
  Add("ttyUSB1", "FTDI", "FT232R USB UART");
  fs::create_directories(cRoot + "/dev/serial/by-id");
  fs::create_directories(cRoot + "/proc/812/fd");
  WriteFile(cRoot + "/dev/ttyS0", "");
  WriteFile(cRoot + "/dev/ttyUSB0", "");
  fs::create_symlink(cPort, cRoot + "/dev/ttyUSB1");
  fs::create_symlink("../../ttyUSB1",
                     cRoot + "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0");
  WriteFile(cRoot + "/proc/consoles", "ttyS0                -W- (EC p a)    4:64\n");
  WriteFile(cRoot + "/proc/812/comm", "picocom\n");
  fs::create_symlink(cRoot + "/dev/ttyUSB0", cRoot + "/proc/812/fd/3");
  return {{"VELTRA_SYSFS", cRoot + "/sys"},
          {"VELTRA_DEVFS", cRoot + "/dev"},
          {"VELTRA_PROCFS", cRoot + "/proc"}};
}

} // namespace

int main(int argc, char** argv) {
  const std::string cMode = argc == 3 ? argv[1] : "";
  const bool lPicker = cMode == "--picker";
  const bool lPopup = cMode == "--popup" || lPicker;
  const std::string cWineBuild = WineSession::BuildFolder();
  if (argc != (lPopup ? 3 : 2) || (cMode == "--popup" && cWineBuild.empty())) {
    std::fputs("usage: veltra_transfer_pictures [--popup | --picker] OUT.png (--popup: of "
               "veltra.exe under Wine, VELTRA_WINE_BUILD set)\n",
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
    WriteFile(cDir + "/VELTRA.INI",
              "[Impostazioni]\nPorta=" + (lPicker ? cDir + "/no-such-port" : cPort) + "\n");
    std::map<std::string, std::string> aEnv = oDisplay.Env();
    if (lPicker) {
      aEnv.merge(FakeTree(cDir + "/tree", cPort));
    }
    oVeltra = Child({VeltraPath()}, aEnv, cDir);
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
  auto cDialog = WaitWindow(oDisplay, lPopup ? "Attenzione" : kDialogTitle);
  if (lPicker && cDialog) {
    Keys(oDisplay, {"windowactivate", "--sync", *cDialog});
    Keys(oDisplay, {"key", "Return"});
    cDialog = WaitWindow(oDisplay, "Porta seriale");
  }
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
