// Opening and configuring the line, the receive path into cReceived, and the open-failure
// report. No window and no popup: each front end says in its own way what failed.
#include "app/port_line.h"

#include "app/transfer_loop.h"
#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "serial/port_list.h"

#include <cerrno>
#include <cstring>

namespace veltra::app {
namespace {

constexpr std::size_t kQueueSize = 16384;
constexpr std::size_t kReadChunk = 1000;

} // namespace

LineSetup OPENLINE(const std::string& cPort) {
  LineSetup o;
  const std::string cDevice = "\\\\.\\" + cPort;
  o.cDevice = serial::COMMDEVICEPATH(cDevice);
  errno = 0; // a failed open that gives no reason is told as such, not with an older one
  const int nComm =
      serial::OPENCOMM(cDevice, static_cast<int>(kQueueSize), static_cast<int>(kQueueSize));
  if (nComm < 0) {
    o.nErrno = errno;
    o.eFailed = LineStep::Open;
    return o;
  }
  std::string cDcb;
  if (!serial::BUILDCOMMDCB("115200,N,8,2", cDcb)) {
    o.eFailed = LineStep::Parameters;
  } else if (!serial::SETCOMMSTATE(nComm, cDcb)) {
    o.eFailed = LineStep::State;
  }
  if (o.eFailed != LineStep::None) {
    serial::CLOSECOMM(nComm); // nothing stays locked behind the user's back
    return o;
  }
  o.nComm = nComm;
  return o;
}

void CONNECT(int nComm) {
  serial::ENABLECOMMNOTIFICATION(nComm, 0, 1, -1);
  // Reads on in 1000-byte steps while a read comes back full: a byte left in the ring would
  // wait for the device's next one, which may never come (a "T" behind 1000 bytes of noise).
  // The ring holds at most kQueueSize bytes; the bound only stops a device that floods the
  // line as fast as it is read, and whatever it sends after that is announced again.
  for (std::size_t nTaken = 0; nTaken <= kQueueSize;) {
    const std::string c = RECEIVESTR(nComm);
    cReceived += c;
    nTaken += c.size();
    if (c.size() < kReadChunk) {
      break;
    }
  }
}

void RECEIVENOTIFIED(int nComm, int hWnd) {
  CONNECT(nComm);
  serial::ENABLECOMMNOTIFICATION(nComm, hWnd, 1, -1);
}

void ARMLINE(int nComm, int hWnd) {
  serial::ENABLECOMMNOTIFICATION(nComm, hWnd, 1, -1);
  RECEIVENOTIFIED(nComm, hWnd);
}

std::string RECEIVESTR(int nComm) {
  std::string cBuffer(kReadChunk, ' ');
  const int n = serial::READCOMM(nComm, cBuffer);
  cBuffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return cBuffer;
}

std::string OPENFAILUREHINT(const std::string& cDevice, int nErrno, std::string_view cProgram) {
  // The name comes from a settings file or a command line: it is shown only as text.
  const std::string cHead =
      std::string(cProgram) + ": cannot open " + serial::PRINTABLE(cDevice) + ": ";
  if (nErrno == serial::ECOMMCONSOLE) {
    return cHead + "it is the system console (name the adapter's port, for example ttyUSB0)";
  }
  if (nErrno == serial::ECOMMOWNTERMINAL) {
    return cHead + "it is the terminal " + std::string(cProgram) +
           " was started from (name the adapter's port)";
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

std::string OPENFAILUREREPORT(const std::string& cDevice, int nErrno, std::string_view cProgram) {
  std::string cText = OPENFAILUREHINT(cDevice, nErrno, cProgram);
  std::string cPorts;
  for (const serial::PortInfo& o : serial::LISTPORTS()) {
    if (!o.lConsole) {
      cPorts += "\n  " + serial::FORMATPORT(o);
    }
  }
  cText += cPorts.empty() ? "\n" + std::string(cProgram) + ": no serial ports found"
                          : "\n" + std::string(cProgram) + ": serial ports here:" + cPorts;
  return cText;
}

} // namespace veltra::app
