// Serial ports on Windows: the device opened with CreateFileA for overlapped I/O, the line
// set with SetCommState, the bounded overlapped write, and the receive worker that waits with
// an overlapped WaitCommEvent beside a stop event.
//
// The worker's cycle: wait for EV_RXCHAR (or the stop or the arm event); ask ClearCommError how
// many bytes the driver holds; read at most 1023 of them, never more than the ring has room for,
// with an overlapped ReadFile (they are already there, so it completes at once); append them
// to the ring; notify the window and wait until it has handled the notification (or the port
// closes). Bytes left in the driver, and bytes there before the first wait, are read in the
// next cycle without waiting for another event, since EV_RXCHAR is reported only for
// characters that arrive after the wait began.
// ENABLECOMMNOTIFICATION sets the arm event when bytes in the ring were never announced; the
// worker announces them from inside its device wait, which stays pending meanwhile.
// CLOSECOMM sets the stop event: a worker in a device wait cancels its own I/O with
// CancelIoEx and waits for the cancellation to complete, so no OVERLAPPED block is written
// after it is gone; the worker is then joined, never terminated.
#include "serial/comm_dcb.h"
#include "serial/comm_port.h"
#include "serial/comm_port_record.h"
#include "serial/message_pump.h"
#include "serial/unique_handle_win32.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <optional>

namespace veltra::serial {
namespace detail {

static_assert(sizeof(DCB) == kDcbLength, "the configuration record is a Win32 DCB");

struct CommDevice {
  UniqueHandle hClaim; // the port's name claimed for this process (see ClaimPort)
  UniqueHandle hDevice;
  UniqueHandle hStop;   // manual reset: set once, when CLOSECOMM wants the worker gone
  UniqueHandle hArm;    // auto reset: notification was armed for unannounced bytes
  UniqueHandle hWorker; // the worker thread
  // Line speed and bits per character for the write bound; written by the user-interface
  // thread only (OPENCOMM, SETCOMMSTATE), read by WRITECOMM on the same thread.
  DWORD nBaud = 9600;
  DWORD nBitsPerByteX2 = 20; // start, data, parity and stop bits, doubled for 1.5 stop bits

  CommDevice() = default;
  CommDevice(const CommDevice&) = delete;
  CommDevice& operator=(const CommDevice&) = delete;

  void StopWorker() {
    if (hWorker.Valid()) {
      ::SetEvent(hStop.Get());
      ::WaitForSingleObject(hWorker.Get(), INFINITE);
      hWorker.Reset();
    }
  }

  ~CommDevice() { StopWorker(); }
};

CommPort::CommPort() = default;

// A record released on any way out (a failed open included) shuts its worker down first.
CommPort::~CommPort() {
  ShutDown(*this);
}

void StopWorker(CommDevice& oDevice) {
  oDevice.StopWorker();
}

void CloseDevice(CommPort& oPort) {
  oPort.oDevice.reset();
}

void WakeWorkerForArm(CommPort& oPort) {
  if (oPort.oDevice != nullptr && oPort.oDevice->hArm.Valid()) {
    ::SetEvent(oPort.oDevice->hArm.Get());
  }
}

namespace {

constexpr DWORD kStagingSize = 1024;
constexpr DWORD kMaxBatch = kStagingSize - 1;

void KeepLineTiming(CommDevice& oDevice, const DCB& oDcb) {
  oDevice.nBaud = oDcb.BaudRate > 0 ? oDcb.BaudRate : 9600;
  const DWORD nStopX2 = oDcb.StopBits == ONESTOPBIT ? 2 : (oDcb.StopBits == ONE5STOPBITS ? 3 : 4);
  oDevice.nBitsPerByteX2 = 2 * (1 + oDcb.ByteSize + (oDcb.Parity != NOPARITY ? 1 : 0)) + nStopX2;
}

// How long a write of nBytes may take: twice its time on the wire at the line's speed, plus
// two seconds for the driver and the far end.
DWORD WriteBoundMs(const CommDevice& oDevice, std::size_t nBytes) {
  const std::uint64_t nWireMs =
      (static_cast<std::uint64_t>(nBytes) * oDevice.nBitsPerByteX2 * 1000) / (2 * oDevice.nBaud);
  return static_cast<DWORD>(std::min<std::uint64_t>(2 * nWireMs + 2000, INFINITE - 1));
}

// Windows opens a serial device for one handle at a time; some drivers (and Wine) let a second
// open through. A named object per port name keeps a second open of ours from sharing the
// line; no value when the name is claimed already.
std::optional<UniqueHandle> ClaimPort(std::string_view cDevice) {
  std::string cName = "Local\\VeltraPort:";
  for (const char c : cDevice) {
    cName += c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  UniqueHandle hClaim(::CreateMutexA(nullptr, FALSE, cName.c_str()));
  if (!hClaim.Valid() || ::GetLastError() == ERROR_ALREADY_EXISTS) {
    return std::nullopt;
  }
  return hClaim;
}

enum class IoWait { Done, Stop, Failed };

// Waits for an overlapped operation started on the worker's device, or for the stop event.
// On stop, the operation is cancelled and its completion awaited, so that ov may go. Where
// hArm is given, an arm request is taken while the operation stays pending.
IoWait FinishIo(CommPort& oPort, HANDLE hArm, OVERLAPPED& ov, BOOL lStarted, DWORD& nDone) {
  const HANDLE hDevice = oPort.oDevice->hDevice.Get();
  const HANDLE hStop = oPort.oDevice->hStop.Get();
  nDone = 0;
  if (!lStarted && ::GetLastError() != ERROR_IO_PENDING) {
    return IoWait::Failed;
  }
  while (!lStarted) {
    const std::array<HANDLE, 3> aWait{hStop, ov.hEvent, hArm};
    const DWORD nHandles = hArm != nullptr ? 3 : 2;
    const DWORD nWoken = ::WaitForMultipleObjects(nHandles, aWait.data(), FALSE, INFINITE);
    if (nWoken == WAIT_OBJECT_0 + 1) {
      break;
    }
    if (nWoken == WAIT_OBJECT_0 + 2) {
      if (TakeArmRequest(oPort)) {
        NotifyWindow(oPort, false);
      }
      continue;
    }
    ::CancelIoEx(hDevice, &ov);
    // A driver that cannot cancel a pending event wait ends it when the mask changes.
    if (::WaitForSingleObject(ov.hEvent, 500) != WAIT_OBJECT_0) {
      ::SetCommMask(hDevice, 0);
    }
    ::GetOverlappedResult(hDevice, &ov, &nDone, TRUE);
    return IoWait::Stop;
  }
  return ::GetOverlappedResult(hDevice, &ov, &nDone, FALSE) ? IoWait::Done : IoWait::Failed;
}

// The line is gone (a removed USB adapter fails the wait, the status query or the read): stop
// reading, let the user-interface thread see the loss (COMMLOST), and use no processor time
// until the port is closed.
void LineLost(CommPort& oPort, HANDLE hStop) {
  oPort.lLost.store(true, std::memory_order_release);
  WAKEWAIT();
  ::WaitForSingleObject(hStop, INFINITE);
}

// The worker's argument is its port record; the record and its device outlive the worker.
DWORD WINAPI ReceiveWorker(LPVOID pArg) {
  CommPort& oPort = *static_cast<CommPort*>(pArg);
  const HANDLE hDevice = oPort.oDevice->hDevice.Get();
  const HANDLE hStop = oPort.oDevice->hStop.Get();
  const HANDLE hArm = oPort.oDevice->hArm.Get();

  UniqueHandle hWaitEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle hReadEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!hWaitEvent.Valid() || !hReadEvent.Valid()) {
    LineLost(oPort, hStop);
    return 1;
  }
  std::array<char, kStagingSize> aStaging{};
  ::SetCommMask(hDevice, EV_RXCHAR);
  // The driver may hold bytes that came before this first wait (a device that speaks as soon
  // as the port opens): setting the mask above forgets the events seen so far, and EV_RXCHAR
  // reports only bytes that arrive later, so the first cycle looks before it waits.
  // Afterwards: the driver held more than the last batch took.
  bool lMoreWaiting = true;
  DWORD nQuietWakes = 0;
  for (;;) {
    if (oPort.oRing.Free() == 0) {
      // Not reading while the ring is full leaves the bytes in the driver's queue instead of
      // overwriting unread ones.
      const RoomWait eWait = WaitForRoom(oPort);
      if (eWait == RoomWait::Closing) {
        return 0;
      }
      if (eWait == RoomWait::Armed) {
        NotifyWindow(oPort, false);
        continue;
      }
    }
    if (!lMoreWaiting) {
      OVERLAPPED ov{};
      ov.hEvent = hWaitEvent.Get();
      ::ResetEvent(ov.hEvent);
      DWORD nMask = 0;
      DWORD nIgnored = 0;
      const BOOL lStarted = ::WaitCommEvent(hDevice, &nMask, &ov);
      const IoWait eWait = FinishIo(oPort, hArm, ov, lStarted, nIgnored);
      if (eWait == IoWait::Stop) {
        return 0;
      }
      if (eWait == IoWait::Failed) {
        LineLost(oPort, hStop);
        return 0;
      }
    }
    DWORD nErrors = 0;
    COMSTAT oStat{};
    if (!::ClearCommError(hDevice, &nErrors, &oStat)) {
      LineLost(oPort, hStop);
      return 0;
    }
    if (oStat.cbInQue == 0 && !lMoreWaiting) {
      // A wait that ended with nothing received (the mask was changed, or a driver that
      // reports no event) must not turn into a spin: back off a little more each time.
      nQuietWakes = std::min<DWORD>(nQuietWakes + 1, 7);
      if (nQuietWakes > 1 && ::WaitForSingleObject(hStop, 1U << nQuietWakes) == WAIT_OBJECT_0) {
        return 0;
      }
    } else {
      nQuietWakes = 0;
    }
    const DWORD nRoom = static_cast<DWORD>(oPort.oRing.Free());
    const DWORD nWant = std::min({oStat.cbInQue, kMaxBatch, nRoom});
    DWORD nRead = 0;
    if (nWant > 0) {
      OVERLAPPED ov{};
      ov.hEvent = hReadEvent.Get();
      ::ResetEvent(ov.hEvent);
      const BOOL lStarted = ::ReadFile(hDevice, aStaging.data(), nWant, nullptr, &ov);
      const IoWait eRead = FinishIo(oPort, nullptr, ov, lStarted, nRead);
      if (eRead == IoWait::Stop) {
        return 0;
      }
      if (eRead == IoWait::Failed) {
        LineLost(oPort, hStop);
        return 0;
      }
      oPort.oRing.Append(aStaging.data(), static_cast<int>(nRead));
    }
    lMoreWaiting = oStat.cbInQue > nRead;
    NotifyWindow(oPort, nRead > 0);
    if (::WaitForSingleObject(hStop, 0) == WAIT_OBJECT_0) {
      return 0;
    }
  }
}

} // namespace
} // namespace detail

std::string COMMDEVICEPATH(std::string_view cDevice) {
  return std::string(cDevice);
}

int OPENCOMM(std::string_view cDevice, int nInQueue, int nOutQueue) {
  using namespace detail;
  const std::string cPath(cDevice);
  auto oClaim = ClaimPort(cPath);
  if (!oClaim) {
    return -1;
  }
  auto oDevice = std::make_unique<CommDevice>();
  oDevice->hClaim = std::move(*oClaim);
  oDevice->hDevice.Reset(::CreateFileA(cPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
  const HANDLE hDevice = oDevice->hDevice.Get();
  // Only serial devices: GetCommState fails on anything else, and image bytes must never end
  // up in a plain file.
  DCB oDcb{};
  oDcb.DCBlength = sizeof oDcb;
  if (hDevice == nullptr || !::GetCommState(hDevice, &oDcb)) {
    return -1;
  }
  KeepLineTiming(*oDevice, oDcb);
  // The outcomes of these three requests are not examined.
  ::SetupComm(hDevice, static_cast<DWORD>(nInQueue & 0xFFFF),
              static_cast<DWORD>(nOutQueue & 0xFFFF));
  ::SetCommMask(hDevice, EV_RXCHAR);
  ::EscapeCommFunction(hDevice, SETDTR);
  oDevice->hStop.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  oDevice->hArm.Reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!oDevice->hStop.Valid() || !oDevice->hArm.Valid()) {
    return -1;
  }

  auto oPort = std::make_shared<CommPort>();
  oPort->nInQueue = nInQueue & 0xFFFF;
  oPort->nOutQueue = nOutQueue & 0xFFFF;
  oPort->oDevice = std::move(oDevice);
  const int nComm = AddPort(oPort);
  if (nComm < 0) {
    return -1;
  }
  oPort->oDevice->hWorker.Reset(::CreateThread(nullptr, 0, ReceiveWorker, oPort.get(), 0, nullptr));
  if (!oPort->oDevice->hWorker.Valid()) {
    RemovePort(nComm);
    return -1;
  }
  return nComm;
}

long WRITECOMM(int nComm, std::string_view cData) {
  using namespace detail;
  const auto oPort = FindPort(nComm);
  if (oPort == nullptr || cData.empty()) {
    return 0;
  }
  const HANDLE hDevice = oPort->oDevice->hDevice.Get();
  UniqueHandle hEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!hEvent.Valid()) {
    return 0;
  }
  OVERLAPPED ov{};
  ov.hEvent = hEvent.Get();
  const DWORD nLength = static_cast<DWORD>(std::min<std::size_t>(cData.size(), MAXDWORD));
  if (!::WriteFile(hDevice, cData.data(), nLength, nullptr, &ov)) {
    if (::GetLastError() != ERROR_IO_PENDING) {
      return 0; // refused at once: no completion will come
    }
    // A line held up for good (flow control from a far end that has gone) must not hold the
    // program for ever: past the bound the rest of the write is cancelled.
    if (::WaitForSingleObject(ov.hEvent, WriteBoundMs(*oPort->oDevice, nLength)) != WAIT_OBJECT_0) {
      ::CancelIoEx(hDevice, &ov);
    }
  }
  DWORD nWritten = 0;
  ::GetOverlappedResult(hDevice, &ov, &nWritten, TRUE);
  return static_cast<long>(nWritten);
}

namespace detail {

bool ConfigureLine(CommDevice& oDevice, const LineSettings& oSettings) {
  const HANDLE hDevice = oDevice.hDevice.Get();
  // The record's line settings go onto the device's own configuration: the fields the record
  // leaves at 0 (DTR control among them, which would drop DTR) keep the driver's values.
  DCB oDcb{};
  oDcb.DCBlength = sizeof oDcb;
  if (!::GetCommState(hDevice, &oDcb)) {
    return false;
  }
  oDcb.BaudRate = oSettings.nBaudRate;
  oDcb.ByteSize = oSettings.nByteSize;
  oDcb.Parity = static_cast<BYTE>(oSettings.eParity);
  oDcb.StopBits = oSettings.nStopBits;
  oDcb.fBinary = TRUE;
  oDcb.fParity = (oSettings.nFlags & kFlagParityCheck) != 0 ? TRUE : FALSE;
  oDcb.fOutxCtsFlow = FALSE;
  oDcb.fOutxDsrFlow = FALSE;
  oDcb.fDtrControl = DTR_CONTROL_ENABLE;
  oDcb.fDsrSensitivity = FALSE;
  oDcb.fOutX = FALSE;
  oDcb.fInX = FALSE;
  oDcb.fNull = FALSE;
  oDcb.fRtsControl = RTS_CONTROL_ENABLE;
  oDcb.fAbortOnError = FALSE;
  if (!::SetCommState(hDevice, &oDcb)) {
    return false;
  }
  KeepLineTiming(oDevice, oDcb);
  return true;
}

std::optional<double> WorkerCpuTime(CommDevice& oDevice) {
  FILETIME oCreated{}, oExited{}, oKernel{}, oUser{};
  if (!::GetThreadTimes(oDevice.hWorker.Get(), &oCreated, &oExited, &oKernel, &oUser)) {
    return std::nullopt;
  }
  const auto lTicks = [](const FILETIME& o) {
    return (static_cast<std::uint64_t>(o.dwHighDateTime) << 32) | o.dwLowDateTime;
  };
  return static_cast<double>(lTicks(oKernel) + lTicks(oUser)) * 100e-9; // 100 ns ticks
}

} // namespace detail

} // namespace veltra::serial
