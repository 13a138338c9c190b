// The real veltra program, end to end: a private X server with a window manager, the device
// emulator on a pseudo-terminal, the file chooser answered by typing as a person would.
#include "tests/support/support.h"

#include <array>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace veltra::e2e {
namespace {

using namespace veltra::test;

const char* const kLineLost = "Port lost: the device was unplugged or closed (ESC to exit)";

// True when a program could take the port now: nobody holds its lock.
bool PortFree(const std::string& cPort) {
  const int fd = ::open(cPort.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const bool lFree = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  return lFree;
}

// How many times cText occurs in cIn.
int Count(const std::string& cIn, const std::string& cText) {
  int n = 0;
  for (auto i = cIn.find(cText); i != std::string::npos; i = cIn.find(cText, i + 1)) {
    ++n;
  }
  return n;
}

class EndToEnd : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_pDisplay = new Display;
    if (!s_pDisplay->Start()) {
      delete s_pDisplay;
      s_pDisplay = nullptr;
    }
  }
  static void TearDownTestSuite() {
    if (s_pDisplay != nullptr) {
      s_pDisplay->Stop();
      delete s_pDisplay;
      s_pDisplay = nullptr;
    }
  }
  void SetUp() override {
    if (s_pDisplay == nullptr) {
      GTEST_SKIP() << "Xvfb, openbox or xdotool missing: run scripts/deps";
    }
    ASSERT_FALSE(m_cDir.empty());
  }
  void TearDown() override {
    m_veltra.Kill();
    m_device.Kill();
  }

  const Display& Screen() const { return *s_pDisplay; }

  // Starts the device emulator on a new pseudo-terminal; the path VELTRA is to open.
  std::string StartDevice(const std::vector<std::string>& aArgs) {
    std::string cPort;
    m_device = harness::StartDevice(aArgs, cPort);
    return cPort;
  }

  void WriteSettings(const std::string& cPort) {
    WriteFile(m_cDir + "/VELTRA.INI", "[Impostazioni]\nPorta=" + cPort + "\n");
  }

  std::string WriteImage(const std::string& cName, const std::string& cData) {
    WriteFile(m_cDir + "/" + cName, cData);
    return m_cDir + "/" + cName;
  }

  void StartVeltra(const std::vector<std::string>& aPrefix = {},
                   const std::vector<std::string>& aArgs = {},
                   const std::map<std::string, std::string>& aEnv = {}) {
    std::vector<std::string> a = aPrefix;
    a.push_back(VeltraPath());
    a.insert(a.end(), aArgs.begin(), aArgs.end());
    std::map<std::string, std::string> aAll = Screen().Env();
    aAll.insert(aEnv.begin(), aEnv.end());
    m_veltra = Child(a, aAll, m_cDir);
    ASSERT_TRUE(m_veltra.Started());
  }

  // Answers the file chooser with a path typed into it, as a person would.
  void ChooseImage(const std::string& cPath) {
    const auto cWindow = WaitWindow(Screen(), kChooserTitle);
    ASSERT_TRUE(cWindow.has_value()) << "no file chooser; veltra said: " << m_veltra.Err();
    ASSERT_TRUE(TypeInto(Screen(), *cWindow, cPath));
  }

  // A whole run: the emulator started with aDeviceArgs, veltra given cImage in the chooser;
  // both end cleanly and the emulator's summary holds cSummary.
  void ExpectServed(const std::string& cImage, const std::vector<std::string>& aDeviceArgs,
                    const std::string& cSummary) {
    const std::string cPort = StartDevice(aDeviceArgs);
    ASSERT_FALSE(cPort.empty());
    WriteSettings(cPort);
    StartVeltra();
    ChooseImage(cImage);
    EXPECT_EQ(m_device.Wait(120s), std::optional<int>(0)) << m_device.Out() << m_device.Err();
    EXPECT_NE(DeviceSummary().find(cSummary), std::string::npos) << DeviceSummary();
    EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
  }

  // The log as the user copies it: Ctrl+A, Ctrl+C in the window, then the clipboard.
  std::string CopiedLog(const std::string& cDialog) {
    EXPECT_TRUE(Keys(Screen(), {"windowactivate", "--sync", cDialog}));
    EXPECT_TRUE(Keys(Screen(), {"key", "ctrl+a", "ctrl+c"}));
    return RunToEnd({"xclip", "-o", "-selection", "clipboard"}, Screen().Env(), 10s).cOut;
  }

  std::string DeviceSummary() { return harness::DeviceSummary(m_device); }

  static Display* s_pDisplay;
  TempDir m_oDir; // removed once TearDown has stopped the programs
  std::string m_cDir = m_oDir.Str();
  Child m_device;
  Child m_veltra;
};

Display* EndToEnd::s_pDisplay = nullptr;

// The protocol's details (other commands, bursts, short images) are the transfer loop's
// suite's; here the whole disk, whose last byte on disk is 0x1A, goes like any other byte.
TEST_F(EndToEnd, WholeDiskIsSentByteExactAndEndClosesTheProgram) {
  std::string cFile = PatternImage(819200);
  cFile.back() = '\x1A';
  const std::string cImage = WriteImage("disk.mgt", cFile);
  ExpectServed(cImage, {"--expect", cImage}, "blocks 160, bytes 819200, errors 0");
}

// "Open with" in a file manager: the image comes as the argument and no chooser is shown.
TEST_F(EndToEnd, ImageNamedOnTheCommandLineIsSentWithoutTheChooser) {
  const std::string cImage = WriteImage("arg.mgt", PatternImage(2 * 5120));
  const std::string cPort = StartDevice({"--expect", cImage});
  ASSERT_FALSE(cPort.empty());
  WriteSettings(cPort);
  StartVeltra({}, {cImage, "ignored"});
  EXPECT_EQ(m_device.Wait(60s), std::optional<int>(0)) << m_device.Out() << m_device.Err();
  EXPECT_NE(DeviceSummary().find("blocks 2, bytes 10240, errors 0"), std::string::npos)
      << DeviceSummary();
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
  EXPECT_FALSE(WaitWindow(Screen(), kChooserTitle, 0s).has_value());
}

TEST_F(EndToEnd, CancelledChooserEndsQuietlyWithoutSettingsFile) {
  StartVeltra();
  const auto cWindow = WaitWindow(Screen(), kChooserTitle);
  ASSERT_TRUE(cWindow.has_value()) << m_veltra.Err();
  ASSERT_TRUE(Keys(Screen(), {"windowactivate", "--sync", *cWindow}));
  ASSERT_TRUE(Keys(Screen(), {"key", "Escape"}));
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
  EXPECT_FALSE(std::filesystem::exists(m_cDir + "/VELTRA.INI"));
  EXPECT_FALSE(WaitWindow(Screen(), kDialogTitle, 0s).has_value());
}

// Opening the port fails: the popup is answered, the window never appears, the port picker
// offered next is cancelled, the exit is clean, and the terminal is told which device failed.
void ExpectOpenFailure(Child& oVeltra, const Display& oScreen, const std::string& cDevice) {
  const auto cPopup = WaitWindow(oScreen, "Attenzione");
  ASSERT_TRUE(cPopup.has_value()) << oVeltra.Err();
  EXPECT_FALSE(WaitWindow(oScreen, kDialogTitle, 0s).has_value());
  ASSERT_TRUE(Keys(oScreen, {"windowactivate", "--sync", *cPopup}));
  ASSERT_TRUE(Keys(oScreen, {"key", "Return"}));
  const auto cPicker = WaitWindow(oScreen, "Porta seriale");
  ASSERT_TRUE(cPicker.has_value()) << oVeltra.Err();
  ASSERT_TRUE(Keys(oScreen, {"windowactivate", "--sync", *cPicker}));
  ASSERT_TRUE(Keys(oScreen, {"key", "Escape"}));
  EXPECT_EQ(oVeltra.Wait(20s), std::optional<int>(0));
  EXPECT_NE(oVeltra.Err().find("veltra: cannot open " + cDevice), std::string::npos)
      << oVeltra.Err();
}

// A first run with the wrong port: the popup, then the picker over a made-up device tree
// whose adapter is the emulator; Return there writes the port and the disk is sent.
TEST_F(EndToEnd, PortPickedAfterTheFailedOpenIsWrittenAndServes) {
  namespace fs = std::filesystem;
  const std::string cImage = WriteImage("disk.mgt", PatternImage(2 * 5120));
  const std::string cPort = StartDevice({"--expect", cImage});
  ASSERT_FALSE(cPort.empty());
  const std::string cRoot = m_cDir + "/tree";
  fs::create_directories(cRoot + "/sys/devices/usb1/tty/ttyUSB0");
  fs::create_directories(cRoot + "/sys/class/tty");
  fs::create_directories(cRoot + "/dev");
  fs::create_directories(cRoot + "/proc");
  fs::create_directory_symlink(cRoot + "/sys/devices/usb1",
                               cRoot + "/sys/devices/usb1/tty/ttyUSB0/device");
  fs::create_directory_symlink(cRoot + "/sys/devices/usb1/tty/ttyUSB0",
                               cRoot + "/sys/class/tty/ttyUSB0");
  fs::create_symlink(cPort, cRoot + "/dev/ttyUSB0");
  WriteSettings("/dev/veltra-no-such-port");
  StartVeltra({}, {cImage},
              {{"VELTRA_SYSFS", cRoot + "/sys"},
               {"VELTRA_DEVFS", cRoot + "/dev"},
               {"VELTRA_PROCFS", cRoot + "/proc"}});
  const auto cPopup = WaitWindow(Screen(), "Attenzione");
  ASSERT_TRUE(cPopup.has_value()) << m_veltra.Err();
  ASSERT_TRUE(Keys(Screen(), {"windowactivate", "--sync", *cPopup}));
  ASSERT_TRUE(Keys(Screen(), {"key", "Return"}));
  const auto cPicker = WaitWindow(Screen(), "Porta seriale");
  ASSERT_TRUE(cPicker.has_value()) << m_veltra.Err();
  ASSERT_TRUE(Keys(Screen(), {"windowactivate", "--sync", *cPicker}));
  ASSERT_TRUE(Keys(Screen(), {"key", "Return"}));
  EXPECT_EQ(m_device.Wait(60s), std::optional<int>(0)) << m_device.Out() << m_device.Err();
  EXPECT_NE(DeviceSummary().find("blocks 2, bytes 10240, errors 0"), std::string::npos)
      << DeviceSummary();
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
  EXPECT_EQ(ReadFile(m_cDir + "/VELTRA.INI"), "[Impostazioni]\nPorta=" + cRoot + "/dev/ttyUSB0\n");
}

TEST_F(EndToEnd, PortHeldByAnotherProgramIsReported) {
  const std::string cImage = WriteImage("disk.mgt", PatternImage(5120));
  const std::string cPort = StartDevice({"--expect", cImage, "--timeout", "30"});
  ASSERT_FALSE(cPort.empty());
  // Another terminal program holding the port as such programs do: an exclusive lock.
  const int fd = ::open(cPort.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  WriteSettings(cPort);
  StartVeltra();
  ChooseImage(cImage);
  ExpectOpenFailure(m_veltra, Screen(), cPort);
  ::close(fd);
}

TEST_F(EndToEnd, NoSettingsFileWritesComOneAndUsesIt) {
  // COM1 is the machine's console here: the program runs in a private mount namespace where
  // /dev/null stands in for it, so its open is refused as not being a terminal.
  const std::string cImage = WriteImage("disk.mgt", PatternImage(5120));
  const char* const kGuard = "if [ -e /dev/ttyS0 ]; then mount --bind /dev/null /dev/ttyS0 || "
                             "exit 97; fi; exec \"$0\"";
  if (RunToEnd({"unshare", "-m", "sh", "-c", "mount --bind /dev/null /dev/null"}, {}).nExit != 0) {
    GTEST_SKIP() << "no private mount namespace here: COM1 must not be opened for real";
  }
  StartVeltra({"unshare", "-m", "sh", "-c", kGuard});
  ChooseImage(cImage);
  ExpectOpenFailure(m_veltra, Screen(), "/dev/ttyS0");
  EXPECT_EQ(ReadFile(m_cDir + "/VELTRA.INI"), "[Impostazioni]\nPorta=COM1\n");
}

TEST_F(EndToEnd, EscAbortsWithOneAbortByteAndAltF4IsRefused) {
  const std::string cImage = WriteImage("disk.mgt", PatternImage(4 * 5120));
  const std::string cPort =
      StartDevice({"--expect", cImage, "--commands", "T!", "--timeout", "60", "--verbose"});
  WriteSettings(cPort);
  StartVeltra();
  ChooseImage(cImage);
  const auto cDialog = WaitWindow(Screen(), kDialogTitle);
  ASSERT_TRUE(cDialog.has_value());
  ASSERT_TRUE(m_device.ReadLine(20s).has_value()) << "the first block arrives";

  // Alt+F4 held as a person holds it: the window manager asks for a close, which is refused.
  ASSERT_TRUE(Keys(Screen(), {"windowactivate", "--sync", *cDialog}));
  ASSERT_TRUE(Keys(Screen(), {"keydown", "alt+F4", "sleep", "0.3", "keyup", "alt+F4"}));
  EXPECT_FALSE(WindowGone(Screen(), kDialogTitle, 1500ms)) << "Alt+F4 closed the window";

  ASSERT_TRUE(Keys(Screen(), {"keydown", "Escape", "sleep", "0.1", "keyup", "Escape"}));
  EXPECT_EQ(m_device.Wait(20s), std::optional<int>(0)) << m_device.Out();
  EXPECT_NE(m_device.Out().find("received 0x09 (abort)"), std::string::npos) << m_device.Out();
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
  EXPECT_TRUE(WindowGone(Screen(), kDialogTitle, 5s));
}

TEST_F(EndToEnd, DeviceGoneMidTransferLeavesTheProgramIdleAndEscStillEndsIt) {
  const std::string cImage = WriteImage("disk.mgt", PatternImage(4 * 5120));
  const std::string cPort = StartDevice({"--expect", cImage, "--commands", "T", "--verbose"});
  WriteSettings(cPort);
  StartVeltra();
  ChooseImage(cImage);
  const auto cDialog = WaitWindow(Screen(), kDialogTitle);
  ASSERT_TRUE(cDialog.has_value());
  EXPECT_EQ(m_device.Wait(30s), std::optional<int>(0)) << m_device.Out();
  m_device.Kill(); // the line is gone for good

  std::string cLog;
  for (int i = 0; i < 50 && Count(cLog, kLineLost) == 0; ++i) {
    std::this_thread::sleep_for(100ms);
    cLog = CopiedLog(*cDialog);
  }
  EXPECT_EQ(Count(cLog, kLineLost), 1) << cLog;
  const double dBefore = CpuSeconds(m_veltra.Pid());
  std::this_thread::sleep_for(1s);
  const double dUsed = CpuSeconds(m_veltra.Pid()) - dBefore;
  EXPECT_LT(dUsed, 0.3) << "veltra spins after the device went away";
  cLog = CopiedLog(*cDialog);
  EXPECT_EQ(Count(cLog, kLineLost), 1) << "said once, and once only: " << cLog;
  EXPECT_NE(cLog.find(std::string("Sending track 0, side 0\n") + kLineLost), std::string::npos)
      << "right after the last block: " << cLog;

  ASSERT_TRUE(Keys(Screen(), {"windowactivate", "--sync", *cDialog}));
  ASSERT_TRUE(Keys(Screen(), {"keydown", "Escape", "sleep", "0.1", "keyup", "Escape"}));
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
}

class EndSignal : public EndToEnd, public ::testing::WithParamInterface<int> {};

// Ended from outside in the middle of a transfer (a shutdown, kill, Ctrl+\ in the terminal):
// the program closes its port, puts the line back as it was and ends with 0, and the port is
// free for the next one.
TEST_P(EndSignal, MidTransferRestoresTheLineFreesThePortAndEndsCleanly) {
  Pty oLine; // the test plays the device on its master end
  ASSERT_TRUE(oLine.Ok());
  const int nSlave = ::open(oLine.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios oBefore{};
  ASSERT_EQ(::tcgetattr(nSlave, &oBefore), 0);
  const std::string cImage = WriteImage("disk.mgt", PatternImage(4 * 5120));
  WriteSettings(oLine.SlavePath());
  StartVeltra();
  ChooseImage(cImage);
  ASSERT_TRUE(WaitWindow(Screen(), kDialogTitle).has_value()) << m_veltra.Err();
  // One request, answered while the program is being served; then the signal.
  ASSERT_EQ(::write(oLine.Master(), "T", 1), 1);
  std::string cGot;
  for (int i = 0; i < 2000 && cGot.size() < 5121; ++i) {
    std::array<char, 8192> aBuf{};
    const ssize_t n = ::read(oLine.Master(), aBuf.data(), aBuf.size());
    cGot.append(aBuf.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_EQ(cGot.size(), 5121u);
  ASSERT_EQ(::kill(m_veltra.Pid(), GetParam()), 0);
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
  termios oAfter{};
  ASSERT_EQ(::tcgetattr(nSlave, &oAfter), 0);
  EXPECT_EQ(oAfter.c_cflag, oBefore.c_cflag) << "the line as it was found";
  EXPECT_EQ(::cfgetospeed(&oAfter), ::cfgetospeed(&oBefore));
  ::close(nSlave);
  EXPECT_TRUE(PortFree(oLine.SlavePath()));
}
INSTANTIATE_TEST_SUITE_P(TermAndQuit, EndSignal, ::testing::Values(SIGTERM, SIGQUIT),
                         [](const auto& o) { return std::string(sigabbrev_np(o.param)); });

// The X server goes away (it died, the ssh tunnel dropped) while the device keeps sending:
// the toolkit ends the process, which must then end for real and leave the port free.
TEST_F(EndToEnd, XServerGoneWhileTheDeviceSendsEndsTheProgramAndFreesThePort) {
  Display oOwn; // this case kills its X server
  ASSERT_TRUE(oOwn.Start());
  Pty oLine; // the test plays the device on its master end
  ASSERT_TRUE(oLine.Ok());
  const std::string cImage = WriteImage("disk.mgt", PatternImage(5120));
  WriteSettings(oLine.SlavePath());
  m_veltra = Child({VeltraPath()}, oOwn.Env(), m_cDir);
  const auto cChooser = WaitWindow(oOwn, kChooserTitle);
  ASSERT_TRUE(cChooser.has_value()) << m_veltra.Err();
  ASSERT_TRUE(TypeInto(oOwn, *cChooser, cImage));
  ASSERT_TRUE(WaitWindow(oOwn, kDialogTitle).has_value()) << m_veltra.Err();
  // Bytes the program ignores, as a chatty device sends them, close enough together that the
  // receive worker is nearly always waiting for its notification to be handled.
  std::atomic<bool> lStop{false};
  std::thread oDevice([&] {
    while (!lStop) {
      [[maybe_unused]] const ssize_t n = ::write(oLine.Master(), "x", 1);
      std::this_thread::sleep_for(100us);
    }
  });
  std::this_thread::sleep_for(300ms);
  oOwn.Stop();
  const auto nExit = m_veltra.Wait(2s);
  lStop = true;
  oDevice.join();
  EXPECT_TRUE(nExit.has_value()) << "veltra hangs after its X server went away";
  m_veltra.Kill();
  EXPECT_TRUE(PortFree(oLine.SlavePath()));
}

} // namespace
} // namespace veltra::e2e
