// The transfer loop. Everything runs on the user-interface thread: the receive buffer is
// filled by the port's notification callback, which runs only inside the pump calls below,
// so the module variables need no lock.
#include "app/transfer_loop.h"

#include "app/transfer_loop_internal.h"

namespace veltra::app {

std::string cReceived;
std::string cImage;
int nTrack = 0;
int nSide = 0;

namespace {

bool LINEISLOST(const TransferBinding& oGet) {
  return oGet.LINELOST && oGet.LINELOST();
}

} // namespace

void RESETTRANSFERSTATE() {
  cReceived.clear();
  cImage.clear();
  nTrack = 0;
  nSide = 0;
}

void VELTRA(int nComm, const TransferBinding& oGet) {
  while (!oGet.GETASYNCKEYSTATE(VK_ESCAPE)) {
    MESSAGE(oGet, "Waiting command (ESC to exit)...");
    for (;;) {
      const std::optional<std::string> cCmd = WAITCOMMAND(oGet);
      if (oGet.GETASYNCKEYSTATE(VK_ESCAPE)) {
        SENDSTR(nComm, std::string_view("\x09", 1), oGet);
        break; // back to the outer test, which returns while Esc is still held
      }
      if (!cCmd && LINEISLOST(oGet)) {
        // Nothing more can come: say so once and leave the window to the user, who ends it
        // with Esc. Waiting on would only spin on a dead line.
        MESSAGE(oGet, kLineLostMessage);
        return;
      }
      if (cCmd == "T") {
        TRK(nComm, oGet);
      } else if (cCmd == "E") {
        oGet.End();
        return;
      }
    }
  }
}

std::optional<std::string> WAITCOMMAND(const TransferBinding& oGet) {
  std::optional<std::string> cByte;
  while (!oGet.GETASYNCKEYSTATE(VK_ESCAPE)) {
    std::string c = GETCHAR();
    if (!c.empty()) {
      cByte = std::move(c);
      break;
    }
    if (LINEISLOST(oGet)) {
      break;
    }
    // Nothing received yet: let notifications, paints and keys through. The waiting form
    // sleeps until one of them happens instead of spinning a core.
    if (oGet.SYSWAIT) {
      oGet.SYSWAIT();
    } else {
      oGet.SYSREFRESH();
    }
  }
  oGet.SYSREFRESH();
  return cByte;
}

std::string GETCHAR() {
  if (cReceived.empty()) {
    return {};
  }
  std::string c(1, cReceived.front());
  cReceived.erase(0, 1);
  return c;
}

void TRK(int nComm, const TransferBinding& oGet) {
  MESSAGE(oGet, "Sending track " + std::to_string(nTrack) + ", side " + std::to_string(nSide));
  SENDSTR(nComm, std::string_view("\0", 1), oGet);
  oGet.SLEEP(10);
  const std::size_t nLen = std::min(kBlockSize, cImage.size());
  SENDSTR(nComm, std::string_view(cImage).substr(0, nLen), oGet);
  cImage.erase(0, nLen);
  if (nSide == 0) {
    nSide = 1;
  } else {
    ++nTrack;
    nSide = 0;
  }
}

void MESSAGE(const TransferBinding& oGet, std::string_view cText) {
  std::string cLog = oGet.VarGet();
  cLog.append(cText);
  cLog.append("\r\n");
  oGet.VarPut(std::move(cLog)); // the log can be long: handed on, not copied
  oGet.Refresh(false);
  oGet.GoBottom();
}

bool SENDSTR(int nComm, std::string_view cData, const TransferBinding& oGet) {
  return oGet.WRITECOMM(nComm, cData) == static_cast<long>(cData.size());
}

} // namespace veltra::app
