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
  TerminalLog oTerm(
      true, 819200, [&cScreen](std::string_view c) { cScreen.append(c); }, [] { return 200; });
  oTerm.Append("Waiting for the device");
  oTerm.Flush();
  EXPECT_EQ(cScreen, "\r\x1b[KWaiting for the device");
  SendBlocks(oTerm, 80);
  oTerm.Flush();
  EXPECT_NE(cScreen.find("Block 80/160  track 39 side 1  409600/819200 bytes  50%"),
            std::string::npos)
      << cScreen;
  EXPECT_EQ(cScreen.find("Now sending"), std::string::npos) << "the progress line shows blocks";
  EXPECT_EQ(oTerm.Blocks(), 80);
  EXPECT_EQ(oTerm.Bytes(), 409600u);

  // Into a file: every line as the loop wrote it, but none once a write has failed (the
  // summary says it), and a block that left short is not counted.
  std::string cFile;
  TerminalLog oPlain(
      false, 819200, [&cFile](std::string_view c) { cFile.append(c); }, [] { return 0; });
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

} // namespace
} // namespace veltra::send
