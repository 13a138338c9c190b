// What the window program promises end to end, written once for the Linux program under a
// private X server and for veltra.exe under Wine: the device emulator on a pseudo-terminal,
// the file chooser, the popups and the window answered with keys pressed at the X server, as
// a person at the keyboard would. Each platform's suite instantiates the cases with its own
// Program, which has:
//   static Session Open(), static void Close()   the screen (and Wine) for the whole suite
//   static const Display& Screen()
//   static kAbsent                      why the suite is skipped when Open() is Absent
//   static kEol, kSelectAll                       the settings file's line end as the program
//                                                 writes it; the keys that select the whole log
//   std::string Port(cPty)                        the name in VELTRA.INI that reaches cPty
//   void Unlink()                                 undoes Port() after the case
//   std::string Dialog()                          a title only the transfer window has
//   std::string Describe()                        the port's state, for a failure's message
//   Child Start(cDir, aEnv)                       the program started in cDir
//   std::string Typed(cImage)                     what is typed into the chooser for cImage
//   Picker PickerFor(cDir, cPty)                  the picker case's set-up (see there)
//   OtherProgram(cDir, oScreen)                   another program and its window, where an Esc
//                                                 must not reach VELTRA (none: not tried)
#pragma once

#include "tests/support/support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace veltra::e2e {

using namespace veltra::test;

enum class Session { Up, Absent, Failed };

inline const char* const kLineLost = "Port lost: the device was unplugged or closed (ESC to exit)";

// The picker case: the settings name a port that cannot be opened, the program runs with
// aEnv, aKeys in the picker choose the emulator's port, which is then written as cWritten.
struct Picker {
  std::string cRefused;
  std::map<std::string, std::string> aEnv;
  std::vector<std::string> aKeys;
  std::string cWritten;
};

template <class Program> class ProgramContract : public ::testing::Test {
protected:
  static void SetUpTestSuite() { s_eSession = Program::Open(); }
  static void TearDownTestSuite() {
    if (s_eSession != Session::Absent) {
      Program::Close();
    }
  }
  void SetUp() override {
    if (s_eSession == Session::Absent) {
      GTEST_SKIP() << Program::kAbsent;
    }
    ASSERT_EQ(s_eSession, Session::Up) << "the screen session did not start (scripts/deps)";
    ASSERT_FALSE(m_cDir.empty());
  }
  void TearDown() override {
    m_veltra.Kill();
    m_device.Kill();
    m_oProgram.Unlink();
  }

  static const Display& Screen() { return Program::Screen(); }

  std::string WriteImage(const std::string& cData) {
    WriteFile(m_cDir + "/disk.mgt", cData);
    return m_cDir + "/disk.mgt";
  }
  void WriteSettings(const std::string& cPort) {
    WriteFile(m_cDir + "/VELTRA.INI", Settings(cPort));
  }
  static std::string Settings(const std::string& cPort) {
    return std::string("[Impostazioni]") + Program::kEol + "Porta=" + cPort + Program::kEol;
  }

  // The emulator on a new pseudo-terminal, which the settings file then names.
  void StartDevice(const std::vector<std::string>& aArgs) {
    std::string cPty;
    m_device = harness::StartDevice(aArgs, cPty);
    ASSERT_FALSE(cPty.empty()) << m_device.Err();
    WriteSettings(m_oProgram.Port(cPty));
  }

  void StartProgram(const std::map<std::string, std::string>& aEnv = {}) {
    m_veltra = m_oProgram.Start(m_cDir, aEnv);
    ASSERT_TRUE(m_veltra.Started());
  }

  // The program started and given cImage in its file chooser, as a person types it.
  void StartWith(const std::string& cImage, const std::map<std::string, std::string>& aEnv = {}) {
    StartProgram(aEnv);
    const auto cChooser = WaitWindow(Screen(), kChooserTitle);
    ASSERT_TRUE(cChooser.has_value()) << "no file chooser: " << m_veltra.Err() << Shown();
    ASSERT_TRUE(TypeInto(Screen(), *cChooser, m_oProgram.Typed(cImage)));
    ASSERT_TRUE(WindowGone(Screen(), kChooserTitle, 10s)) << "the chooser took no file";
  }

  // The transfer window, once the emulator has received its first block.
  std::string FirstBlockServed() {
    const auto cDialog = WaitWindow(Screen(), m_oProgram.Dialog());
    EXPECT_TRUE(cDialog.has_value()) << m_veltra.Err() << Shown();
    EXPECT_TRUE(m_device.ReadLine(30s).has_value())
        << "the first block arrives; the emulator said: " << m_device.Err() << m_device.Out()
        << "; the program: " << m_veltra.Err() << Shown() << m_oProgram.Describe();
    return cDialog.value_or("");
  }

  // A whole run: both programs end cleanly and the emulator's summary holds cSummary.
  void ExpectServed(const std::string& cSummary) {
    EXPECT_EQ(m_device.Wait(120s), std::optional<int>(0))
        << m_device.Out() << m_device.Err() << Shown() << m_oProgram.Describe();
    EXPECT_NE(harness::DeviceSummary(m_device).find(cSummary), std::string::npos) << m_device.Out();
    EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
  }

  // The port is refused: the warning is answered, the window never shows, the picker that
  // follows is given aKeys (Esc: cancelled, and the exit is clean).
  void ExpectOpenRefused(const std::vector<std::string>& aKeys = {"Escape"}) {
    const auto cPopup = WaitWindow(Screen(), "Attenzione");
    ASSERT_TRUE(cPopup.has_value()) << m_veltra.Err() << Shown();
    EXPECT_FALSE(WaitWindow(Screen(), m_oProgram.Dialog(), 0s).has_value());
    ASSERT_TRUE(Keys(Screen(), {"windowactivate", "--sync", *cPopup}));
    ASSERT_TRUE(Keys(Screen(), {"key", "Return"}));
    const auto cPicker = WaitWindow(Screen(), "Porta seriale");
    ASSERT_TRUE(cPicker.has_value()) << "no port picker: " << m_veltra.Err() << Shown();
    ASSERT_TRUE(Keys(Screen(), {"windowactivate", "--sync", *cPicker}));
    std::vector<std::string> aArgs = {"key"};
    aArgs.insert(aArgs.end(), aKeys.begin(), aKeys.end());
    ASSERT_TRUE(Keys(Screen(), aArgs));
    if (aKeys == std::vector<std::string>{"Escape"}) {
      EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
    }
  }

  // A key held as a person holds it, in cWindow.
  bool Press(const std::string& cWindow, const std::string& cKey) {
    return Keys(Screen(), {"windowactivate", "--sync", cWindow}) &&
           Keys(Screen(), {"keydown", cKey, "sleep", "0.3", "keyup", cKey});
  }

  // The log as the user copies it out of the window: select all of it, copy, the clipboard.
  std::string CopiedLog(const std::string& cDialog) {
    EXPECT_TRUE(Keys(Screen(), {"windowactivate", "--sync", cDialog}));
    std::vector<std::string> aArgs = {"key"};
    aArgs.insert(aArgs.end(), Program::kSelectAll.begin(), Program::kSelectAll.end());
    aArgs.push_back("ctrl+c");
    EXPECT_TRUE(Keys(Screen(), aArgs));
    return RunToEnd({"xclip", "-o", "-selection", "clipboard"}, Screen().Env(), 10s).cOut;
  }

  // The titles of the windows on the screen, for a failure's message.
  std::string Shown() const {
    return " [windows: " +
           RunToEnd({"xdotool", "search", "--onlyvisible", "--name", ".", "getwindowname", "%@"},
                    Screen().Env())
               .cOut +
           "]";
  }

  static inline Session s_eSession = Session::Absent;
  Program m_oProgram;
  TempDir m_oDir;                  // removed once TearDown has stopped the programs
  std::optional<TempDir> m_oOther; // a case's folder elsewhere (the download's, on C:)
  std::string m_cDir = m_oDir.Str();
  Child m_device;
  Child m_veltra;
};

TYPED_TEST_SUITE_P(ProgramContract);

// First, as it starts no transfer: a transfer is then never the first program of a session.
TYPED_TEST_P(ProgramContract, CancelledChooserEndsQuietlyWithoutSettingsFile) {
  this->StartProgram();
  const auto cChooser = WaitWindow(this->Screen(), kChooserTitle);
  ASSERT_TRUE(cChooser.has_value()) << this->m_veltra.Err();
  ASSERT_TRUE(this->Press(*cChooser, "Escape"));
  EXPECT_EQ(this->m_veltra.Wait(20s), std::optional<int>(0)) << this->m_veltra.Err();
  EXPECT_FALSE(std::filesystem::exists(this->m_cDir + "/VELTRA.INI"));
  EXPECT_FALSE(WaitWindow(this->Screen(), kDialogTitle, 0s).has_value());
}

// The protocol's details (other commands, bursts, short images) are the transfer loop's
// suite's; here the whole disk, whose last byte on disk is 0x1A, goes like any other byte.
TYPED_TEST_P(ProgramContract, WholeDiskIsSentByteExactAndEndClosesTheProgram) {
  const std::string cImage = this->WriteImage(PatternImage(819200));
  this->StartDevice({"--expect", cImage});
  this->StartWith(cImage);
  this->ExpectServed("blocks 160, bytes 819200, errors 0");
}

// A first run with the wrong port: the popup, then the picker, where the emulator's port is
// chosen with the keys; it is written to the settings file and the disk is sent over it.
TYPED_TEST_P(ProgramContract, PortPickedAfterTheRefusedOneIsWrittenAndServes) {
  const std::string cImage = this->WriteImage(PatternImage(2 * 5120));
  std::string cPty;
  this->m_device = harness::StartDevice({"--expect", cImage}, cPty);
  ASSERT_FALSE(cPty.empty());
  const Picker oPicker = this->m_oProgram.PickerFor(this->m_cDir, cPty);
  this->WriteSettings(oPicker.cRefused);
  this->StartWith(cImage, oPicker.aEnv);
  this->ExpectOpenRefused(oPicker.aKeys);
  this->ExpectServed("blocks 2, bytes 10240, errors 0");
  EXPECT_EQ(ReadFile(this->m_cDir + "/VELTRA.INI"), this->Settings(oPicker.cWritten));
}

// Alt+F4 is refused while the device is served; Esc typed into another program is that
// program's and the transfer goes on; Esc in VELTRA's window aborts it with one abort byte.
TYPED_TEST_P(ProgramContract, EscAbortsOnlyFromVeltrasWindowAndAltF4IsRefused) {
  const std::string cImage = this->WriteImage(PatternImage(4 * 5120));
  this->StartDevice({"--expect", cImage, "--commands", "T!", "--timeout", "60", "--verbose"});
  this->StartWith(cImage);
  const std::string cDialog = this->FirstBlockServed();
  ASSERT_FALSE(cDialog.empty());

  // A close the program accepted would hide the window at once.
  ASSERT_TRUE(this->Press(cDialog, "alt+F4"));
  EXPECT_FALSE(WindowGone(this->Screen(), this->m_oProgram.Dialog(), 1500ms))
      << "Alt+F4 closed the window";

  if (auto oOther = this->m_oProgram.OtherProgram(this->m_cDir, this->Screen())) {
    auto& [oChild, cWindow] = *oOther;
    ASSERT_FALSE(cWindow.empty()) << this->Shown();
    ASSERT_TRUE(this->Press(cWindow, "Escape"));
    EXPECT_FALSE(this->m_veltra.Wait(1500ms).has_value()) << "Esc in another program ended it";
    EXPECT_EQ(this->m_device.Out().find("received 0x09"), std::string::npos)
        << this->m_device.Out();
    oChild.Kill();
  }

  ASSERT_TRUE(this->Press(cDialog, "Escape"));
  EXPECT_EQ(this->m_device.Wait(20s), std::optional<int>(0)) << this->m_device.Out();
  const std::string& cOut = this->m_device.Out();
  EXPECT_NE(cOut.find("received 0x09 (abort)"), std::string::npos) << cOut;
  EXPECT_EQ(cOut.find("received 0x09"), cOut.rfind("received 0x09")) << "one abort byte: " << cOut;
  EXPECT_EQ(this->m_veltra.Wait(20s), std::optional<int>(0)) << this->m_veltra.Err();
}

// The cable pulled after a block: the log says so once, right after the last block, the
// program idles, and Esc still ends it.
TYPED_TEST_P(ProgramContract, DeviceGoneIsToldOnceAndEscStillEndsTheProgram) {
  const std::string cImage = this->WriteImage(PatternImage(4 * 5120));
  this->StartDevice({"--expect", cImage, "--commands", "T", "--verbose"});
  this->StartWith(cImage);
  const std::string cDialog = this->FirstBlockServed();
  ASSERT_FALSE(cDialog.empty());
  EXPECT_EQ(this->m_device.Wait(30s), std::optional<int>(0)) << this->m_device.Out();
  this->m_device.Kill(); // the line is gone for good

  std::string cLog;
  for (int i = 0; i < 50 && cLog.find(kLineLost) == std::string::npos; ++i) {
    std::this_thread::sleep_for(100ms);
    cLog = this->CopiedLog(cDialog);
  }
  EXPECT_NE(cLog.find(std::string("Sending track 0, side 0\n") + kLineLost), std::string::npos)
      << "right after the last block: " << cLog;
  const double dBefore = CpuSeconds(this->m_veltra.Pid());
  std::this_thread::sleep_for(1s);
  EXPECT_LT(CpuSeconds(this->m_veltra.Pid()) - dBefore, 0.3) << "it spins on a dead line";
  cLog = this->CopiedLog(cDialog);
  EXPECT_EQ(cLog.find(kLineLost), cLog.rfind(kLineLost)) << "said once only: " << cLog;

  ASSERT_TRUE(this->Press(cDialog, "Escape"));
  EXPECT_EQ(this->m_veltra.Wait(20s), std::optional<int>(0)) << this->m_veltra.Err();
}

REGISTER_TYPED_TEST_SUITE_P(ProgramContract, CancelledChooserEndsQuietlyWithoutSettingsFile,
                            WholeDiskIsSentByteExactAndEndClosesTheProgram,
                            PortPickedAfterTheRefusedOneIsWrittenAndServes,
                            EscAbortsOnlyFromVeltrasWindowAndAltF4IsRefused,
                            DeviceGoneIsToldOnceAndEscStillEndsTheProgram);

} // namespace veltra::e2e
