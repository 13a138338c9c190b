// The port link. Set-up runs in one guarded block: each failing step shows its message and
// breaks out, and the recovery closes whatever was opened and yields -1.
#include "app/port_link.h"

#include "app/transfer_loop.h"
#include "runtime/error_handler.h"
#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "ui/dialog.h"
#include "ui/popmsg.h"

#include <cerrno>
#include <cstring>
#include <iostream>

namespace veltra::app {
namespace {

constexpr int kQueueSize = 16384;
constexpr std::size_t kReadChunk = 1000;

[[noreturn]] void FAIL(const std::string& cText) {
  ui::POPMSG(cText, 1);
  runtime::BREAK();
}

} // namespace

std::string OPENFAILUREHINT(const std::string& cDevice, int nErrno) {
  const std::string cHead = "veltra: cannot open " + cDevice + ": ";
  if (nErrno == serial::ECOMMCONSOLE) {
    return cHead + "it is the system console (name the adapter's port in VELTRA.INI, for "
                   "example ttyUSB0)";
  }
  if (nErrno == serial::ECOMMOWNTERMINAL) {
    return cHead + "it is the terminal VELTRA was started from (name the adapter's port in "
                   "VELTRA.INI)";
  }
  std::string cLine = cHead + std::strerror(nErrno);
  switch (nErrno) {
  case EACCES:
  case EPERM:
    cLine += " (add your user to the dialout group, then log in again)";
    break;
  case ENOENT:
  case ENODEV:
  case ENXIO:
    cLine += " (is the adapter plugged in? check the port name in VELTRA.INI)";
    break;
  case EBUSY:
  case EWOULDBLOCK:
    cLine += " (another program is using the port: close it first)";
    break;
  case ENOTTY:
    cLine += " (this is not a serial port)";
    break;
  case EINVAL:
    cLine += " (check the port name in VELTRA.INI)";
    break;
  default:
    break;
  }
  return cLine;
}

int APRICOM(ui::TDialog& oDlg, const std::string& cPort) {
  int nComm = -1;
  return runtime::BEGINSEQUENCE(
      [&]() -> int {
        const std::string cDevice = "\\\\.\\" + cPort;
        nComm = serial::OPENCOMM(cDevice, kQueueSize, kQueueSize);
        if (nComm < 0) {
          const int nErrno = errno; // OPENCOMM's reason, before anything else can change it
          std::cerr << OPENFAILUREHINT(serial::COMMDEVICEPATH(cDevice), nErrno) << std::endl;
          FAIL("Errore di apertura della porta di comunicazione (" + cPort + ").");
        }
        std::string cDcb;
        if (!serial::BUILDCOMMDCB("115200,N,8,2", cDcb)) {
          FAIL("Errore di impostazione dei parametri di comunicazione (" + cPort + ").");
        }
        if (!serial::SETCOMMSTATE(nComm, cDcb)) {
          FAIL("Errore di impostazione della porta di comunicazione (" + cPort + ").");
        }
        oDlg.bCommNotify = [&oDlg](int nPort, int) {
          CONNECT(nPort);
          serial::ENABLECOMMNOTIFICATION(nPort, oDlg.hWnd, 1, -1);
        };
        serial::ENABLECOMMNOTIFICATION(nComm, oDlg.hWnd, 1, -1);
        return nComm;
      },
      [&]() -> int {
        // Nothing stays locked behind the user's back after a failed set-up.
        if (nComm >= 0) {
          serial::CLOSECOMM(nComm);
        }
        return -1;
      });
}

void CONNECT(int nComm) {
  serial::ENABLECOMMNOTIFICATION(nComm, 0, 1, -1);
  cReceived += RECEIVESTR(nComm);
}

std::string RECEIVESTR(int nComm) {
  std::string cBuffer(kReadChunk, ' ');
  const int n = serial::READCOMM(nComm, cBuffer);
  cBuffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return cBuffer;
}

} // namespace veltra::app
