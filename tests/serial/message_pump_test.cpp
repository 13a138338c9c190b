// The message pump, the wait, the quit request and the descriptor watches, as every event
// loop of the serial layer keeps them (the suite runs on each), and the receive ring.
#include "common/unique_fd.h"
#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "serial/event_loop.h"
#include "serial/message_pump.h"
#include "tests/serial/serial_test_support.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace veltra::serial::test {
namespace {

// A pipe whose read end is watched; each readable round reads what is there and counts.
struct WatchedPipe {
  common::UniqueFd oRead;
  common::UniqueFd oWrite;
  int nRounds = 0;
  std::thread::id idCalledOn;
  std::function<void()> bAlso;
  std::unique_ptr<FdWatch> oWatch;

  WatchedPipe() {
    int aFds[2];
    EXPECT_EQ(::pipe2(aFds, O_CLOEXEC | O_NONBLOCK), 0);
    oRead.Reset(aFds[0]);
    oWrite.Reset(aFds[1]);
    oWatch = std::make_unique<FdWatch>(oRead.Get(), [this] {
      std::array<char, 64> aDrop{};
      while (::read(oRead.Get(), aDrop.data(), aDrop.size()) > 0) {
      }
      ++nRounds;
      idCalledOn = std::this_thread::get_id();
      if (bAlso) {
        bAlso();
      }
    });
  }
  void Write() const { EXPECT_EQ(::write(oWrite.Get(), "x", 1), 1); }
};

double CpuMs() {
  timespec o{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &o);
  return static_cast<double>(o.tv_sec) * 1e3 + static_cast<double>(o.tv_nsec) * 1e-6;
}

double ElapsedMs(std::chrono::steady_clock::time_point tStart) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tStart)
      .count();
}

TEST(MessagePump, RefreshWithNothingPendingReturnsTrue) {
  SYSREFRESH();
  EXPECT_TRUE(SYSREFRESH());
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
    // On this thread: a watch's callback wakes the wait it runs in.
    WatchedPipe oPipe;
    oPipe.bAlso = [] { WAKEWAIT(); };
    std::thread oWriter([&] {
      std::this_thread::sleep_for(30ms);
      if (!lOtherThread) {
        oPipe.Write();
      }
    });
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_TRUE(SYSWAIT(10000));
    EXPECT_LT(ElapsedMs(tStart), 5000) << "woken, not ended by its 10 s bound";
    oWaker.join();
    oWriter.join();
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

// A watch is answered inside the event handling of this thread, once per readable round,
// and not while it is disabled; its descriptor's data wait meanwhile.
TEST(MessagePump, WatchRunsInsideTheEventHandlingWhileEnabled) {
  WatchedPipe oPipe;
  oPipe.Write();
  EXPECT_EQ(oPipe.nRounds, 0) << "nothing runs outside the event handling";
  ASSERT_TRUE(PumpUntil([&] { return oPipe.nRounds == 1; }));
  EXPECT_EQ(oPipe.idCalledOn, std::this_thread::get_id());
  PumpFor(30ms);
  EXPECT_EQ(oPipe.nRounds, 1) << "a drained descriptor is not answered again";
  oPipe.oWatch->SetEnabled(false);
  oPipe.Write();
  PumpFor(50ms);
  EXPECT_EQ(oPipe.nRounds, 1);
  oPipe.oWatch->SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return oPipe.nRounds == 2; }));
  // Gone: a pending byte no longer reaches the callback.
  oPipe.Write();
  oPipe.oWatch.reset();
  PumpFor(30ms);
  EXPECT_EQ(oPipe.nRounds, 2);
}

// Nothing to wake it: the wait ends at its bound and sleeps until then. A watched descriptor
// that stays quiet and an idle open port must not make it spin.
TEST(MessagePump, IdleWaitsEndAtTheirBoundWithoutSpinning) {
  ForgetEarlierWakes();
  WatchedPipe oPipe;
  Pty oPty;
  const int nComm = OPENCOMM(oPty.SlavePath());
  Receiver oWnd;
  ENABLECOMMNOTIFICATION(nComm, oWnd.hWnd(), 1, -1);
  std::atomic<bool> lDone{false};
  std::thread oWatchdog([&] {
    for (int i = 0; i < 500 && !lDone.load(); ++i) {
      std::this_thread::sleep_for(10ms);
    }
    if (!lDone.load()) {
      std::fprintf(stderr, "FAILED: 25 waits bounded at 20 ms did not end within 5 s\n");
      std::_Exit(1);
    }
  });
  const double dCpuStart = CpuMs();
  for (int i = 0; i < 25; ++i) {
    EXPECT_TRUE(SYSWAIT());
  }
  const double dCpu = CpuMs() - dCpuStart;
  lDone = true;
  oWatchdog.join();
  // 25 waits of 20 ms are half a second of waiting; a spinning wait burns most of it.
  EXPECT_LT(dCpu, 100.0);
  EXPECT_EQ(oPipe.nRounds, 0);
  EXPECT_TRUE(oWnd.aCalls.empty());
  CLOSECOMM(nComm);
}

} // namespace
} // namespace veltra::serial::test
