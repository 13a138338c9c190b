// The real veltra program, end to end: a private X server with a window manager, the device
// emulator on a pseudo-terminal, the file chooser answered by typing as a person would. The
// promises it shares with veltra.exe are tests/e2e/program_contract.h; here the ones of Linux.
#include "tests/e2e/program_contract.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace veltra::e2e {
namespace {

// True when a program could take the port now: nobody holds its lock.
bool PortFree(const std::string& cPort) {
  const int fd = ::open(cPort.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const bool lFree = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  return lFree;
}

// The Linux program on a private X server of the suite's own; the settings name the
// emulator's pseudo-terminal itself.
struct NativeProgram {
  static inline Display* s_pDisplay = nullptr;
  static constexpr const char* kAbsent = "Xvfb, openbox or xdotool missing: run scripts/deps";
  static constexpr const char* kEol = "\n";
  static inline const std::vector<std::string> kSelectAll = {"ctrl+a"};

  static Session Open() {
    s_pDisplay = new Display;
    if (!s_pDisplay->Start()) {
      delete std::exchange(s_pDisplay, nullptr);
      return Session::Absent;
    }
    return Session::Up;
  }
  static void Close() {
    s_pDisplay->Stop();
    delete std::exchange(s_pDisplay, nullptr);
  }
  static const Display& Screen() { return *s_pDisplay; }

  std::string Port(const std::string& cPty) { return cPty; }
  void Unlink() {}
  std::string Dialog() const { return kDialogTitle; }
  std::string Describe() const { return {}; }
  Child Start(const std::string& cDir, const std::map<std::string, std::string>& aEnv) const {
    std::map<std::string, std::string> aAll = Screen().Env();
    aAll.insert(aEnv.begin(), aEnv.end());
    return Child({VeltraPath()}, aAll, cDir);
  }
  std::string Typed(const std::string& cImage) const { return cImage; }
  // A made-up device tree whose one adapter, ttyUSB0, is the emulator: the picker selects it
  // first, and its name in that tree is what is written.
  Picker PickerFor(const std::string& cDir, const std::string& cPty) const {
    namespace fs = std::filesystem;
    const std::string cRoot = cDir + "/tree";
    fs::create_directories(cRoot + "/sys/devices/usb1/tty/ttyUSB0");
    fs::create_directories(cRoot + "/sys/class/tty");
    fs::create_directories(cRoot + "/dev");
    fs::create_directories(cRoot + "/proc");
    fs::create_directory_symlink(cRoot + "/sys/devices/usb1",
                                 cRoot + "/sys/devices/usb1/tty/ttyUSB0/device");
    fs::create_directory_symlink(cRoot + "/sys/devices/usb1/tty/ttyUSB0",
                                 cRoot + "/sys/class/tty/ttyUSB0");
    fs::create_symlink(cPty, cRoot + "/dev/ttyUSB0");
    return {.cRefused = "/dev/veltra-no-such-port",
            .aEnv = {{"VELTRA_SYSFS", cRoot + "/sys"},
                     {"VELTRA_DEVFS", cRoot + "/dev"},
                     {"VELTRA_PROCFS", cRoot + "/proc"}},
            .aKeys = {"Return"},
            .cWritten = cRoot + "/dev/ttyUSB0"};
  }
  std::optional<std::pair<Child, std::string>> OtherProgram(const std::string&,
                                                            const Display&) const {
    return std::nullopt;
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Linux, ProgramContract, NativeProgram);

// The cases of the Linux program alone: its command line, its signals, its X server, and the
// open failures that only a Linux machine makes.
class EndToEnd : public ProgramContract<NativeProgram> {
protected:
  // The emulator on a new pseudo-terminal, not yet named anywhere; its path.
  std::string StartDeviceOnly(const std::vector<std::string>& aArgs) {
    std::string cPort;
    m_device = harness::StartDevice(aArgs, cPort);
    return cPort;
  }

  void StartVeltra(const std::vector<std::string>& aPrefix, const std::vector<std::string>& aArgs) {
    std::vector<std::string> a = aPrefix;
    a.push_back(VeltraPath());
    a.insert(a.end(), aArgs.begin(), aArgs.end());
    m_veltra = Child(a, Screen().Env(), m_cDir);
    ASSERT_TRUE(m_veltra.Started());
  }

  // Answers the file chooser with a path typed into it, as a person would.
  void ChooseImage(const std::string& cPath) {
    const auto cWindow = WaitWindow(Screen(), kChooserTitle);
    ASSERT_TRUE(cWindow.has_value()) << "no file chooser; veltra said: " << m_veltra.Err();
    ASSERT_TRUE(TypeInto(Screen(), *cWindow, cPath));
  }

  // The open failure as ExpectOpenRefused sees it, and the terminal told which device failed.
  void ExpectOpenFailure(const std::string& cDevice) {
    ExpectOpenRefused();
    EXPECT_NE(m_veltra.Err().find("veltra: cannot open " + cDevice), std::string::npos)
        << m_veltra.Err();
  }
};

// "Open with" in a file manager: the image comes as the argument and no chooser is shown.
TEST_F(EndToEnd, ImageNamedOnTheCommandLineIsSentWithoutTheChooser) {
  const std::string cImage = WriteImage(PatternImage(2 * 5120));
  const std::string cPort = StartDeviceOnly({"--expect", cImage});
  ASSERT_FALSE(cPort.empty());
  WriteSettings(cPort);
  StartVeltra({}, {cImage, "ignored"});
  ExpectServed("blocks 2, bytes 10240, errors 0");
  EXPECT_FALSE(WaitWindow(Screen(), kChooserTitle, 0s).has_value());
}

TEST_F(EndToEnd, PortHeldByAnotherProgramIsReported) {
  const std::string cImage = WriteImage(PatternImage(5120));
  const std::string cPort = StartDeviceOnly({"--expect", cImage, "--timeout", "30"});
  ASSERT_FALSE(cPort.empty());
  // Another terminal program holding the port as such programs do: an exclusive lock.
  const int fd = ::open(cPort.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  WriteSettings(cPort);
  StartVeltra({}, {});
  ChooseImage(cImage);
  ExpectOpenFailure(cPort);
  ::close(fd);
}

TEST_F(EndToEnd, NoSettingsFileWritesComOneAndUsesIt) {
  // COM1 is the machine's console here: the program runs in a private mount namespace where
  // /dev/null stands in for it, so its open is refused as not being a terminal.
  const std::string cImage = WriteImage(PatternImage(5120));
  const char* const kGuard = "if [ -e /dev/ttyS0 ]; then mount --bind /dev/null /dev/ttyS0 || "
                             "exit 97; fi; exec \"$0\"";
  if (RunToEnd({"unshare", "-m", "sh", "-c", "mount --bind /dev/null /dev/null"}, {}).nExit != 0) {
    GTEST_SKIP() << "no private mount namespace here: COM1 must not be opened for real";
  }
  StartVeltra({"unshare", "-m", "sh", "-c", kGuard}, {});
  ChooseImage(cImage);
  ExpectOpenFailure("/dev/ttyS0");
  EXPECT_EQ(ReadFile(m_cDir + "/VELTRA.INI"), "[Impostazioni]\nPorta=COM1\n");
}

class EndSignal : public EndToEnd, public ::testing::WithParamInterface<int> {};

// Ended from outside in the middle of a transfer (a shutdown, kill, Ctrl+\ in the terminal):
// the program closes its port, puts the line back as it was and ends with 0, and the port is
// free for the next one.
TEST_P(EndSignal, MidTransferRestoresTheLineFreesThePortAndEndsCleanly) {
  Pty oLine; // the test plays the device on its master end
  ASSERT_TRUE(oLine.Ok());
  const std::string& cPort = oLine.SlavePath();
  const int nSlave = ::open(cPort.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios oBefore{};
  ASSERT_EQ(::tcgetattr(nSlave, &oBefore), 0);
  const std::string cImage = WriteImage(PatternImage(4 * 5120));
  WriteSettings(cPort);
  StartVeltra({}, {});
  ChooseImage(cImage);
  ASSERT_TRUE(WaitWindow(Screen(), kDialogTitle).has_value()) << m_veltra.Err();
  // One request, answered while the program is being served; then the signal.
  oLine.Send("T");
  ASSERT_EQ(oLine.Receive(5121, 10s).size(), 5121u);
  ASSERT_EQ(::kill(m_veltra.Pid(), GetParam()), 0);
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
  termios oAfter{};
  ASSERT_EQ(::tcgetattr(nSlave, &oAfter), 0);
  EXPECT_EQ(oAfter.c_cflag, oBefore.c_cflag) << "the line as it was found";
  EXPECT_EQ(::cfgetospeed(&oAfter), ::cfgetospeed(&oBefore));
  ::close(nSlave);
  EXPECT_TRUE(PortFree(cPort));
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
  const std::string cImage = WriteImage(PatternImage(5120));
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
