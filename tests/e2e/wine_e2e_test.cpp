// veltra.exe, the Windows build, end to end under Wine: the device emulator on a
// pseudo-terminal that the prefix's COM5 points at, and the file chooser, the popups and the
// window answered with keys pressed at the X server, as a person at the keyboard would.
// The Windows build folder comes from VELTRA_WINE_BUILD (make test-windows sets it), the
// Windows download from VELTRA_WINE_ZIP (make test-windows makes it and sets it).
#include "tests/support/support.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <thread>

namespace veltra::e2e {
namespace {

using namespace veltra::test;

const std::string kDialog = std::string("COM5:") + kDialogTitle;
const char* const kLineLost = "Port lost: the device was unplugged or closed (ESC to exit)";

class WineEndToEnd : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartSession("openbox.xml"); }
  // One session for the suite, its window manager configured by cWmConfig (tests/wine/).
  static void StartSession(const std::string& cWmConfig) {
    const std::string cBuild = WineSession::BuildFolder();
    if (!cBuild.empty()) {
      s_pWine = new WineSession;
      s_lUp = s_pWine->Up(cBuild, cWmConfig);
    }
  }
  static void TearDownTestSuite() {
    if (s_pWine != nullptr) {
      s_pWine->Down();
      delete s_pWine;
      s_pWine = nullptr;
    }
  }
  void SetUp() override {
    if (s_pWine == nullptr) {
      GTEST_SKIP() << "VELTRA_WINE_BUILD names no Windows build (make test-windows sets it)";
    }
    ASSERT_TRUE(s_lUp) << "the Wine session did not start (scripts/deps windows)";
    ASSERT_FALSE(m_cDir.empty());
  }
  void TearDown() override {
    m_veltra.Kill();
    m_device.Kill();
    if (s_pWine != nullptr) {
      s_pWine->LinkPort(5, "");
    }
  }

  const Display& Screen() const { return s_pWine->Screen(); }

  // The emulator on a new terminal, which COM5 then stands for; VELTRA.INI names COM5.
  void StartDeviceOnCom5(const std::vector<std::string>& aArgs) {
    std::string cPort;
    m_device = StartDevice(aArgs, cPort);
    ASSERT_FALSE(cPort.empty());
    ASSERT_TRUE(s_pWine->LinkPort(5, cPort));
    WriteFile(m_cDir + "/VELTRA.INI", "[Impostazioni]\r\nPorta=COM5\r\n");
  }

  std::string WriteImage(const std::string& cData) {
    WriteFile(m_cDir + "/disk.mgt", cData);
    return m_cDir + "/disk.mgt";
  }

  // veltra.exe started in the test's folder, given the image there by its name typed into
  // the file chooser (which opens in the current folder).
  void StartVeltraWith(const std::string& cImage) {
    m_veltra = s_pWine->StartVeltra(m_cDir, m_cExe);
    ASSERT_TRUE(m_veltra.Started());
    const auto cChooser = WaitWindow(Screen(), kChooserTitle);
    ASSERT_TRUE(cChooser.has_value()) << "no file chooser: " << m_veltra.Err();
    ASSERT_TRUE(TypeInto(Screen(), *cChooser, std::filesystem::path(cImage).filename()));
    ASSERT_TRUE(WindowGone(Screen(), kChooserTitle, 10s))
        << "the chooser took no file: " << Shown();
  }

  // The titles of the windows on the screen, for a failure's message.
  std::string Shown() const {
    return RunToEnd({"xdotool", "search", "--onlyvisible", "--name", ".", "getwindowname", "%@"},
                    Screen().Env())
        .cOut;
  }

  void ExpectServed(const std::string& cImage, const std::vector<std::string>& aDeviceArgs,
                    const std::string& cSummary) {
    StartDeviceOnCom5(aDeviceArgs);
    StartVeltraWith(cImage);
    EXPECT_EQ(m_device.Wait(120s), std::optional<int>(0))
        << m_device.Out() << m_device.Err() << "windows: " << Shown();
    EXPECT_NE(DeviceSummary(m_device).find(cSummary), std::string::npos) << m_device.Out();
    EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0));
  }

  // The port is refused: the warning is answered, the window never shows; the port picker
  // that follows is given aKeys (Esc: cancelled, and the exit is clean).
  void ExpectOpenRefused(const std::vector<std::string>& aKeys = {"Escape"}) {
    const auto cPopup = WaitWindow(Screen(), "Attenzione");
    ASSERT_TRUE(cPopup.has_value());
    EXPECT_FALSE(WaitWindow(Screen(), kDialog, 0s).has_value());
    ASSERT_TRUE(Keys(Screen(), {"windowactivate", "--sync", *cPopup}));
    ASSERT_TRUE(Keys(Screen(), {"key", "Return"}));
    const auto cPicker = WaitWindow(Screen(), "Porta seriale");
    ASSERT_TRUE(cPicker.has_value()) << "no port picker: " << Shown();
    ASSERT_TRUE(Keys(Screen(), {"windowactivate", "--sync", *cPicker}));
    std::vector<std::string> aArgs = {"key"};
    aArgs.insert(aArgs.end(), aKeys.begin(), aKeys.end());
    ASSERT_TRUE(Keys(Screen(), aArgs));
    if (aKeys == std::vector<std::string>{"Escape"}) {
      EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0));
    }
  }

  bool Press(const std::string& cWindow, const std::string& cKey) {
    return Keys(Screen(), {"windowactivate", "--sync", cWindow}) &&
           Keys(Screen(), {"keydown", cKey, "sleep", "0.2", "keyup", cKey});
  }

  // The log as the user copies it out of the window: select all of it, copy, the clipboard.
  std::string CopiedLog(const std::string& cDialog) {
    EXPECT_TRUE(Keys(Screen(), {"windowactivate", "--sync", cDialog}));
    EXPECT_TRUE(Keys(Screen(), {"key", "ctrl+Home", "ctrl+shift+End", "ctrl+c"}));
    return RunToEnd({"xclip", "-o", "-selection", "clipboard"}, Screen().Env(), 10s).cOut;
  }

  static WineSession* s_pWine;
  static bool s_lUp;
  TempDir m_oDir;                     // removed once TearDown has stopped the programs
  std::optional<TempDir> m_oUnpacked; // the download case's folder, on the prefix's C:
  std::string m_cDir = m_oDir.Str();
  std::string m_cExe; // empty: the build's veltra.exe
  Child m_device;
  Child m_veltra;
};

WineSession* WineEndToEnd::s_pWine = nullptr;
bool WineEndToEnd::s_lUp = false;

TEST_F(WineEndToEnd, CancelledChooserEndsQuietlyWithoutSettingsFile) {
  m_veltra = s_pWine->StartVeltra(m_cDir);
  const auto cChooser = WaitWindow(Screen(), kChooserTitle);
  ASSERT_TRUE(cChooser.has_value());
  ASSERT_TRUE(Press(*cChooser, "Escape"));
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0));
  EXPECT_FALSE(std::filesystem::exists(m_cDir + "/VELTRA.INI"));
  EXPECT_FALSE(WaitWindow(Screen(), kDialog, 0s).has_value());
}

TEST_F(WineEndToEnd, WholeDiskIsSentByteExactAndEndClosesTheProgram) {
  const std::string cImage = WriteImage(PatternImage(819200));
  ExpectServed(cImage, {"--expect", cImage}, "blocks 160, bytes 819200, errors 0");
}

// The Windows download as a user gets it: unpacked into a new folder on C:, it holds the
// program and its three texts (CR LF line ends, the licence as the package states it) and no
// settings file; started from there, it serves a whole disk.
TEST_F(WineEndToEnd, DownloadUnpackedIntoANewFolderServesTheWholeDisk) {
  const char* pZip = std::getenv("VELTRA_WINE_ZIP");
  if (pZip == nullptr || *pZip == '\0') {
    GTEST_SKIP() << "VELTRA_WINE_ZIP names no zip (make test-windows sets it)";
  }
  m_oUnpacked.emplace(s_pWine->Build() + "/wineprefix/drive_c");
  m_cDir = m_oUnpacked->Str();
  ASSERT_FALSE(m_cDir.empty());
  ASSERT_EQ(RunToEnd({"unzip", "-q", pZip, "-d", m_cDir}, {}, 30s).nExit, 0);
  std::set<std::string> aNames;
  for (const auto& o : std::filesystem::directory_iterator(m_cDir)) {
    aNames.insert(o.path().filename().string());
  }
  EXPECT_EQ(aNames,
            (std::set<std::string>{"LEGGIMI.txt", "LICENSE.txt", "README.txt", "veltra.exe"}));
  for (const char* cText : {"LEGGIMI.txt", "README.txt", "LICENSE.txt"}) {
    const std::string c = ReadFile(m_cDir + "/" + cText);
    std::size_t nBare = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
      nBare += c[i] == '\n' && (i == 0 || c[i - 1] != '\r') ? 1 : 0;
    }
    EXPECT_GT(c.size(), 100U) << cText;
    EXPECT_TRUE(c.ends_with("\r\n")) << cText;
    EXPECT_EQ(nBare, 0U) << cText << " has line feeds without a carriage return";
  }
  std::string cCopyright = ReadFile(std::string(VELTRA_SOURCE_DIR) + "/packaging/copyright");
  std::string cCrLf;
  for (const char c : cCopyright) {
    cCrLf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  EXPECT_EQ(ReadFile(m_cDir + "/LICENSE.txt"), cCrLf);

  m_cExe = m_cDir + "/veltra.exe";
  const std::string cImage = WriteImage(PatternImage(819200));
  ExpectServed(cImage, {"--expect", cImage}, "blocks 160, bytes 819200, errors 0");
}

// Alt+F4 is refused while the device is served; Esc typed into another program (Wine's
// Notepad) is that program's and the transfer goes on; Esc in VELTRA's window aborts it with
// one abort byte.
TEST_F(WineEndToEnd, EscAbortsOnlyFromVeltrasWindowAndAltF4IsRefused) {
  const std::string cImage = WriteImage(PatternImage(4 * 5120));
  StartDeviceOnCom5({"--expect", cImage, "--commands", "T!", "--timeout", "60", "--verbose"});
  StartVeltraWith(cImage);
  const auto cDialog = WaitWindow(Screen(), kDialog);
  ASSERT_TRUE(cDialog.has_value());
  ASSERT_TRUE(m_device.ReadLine(20s).has_value()) << "the first block arrives";

  // A close the program accepted would hide the window at once.
  ASSERT_TRUE(Press(*cDialog, "alt+F4"));
  EXPECT_FALSE(WindowGone(Screen(), kDialog, 1500ms)) << "Alt+F4 closed the window";

  Child oEditor({std::string(VELTRA_SOURCE_DIR) + "/tests/wine/run", s_pWine->Build(), "notepad"},
                {}, m_cDir);
  const auto cEditor = WaitWindow(Screen(), "Notepad");
  ASSERT_TRUE(cEditor.has_value()) << Shown();
  ASSERT_TRUE(Press(*cEditor, "Escape"));
  EXPECT_FALSE(m_veltra.Wait(1500ms).has_value()) << "Esc in Notepad ended VELTRA";
  EXPECT_EQ(m_device.Out().find("received 0x09"), std::string::npos) << m_device.Out();

  ASSERT_TRUE(Press(*cDialog, "Escape"));
  EXPECT_EQ(m_device.Wait(20s), std::optional<int>(0)) << m_device.Out();
  EXPECT_NE(m_device.Out().find("received 0x09 (abort)"), std::string::npos) << m_device.Out();
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0));
  oEditor.Kill();
}

// The cable pulled after a block: the log says so once, the program idles, Esc ends it.
TEST_F(WineEndToEnd, DeviceGoneIsToldOnceAndEscStillEndsTheProgram) {
  const std::string cImage = WriteImage(PatternImage(4 * 5120));
  StartDeviceOnCom5({"--expect", cImage, "--commands", "T"});
  StartVeltraWith(cImage);
  const auto cDialog = WaitWindow(Screen(), kDialog);
  ASSERT_TRUE(cDialog.has_value());
  EXPECT_EQ(m_device.Wait(30s), std::optional<int>(0)) << m_device.Out();
  m_device.Kill();

  std::string cLog;
  for (int i = 0; i < 50 && cLog.find(kLineLost) == std::string::npos; ++i) {
    std::this_thread::sleep_for(100ms);
    cLog = CopiedLog(*cDialog);
  }
  EXPECT_NE(cLog.find(std::string("Sending track 0, side 0\n") + kLineLost), std::string::npos)
      << cLog;
  const double dBefore = CpuSeconds(m_veltra.Pid());
  std::this_thread::sleep_for(1s);
  EXPECT_LT(CpuSeconds(m_veltra.Pid()) - dBefore, 0.3) << "veltra.exe spins on a dead line";
  cLog = CopiedLog(*cDialog);
  EXPECT_EQ(cLog.find(kLineLost), cLog.rfind(kLineLost)) << "said once only: " << cLog;

  ASSERT_TRUE(Press(*cDialog, "Escape"));
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0));
}

TEST_F(WineEndToEnd, PortThatPointsNowhereIsReportedAndTheSettingsStay) {
  const std::string cImage = WriteImage(PatternImage(5120));
  const std::string cSettings = "[Impostazioni]\r\nPorta=COM7\r\n";
  WriteFile(m_cDir + "/VELTRA.INI", cSettings);
  StartVeltraWith(cImage);
  ExpectOpenRefused();
  EXPECT_EQ(ReadFile(m_cDir + "/VELTRA.INI"), cSettings);
}

// The picker after the refused port: COM1 (the first port) selected, four down is COM5, the
// emulator; Return writes it to the settings file and the disk is sent over it.
TEST_F(WineEndToEnd, PortPickedAfterTheRefusedOneIsWrittenAndServes) {
  const std::string cImage = WriteImage(PatternImage(2 * 5120));
  StartDeviceOnCom5({"--expect", cImage});
  WriteFile(m_cDir + "/VELTRA.INI", "[Impostazioni]\r\nPorta=COM7\r\n");
  StartVeltraWith(cImage);
  ExpectOpenRefused({"Down", "Down", "Down", "Down", "Return"});
  EXPECT_EQ(m_device.Wait(60s), std::optional<int>(0))
      << m_device.Out() << "windows: " << Shown() << m_veltra.Err();
  EXPECT_NE(DeviceSummary(m_device).find("blocks 2, bytes 10240, errors 0"), std::string::npos);
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0));
  EXPECT_EQ(ReadFile(m_cDir + "/VELTRA.INI"), "[Impostazioni]\r\nPorta=COM5\r\n");
}

TEST_F(WineEndToEnd, NoSettingsFileWritesComOneWhoseOpenIsRefused) {
  const std::string cImage = WriteImage(PatternImage(5120));
  StartVeltraWith(cImage);
  ExpectOpenRefused();
  EXPECT_EQ(ReadFile(m_cDir + "/VELTRA.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
}

// Under a window manager that takes Alt+F4 for itself and closes the window, as most desktops
// do: the program never sees F4 down, so it accepts the close.
class WineEndToEndClosingWm : public WineEndToEnd {
protected:
  static void SetUpTestSuite() { StartSession("openbox-closes.xml"); }
};

// The accepted close leaves the window on screen while the device is served, so Esc still
// reaches it: one abort byte, and the program ends cleanly.
TEST_F(WineEndToEndClosingWm, CloseAcceptedDuringTheTransferKeepsTheWindowUntilEsc) {
  const std::string cImage = WriteImage(PatternImage(4 * 5120));
  StartDeviceOnCom5({"--expect", cImage, "--commands", "T!", "--timeout", "60", "--verbose"});
  StartVeltraWith(cImage);
  const auto cDialog = WaitWindow(Screen(), kDialog);
  ASSERT_TRUE(cDialog.has_value());
  ASSERT_TRUE(m_device.ReadLine(20s).has_value()) << "the first block arrives";

  ASSERT_TRUE(Press(*cDialog, "alt+F4"));
  EXPECT_FALSE(WindowGone(Screen(), kDialog, 1500ms)) << "the window went while serving";

  ASSERT_TRUE(Press(*cDialog, "Escape"));
  EXPECT_EQ(m_device.Wait(20s), std::optional<int>(0)) << m_device.Out();
  const std::string& cOut = m_device.Out();
  const std::string cAbort = "received 0x09 (abort)";
  EXPECT_NE(cOut.find(cAbort), std::string::npos) << cOut;
  EXPECT_EQ(cOut.find(cAbort), cOut.rfind(cAbort)) << cOut;
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0));
}

} // namespace
} // namespace veltra::e2e
