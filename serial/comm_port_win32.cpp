// Serial ports on Windows: the device opened with CreateFileA for overlapped I/O, its line and
// time-outs saved and set at open and put back at close, the bounded overlapped write that
// waits for the driver's queue to empty, and the receive worker that waits with an overlapped
// WaitCommEvent beside a stop event.
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
// CancelIoEx (after kCancelGraceMs also clearing the event mask, which ends a pending
// WaitCommEvent on a driver that cannot cancel it) and waits for the completion, so no
// OVERLAPPED block is written after it is gone. CLOSECOMM waits for the worker kCloseBoundMs at
// most; a worker still held by its driver then is left to finish on its own, owning a share of
// the port record, so the record and the device (still open, still claimed) go when it ends.
// The worker is never terminated.
#include "serial/comm_port_win32.h"

#include "common/unique_handle_win32.h"
#include "serial/comm_dcb.h"
#include "serial/comm_port.h"
#include "serial/comm_port_record.h"
#include "serial/message_pump.h"
#include "serial/port_list.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>

namespace veltra::serial {
namespace detail {

using common::UniqueHandle;

static_assert(sizeof(DCB) == kDcbLength, "the configuration record is a Win32 DCB");

// How long a worker asked to stop gives its driver to complete a cancelled operation before it
// also clears the event mask; how long CLOSECOMM waits for the worker at most.
constexpr DWORD kCancelGraceMs = 500;
constexpr DWORD kCloseBoundMs = 3 * kCancelGraceMs;

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
  // The line and the time-outs found at open, put back when the device is released.
  bool lSaved = false;
  DCB oSavedDcb{};
  COMMTIMEOUTS oSavedTimeouts{};
  // The worker did not end within kCloseBoundMs: it owns the port record from then on.
  bool lAbandoned = false;

  CommDevice() = default;
  CommDevice(const CommDevice&) = delete;
  CommDevice& operator=(const CommDevice&) = delete;

  void StopWorker() {
    if (hWorker.Valid()) {
      ::SetEvent(hStop.Get());
      lAbandoned = ::WaitForSingleObject(hWorker.Get(), kCloseBoundMs) != WAIT_OBJECT_0;
      hWorker.Reset();
    }
  }

  // Reached once the worker has ended (joined, or it held the last share of the record).
  ~CommDevice() {
    if (lSaved) {
      ::SetCommTimeouts(hDevice.Get(), &oSavedTimeouts);
      ::SetCommState(hDevice.Get(), &oSavedDcb);
    }
  }
};

CommPort::CommPort() = default;

// A record released on any way out (a failed open included) shuts its worker down first.
CommPort::~CommPort() {
  ShutDown(*this);
}

void StopWorker(CommDevice& oDevice) {
  oDevice.StopWorker();
}

// A device whose worker was left running is released with the record's last share.
void CloseDevice(CommPort& oPort) {
  if (oPort.oDevice != nullptr && !oPort.oDevice->lAbandoned) {
    oPort.oDevice.reset();
  }
}

void WakeWorkerForArm(CommPort& oPort) {
  if (oPort.oDevice != nullptr && oPort.oDevice->hArm.Valid()) {
    ::SetEvent(oPort.oDevice->hArm.Get());
  }
}

namespace {

constexpr DWORD kStagingSize = 1024;
constexpr DWORD kMaxBatch = kStagingSize - 1;
constexpr std::string_view kDevicePrefix = "\\\\.\\";

// The errno for a Win32 error code of a failed step.
int ErrnoFromWin32(DWORD nError) {
  switch (nError) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
    return ENOENT;
  case ERROR_ACCESS_DENIED: // a COM port opened by another program
  case ERROR_SHARING_VIOLATION:
  case ERROR_BUSY:
  case ERROR_ALREADY_EXISTS: // the port's name claimed by this process (ClaimPort)
    return EBUSY;
  case ERROR_INVALID_NAME:
  case ERROR_BAD_PATHNAME:
  case ERROR_FILENAME_EXCED_RANGE:
  case ERROR_INVALID_PARAMETER:
    return EINVAL;
  case ERROR_DEV_NOT_EXIST:
  case ERROR_DEVICE_NOT_CONNECTED:
  case ERROR_DEVICE_REMOVED:
  case ERROR_NOT_READY:
    return ENODEV;
  case ERROR_INVALID_FUNCTION: // a device or file that takes no serial-port request
  case ERROR_INVALID_HANDLE:
  case ERROR_NOT_SUPPORTED:
    return ENOTTY;
  case ERROR_TOO_MANY_OPEN_FILES:
    return EMFILE;
  case ERROR_NOT_ENOUGH_MEMORY:
  case ERROR_OUTOFMEMORY:
  case ERROR_NO_SYSTEM_RESOURCES:
    return ENOMEM;
  default:
    return EIO;
  }
}

void KeepLineTiming(CommDevice& oDevice, const DCB& oDcb) {
  oDevice.nBaud = oDcb.BaudRate > 0 ? oDcb.BaudRate : 9600;
  const DWORD nStopX2 = oDcb.StopBits == ONESTOPBIT ? 2 : (oDcb.StopBits == ONE5STOPBITS ? 3 : 4);
  oDevice.nBitsPerByteX2 = 2 * (1 + oDcb.ByteSize + (oDcb.Parity != NOPARITY ? 1 : 0)) + nStopX2;
}

// Every byte passes unchanged and nothing holds the line: no flow control, no character
// replaced or dropped, no abort on a line error, DTR and RTS up. Speed and format stay.
void MakeRawLine(DCB& oDcb) {
  oDcb.fBinary = TRUE;
  oDcb.fOutxCtsFlow = FALSE;
  oDcb.fOutxDsrFlow = FALSE;
  oDcb.fDtrControl = DTR_CONTROL_ENABLE;
  oDcb.fDsrSensitivity = FALSE;
  oDcb.fOutX = FALSE;
  oDcb.fInX = FALSE;
  oDcb.fErrorChar = FALSE;
  oDcb.fNull = FALSE;
  oDcb.fRtsControl = RTS_CONTROL_ENABLE;
  oDcb.fAbortOnError = FALSE;
}

std::uint64_t WireMs(const CommDevice& oDevice, std::size_t nBytes) {
  return (static_cast<std::uint64_t>(nBytes) * oDevice.nBitsPerByteX2 * 1000) /
         (2 * static_cast<std::uint64_t>(oDevice.nBaud));
}

// How long a write of nBytes may take: twice its time on the wire at the line's speed, plus
// two seconds for the driver and the far end.
DWORD WriteBoundMs(const CommDevice& oDevice, std::size_t nBytes) {
  return static_cast<DWORD>(
      std::min<std::uint64_t>(2 * WireMs(oDevice, nBytes) + 2000, INFINITE - 1));
}

// Windows opens a serial device for one handle at a time; some drivers (and Wine) let a second
// open through. A named object per device path keeps a second open of ours from sharing the
// line. ERROR_SUCCESS with hClaim set, ERROR_ALREADY_EXISTS when the path is claimed already, or
// the reason the object could not be made.
DWORD ClaimPort(const std::string& cPath, UniqueHandle& hClaim) {
  std::string cName = "Local\\VeltraPort:";
  for (const char c : cPath) {
    cName += c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  ::SetLastError(ERROR_SUCCESS);
  const HANDLE hMutex = ::CreateMutexA(nullptr, FALSE, cName.c_str());
  const DWORD nError = ::GetLastError();
  if (hMutex == nullptr) {
    return nError;
  }
  UniqueHandle hOwned(hMutex);
  if (nError == ERROR_ALREADY_EXISTS) {
    return nError;
  }
  hClaim = std::move(hOwned);
  return ERROR_SUCCESS;
}

// Bytes the driver still holds for sending; 0 when it cannot tell.
DWORD OutputQueued(HANDLE hDevice) {
  DWORD nErrors = 0;
  COMSTAT oStat{};
  return ::ClearCommError(hDevice, &nErrors, &oStat) ? oStat.cbOutQue : 0;
}

// A write handed to the driver: its OVERLAPPED block, event and a copy of the bytes, all of which
// the driver may use until the write completes.
struct PendingWrite {
  OVERLAPPED ov{};
  UniqueHandle hEvent;
  std::string cData;
};

enum class IoWait { Done, Stop, Failed };

// Waits for an overlapped operation started on the worker's device, or for the stop event.
// On stop, the operation is cancelled and its completion awaited, so that ov may go. Where
// hArm is given, an arm request is taken while the operation stays pending.
IoWait FinishIo(CommPort& oPort, HANDLE hArm, OVERLAPPED& ov, BOOL lStarted, DWORD nStartError,
                DWORD& nDone) {
  const HANDLE hDevice = oPort.oDevice->hDevice.Get();
  const HANDLE hStop = oPort.oDevice->hStop.Get();
  nDone = 0;
  if (!lStarted && nStartError != ERROR_IO_PENDING) {
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
    if (::WaitForSingleObject(ov.hEvent, kCancelGraceMs) != WAIT_OBJECT_0) {
      ::SetCommMask(hDevice, 0);
    }
    // The driver owns ov until the operation completes, so this thread may not go before; the
    // closing thread waits for it only kCloseBoundMs (StopWorker).
    ::WaitForSingleObject(ov.hEvent, INFINITE);
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

DWORD ReceiveLoop(CommPort& oPort) {
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
      const IoWait eWait = FinishIo(oPort, hArm, ov, lStarted, ::GetLastError(), nIgnored);
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
      // The time-outs set at open make a read return at once with what the driver holds.
      OVERLAPPED ov{};
      ov.hEvent = hReadEvent.Get();
      ::ResetEvent(ov.hEvent);
      const BOOL lStarted = ::ReadFile(hDevice, aStaging.data(), nWant, nullptr, &ov);
      const IoWait eRead = FinishIo(oPort, nullptr, ov, lStarted, ::GetLastError(), nRead);
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

// The worker's argument is a share of its port record, so the record and its device outlive
// the worker even when CLOSECOMM stopped waiting for it. Dropping that share is its last act.
DWORD WINAPI ReceiveWorker(LPVOID pArg) {
  const std::unique_ptr<std::shared_ptr<CommPort>> oShare(
      static_cast<std::shared_ptr<CommPort>*>(pArg));
  return ReceiveLoop(**oShare);
}

// COMn (any case, n from 1), or a port that the listing finds under that name.
bool IsSerialPortName(std::string_view cName) {
  const auto SameName = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) ==
                    std::tolower(static_cast<unsigned char>(y));
           });
  };
  if (cName.size() > 3 && SameName(cName.substr(0, 3), "COM") &&
      std::all_of(cName.begin() + 3, cName.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      cName.find_first_not_of('0', 3) != std::string_view::npos) {
    return true;
  }
  const std::vector<PortInfo> aPorts = LISTPORTS();
  return std::any_of(aPorts.begin(), aPorts.end(),
                     [&](const PortInfo& o) { return SameName(o.cName, cName); });
}

} // namespace
} // namespace detail

std::string COMMDEVICEPATH(std::string_view cDevice) {
  using detail::kDevicePrefix;
  while (cDevice.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
    cDevice.remove_prefix(kDevicePrefix.size());
  }
  return cDevice.empty() ? std::string() : std::string(kDevicePrefix) + std::string(cDevice);
}

int detail::OpenDevice(const std::string& cPath, int nInQueue, int nOutQueue) {
  // Every failure returns through here with its reason taken right at the failing call;
  // releasing the device puts back what was saved of the line.
  std::unique_ptr<CommDevice> oDevice;
  const auto Fail = [&](int nErrno) {
    oDevice.reset();
    errno = nErrno;
    return -1;
  };
  // Only serial ports are ever opened: a device that acts on its open, or a file, is refused
  // before CreateFileA could touch it. A port is COMn or a name the port listing finds.
  if (!IsSerialPortName(cPath.substr(kDevicePrefix.size()))) {
    return Fail(ENOTTY);
  }
  oDevice = std::make_unique<CommDevice>();
  if (const DWORD nError = ClaimPort(cPath, oDevice->hClaim); nError != ERROR_SUCCESS) {
    return Fail(ErrnoFromWin32(nError));
  }
  const HANDLE hOpened =
      ::CreateFileA(cPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hOpened == INVALID_HANDLE_VALUE) {
    return Fail(ErrnoFromWin32(::GetLastError()));
  }
  oDevice->hDevice.Reset(hOpened);
  // Only serial devices: GetCommState fails on anything else (ENOTTY), and image bytes must
  // never end up in a plain file.
  DCB& oSaved = oDevice->oSavedDcb;
  oSaved.DCBlength = sizeof oSaved;
  if (!::GetCommState(hOpened, &oSaved) || !::GetCommTimeouts(hOpened, &oDevice->oSavedTimeouts)) {
    return Fail(ErrnoFromWin32(::GetLastError()));
  }
  oDevice->lSaved = true;
  KeepLineTiming(*oDevice, oSaved);
  // The port keeps the time-outs of the last program that used it. Reads return at once with
  // what has come; writes get no driver time-out, since WRITECOMM bounds itself.
  COMMTIMEOUTS oTimeouts{};
  oTimeouts.ReadIntervalTimeout = MAXDWORD;
  DCB oRaw = oSaved;
  MakeRawLine(oRaw);
  // The driver's queue sizes are a recommendation the driver may refuse (virtual ports do):
  // the transfer runs the same with its own, so a refusal leaves the port usable.
  static_cast<void>(::SetupComm(hOpened, static_cast<DWORD>(nInQueue & 0xFFFF),
                                static_cast<DWORD>(nOutQueue & 0xFFFF)));
  // Each call's own failure is what GetLastError() tells right after the chain stops. Without
  // the event mask nothing would ever be received, so it is checked.
  if (!::SetCommState(hOpened, &oRaw) || !::SetCommTimeouts(hOpened, &oTimeouts) ||
      !::SetCommMask(hOpened, EV_RXCHAR)) {
    return Fail(ErrnoFromWin32(::GetLastError()));
  }
  // The transfer needs no DTR: a line without modem control (a three-wire cable's driver, a
  // virtual port) refuses it and still carries the disk.
  static_cast<void>(::EscapeCommFunction(hOpened, SETDTR));
  oDevice->hStop.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!oDevice->hStop.Valid()) {
    return Fail(ErrnoFromWin32(::GetLastError()));
  }
  oDevice->hArm.Reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!oDevice->hArm.Valid()) {
    return Fail(ErrnoFromWin32(::GetLastError()));
  }

  auto oPort = std::make_shared<CommPort>();
  oPort->oDevice = std::move(oDevice);
  if (!AddOpenedPort(oPort)) {
    return -1;
  }
  const int nComm = oPort->nComm;
  auto oShare = std::make_unique<std::shared_ptr<CommPort>>(oPort);
  oPort->oDevice->hWorker.Reset(
      ::CreateThread(nullptr, 0, ReceiveWorker, oShare.get(), 0, nullptr));
  if (!oPort->oDevice->hWorker.Valid()) {
    RemovePort(nComm);
    return Fail(EAGAIN);
  }
  static_cast<void>(oShare.release()); // the worker owns it now
  return nComm;
}

long WRITECOMM(int nComm, std::string_view cData) {
  using namespace detail;
  const auto oPort = FindPort(nComm);
  if (oPort == nullptr || cData.empty()) {
    return 0;
  }
  const CommDevice& oDevice = *oPort->oDevice;
  const HANDLE hDevice = oDevice.hDevice.Get();
  const DWORD nLength = static_cast<DWORD>(std::min<std::size_t>(cData.size(), MAXDWORD));
  const ULONGLONG tGiveUp = ::GetTickCount64() + WriteBoundMs(oDevice, nLength);
  const auto RemainingMs = [&] {
    const ULONGLONG tNow = ::GetTickCount64();
    return tNow >= tGiveUp ? DWORD{0} : static_cast<DWORD>(tGiveUp - tNow);
  };
  auto oWrite = std::make_unique<PendingWrite>();
  oWrite->hEvent.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!oWrite->hEvent.Valid()) {
    return 0;
  }
  oWrite->ov.hEvent = oWrite->hEvent.Get();
  oWrite->cData.assign(cData.substr(0, nLength));
  // Past the bound (a line held up for good, a stalled adapter) the write is given up: what the
  // driver still holds is discarded, so nothing stale goes out later, and the count is of what
  // had left it.
  const auto GiveUp = [&](DWORD nTaken) {
    const DWORD nQueued = OutputQueued(hDevice);
    ::PurgeComm(hDevice, PURGE_TXABORT | PURGE_TXCLEAR);
    return static_cast<long>(nTaken - std::min(nTaken, nQueued));
  };
  DWORD nWritten = 0;
  if (!::WriteFile(hDevice, oWrite->cData.data(), nLength, nullptr, &oWrite->ov)) {
    if (::GetLastError() != ERROR_IO_PENDING) {
      return 0; // refused at once: no completion will come
    }
    if (::WaitForSingleObject(oWrite->ov.hEvent, RemainingMs()) != WAIT_OBJECT_0) {
      ::CancelIoEx(hDevice, &oWrite->ov);
      if (::WaitForSingleObject(oWrite->ov.hEvent, kCancelGraceMs) != WAIT_OBJECT_0) {
        ::PurgeComm(hDevice, PURGE_TXABORT | PURGE_TXCLEAR);
      }
      if (::WaitForSingleObject(oWrite->ov.hEvent, kCancelGraceMs) != WAIT_OBJECT_0) {
        // The driver still owns the block and the bytes: they stay allocated for good, and
        // how much left is unknown.
        static_cast<void>(oWrite.release());
        return 0;
      }
      ::GetOverlappedResult(hDevice, &oWrite->ov, &nWritten, FALSE);
      return GiveUp(nWritten);
    }
  }
  if (!::GetOverlappedResult(hDevice, &oWrite->ov, &nWritten, FALSE)) {
    return GiveUp(nWritten); // the device failed the write (gone, or purged by another call)
  }
  // Returns once the bytes have left the driver's queue, so a pause after the write is measured
  // from the end of the transmission (within the bound: a stalled line never empties it).
  for (DWORD nQueued = OutputQueued(hDevice); nQueued > 0; nQueued = OutputQueued(hDevice)) {
    if (RemainingMs() == 0) {
      return GiveUp(nWritten);
    }
    ::Sleep(static_cast<DWORD>(std::clamp<std::uint64_t>(WireMs(oDevice, nQueued), 1, 20)));
  }
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
  MakeRawLine(oDcb);
  oDcb.fParity = (oSettings.nFlags & kFlagParityCheck) != 0 ? TRUE : FALSE;
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

HANDLE DeviceHandle(int nComm) {
  const auto oPort = FindPort(nComm);
  return oPort == nullptr ? nullptr : oPort->oDevice->hDevice.Get();
}

} // namespace detail

} // namespace veltra::serial
