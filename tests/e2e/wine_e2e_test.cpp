// veltra.exe, the Windows build, end to end under Wine: the device emulator on a
// pseudo-terminal that the prefix's COM5 points at, and the file chooser, the popups and the
// window answered with keys pressed at the X server, as a person at the keyboard would.
// The Windows build folder comes from VELTRA_WINE_BUILD (make test-windows sets it), the
// Windows download from VELTRA_WINE_ZIP (make test-windows makes it and sets it).
#include "tests/e2e/program_contract.h"

#include <cstdlib>
#include <set>
#include <utility>

namespace veltra::e2e {
namespace {

// veltra.exe in the process's one Wine session; COM5 of the prefix points at the emulator's
// pseudo-terminal, and the settings file names COM5.
struct WineProgram {
  static inline WineSession* s_pWine = nullptr;
  static constexpr const char* kAbsent =
      "VELTRA_WINE_BUILD names no Windows build (make test-windows sets it)";
  static constexpr const char* kEol = "\r\n";
  static inline const std::vector<std::string> kSelectAll = {"ctrl+Home", "ctrl+shift+End"};

  // One session for every suite of the process, started by the first and ended at the
  // process's exit: a second session started after the first one ended met that session's
  // Wine server and X server still on their way out, and starting one costs seconds.
  static Session Open() {
    static const Session eSession = [] {
      const std::string cBuild = WineSession::BuildFolder();
      if (cBuild.empty()) {
        return Session::Absent;
      }
      static struct Ender {
        ~Ender() {
          if (s_pWine != nullptr) {
            s_pWine->Down();
            delete std::exchange(s_pWine, nullptr);
          }
        }
      } oEnder;
      s_pWine = new WineSession;
      return s_pWine->Up(cBuild) ? Session::Up : Session::Failed;
    }();
    return eSession;
  }
  static void Close() {} // see Open
  static const Display& Screen() { return s_pWine->Screen(); }

  std::string Port(const std::string& cPty) {
    EXPECT_TRUE(s_pWine->LinkPort(5, cPty));
    return "COM5";
  }
  void Unlink() {
    if (s_pWine != nullptr) {
      s_pWine->LinkPort(5, "");
    }
  }
  std::string Dialog() const { return std::string("COM5:") + kDialogTitle; }
  // Where COM5 points now, for a failure's message.
  std::string Describe() const {
    std::error_code e;
    return "COM5 -> " +
           std::filesystem::read_symlink(s_pWine->Build() + "/wineprefix/dosdevices/com5", e)
               .string();
  }
  Child Start(const std::string& cDir, const std::map<std::string, std::string>& aEnv) const {
    EXPECT_TRUE(aEnv.empty()) << "veltra.exe takes no environment of its own";
    return s_pWine->StartVeltra(cDir, cExe);
  }
  // The chooser opens in the current folder, where the image is.
  std::string Typed(const std::string& cImage) const {
    return std::filesystem::path(cImage).filename().string();
  }
  // COM1 (the first port) is selected; four down is COM5, the emulator.
  Picker PickerFor(const std::string&, const std::string& cPty) {
    Port(cPty);
    return {.cRefused = "COM7",
            .aEnv = {},
            .aKeys = {"Down", "Down", "Down", "Down", "Return"},
            .cWritten = "COM5"};
  }
  // Wine's Notepad.
  std::optional<std::pair<Child, std::string>> OtherProgram(const std::string& cDir,
                                                            const Display& oScreen) const {
    Child oEditor({std::string(VELTRA_SOURCE_DIR) + "/tests/wine/run", s_pWine->Build(), "notepad"},
                  {}, cDir);
    const std::string cWindow = WaitWindow(oScreen, "Notepad").value_or("");
    return std::make_pair(std::move(oEditor), cWindow);
  }

  std::string cExe; // empty: the build's veltra.exe
};

INSTANTIATE_TYPED_TEST_SUITE_P(Wine, ProgramContract, WineProgram);

// The cases of veltra.exe alone: the ports of a Windows machine, the download, and a window
// manager that takes Alt+F4 (the last case: it puts the suite's own back when it ends).
using WineEndToEnd = ProgramContract<WineProgram>;

TEST_F(WineEndToEnd, PortThatPointsNowhereIsReportedAndTheSettingsStay) {
  const std::string cImage = WriteImage(PatternImage(5120));
  WriteSettings("COM7");
  StartWith(cImage);
  ExpectOpenRefused();
  EXPECT_EQ(ReadFile(m_cDir + "/VELTRA.INI"), Settings("COM7"));
}

TEST_F(WineEndToEnd, NoSettingsFileWritesComOneWhoseOpenIsRefused) {
  const std::string cImage = WriteImage(PatternImage(5120));
  StartWith(cImage);
  ExpectOpenRefused();
  EXPECT_EQ(ReadFile(m_cDir + "/VELTRA.INI"), Settings("COM1"));
}

// The Windows download as a user gets it: unpacked into a new folder on C:, it holds the
// program and its three texts (CR LF line ends, the licence as the package states it) and no
// settings file; started from there, it serves a whole disk.
TEST_F(WineEndToEnd, DownloadUnpackedIntoANewFolderServesTheWholeDisk) {
  const char* pZip = std::getenv("VELTRA_WINE_ZIP");
  if (pZip == nullptr || *pZip == '\0') {
    GTEST_SKIP() << "VELTRA_WINE_ZIP names no zip (make test-windows sets it)";
  }
  m_oOther.emplace(WineProgram::s_pWine->Build() + "/wineprefix/drive_c");
  m_cDir = m_oOther->Str();
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

  m_oProgram.cExe = m_cDir + "/veltra.exe";
  const std::string cImage = WriteImage(PatternImage(819200));
  StartDevice({"--expect", cImage});
  StartWith(cImage);
  ExpectServed("blocks 160, bytes 819200, errors 0");
}

// Under a window manager that takes Alt+F4 for itself and closes the window, as most desktops
// do, the program never sees F4 down, so it accepts the close. The accepted close leaves the
// window on screen while the device is served, so Esc still reaches it: one abort byte, and
// the program ends cleanly.
TEST_F(WineEndToEnd, CloseAcceptedFromTheWindowManagerKeepsTheWindowUntilEsc) {
  ASSERT_TRUE(WineProgram::s_pWine->UseWindowManager("openbox-closes.xml"));
  struct Restore {
    ~Restore() { EXPECT_TRUE(WineProgram::s_pWine->UseWindowManager("openbox.xml")); }
  } oRestore;
  const std::string cImage = WriteImage(PatternImage(4 * 5120));
  StartDevice({"--expect", cImage, "--commands", "T!", "--timeout", "60", "--verbose"});
  StartWith(cImage);
  const std::string cDialog = FirstBlockServed();
  ASSERT_FALSE(cDialog.empty());

  ASSERT_TRUE(Press(cDialog, "alt+F4"));
  EXPECT_FALSE(WindowGone(Screen(), m_oProgram.Dialog(), 1500ms))
      << "the window went while serving";

  ASSERT_TRUE(Press(cDialog, "Escape"));
  EXPECT_EQ(m_device.Wait(20s), std::optional<int>(0)) << m_device.Out();
  const std::string& cOut = m_device.Out();
  const std::string cAbort = "received 0x09 (abort)";
  EXPECT_NE(cOut.find(cAbort), std::string::npos) << cOut;
  EXPECT_EQ(cOut.find(cAbort), cOut.rfind(cAbort)) << cOut;
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0));
}

} // namespace
} // namespace veltra::e2e
