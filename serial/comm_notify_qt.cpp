// The comm-notify event and its delivery on Linux: the user-interface thread builds the event
// for each queued notification and delivers it to the window. So the event never crosses
// threads, and destroying it is what releases the worker.
#include "serial/comm_notify_qt.h"

#include "serial/message_pump.h"
#include "serial/port_signal.h"
#include "serial/ui_doorbell.h"
#include "serial/window_registry_qt.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace veltra::serial {
namespace detail {

void DeliverCommNotifications() {
  while (auto oPending = TakeCommNotification()) {
    PendingNotification& oNext = *oPending;
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
