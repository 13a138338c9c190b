// The platform-free part of the port layer: the handle table, reading from the ring, and the
// hand-over of notifications between a port's receive worker and the user-interface thread.
#include "serial/comm_port.h"

#include "serial/comm_notify.h"
#include "serial/comm_port_record.h"
#include "serial/ui_doorbell.h"

#include <climits>
#include <map>
#include <mutex>

namespace veltra::serial {
namespace detail {
namespace {

std::mutex g_tableMutex;
std::map<int, std::shared_ptr<CommPort>> g_ports;
int g_nNextHandle = 0;

} // namespace

int AddPort(const std::shared_ptr<CommPort>& oPort) {
  std::lock_guard oLock(g_tableMutex);
  if (g_nNextHandle == INT_MAX) {
    return -1;
  }
  oPort->nComm = g_nNextHandle++;
  g_ports.emplace(oPort->nComm, oPort);
  return oPort->nComm;
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

bool NotifyWindow(CommPort& oPort) {
  const int hWnd = oPort.hNotifyWnd.load(std::memory_order_acquire);
  if (hWnd == 0) {
    return false;
  }
  PortSignal& oSignal = *oPort.oSignal;
  std::unique_lock oLock(oSignal.mutex);
  if (oSignal.lClosing) {
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
  return oSignal.lTold;
}

RoomWait WaitForRoom(CommPort& oPort, bool lAnnounced, unsigned& nSeenArm) {
  PortSignal& oSignal = *oPort.oSignal;
  std::unique_lock oLock(oSignal.mutex);
  oSignal.lWaitingForRoom.store(true);
  oSignal.cvChanged.wait(oLock, [&] {
    return oSignal.lClosing || oPort.oRing.Free() > 0 ||
           (!lAnnounced && oSignal.nArmCount != nSeenArm &&
            oPort.hNotifyWnd.load(std::memory_order_acquire) != 0);
  });
  oSignal.lWaitingForRoom.store(false);
  if (oSignal.lClosing) {
    return RoomWait::Closing;
  }
  if (oPort.oRing.Free() > 0) {
    return RoomWait::Room;
  }
  nSeenArm = oSignal.nArmCount;
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

} // namespace detail

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
  std::lock_guard oLock(oSignal.mutex);
  oPort->hNotifyWnd.store(hWnd, std::memory_order_release);
  if (hWnd != 0) {
    ++oSignal.nArmCount;
    // A worker held up by a full ring of bytes no window was told about must now tell one.
    if (oSignal.lWaitingForRoom.load()) {
      oSignal.cvChanged.notify_all();
    }
  }
  return true;
}

std::optional<std::pair<int, int>> COMMQUEUESIZES(int nComm) {
  const auto oPort = detail::FindPort(nComm);
  if (oPort == nullptr) {
    return std::nullopt;
  }
  return std::pair{oPort->nInQueue, oPort->nOutQueue};
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
