// The soak: many transfers of veltra-send (and, every tenth, of the window program) against a
// device played here on the master side of a raw pseudo-terminal, which misbehaves at random:
// bursts of requests, noise (more than 1000 bytes of it before a command), a reader that stalls
// past the write bound, "E" in the middle of a block, requests past the end of the image, the
// line closed mid-block, and the sender stopped with SIGINT, SIGTERM or SIGHUP. After each
// transfer the program's verdict is held against what the device itself received: exit 0 and
// "Done" only when every block it asked for came whole and in order, and no count in a summary
// larger than what it got. Then one long serve shows descriptors, threads and resident memory
// flat. Prints a table of outcomes; exits 1 on any mismatch.
// Usage: soak [TRANSFERS [LONG_REQUESTS [SEED]]]   (defaults 200, 10000, 1)
#include "app/protocol.h"
#include "harness/process.h"
#include "harness/programs.h"
#include "harness/raw_pty.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace veltra;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr std::size_t kBlock = app::kBlockSize;

// The master side of a raw pseudo-terminal (harness/raw_pty.h): the device's end of the line.
class Line : public harness::RawPty {
public:
  void Send(const std::string& c) const {
    for (std::size_t n = 0; n < c.size();) {
      const ssize_t k = ::write(Master(), c.data() + n, c.size() - n);
      if (k <= 0) {
        return;
      }
      n += static_cast<std::size_t>(k);
    }
  }
  // Up to nCount bytes, waiting at most tLimit for all of them; fewer when the line is idle
  // that long or gone.
  std::string Receive(std::size_t nCount, std::chrono::milliseconds tLimit) const {
    std::string c;
    const auto tEnd = Clock::now() + tLimit;
    while (c.size() < nCount) {
      const auto tLeft = std::chrono::duration_cast<std::chrono::milliseconds>(tEnd - Clock::now());
      if (tLeft <= 0ms) {
        break;
      }
      pollfd o{Master(), POLLIN, 0};
      if (::poll(&o, 1, static_cast<int>(tLeft.count())) <= 0) {
        continue;
      }
      char aBuf[8192];
      const ssize_t k = ::read(Master(), aBuf, std::min(sizeof aBuf, nCount - c.size()));
      if (k <= 0) {
        break; // EIO: the program closed its side
      }
      c.append(aBuf, static_cast<std::size_t>(k));
    }
    return c;
  }
};

enum class Plan { Plain, Burst, Noise, Stall, EndMidBlock, PastEnd, CloseMidBlock, Signal, Window };

const char* Name(Plan e) {
  static const char* const aNames[] = {"plain",           "burst",       "noise",
                                       "stall",           "E mid-block", "past end",
                                       "close mid-block", "signal",      "window"};
  return aNames[static_cast<int>(e)];
}

// What the device got: blocks whole and byte-exact in order, whether it asked past the end,
// abort bytes seen, and anything that was not what it asked for.
struct Record {
  int nAsked = 0;
  int nWhole = 0;
  bool lPastEnd = false;
  int nAborts = 0;
  std::string cWrong;
};

struct Transfer {
  Plan ePlan;
  int nSignal = 0;
  std::string cImage;
  int nBlocks = 0; // the image's blocks
};

// Whether c holds at nAt the nLen image bytes from nOffset.
bool Holds(const std::string& c, std::size_t nAt, const std::string& cImage, std::size_t nOffset,
           std::size_t nLen) {
  return c.size() >= nAt + nLen && (nLen == 0 || c.compare(nAt, nLen, cImage, nOffset, nLen) == 0);
}

// The image bytes of request nIndex (from 0): an offset and a length, 0 past the end.
std::pair<std::size_t, std::size_t> BlockOf(const std::string& cImage, int nIndex) {
  const std::size_t nOffset = static_cast<std::size_t>(nIndex) * kBlock;
  return {nOffset, nOffset < cImage.size() ? std::min(kBlock, cImage.size() - nOffset) : 0};
}

// The device's side of one request: "T" (maybe with other bytes around it) and the answer,
// checked against the image. False when the answer was not whole.
bool Serve(const Line& oLine, const Transfer& t, Record& r, const std::string& cBefore = {}) {
  oLine.Send(cBefore + std::string(1, app::kCommandBlock));
  const auto [nOffset, nLen] = BlockOf(t.cImage, r.nAsked++);
  r.lPastEnd = r.lPastEnd || nLen == 0;
  const std::string c = oLine.Receive(1 + nLen, 8s);
  if (c.size() != 1 + nLen || c[0] != app::kBlockLead) {
    r.cWrong = "block " + std::to_string(r.nAsked) + ": " + std::to_string(c.size()) + " of " +
               std::to_string(1 + nLen) + " bytes";
    return false;
  }
  if (!Holds(c, 1, t.cImage, nOffset, nLen)) {
    r.cWrong = "block " + std::to_string(r.nAsked) + " differs";
    return false;
  }
  if (nLen > 0) {
    ++r.nWhole;
  }
  return true;
}

// Reads what the program sends until the line has been quiet for tQuiet; counts abort bytes.
void Drain(const Line& oLine, Record& r, std::chrono::milliseconds tQuiet) {
  const std::string c = oLine.Receive(1 << 20, tQuiet);
  for (const char ch : c) {
    r.nAborts += ch == app::kAbortByte ? 1 : 0;
  }
}

std::string Noise(std::mt19937& oGen, std::size_t n) {
  std::string c(n, '\0');
  for (char& ch : c) {
    do {
      ch = static_cast<char>(oGen() & 0xFF);
    } while (ch == app::kCommandBlock || ch == app::kCommandEnd);
  }
  return c;
}

// Plays the device for one transfer; the program has its side open already.
Record PlayDevice(const Line& oLine, const Transfer& t, harness::Child& oProgram,
                  std::mt19937& oGen) {
  Record r;
  const std::string cEnd(1, app::kCommandEnd);
  switch (t.ePlan) {
  case Plan::Plain:
  case Plan::Window:
    for (int n = 0; n < t.nBlocks && Serve(oLine, t, r); ++n) {
    }
    oLine.Send(cEnd);
    break;
  case Plan::Noise:
    for (int n = 0; n < t.nBlocks; ++n) {
      const std::size_t nNoise = n == 0 ? 1000 + oGen() % 3000 : oGen() % 40;
      if (!Serve(oLine, t, r, Noise(oGen, nNoise))) {
        break;
      }
    }
    oLine.Send(Noise(oGen, oGen() % 2000) + cEnd);
    break;
  case Plan::Burst: {
    // All the requests in one write, then the answers one after the other.
    oLine.Send(std::string(static_cast<std::size_t>(t.nBlocks), app::kCommandBlock) + cEnd);
    for (int n = 0; n < t.nBlocks; ++n) {
      const auto [nOffset, nLen] = BlockOf(t.cImage, r.nAsked++);
      const std::string c = oLine.Receive(1 + nLen, 8s);
      if (c.size() != 1 + nLen || c[0] != '\0' || !Holds(c, 1, t.cImage, nOffset, nLen)) {
        r.cWrong = "burst block " + std::to_string(n + 1);
        break;
      }
      ++r.nWhole;
    }
    break;
  }
  case Plan::PastEnd:
    for (int n = 0; n < t.nBlocks + 1 + static_cast<int>(oGen() % 2) && Serve(oLine, t, r); ++n) {
    }
    oLine.Send(cEnd);
    break;
  case Plan::EndMidBlock: {
    const int nAsk = 1 + static_cast<int>(oGen() % static_cast<unsigned>(t.nBlocks));
    for (int n = 0; n + 1 < nAsk && Serve(oLine, t, r); ++n) {
    }
    // The last request: "E" goes while its block is still coming; the block must still come
    // whole, and nothing after it.
    oLine.Send(std::string(1, app::kCommandBlock));
    const auto [nOffset, nLen] = BlockOf(t.cImage, r.nAsked++);
    std::string c = oLine.Receive(1 + std::min<std::size_t>(nLen, 700), 8s);
    oLine.Send(cEnd);
    c += oLine.Receive(1 + nLen - c.size(), 8s);
    if (c.size() == 1 + nLen && c[0] == '\0' && Holds(c, 1, t.cImage, nOffset, nLen)) {
      ++r.nWhole;
    } else {
      r.cWrong = "block " + std::to_string(r.nAsked) + " cut by E";
    }
    break;
  }
  case Plan::Stall: {
    // Asks for many blocks at once and reads nothing until the program's write has given up,
    // then takes what the line holds.
    const int nFirst = static_cast<int>(oGen() % 3);
    for (int n = 0; n < nFirst && Serve(oLine, t, r); ++n) {
    }
    const int nMore = t.nBlocks - nFirst;
    oLine.Send(std::string(static_cast<std::size_t>(nMore), app::kCommandBlock));
    oProgram.Wait(30s);
    const std::string c = oLine.Receive(static_cast<std::size_t>(nMore) * (kBlock + 1), 1s);
    std::size_t nAt = 0;
    for (int n = 0; n < nMore; ++n) {
      const auto [nOffset, nLen] = BlockOf(t.cImage, r.nAsked++);
      if (c.size() < nAt + 1 + nLen || c[nAt] != '\0' ||
          !Holds(c, nAt + 1, t.cImage, nOffset, nLen)) {
        break; // the block the write gave up on: a part of it, or nothing
      }
      ++r.nWhole;
      nAt += 1 + nLen;
    }
    break;
  }
  case Plan::CloseMidBlock: {
    const int nAsk = static_cast<int>(oGen() % static_cast<unsigned>(t.nBlocks));
    for (int n = 0; n < nAsk && Serve(oLine, t, r); ++n) {
    }
    oLine.Send(std::string(1, app::kCommandBlock));
    ++r.nAsked;
    oLine.Receive(1 + oGen() % 4000, 8s);
    break; // the caller closes the line
  }
  case Plan::Signal: {
    const int nAsk = static_cast<int>(oGen() % static_cast<unsigned>(t.nBlocks));
    for (int n = 0; n < nAsk && Serve(oLine, t, r); ++n) {
    }
    if (oGen() % 2 == 0) {
      // While a block is on its way: the block goes whole first, then the abort byte.
      oLine.Send(std::string(1, app::kCommandBlock));
      const auto [nOffset, nLen] = BlockOf(t.cImage, r.nAsked++);
      std::string c = oLine.Receive(1, 8s);
      ::kill(oProgram.Pid(), t.nSignal);
      c += oLine.Receive(nLen, 2s);
      if (c.size() == 1 + nLen && Holds(c, 1, t.cImage, nOffset, nLen)) {
        ++r.nWhole;
      } else {
        r.cWrong = "block " + std::to_string(r.nAsked) + " cut by the signal";
      }
    } else {
      ::kill(oProgram.Pid(), t.nSignal);
    }
    Drain(oLine, r, 1500ms);
    break;
  }
  }
  return r;
}

// The blocks the summary says the device got: the number after cAfter on the line that begins
// with cHead; -1 when there is no such line.
long SummaryCount(const std::string& cOut, const std::string& cHead, const std::string& cAfter) {
  for (std::size_t n = cOut.find(cHead); n != std::string::npos; n = cOut.find(cHead, n + 1)) {
    if (n != 0 && cOut[n - 1] != '\n') {
      continue;
    }
    const std::string cLine = cOut.substr(n, cOut.find('\n', n) - n);
    const std::size_t nAt = cLine.find(cAfter);
    return nAt == std::string::npos ? -1 : std::atol(cLine.c_str() + nAt + cAfter.size());
  }
  return -1;
}

// Why the program's verdict does not match the device's record; empty when it does.
std::string Judge(const Transfer& t, const Record& r, std::optional<int> nExit,
                  const std::string& cOut) {
  if (!r.cWrong.empty()) {
    return "the device got a wrong answer: " + r.cWrong;
  }
  if (!nExit) {
    return "the program did not end";
  }
  const bool lDone = cOut.find("Done:") != std::string::npos;
  const bool lAllWhole = r.nWhole == r.nAsked && !r.lPastEnd;
  if (lDone != (*nExit == 0) && t.ePlan != Plan::Window) {
    return "exit " + std::to_string(*nExit) + (lDone ? " with Done" : " without Done");
  }
  if (*nExit == 0 && !lAllWhole) {
    return "exit 0, but the device got " + std::to_string(r.nWhole) + " whole of " +
           std::to_string(r.nAsked) + " asked";
  }
  // No summary may say the device got more blocks than it did. Where the line went in the
  // middle of a block, the blocks that left this computer may be more, when it says so.
  const bool lHedged = cOut.find("may have received fewer") != std::string::npos;
  for (const auto& [pHead, pAfter] : {std::pair{"Done:", "after "},
                                      {"Line lost:", "after "},
                                      {"Stopped:", "after "},
                                      {"Write failed:", "device got "}}) {
    if (const long n = SummaryCount(cOut, pHead, pAfter); n > r.nWhole && !lHedged) {
      return "the summary counts " + std::to_string(n) + " blocks, the device got " +
             std::to_string(r.nWhole);
    }
  }
  int nWant = 0;
  switch (t.ePlan) {
  case Plan::Plain:
  case Plan::Noise:
  case Plan::Burst:
  case Plan::EndMidBlock:
  case Plan::Window:
    nWant = 0;
    break;
  case Plan::PastEnd:
    nWant = 4;
    break;
  case Plan::Stall:
  case Plan::CloseMidBlock:
    nWant = 3;
    break;
  case Plan::Signal:
    nWant = 1;
    if (r.nAborts != 1) {
      return std::to_string(r.nAborts) + " abort bytes after the signal";
    }
    break;
  }
  if (*nExit != nWant) {
    return "exit " + std::to_string(*nExit) + ", expected " + std::to_string(nWant);
  }
  return {};
}

Transfer MakeTransfer(int nIndex, std::mt19937& oGen) {
  Transfer t;
  if (nIndex % 10 == 9) {
    t.ePlan = Plan::Window;
  } else {
    // Weighted: the slow ones (a stalled write waits for its bound) are rarer.
    static const Plan aPlans[] = {
        Plan::Plain,       Plan::Plain,   Plan::Burst,   Plan::Noise,         Plan::Noise,
        Plan::EndMidBlock, Plan::PastEnd, Plan::PastEnd, Plan::CloseMidBlock, Plan::Signal,
        Plan::Signal,      Plan::Signal,  Plan::Stall};
    t.ePlan = aPlans[oGen() % std::size(aPlans)];
  }
  static const int aSignals[] = {SIGINT, SIGTERM, SIGHUP};
  t.nSignal = aSignals[oGen() % std::size(aSignals)];
  t.nBlocks = t.ePlan == Plan::Stall ? 40 : 2 + static_cast<int>(oGen() % 12);
  std::size_t nSize = static_cast<std::size_t>(t.nBlocks) * kBlock;
  if (oGen() % 4 == 0 && t.ePlan != Plan::Stall) {
    nSize -= 1 + oGen() % (kBlock - 1); // a short last block
  }
  t.cImage = harness::PatternImage(nSize);
  for (std::size_t n = 0; n < t.cImage.size(); n += 97) {
    t.cImage[n] = static_cast<char>(oGen()); // every transfer's bytes differ
  }
  if (oGen() % 3 == 0) {
    t.cImage.back() = '\x1A'; // image data like any other byte
  }
  return t;
}

// Starts the program for t on oLine's port; waits until it has the line.
harness::Child StartProgram(const Transfer& t, const Line& oLine, const std::string& cDir) {
  const std::string cImage = cDir + "/disk.mgt";
  harness::WriteFile(cImage, t.cImage);
  if (t.ePlan == Plan::Window) {
    harness::WriteFile(cDir + "/VELTRA.INI", "[Impostazioni]\nPorta=" + oLine.SlavePath() + "\n");
    harness::Child o(
        {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", harness::VeltraPath(), cImage},
        {{"QT_QPA_PLATFORM", "offscreen"}}, cDir);
    std::this_thread::sleep_for(1500ms); // the window opens and arms the line
    return o;
  }
  harness::Child o({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", harness::SendPath(), "--port",
                    oLine.SlavePath(), cImage},
                   {}, cDir);
  o.ReadLine(10s); // its first line comes once the line is set up
  return o;
}

struct Usage {
  int nFds = 0;
  int nThreads = 0;
  long nRssKiB = 0;
};

Usage Measure(pid_t pid) {
  Usage o;
  const std::string cProc = "/proc/" + std::to_string(pid);
  std::error_code e;
  for (auto it = std::filesystem::directory_iterator(cProc + "/fd", e);
       !e && it != std::filesystem::directory_iterator(); it.increment(e)) {
    ++o.nFds;
  }
  std::ifstream oStatus(cProc + "/status");
  std::string cKey;
  while (oStatus >> cKey) {
    if (cKey == "Threads:") {
      oStatus >> o.nThreads;
    } else if (cKey == "VmRSS:") {
      oStatus >> o.nRssKiB;
    }
  }
  return o;
}

// One veltra-send serving nRequests blocks; its use of descriptors, threads and memory near the
// start and at the end. False when it did not serve them all or grew.
bool LongServe(int nRequests, const std::string& cDir) {
  Line oLine;
  Transfer t{Plan::Plain, 0, harness::PatternImage(static_cast<std::size_t>(nRequests) * kBlock),
             nRequests};
  harness::Child oSend = StartProgram(t, oLine, cDir);
  Record r;
  Usage oStart{}, oEnd{};
  const auto t0 = Clock::now();
  for (int n = 0; n < nRequests && Serve(oLine, t, r); ++n) {
    if (n == 100) {
      oStart = Measure(oSend.Pid());
    }
  }
  oEnd = Measure(oSend.Pid());
  oLine.Send(std::string(1, app::kCommandEnd));
  const auto nExit = oSend.Wait(20s);
  const double dSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf("long serve: %d requests in %.1f s; descriptors %d -> %d, threads %d -> %d, "
              "resident %ld -> %ld KiB; exit %d\n",
              r.nWhole, dSeconds, oStart.nFds, oEnd.nFds, oStart.nThreads, oEnd.nThreads,
              oStart.nRssKiB, oEnd.nRssKiB, nExit.value_or(-1));
  // Resident memory may settle a little after the first requests; growth per request may not.
  return r.nWhole == nRequests && nExit == 0 && oEnd.nFds == oStart.nFds &&
         oEnd.nThreads == oStart.nThreads && oEnd.nRssKiB - oStart.nRssKiB < 4096;
}

} // namespace

int main(int argc, char** argv) {
  const int nTransfers = argc > 1 ? std::atoi(argv[1]) : 200;
  const int nLong = argc > 2 ? std::atoi(argv[2]) : 10000;
  const unsigned nSeed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1;
  std::signal(SIGPIPE, SIG_IGN);
  std::mt19937 oGen(nSeed);
  const std::string cDir = harness::TempFolder();
  std::map<std::string, std::map<int, int>> aTable; // plan -> exit -> count
  int nMismatches = 0;
  const auto t0 = Clock::now();
  for (int i = 0; i < nTransfers; ++i) {
    const Transfer t = MakeTransfer(i, oGen);
    Line oLine;
    if (!oLine.Ok()) {
      std::puts("soak: no pseudo-terminal");
      return 1;
    }
    harness::Child oProgram = StartProgram(t, oLine, cDir);
    const Record r = PlayDevice(oLine, t, oProgram, oGen);
    if (t.ePlan == Plan::CloseMidBlock) {
      oLine.CloseMaster();
    }
    const std::optional<int> nExit = oProgram.Wait(30s);
    const std::string cOut = oProgram.Out() + oProgram.Err();
    const std::string cWhy = Judge(t, r, nExit, cOut);
    std::string cPlan = Name(t.ePlan);
    if (t.ePlan == Plan::Signal) {
      cPlan += t.nSignal == SIGINT ? " (INT)" : t.nSignal == SIGTERM ? " (TERM)" : " (HUP)";
    }
    ++aTable[cPlan][nExit.value_or(-1)];
    if (!cWhy.empty()) {
      ++nMismatches;
      std::printf("MISMATCH transfer %d (%s, %d blocks, %zu bytes): %s\n%s\n", i + 1, cPlan.c_str(),
                  t.nBlocks, t.cImage.size(), cWhy.c_str(), cOut.c_str());
    }
  }
  const double dSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf("%-18s %s\n", "device", "exit statuses (count)");
  for (const auto& [cPlan, aExits] : aTable) {
    std::string cLine;
    for (const auto& [nExit, nCount] : aExits) {
      cLine += " " + std::to_string(nExit) + ":" + std::to_string(nCount);
    }
    std::printf("%-18s%s\n", cPlan.c_str(), cLine.c_str());
  }
  std::printf("soak: %d transfers in %.0f s, %d mismatches\n", nTransfers, dSeconds, nMismatches);
  const bool lFlat = nLong <= 0 || LongServe(nLong, cDir);
  std::filesystem::remove_all(cDir);
  return nMismatches == 0 && lFlat ? 0 : 1;
}
