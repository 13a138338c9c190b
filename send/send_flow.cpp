// The transfer from a terminal: each image read whole as VELTRA reads it, the line set up as
// VELTRA sets it up (waited for, if asked, until the adapter is plugged in), then for each disk
// in turn the very same transfer loop, bound to the terminal instead of a window: the terminal's
// stop request is Esc held down, the log goes to the progress line, and the wait sleeps on the
// port's notifications, the keys and the signals alike.
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
  const auto oFile = runtime::OPENREGULAR(cPath);
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

// The blocks of kBlockSize that nBytes make.
std::string Blocks(std::size_t nBytes) {
  return Counted((nBytes + kBlockSize - 1) / kBlockSize, "block");
}

// One disk of the run: its image, read whole before the line is opened, and how it went.
struct Disk {
  std::string cShown;
  std::string cData;
  int nExit = -1;       // -1: never served
  std::string cSummary; // what its summary said
};

// How often the wait for a port that is not there yet looks for it (and for Esc).
constexpr int kAppearCheckMs = 250;
// A device node that has just appeared gets its group and mode from udev a moment later: until
// then it is refused for permission, which is not yet the answer.
constexpr auto kPermissionGrace = std::chrono::seconds(2);

// Opens cPort; with nWaitSeconds (0: no bound), a port that does not exist yet is waited for,
// looked for 4 times a second (and at each key or signal). lStopped tells a stop during the
// wait.
app::LineSetup OpenWaiting(const std::string& cPort, const std::optional<unsigned>& nWaitSeconds,
                           bool& lStopped) {
  app::LineSetup oLine = app::OPENLINE(cPort);
  const auto Absent = [&oLine] {
    return oLine.eFailed == app::LineStep::Open && oLine.nErrno == ENOENT;
  };
  if (!nWaitSeconds || !Absent()) {
    return oLine;
  }
  WRITEOUT(STDOUT_FILENO, "veltra-send: Waiting for " + serial::PRINTABLE(oLine.cDevice) +
                              " to appear (Ctrl-C stops)\n");
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(*nWaitSeconds);
  std::optional<std::chrono::steady_clock::time_point> tAppeared;
  const auto Waiting = [&] {
    return Absent() ||
           (tAppeared && oLine.eFailed == app::LineStep::Open && oLine.nErrno == EACCES &&
            std::chrono::steady_clock::now() < *tAppeared + kPermissionGrace);
  };
  while (Waiting()) {
    if (*nWaitSeconds != 0 && std::chrono::steady_clock::now() >= tEnd) {
      return oLine;
    }
    serial::SYSWAIT(kAppearCheckMs); // keys and signals end it early
    if (Terminal::StopRequested()) {
      lStopped = true;
      return oLine;
    }
    // A name only: nothing is opened before it is there (a by-id link appears last).
    if (::access(oLine.cDevice.c_str(), F_OK) == 0 || errno != ENOENT) {
      if (!tAppeared) {
        tAppeared = std::chrono::steady_clock::now();
      }
      oLine = app::OPENLINE(cPort);
    }
  }
  return oLine;
}

// Serves one disk from the device's next "T" to its "E" (or the stop, the failure or the lost
// line); its exit status, with its summary given to oLog.
int ServeDisk(int nComm, TerminalLog& oLog, Disk& oDisk, bool lFirst) {
  // Each disk is served from its own start; bytes the device sent after the last "E" stay.
  const std::string cKeep(app::cReceived.View());
  app::RESETTRANSFERSTATE();
  app::cReceived = cKeep;
  app::cImage = oDisk.cData;
  if (!lFirst && Terminal::StopRequested()) {
    // Stopped between two disks: the loop would leave at once, but the device is in the
    // middle of the session and is told as during one.
    serial::WRITECOMM(nComm, std::string_view(&app::kAbortByte, 1));
    oDisk.cSummary = "Stopped: the abort byte 0x09 was sent before the first block.";
    oDisk.nExit = kExitAborted;
    return kExitAborted;
  }

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
  const std::string cBlocks = Counted(static_cast<std::size_t>(oLog.Blocks()), "block");
  std::string& cSummary = oDisk.cSummary;
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
    // Never "Done": the device holds a block with a hole in it. What left this computer is
    // known; what reached the device is not (the adapter's queue may have gone with the line).
    cSummary = "Write failed: block " + std::to_string(oLog.Blocks() + 1) + " (track " +
               std::to_string(oEnding->nTrack) + ", side " + std::to_string(oEnding->nSide) +
               ") stopped after " + std::to_string(oEnding->nSent) + " of " +
               Counted(oEnding->nBytes, "byte") + "; " + cBlocks +
               " left this computer whole, the device may have received fewer.";
  } else if (nExit == kExitLineLost) {
    // The last blocks may still have been in the driver's or the adapter's queue when the
    // line went: what left is known, what arrived is not.
    cSummary = "Line lost: the device was unplugged or closed after " + cBlocks +
               " left this computer whole" +
               (oLog.Blocks() > 0 ? ", the device may have received fewer." : ".");
  } else {
    cSummary = oEnding ? "Stopped: the abort byte 0x09 was sent after " + cBlocks + "."
                       : "Stopped before the transfer began.";
  }
  oDisk.nExit = nExit;
  return nExit;
}

} // namespace

int SENDIMAGES(const std::vector<std::string>& aImages, const std::optional<std::string>& cPortArg,
               const std::optional<unsigned>& nWaitSeconds) {
  // Every image is read before the line is opened: a disk that cannot be served is told now,
  // not half-way through the session.
  std::vector<Disk> aDisks;
  for (const std::string& cImage : aImages) {
    Disk oDisk;
    oDisk.cShown = serial::PRINTABLE(cImage);
    const ImageLook oLook = IMAGEPROBLEM(cImage);
    if (!oLook.cProblem.empty()) {
      SAY(STDERR_FILENO, "cannot use " + oDisk.cShown + ": " + oLook.cProblem);
      return kExitUnusable;
    }
    oDisk.cData = runtime::ReadWholeFile(cImage);
    if (oDisk.cData.empty()) {
      SAY(STDERR_FILENO, "cannot use " + oDisk.cShown + ": nothing to send");
      return kExitUnusable;
    }
    aDisks.push_back(std::move(oDisk));
  }
  if (!cPortArg) {
    // A settings file that is there but cannot be read may well name the port: say why.
    const std::string cProblem = runtime::PROFILEPROBLEM(app::kSettingsFile);
    if (!cProblem.empty()) {
      SAY(STDERR_FILENO, "cannot read " + std::string(app::kSettingsFileName) +
                             " here for the port: " + cProblem + " (or use --port NAME)");
      return kExitUnusable;
    }
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

  // The terminal first: Esc and Ctrl-C also end a wait for the port.
  Terminal oTerm;
  bool lStopped = false;
  const app::LineSetup oLine = OpenWaiting(cPort, nWaitSeconds, lStopped);
  if (lStopped) {
    WRITEOUT(STDOUT_FILENO, "Stopped before the transfer began.\n");
    return kExitAborted;
  }
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

  OutputQueue oOut(WRITENOWAIT);
  const std::size_t nDisks = aDisks.size();
  const std::string cLine =
      " on " + serial::PRINTABLE(oLine.cDevice) + " at 115200 baud 8N2; Esc or Ctrl-C stops\n";
  if (nDisks == 1) {
    const std::size_t nTotal = aDisks.front().cData.size();
    oOut.Keep("veltra-send: " + aDisks.front().cShown + ", " + std::to_string(nTotal) +
              " bytes in " + Blocks(nTotal) + "," + cLine);
  } else {
    oOut.Keep("veltra-send: " + std::to_string(nDisks) + " disks," + cLine);
  }

  // Each notification moves the waiting bytes into the receive buffer and arms the next one.
  int hTarget = 0;
  CommTarget oTarget([&hTarget](int nPort) { app::RECEIVENOTIFIED(nPort, hTarget); });
  hTarget = oTarget.hWnd();
  app::ARMLINE(nComm, hTarget);

  int nExit = kExitEnded;
  for (std::size_t i = 0; i < nDisks; ++i) {
    Disk& oDisk = aDisks[i];
    const std::string cOf = std::to_string(i + 1) + "/" + std::to_string(nDisks);
    if (nDisks > 1) {
      oOut.Keep("Disk " + std::to_string(i + 1) + " of " + std::to_string(nDisks) + ": " +
                oDisk.cShown + ": waiting for the device\n");
    }
    TerminalLog oLog(
        oOut, oTerm.OutputIsTerminal(), oDisk.cData.size(), [&oTerm] { return oTerm.Columns(); },
        nDisks > 1 ? "Disk " + cOf : std::string());
    const int nDisk = ServeDisk(nComm, oLog, oDisk, i == 0);
    oLog.Finish(nDisks > 1 ? "Disk " + cOf + ": " + oDisk.cSummary : oDisk.cSummary);
    nExit = nExit != kExitEnded ? nExit : nDisk;
    if (nDisk != kExitEnded && nDisk != kExitImageEnded) {
      break; // stopped, or the line failed: no later disk is served
    }
  }
  serial::CLOSECOMM(nComm);

  // The device is served: what is left may wait for the output now.
  std::string cRest = oOut.TakeRest();
  if (nDisks > 1) {
    cRest += "Summary:\n";
    for (std::size_t i = 0; i < nDisks; ++i) {
      cRest += "  Disk " + std::to_string(i + 1) + "/" + std::to_string(nDisks) + " " +
               aDisks[i].cShown + ": " +
               (aDisks[i].nExit < 0 ? std::string("not served.") : aDisks[i].cSummary) + "\n";
    }
  }
  if (oOut.DroppedLines() > 0) {
    cRest += Counted(oOut.DroppedLines(), "log line") +
             " not shown: the output did not take them while the device was served.\n";
  }
  WRITEOUT(STDOUT_FILENO, cRest);
  return nExit;
}

namespace {

int CheckImage(const std::string& cImage) {
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

} // namespace

int CHECKIMAGES(const std::vector<std::string>& aImages) {
  int nExit = 0;
  for (const std::string& cImage : aImages) {
    const int n = CheckImage(cImage);
    nExit = nExit != 0 ? nExit : n;
  }
  return nExit;
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
