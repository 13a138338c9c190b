// The user-interface thread's doorbell on Linux, the same for the Qt loop and the poll loop:
// one eventfd for the process, rung by any thread, and the two requests besides comm
// notifications that reach the thread through it, WAKEWAIT and POSTQUITMESSAGE. Each loop
// watches the eventfd in its own way (ui_doorbell_qt.cpp, ui_doorbell_poll.cpp) and ends its
// own wait (WakeOnUiThread in message_pump_qt.cpp, message_pump_poll.cpp).
#include "serial/message_pump.h"
#include "serial/ui_doorbell.h"

#include <atomic>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltra::serial {
namespace {

// Any thread.
std::atomic<bool> g_lQuitPosted{false};
std::atomic<bool> g_lWakeRequested{false};

} // namespace

namespace detail {

// Created once and kept for the life of the process, so a worker can always ring.
int DoorbellFd() {
  static const int nFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return nFd;
}

void RingUiThread() {
  const std::uint64_t nOne = 1;
  [[maybe_unused]] const ssize_t nWritten = ::write(DoorbellFd(), &nOne, sizeof nOne);
}

void AnswerDoorbell() {
  std::uint64_t nCount = 0;
  // Cleared before the answers run: a ring during them is answered again, never lost.
  [[maybe_unused]] const ssize_t nRead = ::read(DoorbellFd(), &nCount, sizeof nCount);
  DeliverCommNotifications();
  if (g_lWakeRequested.exchange(false)) {
    WakeOnUiThread();
  }
}

bool QuitPosted() {
  return g_lQuitPosted.load();
}

bool TakeQuitPosted() {
  return g_lQuitPosted.exchange(false);
}

} // namespace detail

void WAKEWAIT() {
  if (detail::OnUiThread()) {
    detail::WakeOnUiThread();
  } else {
    g_lWakeRequested.store(true);
    detail::RingUiThread();
  }
}

void POSTQUITMESSAGE(int /*nExitCode*/) {
  g_lQuitPosted.store(true);
  WAKEWAIT();
}

} // namespace veltra::serial
