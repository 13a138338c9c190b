// The message pump over Qt's event loop: which dispatcher runs it, Qt's own posted events and
// timers around the quit request, the program's main loop, and the window registry.
#include "serial/comm_port_testing.h"
#include "serial/message_pump.h"
#include "serial/window_registry_qt.h"
#include "serial/window_registry_testing_qt.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace veltra::serial::test {
namespace {

using namespace std::chrono_literals;

const auto kProbe = static_cast<QEvent::Type>(QEvent::registerEventType());

// Records the probe events it gets; the first one can post another (to see what a pass
// leaves queued).
class Recorder : public QObject {
public:
  bool event(QEvent* pEvent) override {
    if (pEvent->type() != kProbe) {
      return QObject::event(pEvent);
    }
    ++nSeen;
    if (lRepost) {
      lRepost = false;
      QCoreApplication::postEvent(this, new QEvent(kProbe));
    }
    return true;
  }
  int nSeen = 0;
  bool lRepost = false;
};

TEST(MessagePumpQt, RunsOnTheDispatcherTheEnvironmentAsksFor) {
  const QString cName = QAbstractEventDispatcher::instance()->metaObject()->className();
  const bool lGlib = std::getenv("QT_NO_GLIB") == nullptr;
  EXPECT_EQ(cName.contains("Glib"), lGlib) << cName.toStdString();
}

TEST(MessagePumpQt, QuitBehindPostedEventsHandlesThemThenStops) {
  Recorder oTarget;
  oTarget.lRepost = true;
  bool lTimerFired = false;
  QTimer oTimer; // a real timer, already due when the pass starts
  oTimer.setSingleShot(true);
  QObject::connect(&oTimer, &QTimer::timeout, [&] { lTimerFired = true; });
  oTimer.start(1);
  std::this_thread::sleep_for(10ms);
  QCoreApplication::postEvent(&oTarget, new QEvent(kProbe));
  QCoreApplication::postEvent(&oTarget, new QEvent(kProbe));
  POSTQUITMESSAGE(0);
  EXPECT_FALSE(SYSREFRESH());
  EXPECT_EQ(oTarget.nSeen, 2) << "the events queued before the request, not the one posted after";
  EXPECT_FALSE(lTimerFired) << "nothing else is handled once the request is taken";
  EXPECT_TRUE(SYSREFRESH());
  EXPECT_EQ(oTarget.nSeen, 3);
  EXPECT_TRUE(lTimerFired);
}

TEST(MessagePumpQt, QuitTakenWhileTheMainLoopRunsEndsIt) {
  bool lRefresh = true;
  QTimer::singleShot(0, [&] {
    SETMAINLOOPRUNNING(true);
    POSTQUITMESSAGE(0);
    lRefresh = SYSREFRESH();
  });
  QTimer oGuard;
  oGuard.setSingleShot(true);
  QObject::connect(&oGuard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
  oGuard.start(5000);
  const int nResult = QCoreApplication::exec();
  SETMAINLOOPRUNNING(false);
  EXPECT_FALSE(lRefresh);
  EXPECT_EQ(nResult, 0) << "ended by the passed-on request, not by the 5 s guard";
}

TEST(WindowRegistry, UnknownWindowsGetNothingAndHandlesAreNotReused) {
  auto oFirst = std::make_unique<Recorder>();
  const int hFirst = REGISTERWINDOW(oFirst.get());
  EXPECT_TRUE(ISWINDOW(hFirst));
  UNREGISTERWINDOW(hFirst);
  EXPECT_FALSE(ISWINDOW(hFirst));
  for (const int hWnd : {0, hFirst, -3}) {
    EXPECT_FALSE(POSTTOWINDOW(hWnd, std::make_unique<QEvent>(kProbe)));
  }
  QEvent oProbe(kProbe);
  EXPECT_FALSE(SENDTOWINDOW(hFirst, oProbe));
  Recorder oSecond;
  const int hSecond = REGISTERWINDOW(&oSecond);
  EXPECT_GT(hSecond, hFirst);
  EXPECT_TRUE(POSTTOWINDOW(hSecond, std::make_unique<QEvent>(kProbe)));
  EXPECT_TRUE(SENDTOWINDOW(hSecond, oProbe));
  EXPECT_EQ(oSecond.nSeen, 1) << "sent at once";
  SYSREFRESH();
  EXPECT_EQ(oFirst->nSeen, 0);
  EXPECT_EQ(oSecond.nSeen, 2);
  UNREGISTERWINDOW(hSecond);
}

} // namespace
} // namespace veltra::serial::test
