// Helpers for the widget suites: bounded waits, and answering modal windows from a timer.
#pragma once

#include "ui/dialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

namespace veltra::ui::test {

// Handles events until fDone() holds or nMs have passed; returns fDone().
inline bool WaitFor(const std::function<bool()>& fDone, int nMs = 5000) {
  QElapsedTimer oClock;
  oClock.start();
  while (!fDone() && oClock.elapsed() < nMs) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return fDone();
}

// Acts once on the first modal widget of type T that shows up (checked every 10 ms, for
// 5 s at most). If it is still open 5 s after fAct, it is closed and the test fails, so a
// broken build fails instead of hanging.
template <class T> void WhenModal(std::function<void(T*)> fAct) {
  struct State {
    int nTicks = 0;
    bool lActed = false;
    QPointer<T> pActed;
  };
  auto* pTimer = new QTimer(qApp); // NOLINT: deletes itself, or goes with the application
  auto pState = std::make_shared<State>();
  QObject::connect(pTimer, &QTimer::timeout, [pTimer, pState, fAct] {
    State& o = *pState;
    ++o.nTicks;
    if (!o.lActed && o.nTicks < 500) {
      if (T* pModal = qobject_cast<T*>(QApplication::activeModalWidget());
          pModal != nullptr && pModal->isVisible()) {
        o.lActed = true;
        o.pActed = pModal;
        o.nTicks = 0;
        fAct(pModal);
      }
      return;
    }
    if (o.lActed && !o.pActed.isNull() && o.pActed->isVisible() && o.nTicks < 500) {
      return;
    }
    if (!o.lActed || (!o.pActed.isNull() && o.pActed->isVisible())) {
      ADD_FAILURE() << (o.lActed ? "modal window still open" : "no modal window came");
      if (!o.pActed.isNull()) {
        o.pActed->close();
      }
      ENDALLDIALOGS();
    }
    pTimer->stop();
    pTimer->deleteLater();
  });
  pTimer->start(10);
}

// Ends every running dialog after nMs unless the test has ended them; a hang becomes a failure.
class DialogWatchdog {
public:
  explicit DialogWatchdog(int nMs = 10000) {
    QObject::connect(&oTimer_, &QTimer::timeout, [] {
      if (DIALOGSRUNNING() > 0) {
        ADD_FAILURE() << "dialog still running: watchdog ended it";
        ENDALLDIALOGS();
      }
    });
    oTimer_.setSingleShot(true);
    oTimer_.start(nMs);
  }

private:
  QTimer oTimer_;
};

} // namespace veltra::ui::test
