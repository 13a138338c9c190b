// What a port's receive worker waits on besides the device: its notification being handled,
// room in the ring, notification being armed, and the port closing. One mutex and one
// condition variable per port; the record is shared with notifications still in flight, so
// an event handled after its port was closed touches nothing that has been freed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace veltra::serial::detail {

struct PortSignal {
  std::mutex mutex;
  std::condition_variable cvChanged;
  // Guarded by mutex.
  bool lClosing = false;       // set once by CLOSECOMM; every wait of the worker ends on it
  bool lNotifyPending = false; // a queued notification has not yet been handled or dropped
  bool lTold = false;          // the last notification reached a window
  unsigned nArmCount = 0;      // counts ENABLECOMMNOTIFICATION calls that name a window
  // Set by the worker while it waits for room in a full ring, so that READCOMM knows it has
  // to wake it (and takes the mutex only then).
  std::atomic<bool> lWaitingForRoom{false};

  // Called when a notification is destroyed: after delivery, or undelivered.
  void NotificationDone() {
    {
      std::lock_guard oLock(mutex);
      lNotifyPending = false;
    }
    cvChanged.notify_all();
  }

  void WakeWorker() {
    std::lock_guard oLock(mutex);
    cvChanged.notify_all();
  }
};

// Worker side: queues a comm notification for the window hWnd; once the user-interface thread
// has been rung, it delivers it (or drops it when hWnd is no window) inside its event handling.
void QueueCommNotification(int hWnd, int nComm, std::shared_ptr<PortSignal> oSignal);

// Forgets the notifications of a port being closed that have not been delivered yet.
void DropCommNotifications(const PortSignal& oSignal);

struct PendingNotification {
  int hWnd;
  int nComm;
  std::shared_ptr<PortSignal> oSignal;
  std::chrono::steady_clock::time_point tQueued;
};

// User-interface side: the oldest queued notification, taken off the queue.
std::optional<PendingNotification> TakeCommNotification();

} // namespace veltra::serial::detail
