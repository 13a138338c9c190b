// The Qt event that carries a comm notification to a window's receiver object on Linux.
#pragma once

#include "serial/comm_notify.h"

#include <QEvent>
#include <chrono>
#include <memory>

namespace veltra::serial {

namespace detail {
struct PortSignal;
}

// Sent to the receiver of the armed window handle on behalf of a port's receive worker: the
// worker hands the notification to the user-interface thread, which delivers this event
// inside its event handling (SYSREFRESH, SYSWAIT or any running event loop). The worker waits
// until the event is destroyed (right after delivery, or at once when the window no longer
// exists) or until the port closes. Its destruction on the user-interface thread also calls
// WAKEWAIT().
class CommNotifyEvent : public QEvent {
public:
  CommNotifyEvent(int nComm, std::shared_ptr<detail::PortSignal> oSignal,
                  std::chrono::steady_clock::time_point tPosted);
  ~CommNotifyEvent() override;
  CommNotifyEvent(const CommNotifyEvent&) = delete;
  CommNotifyEvent& operator=(const CommNotifyEvent&) = delete;

  static QEvent::Type EventType();
  int nComm() const;
  int nStatus() const; // always CN_RECEIVE
  // When the worker handed the notification over (for latency measurements).
  std::chrono::steady_clock::time_point PostedAt() const;

private:
  int m_nComm;
  std::shared_ptr<detail::PortSignal> m_oSignal;
  std::chrono::steady_clock::time_point m_tPosted;
};

} // namespace veltra::serial
