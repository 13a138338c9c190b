// Message pump over the Qt event loop. The quit request is a flag, not a queued event (as
// WM_QUIT is on Win32): it is taken once the events posted so far have been handled, and it
// stops the pass there. State of the wait is touched on the user-interface thread only;
// other threads reach it through the thread's doorbell (ui_doorbell_eventfd.cpp, with WAKEWAIT
// and POSTQUITMESSAGE).
#include "serial/message_pump.h"
#include "serial/message_pump_state.h"
#include "serial/ui_doorbell.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace veltra::serial {
namespace {

// User-interface thread only.
bool g_lWakePending = false;
QEventLoop* g_pWaitLoop = nullptr;

bool TakeQuit() {
  if (!detail::TakeQuitPosted()) {
    return false;
  }
  if (detail::MainLoopRunning()) {
    QCoreApplication::exit(0);
  }
  return true;
}

} // namespace

namespace detail {

void WakeOnUiThread() {
  if (g_pWaitLoop != nullptr) {
    g_pWaitLoop->quit();
  } else {
    g_lWakePending = true;
  }
}

} // namespace detail

bool SYSREFRESH() {
  detail::PrepareUiThread();
  QCoreApplication::sendPostedEvents();
  if (TakeQuit()) {
    return false;
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return !TakeQuit();
}

bool SYSWAIT(int nMaxMs) {
  detail::PrepareUiThread();
  if (!g_lWakePending && g_pWaitLoop == nullptr && !detail::QuitPosted()) {
    QEventLoop oLoop;
    // A periodic precise timer bounds the wait: a single-shot coarse timer may fire early,
    // be handled elsewhere, and leave the loop waiting for ever.
    QTimer oBound;
    oBound.setTimerType(Qt::PreciseTimer);
    oBound.setInterval(nMaxMs > 0 ? nMaxMs : 1);
    QObject::connect(&oBound, &QTimer::timeout, &oLoop, &QEventLoop::quit);
    oBound.start();
    g_pWaitLoop = &oLoop;
    oLoop.exec();
    g_pWaitLoop = nullptr;
  }
  g_lWakePending = false;
  return SYSREFRESH();
}

} // namespace veltra::serial
