// veltra-send's progress and plain log, fed by the transfer loop's events as the loop sends
// them: the counts are of what has left, and no log text is needed to keep them.
#include "send/progress.h"

#include <gtest/gtest.h>
#include <string>

namespace veltra::send {
namespace {

using app::TransferEvent;
using app::TransferNews;

// Plays the loop: each block's begin event, a log line in any wording, then its sent event.
void SendBlocks(TerminalLog& oLog, int nCount) {
  for (int n = 0; n < nCount; ++n) {
    const int nTrack = n / 2;
    const int nSide = n % 2;
    oLog.News(TransferNews{TransferEvent::BlockBegins, nTrack, nSide, 5120, 0});
    oLog.Append("Now sending block " + std::to_string(n));
    oLog.News(TransferNews{TransferEvent::BlockSent, nTrack, nSide, 5120, 5120});
  }
}

TEST(TerminalLog, CountsTheBlocksThatLeftWhateverTheLogSays) {
  std::string cScreen;
  OutputQueue oScreen([&cScreen](std::string_view c) {
    cScreen.append(c);
    return c.size();
  });
  TerminalLog oTerm(oScreen, true, 819200, [] { return 200; });
  oTerm.Append("Waiting for the device");
  oTerm.Flush();
  EXPECT_EQ(cScreen, "\r\x1b[KWaiting for the device");
  SendBlocks(oTerm, 80);
  oTerm.Flush();
  EXPECT_NE(cScreen.find("Block 80/160  track 39 side 1  409600/819200 bytes  50%"),
            std::string::npos)
      << cScreen;
  EXPECT_EQ(cScreen.find("Now sending"), std::string::npos) << "the progress line shows blocks";

  // Into a file: every line as the loop wrote it, but none once a write has failed (the
  // summary says it), and a block that left short is not counted.
  std::string cFile;
  OutputQueue oFile([&cFile](std::string_view c) {
    cFile.append(c);
    return c.size();
  });
  TerminalLog oPlain(oFile, false, 819200, [] { return 0; });
  SendBlocks(oPlain, 2);
  oPlain.News(TransferNews{TransferEvent::BlockBegins, 1, 0, 5120, 0});
  oPlain.Append("Now sending block 2");
  oPlain.News(TransferNews{TransferEvent::WriteFailed, 1, 0, 5120, 1023});
  oPlain.Append("Write failed (ESC to exit)");
  oPlain.Finish("summary");
  EXPECT_EQ(cFile, "Now sending block 0\nNow sending block 1\nNow sending block 2\nsummary\n");
  EXPECT_EQ(oPlain.Blocks(), 2);
  EXPECT_EQ(oPlain.Bytes(), 10240u);
}

// An output that takes nothing (a full pipe): the plain lines wait up to the bound and those
// past it are counted, the summary is kept whatever the bound, and all of it goes, in order,
// once the output takes it again.
TEST(OutputQueue, HoldsLinesUpToItsBoundCountsTheRestAndKeepsTheSummary) {
  bool lTaking = false;
  std::string cOut;
  OutputQueue oOut([&](std::string_view c) {
    if (!lTaking) {
      return std::size_t{0};
    }
    cOut.append(c);
    return c.size();
  });
  const std::string cLine(1023, 'x');
  const std::size_t nFit = OutputQueue::kBound / (cLine.size() + 1);
  for (std::size_t n = 0; n < nFit + 5; ++n) {
    oOut.Line(cLine + "\n");
    oOut.Pump();
  }
  oOut.Keep("summary\n");
  oOut.Pump();
  EXPECT_EQ(cOut, "");
  EXPECT_EQ(oOut.DroppedLines(), 5u);
  lTaking = true;
  oOut.Pump();
  EXPECT_TRUE(oOut.Idle());
  EXPECT_EQ(cOut.size(), nFit * (cLine.size() + 1) + 8);
  EXPECT_TRUE(cOut.ends_with("x\nsummary\n"));
}

// The progress line in any width: never wider than the terminal less one column, and what
// matters (block, percentage, time left) kept longest, the other fields left out whole.
TEST(ProgressLine, FitsTheWidthAndKeepsBlockPercentageAndTimeLeftLongest) {
  const Progress o{.nBlock = 80,
                   .nBlocks = 160,
                   .nTrack = 39,
                   .nSide = 1,
                   .nDone = 409600,
                   .nTotal = 819200,
                   .dSeconds = 40,
                   .cDisk = "Disk 2/3"};
  const struct {
    std::size_t nColumns;
    const char* pWant;
  } aCases[] = {
      {120, "Disk 2/3  Block 80/160  track 39 side 1  409600/819200 bytes  50%  10.0 KiB/s  "
            "0:40 left"},
      {75, "Disk 2/3  Block 80/160  409600/819200 bytes  50%  10.0 KiB/s  0:40 left"},
      {60, "Disk 2/3  Block 80/160  50%  10.0 KiB/s  0:40 left"},
      {45, "Disk 2/3  Block 80/160  50%  0:40 left"},
      {38, "Block 80/160  50%  0:40 left"},
      {20, "Block 80/160  50%  "},
  };
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.nColumns);
    EXPECT_EQ(FORMATPROGRESS(o, c.nColumns), c.pWant);
  }
}

} // namespace
} // namespace veltra::send
