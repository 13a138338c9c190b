// Message pump over the Qt event loop. The quit request is a posted event to a pump object
// living on the user-interface thread, so it takes its place in the queue behind the events
// posted before it.
#include "serial/message_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace veltra::serial {
namespace {

const QEvent::Type kQuitEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// State of the user-interface thread only.
bool g_lQuitTaken = false;
bool g_lMainLoopRunning = false;
bool g_lWakePending = false;
QEventLoop* g_pWaitLoop = nullptr;

void WakeOnUiThread() {
  if (g_pWaitLoop != nullptr) {
    g_pWaitLoop->quit();
  } else {
    g_lWakePending = true;
  }
}

class PumpObject : public QObject {
public:
  bool event(QEvent* e) override {
    if (e->type() == kQuitEvent) {
      g_lQuitTaken = true;
      // Stop handling further events in this pass: the quit request ends the pass.
      if (g_pWaitLoop != nullptr) {
        g_pWaitLoop->quit();
      }
      return true;
    }
    if (e->type() == kWakeEvent) {
      WakeOnUiThread();
      return true;
    }
    return QObject::event(e);
  }
};

// Created on first use on the user-interface thread and destroyed with the application.
PumpObject* Pump() {
  static QPointer<PumpObject> pPump;
  if (pPump == nullptr) {
    pPump = new PumpObject; // NOLINT: parented to the application below
    pPump->setParent(QCoreApplication::instance());
  }
  return pPump;
}

bool OnUiThread() {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

bool SYSREFRESH() {
  Pump();
  g_lQuitTaken = false;
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  const bool lQuit = g_lQuitTaken;
  g_lQuitTaken = false;
  if (lQuit && g_lMainLoopRunning) {
    QCoreApplication::exit(0);
  }
  return !lQuit;
}

bool SYSWAIT(int nMaxMs) {
  Pump();
  if (!g_lWakePending && g_pWaitLoop == nullptr) {
    QEventLoop oLoop;
    // A periodic precise timer bounds the wait: a coarse single-shot timer may fire before
    // the loop is entered and then never again.
    QTimer oBound;
    oBound.setTimerType(Qt::PreciseTimer);
    oBound.setInterval(nMaxMs > 0 ? nMaxMs : 1);
    QObject::connect(&oBound, &QTimer::timeout, &oLoop, &QEventLoop::quit);
    oBound.start();
    g_pWaitLoop = &oLoop;
    oLoop.exec();
    g_pWaitLoop = nullptr;
    if (g_lQuitTaken) {
      g_lQuitTaken = false;
      if (g_lMainLoopRunning) {
        QCoreApplication::exit(0);
      }
      return false;
    }
  }
  g_lWakePending = false;
  return SYSREFRESH();
}

void WAKEWAIT() {
  if (OnUiThread()) {
    WakeOnUiThread();
  } else if (QCoreApplication::instance() != nullptr) {
    QCoreApplication::postEvent(Pump(), new QEvent(kWakeEvent));
  }
}

void POSTQUITMESSAGE(int /*nExitCode*/) {
  QCoreApplication::postEvent(Pump(), new QEvent(kQuitEvent));
}

void SETMAINLOOPRUNNING(bool lRunning) { g_lMainLoopRunning = lRunning; }

void SLEEP(std::optional<long> nMilliseconds) {
  const long nMs = nMilliseconds.value_or(0);
  if (nMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
  }
}

} // namespace veltra::serial
