// veltra-device: plays the retro computer's disk device on a serial port or on a
// pseudo-terminal it creates. It sends the command bytes of a script ("T" per block, then
// "E"), checks every answer (0x00, at least 9 ms of silence, then the block), compares the
// blocks with an expected image and prints a summary. Plain POSIX, sharing the port naming
// and the termios line settings with VELTRA.
#include "serial/comm_baud.h"
#include "serial/comm_port.h"
#include "serial/comm_termios.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t kBlockSize = 5120;
constexpr char kAbortByte = 0x09;
constexpr auto kQuietEnd = std::chrono::milliseconds(200);

const char* const kUsage =
    "usage: veltra-device [options] (--pty | PORT)\n"
    "Plays the disk device for VELTRA: sends T per block, checks every answer.\n"
    "  --pty               create a pseudo-terminal; its path is the first line printed\n"
    "  PORT                a serial port, named as in VELTRA.INI (COM1, ttyUSB0, /dev/...)\n"
    "  --image FILE        script: one T per 5120-byte block of FILE, then E\n"
    "  --expect FILE       compare the received blocks with FILE (and script as --image)\n"
    "  --save FILE         write the received blocks to FILE\n"
    "  --commands SCRIPT   bytes to send instead; T waits for its answer, ! waits for 0x09,\n"
    "                      [..] sends its bytes in one burst, then reads each T's answer\n"
    "  --timeout SECONDS   longest silence of the PC before giving up (default 10)\n"
    "  --pace BAUD,FORMAT  read no faster than such a line delivers, e.g. 115200,8N2\n"
    "  --min-gap MS        least silence between 0x00 and the block (default 9)\n"
    "  --settle MS         pause between the PC opening the port and the first command\n"
    "                      (default 300)\n"
    "  --verbose           one line per block\n";

struct Options {
  bool lPty = false;
  std::string cPort;
  std::optional<std::string> cImage;
  std::optional<std::string> cExpect;
  std::optional<std::string> cSave;
  std::optional<std::string> cCommands;
  double dTimeout = 10.0;
  std::optional<std::string> cPace;
  double dMinGapMs = 9.0;
  int nSettleMs = 300;
  bool lVerbose = false;
};

void Say(const std::string& cLine) {
  std::printf("veltra-device: %s\n", cLine.c_str());
  std::fflush(stdout);
}

std::string Format(const char* pFormat, auto... aArgs) {
  std::array<char, 512> aBuf{};
  std::snprintf(aBuf.data(), aBuf.size(), pFormat, aArgs...);
  return aBuf.data();
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

std::optional<std::string> ReadFile(const std::string& cPath) {
  std::ifstream oIn(cPath, std::ios::binary);
  if (!oIn) {
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(oIn), std::istreambuf_iterator<char>());
}

// Line format for pacing and for configuring a real port: "115200,8N2".
struct LineFormat {
  unsigned nBaud = 115200;
  int nDataBits = 8;
  char cParity = 'N';
  int nStopBits = 2;
  double CharSeconds() const {
    return (1.0 + nDataBits + (cParity == 'N' ? 0 : 1) + nStopBits) / nBaud;
  }
};

std::optional<LineFormat> ParseLineFormat(std::string_view cText) {
  const std::size_t nComma = cText.find(',');
  if (nComma == std::string_view::npos || cText.size() != nComma + 4) {
    return std::nullopt;
  }
  LineFormat oFormat;
  const std::string cBaud(cText.substr(0, nComma));
  char* pEnd = nullptr;
  const unsigned long nBaud = std::strtoul(cBaud.c_str(), &pEnd, 10);
  const std::string_view cRest = cText.substr(nComma + 1);
  oFormat.cParity = static_cast<char>(std::toupper(static_cast<unsigned char>(cRest[1])));
  if (cBaud.empty() || *pEnd != '\0' || nBaud == 0 || nBaud > 4000000 || cRest[0] < '5' ||
      cRest[0] > '8' || std::string_view("NOEMS").find(oFormat.cParity) == std::string_view::npos ||
      (cRest[2] != '1' && cRest[2] != '2')) {
    return std::nullopt;
  }
  oFormat.nBaud = static_cast<unsigned>(nBaud);
  oFormat.nDataBits = cRest[0] - '0';
  oFormat.nStopBits = cRest[2] - '0';
  return oFormat;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view cArg = argv[i];
    auto Value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) {
        return std::nullopt;
      }
      return std::string(argv[++i]);
    };
    std::optional<std::string> cValue;
    if (cArg == "--pty") {
      o.lPty = true;
    } else if (cArg == "--verbose") {
      o.lVerbose = true;
    } else if (cArg == "--image" || cArg == "--expect" || cArg == "--save" ||
               cArg == "--commands" || cArg == "--pace") {
      if (!(cValue = Value())) {
        return std::nullopt;
      }
      auto& rTarget = cArg == "--image"    ? o.cImage
                      : cArg == "--expect" ? o.cExpect
                      : cArg == "--save"   ? o.cSave
                      : cArg == "--pace"   ? o.cPace
                                           : o.cCommands;
      rTarget = *cValue;
    } else if (cArg == "--timeout" || cArg == "--min-gap" || cArg == "--settle") {
      if (!(cValue = Value())) {
        return std::nullopt;
      }
      char* pEnd = nullptr;
      const double dValue = std::strtod(cValue->c_str(), &pEnd);
      if (*pEnd != '\0' || !(dValue >= 0 && dValue <= 1e6)) {
        return std::nullopt;
      }
      if (cArg == "--timeout") {
        o.dTimeout = dValue;
      } else if (cArg == "--min-gap") {
        o.dMinGapMs = dValue;
      } else {
        o.nSettleMs = static_cast<int>(dValue);
      }
    } else if (!cArg.empty() && cArg.front() != '-' && o.cPort.empty()) {
      o.cPort = cArg;
    } else {
      return std::nullopt;
    }
  }
  if (o.lPty == !o.cPort.empty()) {
    return std::nullopt;
  }
  return o;
}

// Bytes from the PC with the time each one finished arriving. With pacing, bytes are taken
// from the driver no faster than the line would deliver them, so the PC's writes meet the
// same back-pressure as on a real line.
class LineReader {
public:
  LineReader(int nFd, std::optional<LineFormat> oPace)
      : m_nFd(nFd), m_dChar(oPace ? oPace->CharSeconds() : 0.0) {}

  struct Byte {
    unsigned char nValue;
    Clock::time_point tEnd; // when its last bit arrived
  };

  enum class Status { Ok, Timeout, Gone };

  Status Next(Clock::time_point tDeadline, Byte& oOut) {
    if (m_nNext == m_aBuffer.size()) {
      const Status eStatus = Fill(tDeadline);
      if (eStatus != Status::Ok) {
        return eStatus;
      }
    }
    oOut = m_aBuffer[m_nNext++];
    return Status::Ok;
  }

  Clock::duration CharTime() const {
    return std::chrono::duration_cast<Clock::duration>(Seconds(m_dChar));
  }

private:
  Status Fill(Clock::time_point tDeadline) {
    // The line is still busy delivering the previous chunk.
    std::this_thread::sleep_until(m_tLineFree);
    for (;;) {
      const auto tNow = Clock::now();
      if (tNow >= tDeadline) {
        return Status::Timeout;
      }
      pollfd oIn{m_nFd, POLLIN, 0};
      const int nWaitMs = static_cast<int>(std::ceil(Ms(tDeadline - tNow)));
      const int nReady = ::poll(&oIn, 1, std::max(nWaitMs, 1));
      if (nReady < 0 && errno != EINTR) {
        return Status::Gone;
      }
      if (nReady <= 0) {
        continue;
      }
      const auto tArrived = Clock::now();
      // Bytes that were already queued when the line became free follow the previous ones
      // without a break: the time this program took to wake up is not line time, and must
      // not add up over the thousands of reads of a transfer.
      const auto tStart = m_lMoreQueued ? m_tLineFree : std::max(tArrived, m_tLineFree);
      // When pacing, as many bytes as the line delivers up to a millisecond from now, so the
      // driver's queue drains at the line's speed.
      std::array<unsigned char, 4096> aRaw{};
      std::size_t nWant = aRaw.size();
      if (m_dChar > 0) {
        const double dLineS = Seconds(tArrived - tStart).count() + 0.001;
        nWant = std::clamp<std::size_t>(static_cast<std::size_t>(dLineS / m_dChar), 1, aRaw.size());
      }
      const ssize_t nRead = ::read(m_nFd, aRaw.data(), nWant);
      if (nRead < 0 && (errno == EAGAIN || errno == EINTR)) {
        continue;
      }
      if (nRead <= 0) {
        return Status::Gone;
      }
      int nQueued = 0;
      m_lMoreQueued = m_dChar > 0 && ::ioctl(m_nFd, FIONREAD, &nQueued) == 0 && nQueued > 0;
      m_aBuffer.clear();
      m_nNext = 0;
      auto tEnd = tStart;
      for (ssize_t i = 0; i < nRead; ++i) {
        if (m_dChar > 0) {
          tEnd += CharTime();
        }
        m_aBuffer.push_back({aRaw[static_cast<std::size_t>(i)], tEnd});
      }
      m_tLineFree = tEnd;
      return Status::Ok;
    }
  }

  int m_nFd;
  double m_dChar;
  Clock::time_point m_tLineFree{};
  bool m_lMoreQueued = false; // the last read left bytes in the driver's queue
  std::vector<Byte> m_aBuffer;
  std::size_t m_nNext = 0;
};

bool WriteAll(int nFd, std::string_view cData) {
  while (!cData.empty()) {
    const ssize_t n = ::write(nFd, cData.data(), cData.size());
    if (n > 0) {
      cData.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd oOut{nFd, POLLOUT, 0};
      ::poll(&oOut, 1, 100);
    } else if (!(n < 0 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

// Raw mode, and with oLine also its speed and format (the line settings code of VELTRA).
void SetRaw(int nFd, const std::optional<LineFormat>& oLine) {
  using namespace veltra::serial::detail;
  termios oTio{};
  if (::tcgetattr(nFd, &oTio) != 0) {
    return;
  }
  MakeRawLine(oTio);
  std::optional<speed_t> oSpeed;
  if (oLine) {
    const auto nParity = std::string_view("NOEMS").find(oLine->cParity);
    ApplyLineSettings({.nBaudRate = oLine->nBaud,
                       .nByteSize = static_cast<std::uint8_t>(oLine->nDataBits),
                       .eParity = static_cast<Parity>(nParity),
                       .nStopBits = oLine->nStopBits == 2 ? kTwoStopBits : kOneStopBit},
                      oTio);
    oSpeed = StandardSpeed(oLine->nBaud);
    if (oSpeed) {
      ::cfsetspeed(&oTio, *oSpeed);
    }
  }
  ::tcsetattr(nFd, TCSANOW, &oTio);
  if (oLine && !oSpeed) {
    SetAnyBaudRate(nFd, oLine->nBaud);
  }
}

struct Port {
  int nFd = -1;
  std::string cPath;
};

// A pseudo-terminal whose slave side is already raw, so nothing is echoed or translated
// before VELTRA configures it.
std::optional<Port> CreatePty() {
  const int nMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (nMaster < 0 || ::grantpt(nMaster) != 0 || ::unlockpt(nMaster) != 0) {
    return std::nullopt;
  }
  const char* pName = ::ptsname(nMaster);
  if (pName == nullptr) {
    return std::nullopt;
  }
  Port oPort{nMaster, pName};
  const int nSlave = ::open(pName, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (nSlave >= 0) {
    SetRaw(nSlave, std::nullopt);
    ::close(nSlave);
  }
  ::fcntl(nMaster, F_SETFL, ::fcntl(nMaster, F_GETFL) | O_NONBLOCK);
  return oPort;
}

std::optional<Port> OpenPort(const std::string& cName, const std::optional<LineFormat>& oLine) {
  Port oPort{-1, veltra::serial::COMMDEVICEPATH(cName)};
  oPort.nFd = ::open(oPort.cPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (oPort.nFd < 0 || ::isatty(oPort.nFd) == 0 || ::flock(oPort.nFd, LOCK_EX | LOCK_NB) != 0) {
    return std::nullopt;
  }
  SetRaw(oPort.nFd, oLine ? oLine : LineFormat{});
  ::tcflush(oPort.nFd, TCIOFLUSH);
  return oPort;
}

// Before closing a pty, waits (up to tLimit) until the PC has closed its end: closing the
// master first would discard the last command unread. Whatever arrives meanwhile is dropped.
void WaitForPeerToClose(int nMaster, Clock::duration tLimit) {
  const auto tEnd = Clock::now() + tLimit;
  while (Clock::now() < tEnd) {
    pollfd oIn{nMaster, POLLIN, 0};
    ::poll(&oIn, 1, 20);
    if ((oIn.revents & POLLHUP) != 0) {
      return;
    }
    std::array<char, 256> aDrop{};
    if ((oIn.revents & POLLIN) != 0 && ::read(nMaster, aDrop.data(), aDrop.size()) < 0 &&
        errno != EAGAIN) {
      return;
    }
  }
}

// Waits until someone opens the slave side: until then the master reports a hang-up.
void WaitForPeer(int nMaster) {
  for (;;) {
    pollfd oIn{nMaster, POLLIN, 0};
    ::poll(&oIn, 1, 20);
    if ((oIn.revents & POLLHUP) == 0) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

struct Summary {
  int nBlocks = 0;
  std::size_t nBytes = 0;
  int nErrors = 0;
  bool lAborted = false;
  std::vector<double> aTimeToZeroMs;
};

class Session {
public:
  Session(const Options& o, int nFd, std::optional<LineFormat> oPace,
          std::optional<std::string> cExpected)
      : m_o(o), m_nFd(nFd), m_oReader(nFd, oPace), m_cExpected(std::move(cExpected)) {}

  // Runs the script; false when it had to stop early.
  bool Run(std::string_view cScript) {
    for (std::size_t i = 0; i < cScript.size(); ++i) {
      const char c = cScript[i];
      if (c == '[') {
        // A burst: the bytes up to "]" go out in one write, then each T's answer is read.
        const std::size_t nEnd = cScript.find(']', i);
        const std::string_view cBurst = cScript.substr(i + 1, nEnd - i - 1);
        const auto tSent = Clock::now();
        if (!WriteAll(m_nFd, cBurst)) {
          Error("the port has gone while sending a command");
          return false;
        }
        for (const char cCmd : cBurst) {
          if (cCmd == 'T' && !ServeBlock(tSent)) {
            return false;
          }
        }
        i = nEnd == std::string_view::npos ? cScript.size() : nEnd;
      } else if (c == 'T') {
        if (!ServeBlock()) {
          return false;
        }
      } else if (c == '!') {
        if (!WaitForAbort()) {
          return false;
        }
      } else if (!WriteAll(m_nFd, std::string_view(&c, 1))) {
        Error("the port has gone while sending a command");
        return false;
      }
    }
    return true;
  }

  const Summary& Result() const { return m_oSummary; }
  const std::string& Received() const { return m_cReceived; }

private:
  Clock::time_point Deadline() const {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(m_o.dTimeout));
  }

  void Error(const std::string& cText) {
    ++m_oSummary.nErrors;
    Say(cText);
  }

  bool Lost(LineReader::Status eStatus, const std::string& cWhat) {
    if (eStatus == LineReader::Status::Timeout) {
      Error(Format("timeout: the PC sent nothing for %.1f s (%s)", m_o.dTimeout, cWhat.c_str()));
    } else {
      Error("the port has gone (" + cWhat + ")");
    }
    return false;
  }

  // Sends T (unless it already went out in a burst at tBurst) and checks the answer.
  bool ServeBlock(std::optional<Clock::time_point> tBurst = std::nullopt) {
    const int nBlock = m_oSummary.nBlocks + 1;
    // Taken before the write: the PC may answer before this thread runs again.
    const auto tSent = tBurst.value_or(Clock::now());
    if (!tBurst && !WriteAll(m_nFd, "T")) {
      Error("the port has gone while sending T");
      return false;
    }
    LineReader::Byte oZero{};
    const auto eStatus = m_oReader.Next(Deadline(), oZero);
    if (eStatus != LineReader::Status::Ok) {
      return Lost(eStatus, Format("no answer to T of block %d", nBlock));
    }
    if (oZero.nValue == kAbortByte) {
      Say("received 0x09 (abort)");
      m_oSummary.lAborted = true;
      Error(Format("block %d: the PC aborted instead of answering", nBlock));
      return false;
    }
    if (oZero.nValue != 0) {
      Error(
          Format("block %d: the answer begins with 0x%02X instead of 0x00", nBlock, oZero.nValue));
      return false;
    }
    const double dToZero = Ms(oZero.tEnd - tSent);
    m_oSummary.aTimeToZeroMs.push_back(dToZero);

    // With an image to compare, the block is what is left of it, up to 5120 bytes; without,
    // up to 5120 bytes followed by silence.
    const std::size_t nOffset = m_cReceived.size();
    const std::optional<std::size_t> nExpected =
        m_cExpected ? std::optional(std::min(
                          kBlockSize, m_cExpected->size() - std::min(nOffset, m_cExpected->size())))
                    : std::nullopt;
    std::string cBlock;
    double dGapMs = -1;
    const std::size_t nWant = nExpected.value_or(kBlockSize);
    while (cBlock.size() < nWant) {
      LineReader::Byte oByte{};
      const bool lOpenEnded = !nExpected.has_value();
      const auto tDeadline = lOpenEnded && !cBlock.empty() ? Clock::now() + kQuietEnd : Deadline();
      const auto eNext = m_oReader.Next(tDeadline, oByte);
      if (eNext == LineReader::Status::Timeout && lOpenEnded && !cBlock.empty()) {
        break;
      }
      if (eNext != LineReader::Status::Ok) {
        return Lost(eNext, Format("block %d: %zu of %zu bytes", nBlock, cBlock.size(), nWant));
      }
      if (cBlock.empty()) {
        dGapMs = Ms(oByte.tEnd - m_oReader.CharTime() - oZero.tEnd);
      }
      cBlock.push_back(static_cast<char>(oByte.nValue));
    }
    if (nExpected == 0) {
      // The image is used up: the answer is the 0x00 alone.
      dGapMs = -1;
    }

    ++m_oSummary.nBlocks;
    m_oSummary.nBytes += cBlock.size();
    bool lMatch = true;
    // The 0x00 may have been seen late (this program was not scheduled at once), which
    // shortens the silence as measured. It arrived after T was sent, so the silence was at
    // most the measured one plus the time from T to 0x00: only that bound counts as a fault.
    const double dGapBound = dGapMs + dToZero;
    if (dGapMs >= 0 && dGapBound < m_o.dMinGapMs) {
      Error(Format("block %d: at most %.2f ms of silence after 0x00 (at least %.1f expected)",
                   nBlock, dGapBound, m_o.dMinGapMs));
      lMatch = false;
    }
    if (m_cExpected && !cBlock.empty()) {
      const auto itMismatch = std::mismatch(cBlock.begin(), cBlock.end(),
                                            m_cExpected->begin() + static_cast<long>(nOffset));
      if (itMismatch.first != cBlock.end()) {
        const auto nAt = static_cast<std::size_t>(itMismatch.first - cBlock.begin());
        Error(Format("block %d: mismatch at offset %zu (image offset %zu): expected 0x%02X, got "
                     "0x%02X",
                     nBlock, nAt, nOffset + nAt, static_cast<unsigned char>(*itMismatch.second),
                     static_cast<unsigned char>(*itMismatch.first)));
        lMatch = false;
      }
    }
    m_cReceived += cBlock;
    if (m_o.lVerbose) {
      const int nIndex = nBlock - 1;
      Say(Format("block %d (track %d, side %d): %zu bytes, gap %.2f ms, t-to-0 %.2f ms, %s", nBlock,
                 nIndex / 2, nIndex % 2, cBlock.size(), dGapMs, dToZero, lMatch ? "ok" : "ERROR"));
    }
    return true;
  }

  bool WaitForAbort() {
    LineReader::Byte oByte{};
    const auto eStatus = m_oReader.Next(Deadline(), oByte);
    if (eStatus != LineReader::Status::Ok) {
      return Lost(eStatus, "waiting for 0x09");
    }
    if (oByte.nValue != kAbortByte) {
      Error(Format("expected 0x09 (abort), got 0x%02X", oByte.nValue));
      return false;
    }
    Say("received 0x09 (abort)");
    m_oSummary.lAborted = true;
    return true;
  }

  const Options& m_o;
  int m_nFd;
  LineReader m_oReader;
  std::optional<std::string> m_cExpected;
  Summary m_oSummary;
  std::string m_cReceived;
};

double Percentile99(std::vector<double> aValues) {
  if (aValues.empty()) {
    return 0;
  }
  std::sort(aValues.begin(), aValues.end());
  const auto nRank =
      static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(aValues.size())));
  return aValues[std::max<std::size_t>(nRank, 1) - 1];
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const auto oOptions = ParseOptions(argc, argv);
  if (!oOptions) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const Options& o = *oOptions;
  std::optional<LineFormat> oPace;
  if (o.cPace && !(oPace = ParseLineFormat(*o.cPace))) {
    std::fprintf(stderr, "veltra-device: --pace wants BAUD,FORMAT such as 115200,8N2\n");
    return 2;
  }
  std::optional<std::string> cExpected;
  std::optional<std::string> cImage;
  for (const auto& [pPath, pTarget] : {std::pair{&o.cExpect, &cExpected}, {&o.cImage, &cImage}}) {
    if (*pPath && !(*pTarget = ReadFile(**pPath))) {
      std::fprintf(stderr, "veltra-device: cannot read %s\n", (*pPath)->c_str());
      return 2;
    }
  }
  std::string cScript;
  if (o.cCommands) {
    cScript = *o.cCommands;
  } else if (cImage || cExpected) {
    const std::size_t nSize = (cImage ? cImage : cExpected)->size();
    cScript = std::string((nSize + kBlockSize - 1) / kBlockSize, 'T') + "E";
  } else {
    std::fprintf(stderr, "veltra-device: give --image, --expect or --commands\n");
    return 2;
  }

  const auto oPort = o.lPty ? CreatePty() : OpenPort(o.cPort, oPace);
  if (!oPort) {
    std::fprintf(stderr, "veltra-device: cannot open %s: %s\n",
                 o.lPty ? "a pseudo-terminal" : o.cPort.c_str(), std::strerror(errno));
    return 2;
  }
  if (o.lPty) {
    std::printf("%s\n", oPort->cPath.c_str());
    std::fflush(stdout);
    WaitForPeer(oPort->nFd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(o.nSettleMs));

  Session oSession(o, oPort->nFd, oPace, cExpected);
  const auto tStart = Clock::now();
  const bool lCompleted = oSession.Run(cScript);
  const double dElapsed = Seconds(Clock::now() - tStart).count();
  const Summary& oSum = oSession.Result();

  if (o.cSave) {
    std::ofstream oOut(*o.cSave, std::ios::binary | std::ios::trunc);
    oOut.write(oSession.Received().data(),
               static_cast<std::streamsize>(oSession.Received().size()));
    if (!oOut) {
      Say("cannot write " + *o.cSave);
    }
  }
  double dMean = 0;
  for (const double d : oSum.aTimeToZeroMs) {
    dMean += d / static_cast<double>(oSum.aTimeToZeroMs.size());
  }
  Say(Format("blocks %d, bytes %zu, errors %d, elapsed %.2f s, t-to-0 mean %.2f ms p99 %.2f ms",
             oSum.nBlocks, oSum.nBytes, oSum.nErrors, dElapsed, dMean,
             Percentile99(oSum.aTimeToZeroMs)));
  if (o.lPty) {
    WaitForPeerToClose(oPort->nFd, std::chrono::seconds(2));
  } else {
    ::tcdrain(oPort->nFd);
  }
  ::close(oPort->nFd);
  return lCompleted && oSum.nErrors == 0 ? 0 : 1;
}
