// Message pump over the poll loop. As over Qt, the quit request is a flag taken once the
// notifications queued so far have been delivered, and it stops the pass there. State of the
// wait is touched on the user-interface thread only; other threads reach it through the
// thread's doorbell.
#include "serial/message_pump.h"
#include "serial/poll_dispatch.h"
#include "serial/ui_doorbell.h"

#include <atomic>
#include <chrono>

namespace veltra::serial {
namespace {

// Any thread.
std::atomic<bool> g_lQuitPosted{false};
std::atomic<bool> g_lWakeRequested{false};

// User-interface thread only.
bool g_lWakePending = false;
bool g_lWaiting = false;

bool QuitPosted() {
  return g_lQuitPosted.load();
}

bool TakeQuit() {
  // Without windows there is no main loop of the program's to pass the request on to.
  return g_lQuitPosted.exchange(false);
}

} // namespace

namespace detail {

void AnswerWakeRequest() {
  if (g_lWakeRequested.exchange(false)) {
    g_lWakePending = true;
  }
}

} // namespace detail

bool SYSREFRESH() {
  detail::RunReady(0, &QuitPosted);
  return !TakeQuit();
}

bool SYSWAIT(int nMaxMs) {
  using Clock = std::chrono::steady_clock;
  // A wait inside a callback of a wait does not wait again: the outer one goes on after it.
  if (!g_lWakePending && !g_lWaiting && !g_lQuitPosted.load()) {
    g_lWaiting = true;
    const Clock::time_point tEnd =
        Clock::now() + std::chrono::milliseconds(nMaxMs > 0 ? nMaxMs : 1);
    while (!g_lWakePending && !g_lQuitPosted.load()) {
      const auto tLeft = std::chrono::ceil<std::chrono::milliseconds>(tEnd - Clock::now());
      if (tLeft.count() <= 0) {
        break;
      }
      detail::RunReady(static_cast<int>(tLeft.count()), &QuitPosted);
    }
    g_lWaiting = false;
  }
  g_lWakePending = false;
  return SYSREFRESH();
}

void WAKEWAIT() {
  if (detail::OnUiThread()) {
    g_lWakePending = true;
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
