// The platform-free part of the port layer: the handle table, closing, reading from the ring,
// the hand-over of notifications between a port's receive worker and the user-interface
// thread, and the steps of the calls on a handle that come before the device's own work.
#include "serial/comm_port.h"

#include "serial/comm_dcb.h"
#include "serial/comm_notify.h"
#include "serial/comm_port_record.h"
#include "serial/comm_port_testing.h"
#include "serial/ui_doorbell.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace veltra::serial {
namespace detail {
namespace {

std::mutex g_tableMutex;
std::map<int, std::shared_ptr<CommPort>> g_ports;
int g_nNextHandle = 0;

// A process that ends without closing its ports (a return from main, exit() called by a
// library) still ends each worker in order and puts each line back. Registered after the
// table was built, this runs before the table and the notification queue are destroyed.
void CloseEveryPortAtExit() {
  CLOSEALLCOMM();
}

} // namespace

int AddPort(const std::shared_ptr<CommPort>& oPort) {
  static const bool lExitHook = std::atexit(CloseEveryPortAtExit) == 0;
  (void)lExitHook;
  std::lock_guard oLock(g_tableMutex);
  if (g_nNextHandle == INT_MAX) {
    errno = EMFILE;
    return -1;
  }
  oPort->nComm = g_nNextHandle++;
  g_ports.emplace(oPort->nComm, oPort);
  return oPort->nComm;
}

bool AddOpenedPort(std::shared_ptr<CommPort>& oPort) {
  if (AddPort(oPort) >= 0) {
    return true;
  }
  oPort.reset(); // the record's release puts the line back; errno is set after it
  errno = EMFILE;
  return false;
}

std::shared_ptr<CommPort> FindPort(int nComm) {
  std::lock_guard oLock(g_tableMutex);
  const auto it = g_ports.find(nComm);
  return it == g_ports.end() ? nullptr : it->second;
}

std::shared_ptr<CommPort> RemovePort(int nComm) {
  std::lock_guard oLock(g_tableMutex);
  const auto it = g_ports.find(nComm);
  if (it == g_ports.end()) {
    return nullptr;
  }
  auto oPort = std::move(it->second);
  g_ports.erase(it);
  return oPort;
}

bool NotifyWindow(CommPort& oPort, bool lNewBytes) {
  PortSignal& oSignal = *oPort.oSignal;
  std::unique_lock oLock(oSignal.mutex);
  for (;;) {
    // The window is read under the mutex that ENABLECOMMNOTIFICATION stores it under: an arm
    // either comes before (and is told here) or sees the bytes marked unannounced (and asks
    // for them to be announced).
    const int hWnd = oPort.hNotifyWnd.load(std::memory_order_acquire);
    if (hWnd == 0 || oSignal.lClosing) {
      oSignal.lUnannounced = oSignal.lUnannounced || lNewBytes;
      return false;
    }
    oSignal.lNotifyPending = true;
    oSignal.lTold = false;
    // Queued under the port's lock, so that a close either sees it queued (and drops it) or
    // has been seen here.
    QueueCommNotification(hWnd, oPort.nComm, oPort.oSignal);
    oLock.unlock();
    RingUiThread();
    oLock.lock();
    // The close cancels this wait: CLOSECOMM runs on the thread that would handle the
    // notification, so waiting for the handling there would never end.
    oSignal.cvChanged.wait(oLock, [&] { return !oSignal.lNotifyPending || oSignal.lClosing; });
    if (oSignal.lTold) {
      // Everything in the ring has now been announced; an arm made by the callback asks for
      // nothing more.
      oSignal.lUnannounced = false;
      oSignal.lArmPending = false;
      return true;
    }
    // The window had gone. Another one armed meanwhile saw no unannounced bytes (they were
    // being announced), so it is told now; otherwise the bytes wait for the next arm.
    const int hArmed = oPort.hNotifyWnd.load(std::memory_order_acquire);
    if (hArmed == hWnd || hArmed == 0 || oSignal.lClosing) {
      oSignal.lUnannounced = oSignal.lUnannounced || lNewBytes;
      return false;
    }
  }
}

bool TakeArmRequest(CommPort& oPort) {
  PortSignal& oSignal = *oPort.oSignal;
  std::lock_guard oLock(oSignal.mutex);
  return std::exchange(oSignal.lArmPending, false) && oSignal.lUnannounced;
}

RoomWait WaitForRoom(CommPort& oPort) {
  PortSignal& oSignal = *oPort.oSignal;
  std::unique_lock oLock(oSignal.mutex);
  oSignal.lWaitingForRoom.store(true);
  oSignal.cvChanged.wait(
      oLock, [&] { return oSignal.lClosing || oPort.oRing.Free() > 0 || oSignal.lArmPending; });
  oSignal.lWaitingForRoom.store(false);
  if (oSignal.lClosing) {
    return RoomWait::Closing;
  }
  if (oPort.oRing.Free() > 0) {
    return RoomWait::Room;
  }
  oSignal.lArmPending = false;
  return RoomWait::Armed;
}

void SignalClosing(CommPort& oPort) {
  {
    std::lock_guard oLock(oPort.oSignal->mutex);
    oPort.oSignal->lClosing = true;
  }
  oPort.oSignal->cvChanged.notify_all();
  DropCommNotifications(*oPort.oSignal);
}

void ShutDown(CommPort& oPort) {
  // Cancels a wait for a notification to be handled (the closing thread would handle it)
  // and a wait for room; the stop event then ends a wait on the device. The worker is
  // joined, never killed.
  SignalClosing(oPort);
  if (oPort.oDevice != nullptr) {
    StopWorker(*oPort.oDevice);
  }
}

} // namespace detail

int OPENCOMM(std::string_view cDevice, int nInQueue, int nOutQueue) {
  if (cDevice.find('\0') != std::string_view::npos) {
    errno = EINVAL; // the system would open only the part before the NUL
    return -1;
  }
  const std::string cPath = COMMDEVICEPATH(cDevice);
  if (cPath.empty()) {
    errno = ENOENT;
    return -1;
  }
  return detail::OpenDevice(cPath, nInQueue, nOutQueue);
}

int READCOMM(int nComm, std::string& cBuffer) {
  if (cBuffer.empty()) {
    return 0;
  }
  const auto oPort = detail::FindPort(nComm);
  if (oPort == nullptr) {
    return 0;
  }
  const int nMax = static_cast<int>(std::min<std::size_t>(cBuffer.size(), INT_MAX));
  const int nCount = oPort->oRing.Take(cBuffer.data(), nMax);
  // Only a worker held up by a full ring needs waking; otherwise this stays free of locks
  // and system calls.
  if (nCount > 0 && oPort->oSignal->lWaitingForRoom.load()) {
    oPort->oSignal->WakeWorker();
  }
  return nCount;
}

bool ENABLECOMMNOTIFICATION(int nComm, int hWnd, int /*nInTrigger*/, int /*nOutTrigger*/) {
  const auto oPort = detail::FindPort(nComm);
  if (oPort == nullptr) {
    return false;
  }
  detail::PrepareUiThread();
  detail::PortSignal& oSignal = *oPort->oSignal;
  bool lWakeWorker = false;
  {
    std::lock_guard oLock(oSignal.mutex);
    oPort->hNotifyWnd.store(hWnd, std::memory_order_release);
    // Bytes that came while notification was off must be announced now: a device that sent
    // one command and waits for the answer would otherwise wait for ever.
    if (hWnd != 0 && oSignal.lUnannounced && !oSignal.lArmPending) {
      oSignal.lArmPending = true;
      lWakeWorker = true;
      if (oSignal.lWaitingForRoom.load()) {
        oSignal.cvChanged.notify_all();
      }
    }
  }
  if (lWakeWorker) {
    detail::WakeWorkerForArm(*oPort);
  }
  return true;
}

bool CLOSECOMM(int nComm) {
  const auto oPort = detail::RemovePort(nComm);
  if (oPort == nullptr) {
    return false;
  }
  detail::ShutDown(*oPort);
  detail::CloseDevice(*oPort);
  return true;
}

bool SETCOMMSTATE(int nComm, std::string_view cDcb) {
  const auto oSettings = detail::DecodeDcb(cDcb);
  const auto oPort = detail::FindPort(nComm);
  if (!oSettings || oPort == nullptr) {
    return false;
  }
  return detail::ConfigureLine(*oPort->oDevice, *oSettings);
}

std::optional<double> COMMWORKERCPUTIME(int nComm) {
  const auto oPort = detail::FindPort(nComm);
  if (oPort == nullptr) {
    return std::nullopt;
  }
  return detail::WorkerCpuTime(*oPort->oDevice);
}

void CLOSEALLCOMM() {
  std::vector<int> aHandles;
  {
    std::lock_guard oLock(detail::g_tableMutex);
    for (const auto& [nComm, oPort] : detail::g_ports) {
      aHandles.push_back(nComm);
    }
  }
  for (const int nComm : aHandles) {
    CLOSECOMM(nComm);
  }
}

bool COMMLOST(int nComm) {
  const auto oPort = detail::FindPort(nComm);
  return oPort != nullptr && oPort->lLost.load(std::memory_order_acquire) &&
         oPort->oRing.Used() == 0;
}

int COMMRECEIVED(int nComm) {
  const auto oPort = detail::FindPort(nComm);
  return oPort == nullptr ? -1 : oPort->oRing.Used();
}

} // namespace veltra::serial
