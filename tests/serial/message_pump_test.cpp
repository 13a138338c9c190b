// The message pump, the wait, the quit request and the window registry, on whichever Qt
// event dispatcher the environment selects (the suite runs under both).
#include "serial/comm_port.h"
#include "serial/message_pump.h"
#include "serial/receive_ring.h"
#include "serial/window_registry_qt.h"
#include "serial_test_support.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace veltra::serial::test {
namespace {

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

double ElapsedMs(std::chrono::steady_clock::time_point tStart) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tStart)
      .count();
}

TEST(MessagePump, RunsOnTheDispatcherTheEnvironmentAsksFor) {
  const QString cName = QAbstractEventDispatcher::instance()->metaObject()->className();
  const bool lGlib = std::getenv("QT_NO_GLIB") == nullptr;
  EXPECT_EQ(cName.contains("Glib"), lGlib) << cName.toStdString();
}

TEST(MessagePump, RefreshWithNothingPendingReturnsTrue) {
  SYSREFRESH();
  EXPECT_TRUE(SYSREFRESH());
}

TEST(MessagePump, QuitBehindPostedEventsHandlesThemThenStops) {
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

TEST(MessagePump, QuitTakenWhileTheMainLoopRunsEndsIt) {
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

// Takes a wake left over by earlier tests in the same process.
void ForgetEarlierWakes() {
  SYSWAIT(1);
  SYSWAIT(1);
}

TEST(MessagePump, WaitEndsOnWakeFromAnyThread) {
  ForgetEarlierWakes();
  for (const bool lOtherThread : {false, true}) {
    std::thread oWaker([&] {
      std::this_thread::sleep_for(30ms);
      if (lOtherThread) {
        WAKEWAIT();
      }
    });
    if (!lOtherThread) {
      QTimer::singleShot(30, [] { WAKEWAIT(); });
    }
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_TRUE(SYSWAIT(10000));
    EXPECT_LT(ElapsedMs(tStart), 5000) << "woken, not ended by its 10 s bound";
    oWaker.join();
  }
  WAKEWAIT(); // a wake with nobody waiting is kept for the next wait
  const auto tStart = std::chrono::steady_clock::now();
  EXPECT_TRUE(SYSWAIT(10000));
  EXPECT_LT(ElapsedMs(tStart), 5000);
}

TEST(MessagePump, WaitEndsOnQuitFromAnotherThread) {
  ForgetEarlierWakes();
  std::thread oQuitter([] {
    std::this_thread::sleep_for(30ms);
    POSTQUITMESSAGE(0);
  });
  const auto tStart = std::chrono::steady_clock::now();
  EXPECT_FALSE(SYSWAIT(10000));
  EXPECT_LT(ElapsedMs(tStart), 5000);
  oQuitter.join();
}

TEST(MessagePump, WaitEndsWhenANotificationHasBeenHandled) {
  Pty oPty;
  const int nComm = OPENCOMM(oPty.SlavePath());
  Receiver oWnd;
  ENABLECOMMNOTIFICATION(nComm, oWnd.hWnd(), 1, -1);
  std::thread oDevice([&] {
    std::this_thread::sleep_for(30ms);
    oPty.Send("T");
  });
  const auto tStart = std::chrono::steady_clock::now();
  while (oWnd.aCalls.empty() && ElapsedMs(tStart) < 5000) {
    SYSWAIT(10000);
  }
  EXPECT_LT(ElapsedMs(tStart), 5000);
  EXPECT_EQ(oWnd.aCalls.size(), 1U);
  oDevice.join();
  CLOSECOMM(nComm);
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

// The ring alone, with a real producer thread and uneven reads.
TEST(ReceiveRing, ConcurrentProducerAndConsumerKeepOrder) {
  ReceiveRing oRing;
  EXPECT_EQ(oRing.Free(), 2047);
  constexpr int kTotal = 1000000;
  std::thread oProducer([&] {
    std::mt19937 oRandom(9);
    std::array<char, 1023> aChunk{};
    for (int nSent = 0; nSent < kTotal;) {
      const int n =
          std::min({static_cast<int>(1 + oRandom() % 1023), oRing.Free(), kTotal - nSent});
      for (int i = 0; i < n; ++i) {
        aChunk[static_cast<std::size_t>(i)] = static_cast<char>((nSent + i) % 251);
      }
      oRing.Append(aChunk.data(), n);
      nSent += n;
    }
  });
  std::mt19937 oRandom(10);
  std::array<char, 3000> aOut{};
  int nGot = 0;
  bool lInOrder = true;
  while (nGot < kTotal) {
    const int n = oRing.Take(aOut.data(), static_cast<int>(1 + oRandom() % aOut.size()));
    for (int i = 0; i < n; ++i) {
      lInOrder =
          lInOrder && aOut[static_cast<std::size_t>(i)] == static_cast<char>((nGot + i) % 251);
    }
    nGot += n;
  }
  oProducer.join();
  EXPECT_TRUE(lInOrder);
  EXPECT_EQ(oRing.Used(), 0);
}

} // namespace
} // namespace veltra::serial::test
