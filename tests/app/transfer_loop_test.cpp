// The transfer loop against a recording binding: bytes on the line, log text, pauses and the
// close of the window, with the device's commands delivered as notifications would be, from
// inside the pump.
#include "app/transfer_loop.h"

#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace veltra::app {
namespace {

// Plays the surroundings of the loop and records what it does to them.
struct FakeSurroundings {
  std::deque<std::string> aArrivals; // one batch delivered per pump call
  std::vector<std::string> aEvents;  // "write:<n>", "sleep:<ms>", "end", ...
  std::string cLine;                 // every byte written to the port
  std::string cLog;
  int nPumps = 0;
  int nWaits = 0;
  int nEscDownAfterPumps = -1; // Esc goes down once this many pumps have run
  bool lLineLosable = false;   // the line is lost once every arrival has been delivered
  bool lEndResult = true;
  int nShortWrite = -1; // this write (from 0) takes only nShortCount bytes
  long nShortCount = 0;
  int nWrites = 0;
  std::vector<std::string> aNews; // "<event> t<track> s<side> <sent>/<bytes>"

  void Deliver() {
    if (!aArrivals.empty()) {
      cReceived += aArrivals.front();
      aArrivals.pop_front();
    }
  }

  TransferBinding Binding() {
    TransferBinding o;
    o.WRITECOMM = [this](int nComm, std::string_view cData) {
      EXPECT_EQ(nComm, 7);
      const long nTaken = nWrites++ == nShortWrite ? nShortCount : static_cast<long>(cData.size());
      cLine.append(cData.substr(0, static_cast<std::size_t>(std::max(nTaken, 0L))));
      aEvents.push_back("write:" + std::to_string(cData.size()));
      return nTaken;
    };
    o.bNews = [this](const TransferNews& o) {
      static const char* const aNames[] = {"begins", "sent", "failed", "aborted", "lost", "ended"};
      aNews.push_back(std::string(aNames[static_cast<int>(o.eEvent)]) + " t" +
                      std::to_string(o.nTrack) + " s" + std::to_string(o.nSide) + " " +
                      std::to_string(o.nSent) + "/" + std::to_string(o.nBytes));
    };
    o.SYSREFRESH = [this] {
      ++nPumps;
      Deliver();
      return true;
    };
    o.SYSWAIT = [this] {
      ++nWaits;
      ++nPumps;
      Deliver();
      return true;
    };
    o.SLEEP = [this](long nMs) { aEvents.push_back("sleep:" + std::to_string(nMs)); };
    o.GETASYNCKEYSTATE = [this](int nKey) {
      return nKey == VK_ESCAPE && nEscDownAfterPumps >= 0 && nPumps >= nEscDownAfterPumps;
    };
    o.VarGet = [this] { return cLog; };
    o.VarPut = [this](const std::string& c) { cLog = c; };
    o.Refresh = [](bool lErase) { EXPECT_FALSE(lErase); };
    o.GoBottom = [] {};
    o.End = [this] {
      aEvents.push_back("end");
      return lEndResult;
    };
    if (lLineLosable) {
      o.LINELOST = [this] { return aArrivals.empty(); };
    }
    return o;
  }
};

std::string PatternImage(std::size_t nSize) {
  std::string c(nSize, '\0');
  for (std::size_t i = 0; i < nSize; ++i) {
    c[i] = static_cast<char>((i * 131 + i / 5120) & 0xFF);
  }
  return c;
}

class TransferLoop : public ::testing::Test {
protected:
  void SetUp() override { RESETTRANSFERSTATE(); }
  void TearDown() override { RESETTRANSFERSTATE(); }
  FakeSurroundings oFake;
};

TEST_F(TransferLoop, LostLineServesWhatCameFirstThenSaysSoOnceAndSendsNothingMore) {
  cImage = PatternImage(2 * kBlockSize);
  const std::string cOriginal = cImage;
  oFake.aArrivals = {"T"};
  oFake.lLineLosable = true;
  VELTRA(7, oFake.Binding());

  EXPECT_EQ(oFake.cLine, std::string(1, '\0') + cOriginal.substr(0, kBlockSize))
      << "no abort byte goes to a lost line";
  EXPECT_EQ(oFake.cLog, "Waiting command (ESC to exit)...\r\n"
                        "Sending track 0, side 0\r\n"
                        "Port lost: the device was unplugged or closed (ESC to exit)\r\n");
  EXPECT_EQ(std::count(oFake.aEvents.begin(), oFake.aEvents.end(), "end"), 0)
      << "the window stays for the user to close";
  EXPECT_EQ(oFake.aNews, (std::vector<std::string>{"begins t0 s0 0/5120", "sent t0 s0 5120/5120",
                                                   "lost t0 s1 0/0"}));
}

// A write that leaves short, of the 0x00 or of the block, ends the serving: the device would
// otherwise get every later sector in the wrong place. The window is left to the user.
struct ShortWrite {
  int nShortWrite;
  long nShortCount;
  std::size_t nSentOfBlock;
  const char* cFailedLine;
};

class TransferLoopShortWrite : public TransferLoop,
                               public ::testing::WithParamInterface<ShortWrite> {};

TEST_P(TransferLoopShortWrite, EndsTheServingSaysWhichBlockAndSendsNothingMore) {
  oFake.nShortWrite = GetParam().nShortWrite;
  oFake.nShortCount = GetParam().nShortCount;
  cImage = PatternImage(3 * kBlockSize);
  const std::string cOriginal = cImage;
  oFake.aArrivals = {"T", "T", "T", "E"};
  VELTRA(7, oFake.Binding());

  const std::size_t nSent = GetParam().nSentOfBlock;
  EXPECT_EQ(oFake.cLine, std::string(1, '\0') + cOriginal.substr(0, kBlockSize) +
                             std::string(nSent > 0 ? 1 : 0, '\0') +
                             cOriginal.substr(kBlockSize, nSent));
  EXPECT_EQ(oFake.nWrites, GetParam().nShortWrite + 1) << "nothing is written after the short one";
  EXPECT_EQ(oFake.cLog, std::string("Waiting command (ESC to exit)...\r\n"
                                    "Sending track 0, side 0\r\n"
                                    "Sending track 0, side 1\r\n") +
                            GetParam().cFailedLine + "\r\n");
  EXPECT_EQ(cImage, cOriginal.substr(kBlockSize + nSent)) << "only what left is off the image";
  EXPECT_EQ(nTrack, 0);
  EXPECT_EQ(nSide, 1);
  EXPECT_EQ(std::count(oFake.aEvents.begin(), oFake.aEvents.end(), "end"), 0);
  EXPECT_EQ(oFake.aNews.back(), "failed t0 s1 " + std::to_string(nSent) + "/5120");
}

INSTANTIATE_TEST_SUITE_P(
    ZeroOrBlock, TransferLoopShortWrite,
    ::testing::Values(
        ShortWrite{2, 0, 0, "Write failed: track 0, side 1, 0 of 5120 bytes sent (ESC to exit)"},
        ShortWrite{2, -1, 0, "Write failed: track 0, side 1, 0 of 5120 bytes sent (ESC to exit)"},
        ShortWrite{3, 1023, 1023,
                   "Write failed: track 0, side 1, 1023 of 5120 bytes sent (ESC to exit)"}));

// "E" returns from the loop at once, also when the window refuses to end (the other cases' windows
// accept), and nothing after it is read.
TEST_F(TransferLoop, OtherBytesAndLowerCaseCommandsAreIgnoredAndEReturnsWhateverEndSays) {
  cImage = PatternImage(kBlockSize);
  oFake.aArrivals = {"X", "t", std::string("e\0", 2), "E", "T"};
  oFake.lEndResult = false;
  VELTRA(7, oFake.Binding());

  EXPECT_EQ(oFake.cLine, "");
  EXPECT_EQ(oFake.aEvents, (std::vector<std::string>{"end"}));
  EXPECT_EQ(oFake.cLog, "Waiting command (ESC to exit)...\r\n");
  EXPECT_EQ(cReceived, "T") << "bytes after E stay unread";
}

// Past the end of the image each request gets the 0x00 alone; the first one is logged and
// every one is told as ImageEnded, never as a block.
TEST_F(TransferLoop, ShortImageSendsWhatIsLeftThenZeroAloneAndSaysTheImageEnded) {
  cImage = PatternImage(5000);
  const std::string cOriginal = cImage;
  oFake.aArrivals = {"T", "T", "T", "E"};
  VELTRA(7, oFake.Binding());

  EXPECT_EQ(oFake.cLine, std::string(1, '\0') + cOriginal + std::string(2, '\0'));
  EXPECT_EQ(oFake.aEvents,
            (std::vector<std::string>{"write:1", "sleep:10", "write:5000", "write:1", "sleep:10",
                                      "write:0", "write:1", "sleep:10", "write:0", "end"}));
  EXPECT_EQ(oFake.cLog, "Waiting command (ESC to exit)...\r\n"
                        "Sending track 0, side 0\r\n"
                        "Sending track 0, side 1\r\n"
                        "Image ended: the device asked for track 0, side 1, the image has 1 block "
                        "(ESC to exit)\r\n"
                        "Sending track 1, side 0\r\n");
  EXPECT_EQ(oFake.aNews, (std::vector<std::string>{"begins t0 s0 0/5000", "sent t0 s0 5000/5000",
                                                   "ended t0 s1 0/0", "ended t1 s0 0/0"}));
}

// The whole disk asked for two blocks per batch of bytes, "E" in the last batch: every request
// of a batch is served, each block whole and in order after its 0x00 and the pause, each
// logged and taken off the image, and "E" ends the window.
TEST_F(TransferLoop, WholeDiskAskedInBurstsIsSentByteExactBlockByBlock) {
  const std::string cDisk = PatternImage(160 * kBlockSize);
  cImage = cDisk;
  oFake.aArrivals.assign(79, "TT");
  oFake.aArrivals.push_back("TTE");
  VELTRA(7, oFake.Binding());

  std::string cExpected;
  std::string cLog = "Waiting command (ESC to exit)...\r\n";
  std::vector<std::string> aEvents;
  for (std::size_t n = 0; n < 160; ++n) {
    cExpected += '\0' + cDisk.substr(n * kBlockSize, kBlockSize);
    cLog += "Sending track " + std::to_string(n / 2) + ", side " + std::to_string(n % 2) + "\r\n";
    aEvents.insert(aEvents.end(), {"write:1", "sleep:10", "write:5120"});
  }
  aEvents.push_back("end");
  EXPECT_TRUE(oFake.cLine == cExpected);
  EXPECT_EQ(oFake.cLog, cLog);
  EXPECT_EQ(oFake.aEvents, aEvents);
  EXPECT_TRUE(cImage.empty());
  EXPECT_EQ(nTrack, 80);
  EXPECT_EQ(nSide, 0);
}

// Esc ends the loop wherever it goes down, with one abort byte (none when it is already down
// as the loop starts), the image untouched after that: while waiting (the idle wait uses the
// sleeping form of the pump), after a block was served, and in the pump right after a "T" was
// taken, where the abort wins and the request is not served.
TEST_F(TransferLoop, EscSendsOneAbortByteAndServesNothingMore) {
  const std::string cWaiting = "Waiting command (ESC to exit)...\r\n";
  const std::string cBlock = PatternImage(kBlockSize);
  const struct {
    std::deque<std::string> aArrivals;
    int nEscDownAfterPumps;
    std::string cLine;
    std::string cLog;
    std::vector<std::string> aNews;
  } aCases[] = {
      {{}, 5, "\x09", cWaiting, {"aborted t0 s0 0/0"}},
      {{"T"},
       4,
       '\0' + cBlock + "\x09",
       cWaiting + "Sending track 0, side 0\r\n",
       {"begins t0 s0 0/5120", "sent t0 s0 5120/5120", "aborted t0 s1 0/0"}},
      {{"T"}, 2, "\x09", cWaiting, {"aborted t0 s0 0/0"}},
      {{}, 0, "", "", {}},
  };
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.nEscDownAfterPumps);
    RESETTRANSFERSTATE();
    cImage = cBlock + cBlock;
    FakeSurroundings oFake;
    oFake.aArrivals = c.aArrivals;
    oFake.nEscDownAfterPumps = c.nEscDownAfterPumps;
    VELTRA(7, oFake.Binding());
    EXPECT_TRUE(oFake.cLine == c.cLine);
    EXPECT_EQ(oFake.cLog, c.cLog);
    EXPECT_EQ(oFake.aNews, c.aNews);
    EXPECT_EQ(cImage.size(), (c.cLine.size() > 1 ? 1 : 2) * kBlockSize);
    EXPECT_GE(oFake.nWaits, c.nEscDownAfterPumps - 1);
  }
}

TEST_F(TransferLoop, WaitFallsBackToThePlainPumpWhenNoWaitingFormIsBound) {
  oFake.aArrivals = {"", "", "E"};
  TransferBinding o = oFake.Binding();
  o.SYSWAIT = nullptr;
  VELTRA(7, o);
  EXPECT_EQ(oFake.nWaits, 0);
  EXPECT_GE(oFake.nPumps, 3);
  EXPECT_EQ(oFake.aEvents, (std::vector<std::string>{"end"}));
}

TEST_F(TransferLoop, LogBoundAsOneOperationGetsEachLineAndLeavesTheControlAlone) {
  cImage = PatternImage(kBlockSize);
  oFake.aArrivals = {"T", "E"};
  TransferBinding o = oFake.Binding();
  std::vector<std::string> aLines;
  o.APPENDLINE = [&aLines](std::string_view c) { aLines.emplace_back(c); };
  VELTRA(7, o);
  EXPECT_EQ(aLines, (std::vector<std::string>{"Waiting command (ESC to exit)...",
                                              "Sending track 0, side 0"}));
  EXPECT_EQ(oFake.cLog, "");
}

TEST(TransferHelpers, GetCharTakesBytesFromTheFrontIncludingZero) {
  RESETTRANSFERSTATE();
  cReceived = std::string("\0T", 2);
  EXPECT_EQ(GETCHAR(), std::string(1, '\0'));
  EXPECT_EQ(GETCHAR(), "T");
  EXPECT_EQ(GETCHAR(), "");
  // Taken and appended in turns past the point where the taken part is dropped: same order.
  const std::string cNoise = PatternImage(30000);
  std::string cTaken;
  cReceived += std::string_view(cNoise).substr(0, 10000);
  for (int n = 0; n < 6000; ++n) {
    cTaken += GETCHAR();
  }
  cReceived += std::string_view(cNoise).substr(10000);
  EXPECT_EQ(cReceived.size(), 24000u);
  for (std::string c = GETCHAR(); !c.empty(); c = GETCHAR()) {
    cTaken += c;
  }
  EXPECT_TRUE(cTaken == cNoise);
}

} // namespace
} // namespace veltra::app
