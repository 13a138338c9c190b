// Message pump over the poll loop. As over Qt, the quit request is a flag taken once the
// notifications queued so far have been delivered, and it stops the pass there. State of the
// wait is touched on the user-interface thread only; other threads reach it through the
// thread's doorbell (ui_doorbell_eventfd.cpp, with WAKEWAIT and POSTQUITMESSAGE).
#include "serial/message_pump.h"
#include "serial/poll_dispatch.h"
#include "serial/ui_doorbell.h"

#include <chrono>

namespace veltra::serial {
namespace {

// User-interface thread only.
bool g_lWakePending = false;
bool g_lWaiting = false;

} // namespace

namespace detail {

void WakeOnUiThread() {
  g_lWakePending = true;
}

} // namespace detail

bool SYSREFRESH() {
  detail::RunReady(0, &detail::QuitPosted);
  // Without windows there is no main loop of the program's to pass the request on to.
  return !detail::TakeQuitPosted();
}

bool SYSWAIT(int nMaxMs) {
  using Clock = std::chrono::steady_clock;
  // A wait inside a callback of a wait does not wait again: the outer one goes on after it.
  if (!g_lWakePending && !g_lWaiting && !detail::QuitPosted()) {
    g_lWaiting = true;
    const Clock::time_point tEnd =
        Clock::now() + std::chrono::milliseconds(nMaxMs > 0 ? nMaxMs : 1);
    while (!g_lWakePending && !detail::QuitPosted()) {
      const auto tLeft = std::chrono::ceil<std::chrono::milliseconds>(tEnd - Clock::now());
      if (tLeft.count() <= 0) {
        break;
      }
      detail::RunReady(static_cast<int>(tLeft.count()), &detail::QuitPosted);
    }
    g_lWaiting = false;
  }
  g_lWakePending = false;
  return SYSREFRESH();
}

} // namespace veltra::serial
