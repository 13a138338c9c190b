// The transfer from a terminal: the image read whole as VELTRA reads it, the line set up as
// VELTRA sets it up, then the very same transfer loop, bound to the terminal instead of a
// window: the terminal's stop request is Esc held down, the log goes to the progress line,
// and the wait sleeps on the port's notifications, the keys and the signals alike.
#include "send/send_flow.h"

#include "app/port_line.h"
#include "app/settings_names.h"
#include "app/transfer_loop.h"
#include "runtime/empty.h"
#include "runtime/profile.h"
#include "runtime/regular_file.h"
#include "send/comm_target.h"
#include "send/progress.h"
#include "send/terminal.h"
#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "serial/message_pump.h"
#include "serial/port_list.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace veltra::send {
namespace {

constexpr std::size_t kDiskSize = app::kDiskSize;
constexpr std::size_t kBlockSize = app::kBlockSize;
// Everything that matters wakes the wait: this bound is only a safety net.
constexpr int kWaitBoundMs = 1000;
// How long the pause after the 0x00 waits before it writes the progress, so that the byte is
// on its way to the device first.
constexpr auto kOutputDelay = std::chrono::milliseconds(1);

void SAY(int nFd, const std::string& cText) {
  WRITEOUT(nFd, "veltra-send: " + cText + "\n");
}

// What an image looks like before it is read: its size, or why it cannot serve.
struct ImageLook {
  std::string cProblem; // empty when it can be read whole
  std::uint64_t nSize = 0;
};

// Only a plain file is ever opened, and without waiting: a FIFO or a device named as the
// image is refused before anything could block or take it as a terminal. The whole-file read
// itself says nothing about a failure, so the reason is found here first.
ImageLook IMAGEPROBLEM(const std::string& cPath) {
  const auto oFile = runtime::detail::OPENREGULAR(cPath);
  if (!oFile) {
    return {errno == EINVAL ? "not a regular file" : std::strerror(errno)};
  }
  if (oFile->nSize == 0) {
    return {"the file is empty", 0};
  }
  if (oFile->nSize >= runtime::kMemoReadLimit) {
    return {std::to_string(oFile->nSize) + " bytes, larger than the whole-file read accepts (" +
                std::to_string(runtime::kMemoReadLimit - 1) + " bytes at most)",
            oFile->nSize};
  }
  return {{}, oFile->nSize};
}

// "1 block", "160 blocks".
std::string Counted(std::size_t n, std::string_view cOne) {
  return std::to_string(n) + " " + std::string(cOne) + (n == 1 ? "" : "s");
}

// The blocks of 5120 that nBytes make.
std::string Blocks(std::size_t nBytes) {
  return Counted((nBytes + kBlockSize - 1) / kBlockSize, "block");
}

} // namespace

int SENDIMAGE(const std::string& cImage, const std::optional<std::string>& cPortArg) {
  const std::string cShown = serial::PRINTABLE(cImage);
  const ImageLook oLook = IMAGEPROBLEM(cImage);
  if (!oLook.cProblem.empty()) {
    SAY(STDERR_FILENO, "cannot use " + cShown + ": " + oLook.cProblem);
    return kExitUnusable;
  }
  app::cImage = runtime::ReadWholeFile(cImage);
  const std::size_t nTotal = app::cImage.size();
  if (nTotal == 0) {
    SAY(STDERR_FILENO, "cannot use " + cShown + ": nothing to send");
    return kExitUnusable;
  }
  const std::string cPort = cPortArg.value_or(
      runtime::GETPVPROFSTRING(app::kSettingsSection, app::kSettingsPort, "", app::kSettingsFile));
  if (runtime::EMPTY(cPort)) {
    SAY(STDERR_FILENO, "no port given: use --port NAME, or " + std::string(app::kSettingsPort) +
                           "= in section [" + app::kSettingsSection + "] of " +
                           std::string(app::kSettingsFileName) +
                           " here (veltra-send --list-ports shows the ports)");
    return kExitUnusable;
  }

  const app::LineSetup oLine = app::OPENLINE(cPort);
  if (oLine.eFailed == app::LineStep::Open) {
    WRITEOUT(STDERR_FILENO,
             app::OPENFAILUREREPORT(oLine.cDevice, oLine.nErrno, "veltra-send") + "\n");
    return kExitUnusable;
  }
  if (oLine.eFailed != app::LineStep::None) {
    SAY(STDERR_FILENO, "cannot set " + serial::PRINTABLE(oLine.cDevice) + " to 115200 baud, 8N2");
    return kExitUnusable;
  }
  const int nComm = oLine.nComm;

  Terminal oTerm;
  TerminalLog oLog(
      oTerm.OutputIsTerminal(), nTotal, [](std::string_view c) { WRITEOUT(STDOUT_FILENO, c); },
      [&oTerm] { return oTerm.Columns(); });
  WRITEOUT(STDOUT_FILENO, "veltra-send: " + cShown + ", " + std::to_string(nTotal) + " bytes in " +
                              Blocks(nTotal) + ", on " + serial::PRINTABLE(oLine.cDevice) +
                              " at 115200 baud 8N2; Esc or Ctrl-C stops\n");

  // Each notification moves the waiting bytes into the receive buffer and arms the next one.
  int hTarget = 0;
  CommTarget oTarget([&hTarget](int nPort) { app::RECEIVENOTIFIED(nPort, hTarget); });
  hTarget = oTarget.hWnd();
  app::ARMLINE(nComm, hTarget);

  bool lEnded = false;
  std::optional<app::TransferNews> oEnding;  // the loop's last word: aborted, lost or failed
  std::optional<app::TransferNews> oPastEnd; // the first request past the end of the image
  app::TransferBinding o;
  o.WRITECOMM = [](int nPort, std::string_view cData) { return serial::WRITECOMM(nPort, cData); };
  o.SYSREFRESH = [] { return serial::SYSREFRESH(); };
  o.SYSWAIT = [&oLog] {
    oLog.Flush(); // nothing to answer yet: the output goes now
    return serial::SYSWAIT(kWaitBoundMs);
  };
  o.SLEEP = [&oLog](long nMs) {
    // The pause is dead time on the line: the progress is written in it.
    const auto tStart = std::chrono::steady_clock::now();
    const auto tEnd = tStart + std::chrono::milliseconds(nMs);
    std::this_thread::sleep_until(std::min(tEnd, tStart + kOutputDelay));
    oLog.Flush();
    std::this_thread::sleep_until(tEnd);
  };
  o.GETASYNCKEYSTATE = [](int nKey) { return nKey == app::VK_ESCAPE && Terminal::StopRequested(); };
  o.APPENDLINE = [&oLog](std::string_view cLine) { oLog.Append(cLine); };
  o.bNews = [&oLog, &oEnding, &oPastEnd](const app::TransferNews& oNews) {
    oLog.News(oNews);
    if (oNews.eEvent == app::TransferEvent::ImageEnded) {
      if (!oPastEnd) {
        oPastEnd = oNews;
      }
    } else if (oNews.eEvent != app::TransferEvent::BlockBegins &&
               oNews.eEvent != app::TransferEvent::BlockSent) {
      oEnding = oNews;
    }
  };
  o.End = [&lEnded] {
    lEnded = true;
    return true;
  };
  o.LINELOST = [nComm] { return serial::COMMLOST(nComm); };

  app::VELTRA(nComm, o);

  using app::TransferEvent;
  const bool lFailed = oEnding && oEnding->eEvent == TransferEvent::WriteFailed;
  const bool lLost = oEnding && oEnding->eEvent == TransferEvent::LineLost;
  // A device that asked past the end built a disk that is not this image: never "Done".
  const int nExit = lEnded && oPastEnd                            ? kExitImageEnded
                    : lEnded                                      ? kExitEnded
                    : lFailed || lLost || serial::COMMLOST(nComm) ? kExitLineLost
                                                                  : kExitAborted;
  serial::CLOSECOMM(nComm);
  const std::string cBlocks = Counted(static_cast<std::size_t>(oLog.Blocks()), "block");
  std::string cSummary;
  if (nExit == kExitImageEnded) {
    cSummary = "Image ended: the device asked for block " + std::to_string(oPastEnd->nBlocks + 1) +
               " (track " + std::to_string(oPastEnd->nTrack) + ", side " +
               std::to_string(oPastEnd->nSide) + ") but the image has " +
               Counted(static_cast<std::size_t>(oPastEnd->nBlocks), "block") +
               "; it got those whole, then 0x00 alone, and ended the transfer.";
  } else if (nExit == kExitEnded) {
    cSummary = "Done: the device ended the transfer after " + cBlocks + " (" +
               std::to_string(oLog.Bytes()) + " bytes) in " + FORMATDURATION(oLog.Seconds()) + ".";
  } else if (lFailed) {
    // Never "Done": the device holds a block with a hole in it.
    cSummary = "Write failed: block " + std::to_string(oLog.Blocks() + 1) + " (track " +
               std::to_string(oEnding->nTrack) + ", side " + std::to_string(oEnding->nSide) +
               ") stopped after " + std::to_string(oEnding->nSent) + " of " +
               Counted(oEnding->nBytes, "byte") + "; the device got " + cBlocks + " whole.";
  } else if (nExit == kExitLineLost) {
    cSummary = "Line lost: the device was unplugged or closed after " + cBlocks + ".";
  } else {
    cSummary = oEnding ? "Stopped: the abort byte 0x09 was sent after " + cBlocks + "."
                       : "Stopped before the transfer began.";
  }
  oLog.Finish(cSummary);
  return nExit;
}

int CHECKIMAGE(const std::string& cImage) {
  const std::string cShown = serial::PRINTABLE(cImage);
  const ImageLook oLook = IMAGEPROBLEM(cImage);
  if (!oLook.cProblem.empty()) {
    SAY(STDERR_FILENO, "cannot use " + cShown + ": " + oLook.cProblem);
    return kExitUnusable;
  }
  // The image is sent byte for byte as it is on disk, so its size says it all: the check opens
  // it (it is readable) but never reads it whole.
  const auto nSent = static_cast<std::size_t>(oLook.nSize);
  std::string cText = cShown + ": " + std::to_string(nSent) + " bytes; " + Blocks(nSent) + " of " +
                      std::to_string(kBlockSize) + " would be served";
  if (nSent % kBlockSize != 0) {
    cText += ", the last one " + std::to_string(nSent % kBlockSize) + " bytes";
  }
  const bool lWhole = nSent == kDiskSize;
  cText += lWhole ? ": a whole disk (80 tracks, 2 sides)"
                  : ": not a whole disk (" + std::to_string(kDiskSize) + " bytes, " +
                        std::to_string(kDiskSize / kBlockSize) + " blocks expected)";
  WRITEOUT(STDOUT_FILENO, cText + "\n");
  return lWhole ? 0 : 1;
}

int LISTPORTS() {
  const auto aPorts = serial::LISTPORTS();
  std::string cOut;
  for (const serial::PortInfo& o : aPorts) {
    cOut += serial::FORMATPORT(o) + "\n";
  }
  if (aPorts.empty()) {
    cOut = "veltra-send: no serial ports found\n";
  }
  WRITEOUT(STDOUT_FILENO, cOut);
  return 0;
}

} // namespace veltra::send
