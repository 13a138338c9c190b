// The queue of comm notifications between the receive workers and the user-interface thread:
// a worker queues its notification and rings the thread; the thread takes them one by one
// and delivers each to its window.
#include "serial/port_signal.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace veltra::serial::detail {
namespace {

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

std::optional<PendingNotification> TakeCommNotification() {
  std::lock_guard oLock(g_queueMutex);
  if (g_aQueue.empty()) {
    return std::nullopt;
  }
  PendingNotification oNext = std::move(g_aQueue.front());
  g_aQueue.erase(g_aQueue.begin());
  return oNext;
}

} // namespace veltra::serial::detail
