// veltra-send as a person or a script runs it: no display, the device emulator (or the test)
// on a pseudo-terminal, its own terminal a pty (alone or under a parent that tidies nothing), exit
// codes, bytes on the line and what it prints.
#include "tests/support/support.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace veltra::test {
namespace {

namespace fs = std::filesystem;

const std::string kSend = SendPath();

// The command line that runs veltra-send with no display of any kind.
std::vector<std::string> NoDisplay(const std::vector<std::string>& aArgs) {
  std::vector<std::string> a{
      "env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", kSend};
  a.insert(a.end(), aArgs.begin(), aArgs.end());
  return a;
}

double ChildrenCpuSeconds() {
  rusage o{};
  ::getrusage(RUSAGE_CHILDREN, &o);
  return static_cast<double>(o.ru_utime.tv_sec + o.ru_stime.tv_sec) +
         static_cast<double>(o.ru_utime.tv_usec + o.ru_stime.tv_usec) * 1e-6;
}

// veltra-send with a pseudo-terminal as its controlling terminal, in the foreground there,
// as when started from a shell. The terminal starts in the kernel's own cooked settings
// (Before()). With lJobParent, veltra-send is the foreground job of a parent in the same
// session that tidies nothing up, unlike a shell: at a stop it reports 'S' on a socket, waits
// there for the test's go-ahead, takes the terminal back as it is and continues the job in the
// background; it ends with 99 if the job stops again, else as the job did.
class OnTerminal {
public:
  explicit OnTerminal(const std::vector<std::string>& aArgs, bool lJobParent = false) {
    std::vector<std::string> a = NoDisplay(aArgs);
    std::vector<char*> aArgv;
    for (std::string& c : a) {
      aArgv.push_back(c.data());
    }
    aArgv.push_back(nullptr);
    int nProbeMaster = -1;
    int nProbeSlave = -1;
    if (::openpty(&nProbeMaster, &nProbeSlave, nullptr, nullptr, nullptr) == 0) {
      ::tcgetattr(nProbeSlave, &m_oBefore);
      ::close(nProbeSlave);
      ::close(nProbeMaster);
    }
    int aJob[2] = {-1, -1}; // the job parent's end, the test's end
    if (lJobParent && ::socketpair(AF_UNIX, SOCK_STREAM, 0, aJob) != 0) {
      ADD_FAILURE() << "no socket pair";
    }
    winsize oSize{.ws_row = 24, .ws_col = 120, .ws_xpixel = 0, .ws_ypixel = 0};
    m_pid = ::forkpty(&m_nMaster, nullptr, &m_oBefore, &oSize);
    if (m_pid == 0) {
      if (lJobParent) {
        RunAsJobParent(aArgv.data(), aJob[0]);
      }
      ::execvp(aArgv[0], aArgv.data());
      ::_exit(127);
    }
    ::fcntl(m_nMaster, F_SETFL, O_NONBLOCK);
    if (lJobParent) {
      ::close(aJob[0]);
      m_nJob = aJob[1];
    }
  }
  ~OnTerminal() {
    if (m_pid > 0 && !m_nExit) {
      ::kill(m_pid, SIGKILL); // the job parent's job ends with it: the terminal hangs up
      ::waitpid(m_pid, nullptr, 0);
    }
    ::close(m_nMaster);
    ::close(m_nJob);
  }
  OnTerminal(const OnTerminal&) = delete;
  OnTerminal& operator=(const OnTerminal&) = delete;

  pid_t Pid() const { return m_pid; }
  const termios& Before() const { return m_oBefore; }
  termios Now() const {
    termios o{};
    ::tcgetattr(m_nMaster, &o);
    return o;
  }
  void Type(std::string_view c) const {
    ASSERT_EQ(::write(m_nMaster, c.data(), c.size()), static_cast<ssize_t>(c.size()));
  }
  // The job parent's report that the job stopped ('S'), '\0' when none came within 10 s.
  char News() const {
    pollfd o{.fd = m_nJob, .events = POLLIN, .revents = 0};
    char c = '\0';
    return ::poll(&o, 1, 10000) == 1 && ::read(m_nJob, &c, 1) == 1 ? c : '\0';
  }
  void ContinueInBackground() const { ASSERT_EQ(::write(m_nJob, "g", 1), 1); }
  // What the terminal shows so far (the screen's bytes, unrendered).
  const std::string& Screen() {
    std::array<char, 4096> aBuf{};
    ssize_t n = 0;
    while ((n = ::read(m_nMaster, aBuf.data(), aBuf.size())) > 0) {
      m_cScreen.append(aBuf.data(), static_cast<std::size_t>(n));
    }
    return m_cScreen;
  }
  bool WaitFor(const std::string& cText, std::chrono::milliseconds tLimit) {
    const auto tEnd = std::chrono::steady_clock::now() + tLimit;
    while (Screen().find(cText) == std::string::npos) {
      if (std::chrono::steady_clock::now() > tEnd) {
        return false;
      }
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }
  std::optional<int> Wait(std::chrono::milliseconds tLimit) {
    const auto tEnd = std::chrono::steady_clock::now() + tLimit;
    while (!m_nExit && std::chrono::steady_clock::now() < tEnd) {
      Screen(); // keeps the terminal from filling up
      int nStatus = 0;
      if (::waitpid(m_pid, &nStatus, WNOHANG) == m_pid) {
        m_nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
      } else {
        std::this_thread::sleep_for(10ms);
      }
    }
    return m_nExit;
  }

private:
  // In the forked session leader: system calls only.
  [[noreturn]] static void RunAsJobParent(char** pArgv, int nTest) {
    const pid_t nJob = ::fork();
    if (nJob == 0) {
      ::setpgid(0, 0);
      ::signal(SIGTTOU, SIG_IGN);
      ::tcsetpgrp(STDIN_FILENO, ::getpgrp());
      ::signal(SIGTTOU, SIG_DFL);
      ::execvp(pArgv[0], pArgv);
      ::_exit(127);
    }
    ::setpgid(nJob, nJob);
    int nStatus = 0;
    bool lContinued = false;
    while (::waitpid(nJob, &nStatus, WUNTRACED) == nJob) {
      if (!WIFSTOPPED(nStatus)) {
        ::_exit(WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus));
      }
      if (lContinued) {
        ::_exit(99);
      }
      [[maybe_unused]] ssize_t n = ::write(nTest, "S", 1);
      char c = 0;
      n = ::read(nTest, &c, 1);
      ::signal(SIGTTOU, SIG_IGN);
      ::tcsetpgrp(STDIN_FILENO, ::getpgrp());
      ::kill(-nJob, SIGCONT);
      lContinued = true;
    }
    ::_exit(98);
  }

  pid_t m_pid = -1;
  int m_nMaster = -1;
  int m_nJob = -1; // the test's end of the socket to the job parent
  termios m_oBefore{};
  std::string m_cScreen;
  std::optional<int> m_nExit;
};

// cText holds cPart; cText is shown when it does not.
::testing::AssertionResult Has(const std::string& cText, const std::string& cPart) {
  if (cText.find(cPart) != std::string::npos) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "\"" << cPart << "\" not in:\n" << cText;
}

// The settings a person notices on a terminal: line editing, echo, the signal keys, the
// output's processing.
void ExpectSameTerminal(const termios& oNow, const termios& oBefore) {
  EXPECT_EQ(oNow.c_lflag, oBefore.c_lflag);
  EXPECT_EQ(oNow.c_iflag, oBefore.c_iflag);
  EXPECT_EQ(oNow.c_oflag, oBefore.c_oflag);
  EXPECT_EQ(oNow.c_cc[VMIN], oBefore.c_cc[VMIN]);
}

class VeltraSend : public ::testing::Test {
protected:
  std::string WriteImage(const std::string& cName, const std::string& cData) {
    WriteFile(m_cDir + "/" + cName, cData);
    return m_cDir + "/" + cName;
  }
  // The device emulator on a new pseudo-terminal; the path of the port.
  std::string StartDevice(const std::vector<std::string>& aArgs) {
    std::string cPort;
    m_device = harness::StartDevice(aArgs, cPort);
    EXPECT_FALSE(cPort.empty()) << "the emulator did not start";
    return cPort;
  }
  std::string DeviceSummary() { return harness::DeviceSummary(m_device); }

  TempDir m_oDir; // removed with what the case left in it, once the emulator has been stopped
  const std::string m_cDir = m_oDir.Str();
  Child m_device;
};

// The whole disk, its last byte the old end-of-file mark (0x1A) that is image data all the same,
// on the port given with --port over a wrong one in VELTRA.INI. With --wait that port need not
// exist at the start (an adapter not yet plugged in): it is opened once it appears. With its
// output not a terminal, one plain log line per block.
TEST_F(VeltraSend, WholeDiskIsServedByteExactOnThePortOptionOnceItAppearsAndEndsWithZero) {
  std::string cDisk = PatternImage(819200);
  cDisk.back() = '\x1A';
  const std::string cImage = WriteImage("disk.mgt", cDisk);
  const std::string cPort = StartDevice({"--expect", cImage, "--timeout", "30"});
  const std::string cSettings = "[Impostazioni]\nPorta=/dev/veltra-wrong\n";
  WriteFile(m_cDir + "/VELTRA.INI", cSettings);
  const std::string cLater = m_cDir + "/by-id-adapter";
  Child oSend(NoDisplay({"--port", cLater, "--wait=30", cImage}), {}, m_cDir);
  EXPECT_EQ(oSend.ReadLine(10s),
            "veltra-send: Waiting for " + cLater + " to appear (Ctrl-C stops)");
  fs::create_symlink(cPort, cLater);
  EXPECT_EQ(oSend.Wait(60s), std::optional<int>(0)) << oSend.Err();
  EXPECT_EQ(m_device.Wait(20s), std::optional<int>(0)) << m_device.Out();
  EXPECT_TRUE(Has(DeviceSummary(), "blocks 160, bytes 819200, errors 0"));
  const std::string& cOut = oSend.Out();
  const std::regex oPlain("\nSending track ");
  EXPECT_EQ(std::distance(std::sregex_iterator(cOut.begin(), cOut.end(), oPlain), {}), 160);
  EXPECT_TRUE(Has(cOut, "Done: the device ended the transfer"));
  EXPECT_EQ(ReadFile(m_cDir + "/VELTRA.INI"), cSettings) << "the settings file is never written";
}

// Esc on its terminal or any stop signal, while a disk is served or while the next one waits
// for the device: one 0x09 on the line, nothing after it, exit 1 for the whole run, and the
// terminal's and the line's settings as they were.
struct StopCase {
  int nSignal; // 0: the Esc key
  bool lBetweenDisks;
  friend void PrintTo(const StopCase& o, std::ostream* p) {
    *p << o.nSignal << ' ' << o.lBetweenDisks;
  }
};
class Stops : public VeltraSend, public ::testing::WithParamInterface<StopCase> {};

TEST_P(Stops, SendOneAbortByteEndWithOneAndPutTheTerminalAndTheLineBack) {
  const auto [nSignal, lBetweenDisks] = GetParam();
  Pty oLine;
  termios oLineBefore{};
  ASSERT_EQ(::tcgetattr(oLine.Master(), &oLineBefore), 0);
  const std::string cImage = WriteImage("disk.mgt", PatternImage(4 * 5120));
  const std::string cNext = WriteImage("next.mgt", PatternImage(5120));
  OnTerminal oTerm({"--port", oLine.SlavePath(), cImage, cNext});
  ASSERT_TRUE(oLine.WaitOpened());
  ASSERT_TRUE(oTerm.WaitFor("Waiting command", 10s)) << oTerm.Screen();
  oLine.Send("T");
  EXPECT_EQ(oLine.Receive(5121, 10s).size(), 5121u);
  ASSERT_TRUE(oTerm.WaitFor("Block 1/4", 10s)) << oTerm.Screen();
  if (lBetweenDisks) {
    oLine.Send("E");
    ASSERT_TRUE(oTerm.WaitFor("Disk 2 of 2", 10s)) << oTerm.Screen();
  }
  if (nSignal == 0) {
    oTerm.Type("\x1b");
  } else {
    ::kill(oTerm.Pid(), nSignal);
  }
  EXPECT_EQ(oLine.Receive(64, 3s), "\x09") << "exactly one abort byte, then the port closes";
  EXPECT_EQ(oTerm.Wait(10s), std::optional<int>(1)) << oTerm.Screen();
  EXPECT_TRUE(
      Has(oTerm.Screen(), lBetweenDisks
                              ? "Disk 2/2: Stopped: the abort byte 0x09 was sent after 0 blocks."
                              : "Disk 1/2: Stopped: the abort byte 0x09 was sent after 1 block."));
  ExpectSameTerminal(oTerm.Now(), oTerm.Before());
  termios oLineAfter{};
  ASSERT_EQ(::tcgetattr(oLine.Master(), &oLineAfter), 0);
  EXPECT_EQ(oLineAfter.c_cflag, oLineBefore.c_cflag) << "the line's own settings again";
  EXPECT_EQ(::cfgetospeed(&oLineAfter), ::cfgetospeed(&oLineBefore));
}

INSTANTIATE_TEST_SUITE_P(Requests, Stops,
                         ::testing::Values(StopCase{0, false}, StopCase{SIGINT, false},
                                           StopCase{SIGTERM, true}, StopCase{SIGHUP, false},
                                           StopCase{SIGQUIT, true}),
                         [](const auto& o) {
                           return (o.param.nSignal == 0
                                       ? std::string("Esc")
                                       : std::string(::sigabbrev_np(o.param.nSignal))) +
                                  (o.param.lBetweenDisks ? "_BetweenDisks" : "");
                         });

// Ctrl-Z from a parent that, unlike a shell, puts nothing back: veltra-send gives the terminal
// back itself before it stops; continued in the background it serves the device to the end
// and exits without touching the terminal (which would stop it again).
TEST_F(VeltraSend, CtrlZGivesTheTerminalBackItselfAndTheJobEndsInTheBackground) {
  Pty oLine;
  const std::string cImage = WriteImage("disk.mgt", PatternImage(3 * 5120));
  OnTerminal oTerm({"--port", oLine.SlavePath(), cImage}, true);
  ASSERT_TRUE(oLine.WaitOpened());
  ASSERT_TRUE(oTerm.WaitFor("Waiting command", 10s)) << oTerm.Screen();
  EXPECT_NE(oTerm.Now().c_lflag, oTerm.Before().c_lflag) << "keys are read one by one";
  oTerm.Type("\x1a");
  ASSERT_EQ(oTerm.News(), 'S') << oTerm.Screen();
  ExpectSameTerminal(oTerm.Now(), oTerm.Before());
  oTerm.ContinueInBackground();
  oLine.Send("T");
  EXPECT_EQ(oLine.Receive(5121, 10s).size(), 5121u) << "served from the background";
  oLine.Send("E");
  EXPECT_EQ(oTerm.Wait(10s), std::optional<int>(0)) << oTerm.Screen();
  ExpectSameTerminal(oTerm.Now(), oTerm.Before());
}

// A driver that keeps one stop bit when asked for two: veltra-send sends nothing, says which
// port would not take the line's settings and ends with 2, whatever the device asks.
TEST_F(VeltraSend, LineThatRefusesTwoStopBitsEndsWithTwoAndSendsNothing) {
  Pty oLine;
  const std::string cImage = WriteImage("disk.mgt", PatternImage(2 * 5120));
  const char* pAsan = std::getenv("ASAN_OPTIONS");
  Child oSend(
      NoDisplay({"--port", oLine.SlavePath(), cImage}),
      {{"LD_PRELOAD", VELTRA_ONE_STOP_BIT},
       {"ASAN_OPTIONS", std::string(pAsan != nullptr ? pAsan : "") + ":verify_asan_link_order=0"}});
  oLine.Send("T");
  EXPECT_EQ(oSend.Wait(10s), std::optional<int>(2)) << oSend.Out() << oSend.Err();
  EXPECT_TRUE(Has(oSend.Err(), "cannot set " + oLine.SlavePath() + " to 115200 baud, 8N2"));
  EXPECT_EQ(oLine.Receive(1, 1s), "");
}

TEST_F(VeltraSend, DeviceGoneMidTransferEndsWithThreeWithoutSpinning) {
  const std::string cImage = WriteImage("disk.mgt", PatternImage(4 * 5120));
  // One block, then the emulator waits 2 s for the PC to close and goes away.
  const std::string cPort = StartDevice({"--expect", cImage, "--commands", "T"});
  Child oSend(NoDisplay({"--port", cPort, cImage}), {}, m_cDir);
  EXPECT_EQ(m_device.Wait(30s), std::optional<int>(0)) << m_device.Out();
  const double dBefore = ChildrenCpuSeconds();
  EXPECT_EQ(oSend.Wait(10s), std::optional<int>(3)) << oSend.Out() << oSend.Err();
  EXPECT_LT(ChildrenCpuSeconds() - dBefore, 1.0) << "veltra-send spun while the line was idle";
  EXPECT_TRUE(Has(oSend.Out(), "Line lost: the device was unplugged or closed after 1 block left "
                               "this computer whole, the device may have received fewer."));
}

// A device that asks for eight blocks at once and then reads nothing: the write reaches its
// bound, and veltra-send says which block did not leave whole and ends with 3, on its own.
TEST_F(VeltraSend, StalledReaderEndsWithThreeAndNamesTheBlockNeverDone) {
  Pty oLine;
  const std::string cDisk = PatternImage(16 * 5120);
  const std::string cImage = WriteImage("disk.mgt", cDisk);
  Child oSend(NoDisplay({"--port", oLine.SlavePath(), cImage}), {}, m_cDir);
  ASSERT_TRUE(oLine.WaitOpened());
  oLine.Send("TTTTTTTT");
  // One write's bound (about 3 s for a block at 115200 baud) and a second more; the limit only
  // keeps a hung program from holding the suite.
  EXPECT_EQ(oSend.Wait(6s), std::optional<int>(3)) << oSend.Out() << oSend.Err();
  const std::string& cOut = oSend.Out();
  const std::regex oSummary(
      R"(Write failed: block ([0-9]+) \(track [0-9]+, side [01]\) stopped )"
      R"(after ([0-9]+) of 5120 bytes; ([0-9]+) blocks? left this computer whole, the device )"
      R"(may have received fewer\.)");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(cOut, m, oSummary)) << cOut;
  const std::size_t nWhole = std::stoul(m[3]);
  EXPECT_EQ(std::stoul(m[1]), nWhole + 1);
  // What reached the line is the image's own stream, cut short: no later byte in a hole.
  std::string cExpected;
  for (std::size_t n = 0; n < 8; ++n) {
    cExpected += '\0' + cDisk.substr(n * 5120, 5120);
  }
  const std::string cArrived = oLine.Receive(cExpected.size(), 2s);
  EXPECT_GE(cArrived.size(), nWhole * 5121);
  EXPECT_LT(cArrived.size(), (nWhole + 1) * 5121);
  EXPECT_TRUE(cExpected.compare(0, cArrived.size(), cArrived) == 0);
}

// A made-up device tree: a USB adapter with a stable name, a built-in port held by another
// program, the system console, a placeholder of an absent built-in port and a virtual
// terminal.
class FakeTree {
public:
  explicit FakeTree(const std::string& cRoot) : m_cRoot(cRoot) {
    const std::string cUsb = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
    Port("ttyUSB0", cUsb + "/1-2:1.0/ttyUSB0", "");
    File("sys/" + cUsb + "/idVendor", "0403\n");
    File("sys/" + cUsb + "/idProduct", "6001\n");
    File("sys/" + cUsb + "/manufacturer", "FTDI\n");
    File("sys/" + cUsb + "/product", "FT232R USB UART\n");
    Port("ttyS0", "devices/pnp0/00:00", "4\n");
    Port("ttyS1", "devices/pnp0/00:01", "4\n");
    Port("ttyS2", "devices/platform/serial8250", "0\n");
    fs::create_directories(cRoot + "/sys/devices/virtual/tty/tty0");
    fs::create_directory_symlink("../../devices/virtual/tty/tty0", cRoot + "/sys/class/tty/tty0");
    fs::create_directories(cRoot + "/dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0",
                       cRoot + "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0");
    File("proc/consoles",
         "ttyS0                -W- (EC  p a)    4:64\ntty0   -WU (E  p  )    4:1\n");
    File("proc/4242/comm", "picocom\n");
    fs::create_directories(cRoot + "/proc/4242/fd");
    fs::create_symlink(cRoot + "/dev/ttyS1", cRoot + "/proc/4242/fd/3");
  }
  std::map<std::string, std::string> Env() const {
    return {{"VELTRA_SYSFS", m_cRoot + "/sys"},
            {"VELTRA_DEVFS", m_cRoot + "/dev"},
            {"VELTRA_PROCFS", m_cRoot + "/proc"}};
  }

private:
  void File(const std::string& cPath, const std::string& cText) {
    fs::create_directories(fs::path(m_cRoot + "/" + cPath).parent_path());
    WriteFile(m_cRoot + "/" + cPath, cText);
  }
  // A port as the kernel shows it: its class entry links to its node under the device it
  // belongs to, whose "device" link points back up to that device.
  void Port(const std::string& cName, const std::string& cDevice, const std::string& cType) {
    const std::string cNode = cDevice + "/tty/" + cName;
    fs::create_directories(m_cRoot + "/sys/" + cNode);
    fs::create_directories(m_cRoot + "/sys/class/tty");
    fs::create_directory_symlink("../../../" + fs::path(cDevice).filename().string(),
                                 m_cRoot + "/sys/" + cNode + "/device");
    fs::create_directory_symlink("../../" + cNode, m_cRoot + "/sys/class/tty/" + cName);
    if (!cType.empty()) {
      File("sys/" + cNode + "/type", cType);
    }
    File("dev/" + cName, "");
  }
  std::string m_cRoot;
};

// The listing, and the ports offered when the one named is missing (never the console).
TEST_F(VeltraSend, ListsThePortsAndOffersThemWhenThePortNamedIsMissing) {
  const FakeTree oTree(m_cDir);
  Child oList(NoDisplay({"--list-ports"}), oTree.Env());
  EXPECT_EQ(oList.Wait(10s), std::optional<int>(0));
  const std::string d = m_cDir + "/dev/";
  EXPECT_EQ(oList.Out(), d + "ttyS0  [system console: not for transfers]\n" + d +
                             "ttyS1  [busy: held by picocom (pid 4242)]\n" + d + "ttyUSB0  " + d +
                             "serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0  FTDI "
                             "FT232R USB UART (0403:6001)\n");
  const std::string cImage = WriteImage("disk.mgt", PatternImage(5120));
  Child oSend(NoDisplay({"--port", "/dev/veltra-no-such-port", cImage}), oTree.Env());
  EXPECT_EQ(oSend.Wait(10s), std::optional<int>(2));
  const std::string& cErr = oSend.Err();
  EXPECT_TRUE(Has(cErr, "veltra-send: cannot open /dev/veltra-no-such-port: No such file or "
                        "directory (is the adapter plugged in?"));
  EXPECT_TRUE(Has(cErr, "usb-FTDI_FT232R_USB_UART_A12345-if00-port0"));
  EXPECT_EQ(cErr.find("ttyS0"), std::string::npos) << "the console is never suggested";
  EXPECT_EQ(oSend.Out(), "");
}

enum class Made { File, Fifo, Terminal, Unreadable, Sparse };

struct CheckCase {
  const char* pName;
  Made eMade;
  std::uint64_t nSize; // 64 bits also where size_t has 32 (armhf)
  int nExit;
  const char* pSays; // on standard output for 0 and 1, on standard error for 2
};

void PrintTo(const CheckCase& o, std::ostream* pOut) {
  *pOut << o.pName;
}

class Checks : public VeltraSend, public ::testing::WithParamInterface<CheckCase> {};

// --check says what would be sent. An image that cannot serve is refused with the same reason
// by a transfer, at once and before the port is even looked at: a FIFO would block the open
// for ever, a terminal could become the controlling one.
TEST_P(Checks, SayWhatWouldBeSentAndTransfersRefuseTheSameImagesFirst) {
  const CheckCase& t = GetParam();
  const Pty oNamedAsImage;
  const std::string cImage =
      t.eMade == Made::Terminal ? oNamedAsImage.SlavePath() : m_cDir + "/disk.mgt";
  switch (t.eMade) {
  case Made::Fifo:
    ASSERT_EQ(::mkfifo(cImage.c_str(), 0600), 0);
    break;
  case Made::Terminal:
    break;
  case Made::Sparse:
    WriteFile(cImage, "");
    fs::resize_file(cImage, t.nSize); // takes no room on disk
    break;
  case Made::Unreadable:
    if (::geteuid() == 0 && RunToEnd({"sh", "-c", "command -v setpriv"}, {}).nExit != 0) {
      GTEST_SKIP() << "root reads every file, and setpriv is missing: run scripts/deps";
    }
    [[fallthrough]];
  case Made::File:
    // Its last byte the old end-of-file mark, which counts as image data all the same.
    WriteFile(cImage, PatternImage(static_cast<std::size_t>(t.nSize) - 1) + '\x1A');
    if (t.eMade == Made::Unreadable) {
      ::chmod(cImage.c_str(), 0);
    }
    break;
  }
  std::vector<std::vector<std::string>> aRuns{{"--check", cImage}};
  if (t.nExit == 2) {
    aRuns.push_back({"--port", "/dev/veltra-no-such-port", cImage});
  }
  for (const auto& aRun : aRuns) {
    std::vector<std::string> aArgs = NoDisplay(aRun);
    if (::geteuid() == 0 && t.eMade == Made::Unreadable) {
      // Root reads every file: the program runs as the unprivileged user "nobody".
      aArgs.insert(aArgs.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    Child oSend(aArgs, {});
    EXPECT_EQ(oSend.Wait(10s), std::optional<int>(t.nExit)) << aRun[0];
    EXPECT_TRUE(Has(t.nExit == 2 ? oSend.Err() : oSend.Out(), t.pSays)) << aRun[0];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Images, Checks,
    ::testing::Values(
        CheckCase{"WholeDisk", Made::File, 819200, 0,
                  "819200 bytes; 160 blocks of 5120 would be served: a whole disk"},
        CheckCase{"Short", Made::File, 5000, 1,
                  "; 1 block of 5120 would be served, the last one 5000"},
        CheckCase{"Fifo", Made::Fifo, 0, 2, "disk.mgt: not a regular file"},
        CheckCase{"Terminal", Made::Terminal, 0, 2, ": not a regular file"},
        CheckCase{"Unreadable", Made::Unreadable, 5120, 2, "disk.mgt: Permission denied"},
        CheckCase{"FiveGiB", Made::Sparse, std::uint64_t{5} << 30, 2,
                  "disk.mgt: 5368709120 bytes, larger than the whole-file read accepts "
                  "(4294967294 bytes at most)"}),
    [](const auto& o) { return std::string(o.param.pName); });

// Two disks in one run, on the port that VELTRA.INI names: the second is served from the
// device's first "T" after its "E" for the first, even when both come in one burst, from its own
// start (track 0, side 0) to its short last block; the first disk ended past its end, so the run
// ends with 4 although the second went well.
TEST_F(VeltraSend, TwoImagesAreServedInTurnAndTheFirstFailingStatusIsTheRuns) {
  Pty oLine;
  const std::string cA = PatternImage(2 * 5120);
  std::string cB = PatternImage(2 * 5120 + 5000);
  std::reverse(cB.begin(), cB.end());
  const std::string cImageA = WriteImage("side-a.mgt", cA);
  const std::string cImageB = WriteImage("side-b.mgt", cB);
  WriteFile(m_cDir + "/VELTRA.INI", "[Impostazioni]\nPorta=" + oLine.SlavePath() + "\n");
  Child oSend(NoDisplay({cImageA, cImageB}), {}, m_cDir);
  ASSERT_TRUE(oLine.WaitOpened());
  oLine.Send("TTT"); // the third asks past the end of the first image
  std::string cWant = '\0' + cA.substr(0, 5120) + '\0' + cA.substr(5120) + '\0';
  EXPECT_EQ(oLine.Receive(cWant.size(), 10s), cWant);
  oLine.Send("ETTTE");
  cWant.clear();
  for (std::size_t n = 0; n < 3; ++n) {
    cWant += '\0' + cB.substr(n * 5120, 5120);
  }
  EXPECT_EQ(oLine.Receive(cWant.size() + 1, 10s), cWant) << "nothing after the short block";
  EXPECT_EQ(oSend.Wait(10s), std::optional<int>(4)) << oSend.Out() << oSend.Err();
  const std::string& cOut = oSend.Out();
  const std::size_t nNext = cOut.find("Disk 2 of 2: " + cImageB + ": waiting for the device\n");
  ASSERT_NE(nNext, std::string::npos) << cOut;
  EXPECT_TRUE(Has(cOut.substr(nNext), "Sending track 0, side 0")) << "its own start";
  EXPECT_TRUE(Has(cOut, "  Disk 1/2 " + cImageA + ": Image ended: the device asked for block 3"));
  EXPECT_TRUE(Has(cOut, "  Disk 2/2 " + cImageB +
                            ": Done: the device ended the transfer after 3 blocks (15240 bytes)"));
}

// Standard output a pipe that is full and that nobody reads: the device is served all the
// same, and what was held back reaches the pipe once it is read again.
TEST_F(VeltraSend, FullPipeOnStandardOutputNeverHoldsUpTheDevice) {
  Pty oLine;
  int aPipe[2];
  ASSERT_EQ(::pipe2(aPipe, O_CLOEXEC | O_NONBLOCK), 0);
  const std::string cFill(4096, '.');
  while (::write(aPipe[1], cFill.data(), cFill.size()) > 0) {
  }
  const std::string cImage = WriteImage("disk.mgt", PatternImage(2 * 5120));
  // The shell opens the test's own write end as veltra-send's standard output.
  Child oSend({"sh", "-c",
               "exec \"$0\" \"$@\" > /proc/" + std::to_string(::getpid()) + "/fd/" +
                   std::to_string(aPipe[1]),
               "env", "-u", "DISPLAY", kSend, "--port", oLine.SlavePath(), cImage},
              {}, m_cDir);
  ASSERT_TRUE(oLine.WaitOpened());
  const int nRequests = 40;
  for (int n = 0; n < nRequests; ++n) {
    oLine.Send("T");
    ASSERT_EQ(oLine.Receive(n < 2 ? 5121 : 1, 5s).size(), n < 2 ? 5121u : 1u) << "request " << n;
  }
  oLine.Send("E");
  ::close(aPipe[1]);
  // The pipe read to its end, which comes once veltra-send has written the rest and exited.
  const Result r = RunToEnd(
      {"cat", "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(aPipe[0])}, {});
  ::close(aPipe[0]);
  EXPECT_EQ(oSend.Wait(10s), std::optional<int>(4)) << oSend.Err();
  EXPECT_TRUE(Has(r.cOut.substr(std::min(r.cOut.find_first_not_of('.'), r.cOut.size())),
                  "Image ended: the device asked for block 3"));
}

// The libraries each program asks the loader for, read from the ELF itself (readelf works on a
// cross build's programs as on the machine's own): the C and C++ runtimes, no Qt, no X11.
TEST(VeltraSendBuild, ProgramsWithoutWindowsNeedNoQtAndNoX11) {
  for (const std::string& pProgram : {kSend, DevicePath()}) {
    const Result r = RunToEnd({"readelf", "-d", pProgram}, {});
    ASSERT_EQ(r.nExit, 0) << pProgram;
    EXPECT_NE(r.cOut.find("Shared library: [libc.so.6]"), std::string::npos) << r.cOut;
    EXPECT_NE(r.cOut.find("Shared library: [libstdc++.so.6]"), std::string::npos) << r.cOut;
    EXPECT_EQ(r.cOut.find("[libQt"), std::string::npos) << r.cOut;
    EXPECT_EQ(r.cOut.find("[libX11"), std::string::npos) << r.cOut;
  }
}

// The progress line at the speed of a real line, on a terminal 120 columns wide: count,
// percentage and time left while it runs, the ending after it, the terminal as it was. Ctrl-S
// typed meanwhile holds up neither the screen nor the device: the terminal's output flow
// control is off while the keys are taken.
TEST_F(VeltraSend, ProgressLineShowsCountPercentageAndTimeLeftAndCtrlSStopsNeitherScreenNorDevice) {
  const std::string cImage = WriteImage("disk.mgt", PatternImage(12 * 5120));
  const std::string cPort = StartDevice({"--expect", cImage, "--pace", "115200,8N2"});
  OnTerminal oTerm({"--port", cPort, cImage});
  ASSERT_TRUE(oTerm.WaitFor("Block 1/12", 20s)) << oTerm.Screen();
  oTerm.Type("\x13"); // Ctrl-S
  EXPECT_EQ(oTerm.Wait(60s), std::optional<int>(0)) << oTerm.Screen();
  const std::string& cScreen = oTerm.Screen();
  const std::regex oProgress(R"(Block ([0-9]+)/12  track [0-9]+ side [01]  [0-9]+/61440 bytes  )"
                             R"(([0-9]+)%  [0-9.]+ KiB/s  [0-9]+:[0-9]{2} left)");
  bool lSeen = false;
  for (auto it = std::sregex_iterator(cScreen.begin(), cScreen.end(), oProgress);
       it != std::sregex_iterator() && !lSeen; ++it) {
    lSeen = std::stoi((*it)[1]) >= 2 && std::stoi((*it)[2]) > 0;
  }
  EXPECT_TRUE(lSeen) << cScreen;
  EXPECT_TRUE(Has(cScreen, "Done: the device ended the transfer after 12 blocks"));
  ExpectSameTerminal(oTerm.Now(), oTerm.Before());
}

} // namespace
} // namespace veltra::test
