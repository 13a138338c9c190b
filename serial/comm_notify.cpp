// The comm-notify event and its hand-over: a worker queues a notification and rings the
// user-interface thread; that thread builds the event and delivers it to the window. So the
// event never crosses threads, and destroying it is what releases the worker.
#include "serial/comm_notify.h"

#include "serial/message_pump.h"
#include "serial/port_signal.h"
#include "serial/ui_doorbell.h"
#include "serial/window_registry.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace veltra::serial {
namespace detail {
namespace {

struct PendingNotification {
  int hWnd;
  int nComm;
  std::shared_ptr<PortSignal> oSignal;
  std::chrono::steady_clock::time_point tQueued;
};

std::mutex g_queueMutex;
// At most one entry per open port: a worker waits until its notification is handled.
std::vector<PendingNotification> g_aQueue;

} // namespace

void QueueCommNotification(int hWnd, int nComm, std::shared_ptr<PortSignal> oSignal) {
  std::lock_guard oLock(g_queueMutex);
  g_aQueue.push_back({hWnd, nComm, std::move(oSignal), std::chrono::steady_clock::now()});
}

void DropCommNotifications(const PortSignal& oSignal) {
  std::lock_guard oLock(g_queueMutex);
  std::erase_if(g_aQueue, [&](const auto& o) { return o.oSignal.get() == &oSignal; });
}

void DeliverCommNotifications() {
  for (;;) {
    PendingNotification oNext;
    {
      std::lock_guard oLock(g_queueMutex);
      if (g_aQueue.empty()) {
        return;
      }
      oNext = std::move(g_aQueue.front());
      g_aQueue.erase(g_aQueue.begin());
    }
    CommNotifyEvent oEvent(oNext.nComm, oNext.oSignal, oNext.tQueued);
    const bool lTold = SENDTOWINDOW(oNext.hWnd, oEvent);
    std::lock_guard oLock(oNext.oSignal->mutex);
    oNext.oSignal->lTold = lTold;
  } // each event is destroyed at the end of its round, which lets its worker go on
}

} // namespace detail

CommNotifyEvent::CommNotifyEvent(int nComm, std::shared_ptr<detail::PortSignal> oSignal,
                                 std::chrono::steady_clock::time_point tPosted)
    : QEvent(EventType()), m_nComm(nComm), m_oSignal(std::move(oSignal)), m_tPosted(tPosted) {}

CommNotifyEvent::~CommNotifyEvent() {
  if (m_oSignal != nullptr) {
    m_oSignal->NotificationDone();
  }
  // A wait of the transfer loop has something to look at.
  if (detail::OnUiThread()) {
    WAKEWAIT();
  }
}

QEvent::Type CommNotifyEvent::EventType() {
  static const auto nType = static_cast<QEvent::Type>(QEvent::registerEventType());
  return nType;
}

int CommNotifyEvent::nComm() const {
  return m_nComm;
}

int CommNotifyEvent::nStatus() const {
  return CN_RECEIVE;
}

std::chrono::steady_clock::time_point CommNotifyEvent::PostedAt() const {
  return m_tPosted;
}

} // namespace veltra::serial
