// Comm notification delivery for the poll loop: the user-interface thread takes each queued
// notification and calls the receiver that the handle names. The worker is released once the
// call has returned (or at once when the handle names no receiver).
#include "serial/comm_notify.h"
#include "serial/event_loop.h"
#include "serial/message_pump.h"
#include "serial/port_signal.h"
#include "serial/ui_doorbell.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace veltra::serial {
namespace {

using Notify = std::function<void(int, int)>;

std::mutex g_mutex;
std::map<int, std::shared_ptr<const Notify>> g_receivers;
int g_nNext = 1;

std::shared_ptr<const Notify> FindReceiver(int hWnd) {
  std::lock_guard oLock(g_mutex);
  const auto it = g_receivers.find(hWnd);
  return it == g_receivers.end() ? nullptr : it->second;
}

// Lets the worker go on when the round of its notification ends, however it ended.
struct Release {
  std::shared_ptr<detail::PortSignal> oSignal;
  ~Release() {
    oSignal->NotificationDone();
    WAKEWAIT(); // a wait of the transfer loop has something to look at
  }
};

} // namespace

int REGISTERRECEIVER(std::function<void(int nComm, int nStatus)> bNotify) {
  std::lock_guard oLock(g_mutex);
  const int hWnd = g_nNext++;
  g_receivers.emplace(hWnd, std::make_shared<const Notify>(std::move(bNotify)));
  return hWnd;
}

void UNREGISTERRECEIVER(int hWnd) {
  std::lock_guard oLock(g_mutex);
  g_receivers.erase(hWnd);
}

namespace detail {

void DeliverCommNotifications() {
  while (auto oPending = TakeCommNotification()) {
    const Release oRelease{oPending->oSignal};
    // Called outside the lock: the receiver may register or unregister receivers.
    const auto bNotify = oPending->hWnd == 0 ? nullptr : FindReceiver(oPending->hWnd);
    if (bNotify != nullptr) {
      (*bNotify)(oPending->nComm, CN_RECEIVE);
    }
    std::lock_guard oLock(oPending->oSignal->mutex);
    oPending->oSignal->lTold = bNotify != nullptr;
  }
}

} // namespace detail
} // namespace veltra::serial
