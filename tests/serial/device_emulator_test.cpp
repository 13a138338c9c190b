// The device emulator against a PC side built from our own port layer, over the pty the
// emulator creates: exit codes, summary lines, saved images.
#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "serial/message_pump.h"
#include "tests/serial/serial_test_support.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>

namespace veltra::serial::test {
namespace {

constexpr std::size_t kBlock = 5120;

struct PcSide {
  int nPauseMs = 10;
  std::optional<std::size_t> nCorruptAt = std::nullopt; // image offset sent wrong
  bool lAnswer = true;
  int nAbortAfter = -1; // blocks served before sending 0x09
  std::chrono::milliseconds tLimit = 60s;
};

// Serves "T" requests as the program does (0x00, pause, next block) until "E", an abort, or
// the time limit. Returns the number of blocks served.
int ServeAsThePc(const std::string& cPath, const std::string& cImage, const PcSide& o) {
  const int nComm = OPENCOMM(cPath, 16384, 16384);
  std::string cDcb;
  EXPECT_TRUE(BUILDCOMMDCB("115200,N,8,2", cDcb) && SETCOMMSTATE(nComm, cDcb));
  Receiver oWnd;
  std::string cIn;
  oWnd.bCommNotify = [&](int nPort) {
    std::string cBuf(1000, ' ');
    cIn.append(cBuf, 0, static_cast<std::size_t>(READCOMM(nPort, cBuf)));
  };
  ENABLECOMMNOTIFICATION(nComm, oWnd.hWnd(), 1, -1);
  int nServed = 0;
  std::size_t nOffset = 0;
  const auto tEnd = std::chrono::steady_clock::now() + o.tLimit;
  while (std::chrono::steady_clock::now() < tEnd) {
    if (cIn.empty()) {
      SYSWAIT(20);
      continue;
    }
    const char cCmd = cIn.front();
    cIn.erase(0, 1);
    if (cCmd == 'E') {
      break;
    }
    if (cCmd != 'T' || !o.lAnswer) {
      continue;
    }
    EXPECT_EQ(WRITECOMM(nComm, std::string(1, '\0')), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(o.nPauseMs));
    std::string cData = cImage.substr(std::min(nOffset, cImage.size()), kBlock);
    if (o.nCorruptAt && *o.nCorruptAt >= nOffset && *o.nCorruptAt < nOffset + cData.size()) {
      cData[*o.nCorruptAt - nOffset] ^= 0x5A;
    }
    EXPECT_EQ(WRITECOMM(nComm, cData), static_cast<long>(cData.size()));
    nOffset += kBlock;
    if (++nServed == o.nAbortAfter) {
      WRITECOMM(nComm, "\x09");
      break;
    }
  }
  CLOSECOMM(nComm);
  return nServed;
}

std::string WriteFile(const std::string& cPath, const std::string& cData) {
  std::ofstream(cPath, std::ios::binary) << cData;
  return cPath;
}

std::string LastLine(const std::string& cText) {
  const std::size_t nEnd = cText.find_last_not_of('\n');
  const std::size_t nStart = cText.rfind('\n', nEnd);
  return cText.substr(nStart == std::string::npos ? 0 : nStart + 1, nEnd - nStart);
}

TEST(DeviceEmulator, ServesAFullImageByteExact) {
  const TempDir oDir;
  const std::string cDir = oDir.Str();
  const std::string cImage = RandomBytes(160 * kBlock, 11);
  const std::string cSaved = cDir + "/saved.mgt";
  veltra::test::Child oDevice(
      {DevicePath(), "--pty", "--expect", WriteFile(cDir + "/disk.mgt", cImage), "--save", cSaved});
  const auto cPath = oDevice.ReadLine(5s);
  ASSERT_TRUE(cPath.has_value());
  EXPECT_EQ(ServeAsThePc(*cPath, cImage, {}), 160);
  EXPECT_EQ(oDevice.Wait(30s), std::optional<int>(0)) << oDevice.Out();
  const std::string cSummary = LastLine(oDevice.Out());
  std::printf("%s\n", cSummary.c_str());
  EXPECT_EQ(cSummary.rfind("veltra-device: blocks 160, bytes 819200, errors 0, elapsed ", 0), 0U)
      << cSummary;
  std::ifstream oIn(cSaved, std::ios::binary);
  EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(oIn), {}) == cImage);
}

// Paced, the emulator takes the bytes no faster than a 115200 8N2 line (11 bits a byte)
// would deliver them.
TEST(DeviceEmulator, PacedReadingTakesTheLineTime) {
  const std::string cImage = RandomBytes(2 * kBlock, 15);
  const TempDir oDir;
  veltra::test::Child oDevice({DevicePath(), "--pty", "--expect",
                               WriteFile(oDir.Str() + "/disk.mgt", cImage), "--pace",
                               "115200,8N2"});
  const auto cPath = oDevice.ReadLine(5s);
  ASSERT_TRUE(cPath.has_value());
  EXPECT_EQ(ServeAsThePc(*cPath, cImage, {}), 2);
  EXPECT_EQ(oDevice.Wait(10s), std::optional<int>(0)) << oDevice.Out();
  const std::string cSummary = LastLine(oDevice.Out());
  const std::size_t nAt = cSummary.find("elapsed ");
  ASSERT_NE(nAt, std::string::npos) << cSummary;
  const double dLineSeconds = 2.0 * (kBlock + 1) * 11 / 115200;
  EXPECT_GE(std::stod(cSummary.substr(nAt + 8)), dLineSeconds) << cSummary;
}

struct FaultCase {
  const char* pName;
  PcSide oPc;
  std::vector<std::string> aArgs;
  const char* pReport;
  int nMaxErrors; // in the summary line, at least 1
  std::size_t nImage = 3 * kBlock;
};

void PrintTo(const FaultCase& o, std::ostream* pOut) {
  *pOut << o.pName;
}

class DeviceEmulatorFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(DeviceEmulatorFault, ExitsNonZeroWithAClearReport) {
  const FaultCase& o = GetParam();
  const std::string cImage = RandomBytes(o.nImage, 12);
  const TempDir oDir;
  std::vector<std::string> aArgs = {DevicePath(), "--pty", "--expect",
                                    WriteFile(oDir.Str() + "/disk.mgt", cImage)};
  aArgs.insert(aArgs.end(), o.aArgs.begin(), o.aArgs.end());
  veltra::test::Child oDevice(aArgs);
  const auto cPath = oDevice.ReadLine(5s);
  ASSERT_TRUE(cPath.has_value());
  ServeAsThePc(*cPath, cImage, o.oPc);
  EXPECT_EQ(oDevice.Wait(10s), std::optional<int>(1));
  EXPECT_NE(oDevice.Out().find(o.pReport), std::string::npos) << oDevice.Out();
  // A missing pause counts only where it is certain (a late look at the 0x00 could hide it).
  const std::string cSummary = LastLine(oDevice.Out());
  const std::size_t nAt = cSummary.find("errors ");
  ASSERT_NE(nAt, std::string::npos) << cSummary;
  const int nErrors = std::stoi(cSummary.substr(nAt + 7));
  EXPECT_GE(nErrors, 1) << cSummary;
  EXPECT_LE(nErrors, o.nMaxErrors) << cSummary;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DeviceEmulatorFault,
    ::testing::Values(FaultCase{"WrongByte",
                                {.nCorruptAt = kBlock + 7},
                                {},
                                "block 2: mismatch at offset 7 (image offset 5127)",
                                1},
                      // The last block of an image that is no whole number of blocks is short;
                      // its bytes are checked as closely as the others.
                      FaultCase{"WrongByteInAShortLastBlock",
                                {.nCorruptAt = 2 * kBlock + 50},
                                {},
                                "block 3: mismatch at offset 50 (image offset 10290)",
                                1,
                                2 * kBlock + 100},
                      FaultCase{"NoPause", {.nPauseMs = 0}, {}, "ms of silence after 0x00", 3},
                      FaultCase{"SilentPc",
                                {.lAnswer = false, .tLimit = 1s},
                                {"--timeout", "0.3"},
                                "timeout: the PC sent nothing for 0.3 s",
                                1}),
    [](const auto& oInfo) { return std::string(oInfo.param.pName); });

TEST(DeviceEmulator, SendsAnyCommandsAndReportsTheAbort) {
  const std::string cImage = RandomBytes(kBlock, 13);
  veltra::test::Child oDevice({DevicePath(), "--pty", "--commands", "XtT!", "--verbose"});
  const auto cPath = oDevice.ReadLine(5s);
  ASSERT_TRUE(cPath.has_value());
  EXPECT_EQ(ServeAsThePc(*cPath, cImage, {.nAbortAfter = 1}), 1);
  EXPECT_EQ(oDevice.Wait(10s), std::optional<int>(0)) << oDevice.Out();
  EXPECT_NE(oDevice.Out().find("veltra-device: received 0x09 (abort)\n"), std::string::npos);
  EXPECT_NE(oDevice.Out().find("block 1 (track 0, side 0): 5120 bytes"), std::string::npos);
  EXPECT_EQ(LastLine(oDevice.Out()).rfind("veltra-device: blocks 1, bytes 5120, errors 0", 0), 0U);
}

// Given a time-out, the emulator does not wait for ever for a program that never opens its
// line.
TEST(DeviceEmulator, GivenATimeOutItGivesUpWhenNoProgramOpensTheLine) {
  veltra::test::Child oDevice({DevicePath(), "--pty", "--commands", "T", "--timeout", "0.5"});
  ASSERT_TRUE(oDevice.ReadLine(5s).has_value());
  EXPECT_EQ(oDevice.Wait(10s), std::optional<int>(1));
  EXPECT_NE(oDevice.Out().find("timeout: no program opened the line for 0.5 s"), std::string::npos)
      << oDevice.Out();
}

TEST(DeviceEmulator, RefusesABurstThatIsNeverClosed) {
  veltra::test::Child oDevice({DevicePath(), "--pty", "--commands", "T[TTE"});
  EXPECT_EQ(oDevice.Wait(5s), std::optional<int>(2));
  EXPECT_NE(oDevice.Err().find("--commands at offset 1: \"[\" without \"]\""), std::string::npos)
      << oDevice.Err();
  EXPECT_EQ(oDevice.Out(), "") << "no pseudo-terminal is made for a script that cannot run";
}

// A real port: never a console (here a pty that the consoles list of VELTRA_PROCFS names) nor
// the emulator's own terminal, and any other port's line is put back as it was found.
TEST(DeviceEmulator, RefusesAConsoleOrItsOwnTerminalAndPutsALineBack) {
  const TempDir oDir;
  const std::string cDir = oDir.Str();
  ::mkdir((cDir + "/proc").c_str(), 0700);
  Pty oConsole;
  Pty oLine;
  struct stat oStat {};
  ASSERT_EQ(::stat(oConsole.SlavePath().c_str(), &oStat), 0);
  WriteFile(cDir + "/proc/consoles", "ttyS0 -W- (EC p a) " + std::to_string(major(oStat.st_rdev)) +
                                         ":" + std::to_string(minor(oStat.st_rdev)) + "\n");
  termios oBefore{};
  ASSERT_EQ(::tcgetattr(oLine.Master(), &oBefore), 0);
  const struct {
    std::string cPort;
    int nExit;
    const char* pSays;
  } aCases[] = {
      {oConsole.SlavePath(), 2, ": it is a system console"},
      {"/dev/tty", 2, "cannot open /dev/tty: it is the terminal veltra-device runs in"},
      {oLine.SlavePath(), 0, ""},
  };
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.cPort);
    veltra::test::Child oDevice({DevicePath(), "--commands", "E", "--settle", "0", c.cPort},
                                {{"VELTRA_PROCFS", cDir + "/proc"}});
    EXPECT_EQ(oDevice.Wait(10s), std::optional<int>(c.nExit)) << oDevice.Err();
    EXPECT_NE(oDevice.Err().find(c.pSays), std::string::npos) << oDevice.Err();
  }
  EXPECT_EQ(oLine.Receive(1), "E");
  termios oAfter{};
  ASSERT_EQ(::tcgetattr(oLine.Master(), &oAfter), 0);
  EXPECT_EQ(oAfter.c_cflag, oBefore.c_cflag) << "8N2 while it ran, 8N1 again after";
  EXPECT_EQ(oAfter.c_lflag, oBefore.c_lflag);
  EXPECT_EQ(std::memcmp(oAfter.c_cc, oBefore.c_cc, sizeof oBefore.c_cc), 0);
}

} // namespace
} // namespace veltra::serial::test
