// The main flow. The window's callbacks capture the flow's variables by reference, so the
// port handle that the init callback sets is the one the start callback and the close use.
#include "app/program_flow.h"

#include "app/desktop_progress.h"
#include "app/port_link.h"
#include "runtime/empty.h"
#include "runtime/profile.h"
#include "serial/comm_port.h"
#include "serial/message_pump.h"
#include "ui/codepage.h"
#include "ui/dialog.h"
#include "ui/file_chooser.h"
#include "ui/key_state.h"
#include "ui/multiget.h"
#include "ui/popmsg.h"
#include "ui/port_picker.h"
#include "ui/window.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <utility>

namespace veltra::app {
namespace {

// How long the transfer loop's wait may last: short while another window has the keyboard
// (an Esc pressed there is seen only by asking the X server), long while key events reach us
// and wake the wait themselves (then the bound is only a safety net).
constexpr int kKeyPollBoundMs = 20;
constexpr int kSafetyBoundMs = 1000;
// How long the pause after the 0x00 waits before it paints the log.
constexpr auto kPaintDelay = std::chrono::milliseconds(1);

// Why cPath cannot be the image, in the popups' Italian; empty when it is a plain file this
// process can read. The type is asked first: a FIFO or a device is never opened.
std::string NotAnImage(const std::string& cPath) {
  struct stat st {};
  if (::stat(cPath.c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR
               ? "il file non esiste"
               : std::string("il file non si legge (") + std::strerror(errno) + ")";
  }
  if (S_ISDIR(st.st_mode)) {
    return "\xE8 una cartella, non un file";
  }
  if (!S_ISREG(st.st_mode)) {
    return "non \xE8 un file normale";
  }
  std::FILE* pFile = std::fopen(cPath.c_str(), "rb");
  if (pFile == nullptr) {
    return errno == EACCES || errno == EPERM
               ? "non hai il permesso di leggerlo"
               : std::string("il file non si legge (") + std::strerror(errno) + ")";
  }
  std::fclose(pFile);
  return {};
}

// The image: the first command-line argument when it names a readable plain file (a file
// manager's "Open with", an image dropped on the program), else what the chooser gives; an
// argument that cannot be the image is named in a popup first.
std::string ChooseImage(const std::vector<std::string>& aArgs, const std::string& cDir) {
  if (!aArgs.empty()) {
    const std::string cReason = NotAnImage(aArgs.front());
    if (cReason.empty()) {
      return aArgs.front();
    }
    ui::POPMSG("Immagine non aperta: " + ui::NAMETEXT(aArgs.front()) + "\r\n\r\n" + cReason +
                   ". Scegli l'immagine da inviare.",
               1);
  }
  return ui::CGETFILE("File MGT (*.mgt)|*.mgt", "Seleziona immagine da inviare", std::nullopt,
                      cDir);
}

// What the transfer's news make of it outside the window: the progress as blocks go, the
// fault state when the transfer stops short, and how it went when the device ends.
class OutcomeWatch {
public:
  explicit OutcomeWatch(const ui::TDialog& oDlg) : oDlg_(oDlg) {}

  void Begin(std::size_t nImageBytes) {
    nTotal_ = static_cast<int>((nImageBytes + kBlockSize - 1) / kBlockSize);
  }

  void News(const TransferNews& o) {
    switch (o.eEvent) {
    case TransferEvent::BlockBegins:
      if (!tFirst_) {
        tFirst_ = std::chrono::steady_clock::now();
      }
      break;
    case TransferEvent::BlockSent:
      ++nSent_;
      SHOWPROGRESS(oDlg_.hWnd, std::min(nSent_, nTotal_), nTotal_);
      break;
    case TransferEvent::WriteFailed:
    case TransferEvent::LineLost:
      if (cFault_.empty()) {
        cFault_ = o.eEvent == TransferEvent::LineLost
                      ? "la porta \xC3\xA8 sparita (adattatore scollegato?)"
                      : "scrittura non riuscita alla traccia " + std::to_string(o.nTrack) +
                            ", lato " + std::to_string(o.nSide);
      }
      SHOWPROGRESSFAULT(oDlg_.hWnd);
      break;
    case TransferEvent::ImageEnded:
      if (cFault_.empty()) {
        cFault_ = "il dispositivo ha chiesto pi\xC3\xB9 blocchi dei " + std::to_string(o.nBlocks) +
                  " dell'immagine";
      }
      break;
    case TransferEvent::Aborted:
      lAborted_ = true;
      break;
    }
  }

  // The loop has returned: on the device's "E" the desktop is told how it went; after Esc
  // nothing. The progress goes away either way.
  void End() {
    HIDEPROGRESS(oDlg_.hWnd);
    if (lAborted_) {
      return;
    }
    const long nSeconds = tFirst_
                              ? static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(
                                                      std::chrono::steady_clock::now() - *tFirst_)
                                                      .count())
                              : 0;
    const std::string cTime = std::to_string(nSeconds / 60) + ":" +
                              (nSeconds % 60 < 10 ? "0" : "") + std::to_string(nSeconds % 60);
    const std::string cBlocks =
        nSent_ == nTotal_ ? std::to_string(nSent_) + " blocchi"
                          : std::to_string(nSent_) + " blocchi di " + std::to_string(nTotal_);
    if (cFault_.empty() && nSent_ < nTotal_) {
      NOTIFYOUTCOME("VELTRA: il dispositivo ha chiuso prima della fine", cBlocks + " in " + cTime);
    } else if (cFault_.empty()) {
      NOTIFYOUTCOME("VELTRA: disco inviato", cBlocks + " in " + cTime);
    } else {
      NOTIFYOUTCOME("VELTRA: invio non riuscito",
                    cFault_ + "; " + cBlocks + " inviati in " + cTime);
    }
  }

private:
  const ui::TDialog& oDlg_;
  int nTotal_ = 0;
  int nSent_ = 0;
  bool lAborted_ = false;
  std::string cFault_;
  std::optional<std::chrono::steady_clock::time_point> tFirst_;
};

} // namespace

std::string BANNER() {
  return "VELTRA 1.00 (c) 2026 VLT  ";
}

TransferBinding BINDTRANSFER(ui::TDialog& oDlg, ui::TMultiGet& oGet) {
  TransferBinding o;
  o.WRITECOMM = [](int nComm, std::string_view cData) { return serial::WRITECOMM(nComm, cData); };
  o.SYSREFRESH = [] { return serial::SYSREFRESH(); };
  o.SYSWAIT = [] {
    return serial::SYSWAIT(ui::KEYSTATEFROMEVENTS() ? kSafetyBoundMs : kKeyPollBoundMs);
  };
  o.SLEEP = [&oDlg](long nMs) {
    // The pause after the 0x00 is dead time on the line: the log line written just before is
    // painted in it, instead of when the device's next command arrives (on a fast line that
    // is at once). The paint waits a moment first: after tcdrain a pty, like a USB adapter,
    // still has to move the byte on, and on a small machine a paint started at once (the
    // toolkit fills large areas on several threads) delays it and shortens the silence the
    // device sees. Nothing else is handled, and the pause lasts nMs from its start.
    const auto tStart = std::chrono::steady_clock::now();
    const auto tEnd = tStart + std::chrono::milliseconds(nMs);
    std::this_thread::sleep_until(std::min(tEnd, tStart + kPaintDelay));
    ui::UPDATEWINDOW(oDlg);
    // The library's sleep on a steady clock does not look at the clock again when it wakes,
    // and a system sleep rounded to its timer's tick can wake early: the device must see the
    // whole pause, so the clock decides.
    while (std::chrono::steady_clock::now() < tEnd) {
      std::this_thread::sleep_until(tEnd);
    }
  };
  o.GETASYNCKEYSTATE = [](int nKey) { return ui::GETASYNCKEYSTATE(nKey); };
  o.VarGet = [&oGet] { return oGet.VarGet().value_or(std::string()); };
  o.VarPut = [&oGet](std::string c) { oGet.VarPut(std::move(c)); };
  o.Refresh = [&oGet](bool lErase) { oGet.Refresh(lErase); };
  o.GoBottom = [&oGet] { oGet.GoBottom(); };
  o.End = [&oDlg] { return oDlg.End(); };
  return o;
}

void MAIN(const std::vector<std::string>& aArgs) {
  // The current folder, as drive + ":" + separator + folder (no drive part on Linux).
  const std::string cDir = ui::CURDIRPATH();
  const std::string cFile = ChooseImage(aArgs, cDir);
  std::string cPort = runtime::GETPVPROFSTRING(kSettingsSection, kSettingsPort, "", kSettingsFile);
  if (runtime::EMPTY(cFile)) {
    return;
  }
  cImage = runtime::ReadWholeFile(cFile);
  if (runtime::EMPTY(cPort)) {
    cPort = kDefaultPort;
    // The default is saved only where no settings file was refused: one that cannot be read
    // (or is too large to be one) is the user's, never replaced by a single line.
    if (runtime::PROFILEPROBLEM(kSettingsFile).empty()) {
      runtime::WRITEPPROSTRING(kSettingsSection, kSettingsPort, cPort, kSettingsFile);
    }
  }
  // A port that cannot be opened: after its popup the ports are offered, and the one chosen is
  // written to the settings file and tried in a new window, until one opens or the user
  // cancels.
  while (RUNWINDOW(cPort) == LineStep::Open) {
    const std::optional<std::string> cChosen = ui::CHOOSEPORT();
    if (!cChosen) {
      return;
    }
    cPort = *cChosen;
    runtime::WRITEPPROSTRING(kSettingsSection, kSettingsPort, cPort, kSettingsFile);
  }
}

LineStep RUNWINDOW(const std::string& cPort) {
  std::string cText;
  ui::TDialog oDlg;
  oDlg.New({.cCaption = BANNER() + "(" + ui::NAMETEXT(cPort) + ":115200,N,8,2)",
            .nStyle = 0,
            .nWidth = 500,
            .nHeight = 500,
            .cVarName = "oDlg",
            .lTruePixel = false});
  oDlg.lModify = false;
  oDlg.lHelpIcon = false;

  ui::TMultiGet oGet;
  oGet.New({.nRow = 0, .nCol = 0, .bSetGet = ui::BINDTEXT(cText), .lReadOnly = true});

  int nComm = -1;
  LineStep eFailed = LineStep::None;
  // The port is closed on every way out of here: after the window has closed, and when a
  // break or a quit leaves the window early.
  struct PortCloser {
    int& nComm;
    ~PortCloser() {
      if (nComm >= 0) {
        serial::CLOSECOMM(std::exchange(nComm, -1));
      }
    }
  } oCloser{nComm};
  TransferBinding oBinding = BINDTRANSFER(oDlg, oGet);
  oBinding.LINELOST = [&nComm] { return serial::COMMLOST(nComm); };
  OutcomeWatch oOutcome(oDlg);
  oBinding.bNews = [&oOutcome](const TransferNews& o) { oOutcome.News(o); };
  oDlg.bStart = [&] {
    oOutcome.Begin(cImage.size());
    VELTRA(nComm, oBinding);
    oOutcome.End();
  };
  oDlg.Activate({.lCentered = true,
                 .bValid = [](ui::TDialog& o) { return ui::VALID_(o, false); },
                 .bInit =
                     [&](ui::TDialog& o) {
                       o.SetControl(oGet);
                       nComm = APRICOM(o, cPort, &eFailed);
                       // Alt+F4 must not close the window while the device is being served.
                       o.bValid = [](ui::TDialog&) { return !ui::GETASYNCKEYSTATE(ui::VK_F4); };
                       if (nComm < 0) {
                         o.End();
                       }
                     },
                 .lResize16 = true});
  return eFailed;
}

} // namespace veltra::app
