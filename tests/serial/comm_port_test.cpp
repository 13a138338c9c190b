// Ports over real pseudo-terminals: naming, opening, the ring, writing, configuration.
#include "serial/comm_baud.h"
#include "serial/comm_console.h"
#include "serial/comm_dcb.h"
#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "serial/comm_port_testing.h"
#include "serial/comm_termios.h"
#include "serial/receive_ring.h"
#include "termios2_refusal.h"
#include "tests/serial/serial_test_support.h"
// After the helpers it uses.
#include "tests/serial/port_contract.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <pthread.h>
#include <random>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace veltra::serial::test {
namespace {

// A pty pair: the port is the slave end, the test plays the device on the master. Nothing holds
// bytes between the two ends but the pty's own buffer, which the writer sees.
class PtyLine {
public:
  bool Ready() const { return !m_oPty.SlavePath().empty(); }
  std::string Port() const { return m_oPty.SlavePath(); }
  void Send(std::string_view c) const { m_oPty.Send(c); }
  std::string Receive(std::size_t n, std::chrono::milliseconds t) const {
    return m_oPty.Receive(n, t);
  }
  void Pull() { m_oPty.CloseMaster(); }
  static constexpr std::size_t kStallBytes = 100000;
  static constexpr bool kCountIsExact = true;

  class Window {
  public:
    Window() {
      m_oReceiver.bCommNotify = [this](int nComm) {
        std::string cBuf(1000, ' ');
        cBuf.resize(static_cast<std::size_t>(READCOMM(nComm, cBuf)));
        aTold.push_back({nComm, m_oReceiver.aCalls.back().nStatus, cBuf});
      };
    }
    int hWnd() const { return m_oReceiver.hWnd(); }
    std::vector<Told> aTold;

  private:
    Receiver m_oReceiver;
  };

private:
  Pty m_oPty;
};

INSTANTIATE_TYPED_TEST_SUITE_P(PortContract, PortContract, PtyLine);

// An open port on a fresh pty; closed at the end unless the test closed it.
struct OpenPort {
  Pty oPty;
  int nComm = OPENCOMM(oPty.SlavePath());
  ~OpenPort() { CLOSECOMM(nComm); }
};

TEST(CommPort, DevicePathFollowsTheNamingRules) {
  const std::vector<std::pair<std::string, std::string>> aCases = {
      {"\\\\.\\COM1", "/dev/ttyS0"},
      {"com3", "/dev/ttyS2"},
      {"\\\\.\\Com12", "/dev/ttyS11"},
      {"\\\\.\\ttyUSB0", "/dev/ttyUSB0"},
      {"\\\\.\\\\\\.\\ttyUSB0", "/dev/ttyUSB0"}, // the program's prefix before a name with one
      {"ttyACM1", "/dev/ttyACM1"},
      {"\\\\.\\/dev/pts/7", "/dev/pts/7"},
      {"/dev/serial/by-id/x", "/dev/serial/by-id/x"},
      {"COM0", "/dev/COM0"},
      {"COMX", "/dev/COMX"},
      {"COM", "/dev/COM"},
      {"", ""},
      {"\\\\.\\", ""}};
  for (const auto& [cName, cPath] : aCases) {
    EXPECT_EQ(COMMDEVICEPATH(cName), cPath) << cName;
  }
}

TEST(CommPort, OpenRefusesWhatIsNotAFreeTerminalAndSaysWhy) {
  const TempDir oDir;
  const std::string cDir = oDir.Str();
  const std::string cFile = cDir + "/image.mgt";
  std::ofstream(cFile) << "";
  Pty oPty;
  Pty oConsole;
  const int nFirst = OPENCOMM(oPty.SlavePath());
  ASSERT_GE(nFirst, 0);
  // The kernel's list of consoles, naming a pty as one: by its numbers, as the kernel
  // writes it, and by its name alone.
  struct stat oStat {};
  ASSERT_EQ(::stat(oConsole.SlavePath().c_str(), &oStat), 0);
  const std::string cName = oConsole.SlavePath().substr(5); // "pts/N"
  const std::string cList = cDir + "/consoles";
  const std::string cOldList = SetConsolesList(cList);
  // What is no serial line is refused before it is opened: inotify sees no open of it.
  const std::string cFifo = cDir + "/fifo";
  const std::string cLink = cDir + "/ttyLINK";
  ASSERT_EQ(::mkfifo(cFifo.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(cFile.c_str(), cLink.c_str()), 0);
  const int nWatch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(nWatch, 0);
  for (const std::string& cWatched : {cFile, cFifo, std::string("/dev/zero")}) {
    ::inotify_add_watch(nWatch, cWatched.c_str(), IN_OPEN);
  }
  const std::vector<std::tuple<std::string, std::string, int>> aCases = {
      {cDir + "/missing", "", ENOENT},
      {cFile, "", ENOTTY},
      {cLink, "", ENOTTY},
      {cFifo, "", ENOTTY},
      {"/dev/zero", "", ENOTTY},
      {cDir, "", ENOTTY},
      {oPty.SlavePath(), "", EWOULDBLOCK}, // a second open of an open port
      {"", "", ENOENT},
      {std::string("tty\0x", 5), "", EINVAL}, // would open /dev/tty
      {oConsole.SlavePath(),
       cName + "                -W- (EC  p a) " + std::to_string(major(oStat.st_rdev)) + ":" +
           std::to_string(minor(oStat.st_rdev)) + "\n",
       ECOMMCONSOLE},
      {oConsole.SlavePath(), "ttyS0 -W- (EC p a)\n" + cName + " -W- (E p a)\n", ECOMMCONSOLE},
      {"/dev/console", "", ECOMMCONSOLE},
      {"/dev/tty", "", ECOMMOWNTERMINAL},
  };
  for (const auto& [cDevice, cConsoles, nErrno] : aCases) {
    std::ofstream(cList) << cConsoles;
    errno = 0;
    EXPECT_EQ(OPENCOMM(cDevice), -1) << cDevice;
    EXPECT_EQ(errno, nErrno) << cDevice << ": " << std::strerror(errno);
  }
  std::array<char, 4096> aEvents{};
  EXPECT_LT(::read(nWatch, aEvents.data(), aEvents.size()), 0) << "something was opened";
  ::close(nWatch);
  std::ofstream(cList) << "";
  const int nNoConsole = OPENCOMM(oConsole.SlavePath());
  EXPECT_GE(nNoConsole, 0) << "the same pty once it is no console";
  CLOSECOMM(nNoConsole);
  SetConsolesList(cOldList);
  std::ifstream oIn(cFile, std::ios::ate);
  EXPECT_EQ(oIn.tellg(), 0) << "nothing written into the regular file";
  EXPECT_TRUE(CLOSECOMM(nFirst));
  const int nAgain = OPENCOMM(oPty.SlavePath());
  EXPECT_GT(nAgain, nFirst) << "released by the close; handles are never reused";
  CLOSECOMM(nAgain);
}

// The process's own terminal, by its name and as /dev/tty: a child in a session of its own
// with a pty as its controlling terminal, so the case holds with or without a terminal here.
TEST(CommPort, OpenRefusesTheControllingTerminal) {
  Pty oPty;
  veltra::test::Child oChild({ChildPath(), "ctty", oPty.SlavePath()});
  ASSERT_EQ(oChild.Wait(10s), std::optional<int>(0)) << oChild.Out() << oChild.Err();
  const std::string cRefused = "refused " + std::to_string(ECOMMOWNTERMINAL) + "\n";
  EXPECT_EQ(oChild.Out(), cRefused + cRefused);
}

// A process that ends with a port open and its worker waiting for a notification that will
// never be handled (a return from main, or exit(1) as Qt calls it when the X server goes):
// it ends, and the port is free at once.
TEST(CommPort, ProcessEndingWithThePortOpenEndsAndFreesIt) {
  for (const std::string cHow : {"return", "exit1"}) {
    Pty oPty;
    veltra::test::Child oChild({ChildPath(), cHow, oPty.SlavePath()});
    ASSERT_EQ(oChild.ReadLine(10s), std::optional<std::string>("ready")) << oChild.Err();
    oPty.Send("T");
    EXPECT_EQ(oChild.Wait(1s), std::optional<int>(cHow == "return" ? 0 : 1)) << cHow;
    oChild.Kill();
    const int nComm = OPENCOMM(oPty.SlavePath());
    EXPECT_GE(nComm, 0) << cHow << ": " << std::strerror(errno);
    CLOSECOMM(nComm);
  }
}

TEST(CommPort, ClosedOrUnknownHandlesFailSafely) {
  OpenPort oPort;
  ASSERT_TRUE(CLOSECOMM(oPort.nComm));
  for (const int nComm : {oPort.nComm, -1, 1 << 30}) {
    std::string cBuffer = "untouched";
    EXPECT_FALSE(CLOSECOMM(nComm));
    EXPECT_EQ(READCOMM(nComm, cBuffer), 0);
    EXPECT_EQ(cBuffer, "untouched");
    EXPECT_EQ(WRITECOMM(nComm, "x"), 0);
    EXPECT_FALSE(SETCOMMSTATE(nComm, detail::EncodeDcb({.nBaudRate = 9600})));
    EXPECT_FALSE(ENABLECOMMNOTIFICATION(nComm, 1, 1, -1));
    EXPECT_EQ(COMMRECEIVED(nComm), -1);
  }
}

TEST(CommPort, ReadCopiesInPlaceAndKeepsTheRestOfTheBuffer) {
  OpenPort oPort;
  std::string cBuffer(1000, '.');
  EXPECT_EQ(READCOMM(oPort.nComm, cBuffer), 0);
  EXPECT_EQ(cBuffer, std::string(1000, '.'));
  const std::string cSent = RandomBytes(1500, 1);
  oPort.oPty.Send(cSent);
  ASSERT_TRUE(PumpUntil([&] { return COMMRECEIVED(oPort.nComm) == 1500; }));
  EXPECT_EQ(READCOMM(oPort.nComm, cBuffer), 1000);
  EXPECT_EQ(cBuffer, cSent.substr(0, 1000));
  std::string cSecond(1000, '.');
  EXPECT_EQ(READCOMM(oPort.nComm, cSecond), 500);
  EXPECT_EQ(cSecond, cSent.substr(1000) + std::string(500, '.'));
  std::string cEmpty;
  EXPECT_EQ(READCOMM(oPort.nComm, cEmpty), 0);
}

TEST(CommPort, LongStreamWithUnevenReadsArrivesInOrder) {
  OpenPort oPort;
  const std::string cSent = RandomBytes(300000, 4);
  std::thread oDevice([&] { oPort.oPty.Send(cSent); });
  std::mt19937 oRandom(5);
  std::string cGot;
  const auto tEnd = std::chrono::steady_clock::now() + 20s;
  while (cGot.size() < cSent.size() && std::chrono::steady_clock::now() < tEnd) {
    std::string cBuf(1 + oRandom() % 3000, '\0');
    cGot.append(cBuf, 0, static_cast<std::size_t>(READCOMM(oPort.nComm, cBuf)));
  }
  oDevice.join();
  EXPECT_TRUE(cGot == cSent) << "got " << cGot.size() << " bytes";
}

// Signals keep interrupting the write while a slow device takes a block beyond a 16-bit count:
// every byte still goes out, in order, and the count says so.
TEST(CommPort, WriteInterruptedBySignalsSendsTheWholeBlock) {
  OpenPort oPort;
  struct sigaction oQuiet {
  }, oOld{};
  oQuiet.sa_handler = [](int) {};
  sigemptyset(&oQuiet.sa_mask);
  oQuiet.sa_flags = 0; // no SA_RESTART: interrupted calls fail with EINTR
  ASSERT_EQ(::sigaction(SIGUSR2, &oQuiet, &oOld), 0);
  const std::string cBlock = RandomBytes(200000, 10);
  std::atomic<bool> lDone{false};
  std::string cGot;
  std::thread oDevice([&] {
    const auto tEnd = std::chrono::steady_clock::now() + 20s;
    while (cGot.size() < cBlock.size() && std::chrono::steady_clock::now() < tEnd) {
      std::array<char, 512> aBuf{};
      const ssize_t n = ::read(oPort.oPty.Master(), aBuf.data(), aBuf.size());
      cGot.append(aBuf.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
      std::this_thread::sleep_for(1ms);
    }
  });
  const pthread_t oWriter = ::pthread_self();
  std::thread oSignaller([&] {
    while (!lDone) {
      ::pthread_kill(oWriter, SIGUSR2);
      std::this_thread::sleep_for(200us);
    }
  });
  const long nWritten = WRITECOMM(oPort.nComm, cBlock);
  oDevice.join();
  lDone = true;
  oSignaller.join();
  ::sigaction(SIGUSR2, &oOld, nullptr);
  EXPECT_EQ(nWritten, 200000);
  EXPECT_TRUE(cGot == cBlock) << cGot.size();
}

// After its last write WRITECOMM watches the driver's output queue, then drains it. A pty's
// queue always reads empty and its drain returns at once, so the driver is played here behind
// the seam: the queue's readings in turn (the last one stays), and whether the drain fails.
// Each case gives the count WRITECOMM returns for 1000 bytes and the calls it made (repeats
// folded): it returns only once the bytes have left, and never counts as sent what it purged
// or what a failed drain may have lost.
struct DrainCase {
  const char* pName;
  std::vector<int> aQueue;
  bool lDrainFails;
  long nSent;
  std::string cCalls; // Q<n>: the queue read n, D: drained, F: the drain failed, P: purged
};

void PrintTo(const DrainCase& o, std::ostream* pOut) {
  *pOut << o.pName;
}

class WriteDrain : public ::testing::TestWithParam<DrainCase> {
protected:
  void SetUp() override {
    s_oCase = GetParam();
    s_cCalls.clear();
    detail::g_oOutputQueue = {.bQueued = Queued, .bDrain = Drain, .bPurge = Purge};
  }
  void TearDown() override { detail::g_oOutputQueue = m_oDriver; }

  static void Call(const std::string& c) {
    if (!s_cCalls.ends_with(c)) {
      s_cCalls += c;
    }
  }
  static int Queued(int) {
    const int n = s_oCase.aQueue.front();
    if (s_oCase.aQueue.size() > 1) {
      s_oCase.aQueue.erase(s_oCase.aQueue.begin());
    }
    Call(" Q" + std::to_string(n));
    return n;
  }
  static int Drain(int) {
    Call(s_oCase.lDrainFails ? " F" : " D");
    errno = s_oCase.lDrainFails ? EIO : 0;
    return s_oCase.lDrainFails ? -1 : 0;
  }
  static void Purge(int) { Call(" P"); }

  static inline DrainCase s_oCase;
  static inline std::string s_cCalls;
  const detail::OutputQueueCalls m_oDriver = detail::g_oOutputQueue;
};

TEST_P(WriteDrain, CountsOnlyTheBytesThatLeft) {
  OpenPort oPort;
  ASSERT_TRUE(SETCOMMSTATE(oPort.nComm, detail::EncodeDcb({.nBaudRate = 115200, .nStopBits = 2})));
  EXPECT_EQ(WRITECOMM(oPort.nComm, RandomBytes(1000, 11)), GetParam().nSent);
  EXPECT_EQ(s_cCalls, GetParam().cCalls);
}

// Stalls: after about 2.2 s (twice 1000 bytes at 115200 baud 8N2, plus 2 s).
INSTANTIATE_TEST_SUITE_P(
    Driver, WriteDrain,
    ::testing::Values(DrainCase{"Empties", {300, 120, 0}, false, 1000, " Q300 Q120 Q0 D"},
                      DrainCase{"Stalls", {300}, false, 700, " Q300 P"},
                      DrainCase{"DeviceGoneWhileDraining", {0, 40}, true, 960, " Q0 F Q40"}),
    [](const auto& o) { return std::string(o.param.pName); });

TEST(SetCommState, Applies115200With8N2) {
  OpenPort oPort;
  const int nSlave = ::open(oPort.oPty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  std::string cDcb;
  ASSERT_TRUE(BUILDCOMMDCB("115200,N,8,2", cDcb));
  EXPECT_TRUE(SETCOMMSTATE(oPort.nComm, cDcb));
  termios oTio{};
  ASSERT_EQ(::tcgetattr(nSlave, &oTio), 0);
  EXPECT_EQ(::cfgetospeed(&oTio), static_cast<speed_t>(B115200));
  EXPECT_EQ(::cfgetispeed(&oTio), static_cast<speed_t>(B115200));
  EXPECT_EQ(oTio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
            static_cast<tcflag_t>(CS8 | CSTOPB | CLOCAL | CREAD));
  EXPECT_EQ(oTio.c_lflag & (ICANON | ECHO | ISIG), 0U);
  EXPECT_EQ(oTio.c_iflag & (IXON | IXOFF | ICRNL), 0U);
  // A rate outside the termios table goes through termios2.
  ASSERT_TRUE(BUILDCOMMDCB("250000,N,8,1", cDcb));
  EXPECT_TRUE(SETCOMMSTATE(oPort.nComm, cDcb));
  EXPECT_EQ(detail::ReadBaudRate(nSlave), 250000U);
  // A pty carries 8 bits without parity whatever it is told; the read-back notices.
  ASSERT_TRUE(BUILDCOMMDCB("9600,E,7,1", cDcb));
  EXPECT_FALSE(SETCOMMSTATE(oPort.nComm, cDcb));
  ::close(nSlave);
}

// Without termios2 (older drivers, qemu-user) a standard rate is still set and read back
// through the classic termios; a rate only termios2 can set is refused. A termios2 failure
// that says the terminal itself is in trouble refuses every rate.
struct WithoutTermios2Case {
  int nErrno;
  bool lStandardAccepted;
};

class SetCommStateWithoutTermios2 : public ::testing::TestWithParam<WithoutTermios2Case> {};

TEST_P(SetCommStateWithoutTermios2, KeepsStandardRatesAndRefusesOthers) {
  const WithoutTermios2Case oCase = GetParam();
  OpenPort oPort;
  const int nSlave = ::open(oPort.oPty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(nSlave, 0);
  std::string cStandard;
  std::string cOther;
  ASSERT_TRUE(BUILDCOMMDCB("115200,N,8,2", cStandard));
  ASSERT_TRUE(BUILDCOMMDCB("250000,N,8,1", cOther));
  {
    const Termios2Refused oRefused(oCase.nErrno);
    EXPECT_EQ(SETCOMMSTATE(oPort.nComm, cStandard), oCase.lStandardAccepted);
    EXPECT_EQ(detail::ReadBaudRate(nSlave),
              oCase.lStandardAccepted ? std::optional<unsigned>(115200) : std::nullopt);
    EXPECT_FALSE(SETCOMMSTATE(oPort.nComm, cOther));
  }
  termios oTio{};
  ASSERT_EQ(::tcgetattr(nSlave, &oTio), 0);
  EXPECT_EQ(::cfgetospeed(&oTio), static_cast<speed_t>(B115200));
  ::close(nSlave);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, SetCommStateWithoutTermios2,
    ::testing::Values(WithoutTermios2Case{ENOSYS, true}, WithoutTermios2Case{EINVAL, true},
                      WithoutTermios2Case{ENOTTY, true}, WithoutTermios2Case{EIO, false}),
    [](const auto& o) { return std::string(::strerrorname_np(o.param.nErrno)); });

TEST(SetCommState, RejectsMalformedRecords) {
  OpenPort oPort;
  const std::string cGood = detail::EncodeDcb({.nBaudRate = 115200, .nStopBits = 2});
  auto With = [&](int nOffset, int nValue) {
    std::string c = cGood;
    c[static_cast<std::size_t>(nOffset)] = static_cast<char>(nValue);
    return c;
  };
  ASSERT_TRUE(SETCOMMSTATE(oPort.nComm, cGood));
  for (const std::string& cBad :
       {cGood.substr(0, 27), cGood + '\0', With(0, 27), std::string(28, '\0'), With(18, 9),
        With(18, 4), With(19, 5), With(20, 1), With(8, 1 | 4) /* CTS flow */,
        With(9, 1) /* XON/XOFF out */}) {
    EXPECT_FALSE(SETCOMMSTATE(oPort.nComm, cBad)) << ::testing::PrintToString(cBad);
  }
}

TEST(SetCommState, LineSettingsMapOntoTermios) {
  using detail::Parity;
  const std::vector<std::pair<detail::LineSettings, tcflag_t>> aCases = {
      {{.nByteSize = 8}, CS8},
      {{.nByteSize = 7, .eParity = Parity::Even}, CS7 | PARENB},
      {{.nByteSize = 5, .eParity = Parity::Odd, .nStopBits = 2}, CS5 | PARENB | PARODD | CSTOPB},
      {{.nByteSize = 8, .eParity = Parity::Mark}, CS8 | PARENB | PARODD | CMSPAR},
      {{.nByteSize = 6, .eParity = Parity::Space}, CS6 | PARENB | CMSPAR}};
  for (const auto& [oSettings, nBits] : aCases) {
    termios oTio{};
    oTio.c_cflag = CRTSCTS | PARODD | CSTOPB;
    oTio.c_iflag = IXON | IXOFF;
    detail::ApplyLineSettings(oSettings, oTio);
    EXPECT_EQ(detail::LineFormatBits(oTio), nBits);
    EXPECT_EQ(oTio.c_cflag & (CRTSCTS | CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(oTio.c_iflag & (IXON | IXOFF), 0U);
  }
}

TEST(CommPort, CloseRestoresTheLineFoundAtOpen) {
  Pty oPty;
  const int nSlave = ::open(oPty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  termios oBefore{};
  ::tcgetattr(nSlave, &oBefore);
  oBefore.c_lflag |= ICANON | ECHO; // a line left cooked by whoever used it last
  ASSERT_EQ(::tcsetattr(nSlave, TCSANOW, &oBefore), 0);
  ::tcgetattr(nSlave, &oBefore);
  const int nComm = OPENCOMM(oPty.SlavePath());
  termios oOpen{};
  ::tcgetattr(nSlave, &oOpen);
  EXPECT_EQ(oOpen.c_lflag & (ICANON | ECHO), 0U) << "raw while open";
  EXPECT_TRUE(CLOSECOMM(nComm));
  termios oAfter{};
  ::tcgetattr(nSlave, &oAfter);
  EXPECT_EQ(oAfter.c_lflag, oBefore.c_lflag);
  EXPECT_EQ(oAfter.c_cflag, oBefore.c_cflag);
  ::close(nSlave);
}

} // namespace
} // namespace veltra::serial::test
