// The transfer loop. Everything runs on the user-interface thread: the receive buffer is
// filled by the port's notification callback, which runs only inside the pump calls below,
// so the module variables need no lock.
#include "app/transfer_loop.h"

#include <algorithm>

namespace veltra::app {

ReceiveBuffer cReceived;
std::string cImage;
int nTrack = 0;
int nSide = 0;

namespace {

// Whether a request past the end of the image has been logged in this transfer.
bool lImageEndLogged = false;

bool LINEISLOST(const TransferBinding& oGet) {
  return oGet.LINELOST && oGet.LINELOST();
}

void TELL(const TransferBinding& oGet, TransferEvent eEvent, std::size_t nBytes = 0,
          std::size_t nSent = 0) {
  if (oGet.bNews) {
    oGet.bNews(TransferNews{eEvent, nTrack, nSide, nBytes, nSent});
  }
}

} // namespace

void RESETTRANSFERSTATE() {
  cReceived.clear();
  cImage.clear();
  nTrack = 0;
  nSide = 0;
  lImageEndLogged = false;
}

std::string IMAGEENDEDMESSAGE(int nAskedTrack, int nAskedSide, int nBlocks) {
  return "Image ended: the device asked for track " + std::to_string(nAskedTrack) + ", side " +
         std::to_string(nAskedSide) + ", the image has " + std::to_string(nBlocks) +
         (nBlocks == 1 ? " block" : " blocks") + " (ESC to exit)";
}

void VELTRA(int nComm, const TransferBinding& oGet) {
  while (!oGet.GETASYNCKEYSTATE(VK_ESCAPE)) {
    MESSAGE(oGet, "Waiting command (ESC to exit)...");
    for (;;) {
      const std::optional<std::string> cCmd = WAITCOMMAND(oGet);
      if (oGet.GETASYNCKEYSTATE(VK_ESCAPE)) {
        SENDSTR(nComm, std::string_view(&kAbortByte, 1), oGet); // best effort: the user is leaving
        TELL(oGet, TransferEvent::Aborted);
        break; // back to the outer test, which returns while Esc is still held
      }
      if (!cCmd && LINEISLOST(oGet)) {
        // Nothing more can come: say so once and leave the window to the user, who ends it
        // with Esc. Waiting on would only spin on a dead line.
        TELL(oGet, TransferEvent::LineLost);
        MESSAGE(oGet, kLineLostMessage);
        return;
      }
      if (cCmd == std::string_view(&kCommandBlock, 1)) {
        if (!TRK(nComm, oGet)) {
          // The device now holds a block with a hole in it: serving on would send it a disk
          // whose every later sector is misplaced. TRK has said so; the user ends it.
          return;
        }
      } else if (cCmd == std::string_view(&kCommandEnd, 1)) {
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

std::optional<char> ReceiveBuffer::Take() {
  if (empty()) {
    return std::nullopt;
  }
  const char c = m_cData[m_nFront++];
  if (m_nFront == m_cData.size()) {
    m_cData.clear();
    m_nFront = 0;
  } else if (m_nFront >= 4096 && m_nFront * 2 >= m_cData.size()) {
    // The taken part is dropped once it is at least half: each byte is moved O(1) times.
    m_cData.erase(0, m_nFront);
    m_nFront = 0;
  }
  return c;
}

std::string GETCHAR() {
  const std::optional<char> c = cReceived.Take();
  return c ? std::string(1, *c) : std::string();
}

bool TRK(int nComm, const TransferBinding& oGet) {
  const std::size_t nLen = std::min(kBlockSize, cImage.size());
  // Every block served moved the side on by one, so the counters count the image's blocks.
  const bool lPastEnd = cImage.empty();
  const int nBlocks = 2 * nTrack + nSide;
  if (lPastEnd) {
    if (oGet.bNews) {
      oGet.bNews(TransferNews{TransferEvent::ImageEnded, nTrack, nSide, 0, 0, nBlocks});
    }
  } else {
    TELL(oGet, TransferEvent::BlockBegins, nLen);
  }
  MESSAGE(oGet,
          std::string(kSendingTrack) + std::to_string(nTrack) + ", side " + std::to_string(nSide));
  if (lPastEnd && !lImageEndLogged) {
    // The device waits for a block that does not exist: the disk it builds is not this image.
    lImageEndLogged = true;
    MESSAGE(oGet, IMAGEENDEDMESSAGE(nTrack, nSide, nBlocks));
  }
  const bool lZero = SENDSTR(nComm, std::string_view(&kBlockLead, 1), oGet);
  std::size_t nSent = 0;
  if (lZero) {
    oGet.SLEEP(kPauseAfterZeroMs);
    nSent = SENDCOUNT(nComm, std::string_view(cImage).substr(0, nLen), oGet);
  }
  // Only what left is gone from the image: the rest is never sent as part of another block.
  cImage.erase(0, nSent);
  if (!lZero || nSent < nLen) {
    TELL(oGet, TransferEvent::WriteFailed, nLen, nSent);
    MESSAGE(oGet, "Write failed: track " + std::to_string(nTrack) + ", side " +
                      std::to_string(nSide) + ", " + std::to_string(nSent) + " of " +
                      std::to_string(nLen) + " bytes sent (ESC to exit)");
    return false;
  }
  if (!lPastEnd) {
    TELL(oGet, TransferEvent::BlockSent, nLen, nSent);
  }
  if (nSide == 0) {
    nSide = 1;
  } else {
    ++nTrack;
    nSide = 0;
  }
  return true;
}

void MESSAGE(const TransferBinding& oGet, std::string_view cText) {
  if (oGet.APPENDLINE) {
    oGet.APPENDLINE(cText);
    return;
  }
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

std::size_t SENDCOUNT(int nComm, std::string_view cData, const TransferBinding& oGet) {
  const long n = oGet.WRITECOMM(nComm, cData);
  return n > 0 ? std::min(static_cast<std::size_t>(n), cData.size()) : 0;
}

} // namespace veltra::app
