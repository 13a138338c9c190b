// Comm notification over real pseudo-terminals, delivered through the Qt event loop to a
// receiver standing for a window.
#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "serial/comm_port_testing.h"
#include "serial/message_pump.h"
#include "serial/receive_ring.h"
#include "tests/serial/serial_test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace veltra::serial::test {
namespace {

class CommNotify : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_GE(nComm, 0); }
  void TearDown() override { CLOSECOMM(nComm); }

  // The program's own callback: disarm, take at most 1000 bytes, re-arm.
  void ConnectStyle(Receiver& oWnd) {
    oWnd.bCommNotify = [this, &oWnd](int nPort) {
      ENABLECOMMNOTIFICATION(nPort, 0, 1, -1);
      std::string cBuf(1000, ' ');
      cReceived.append(cBuf, 0, static_cast<std::size_t>(READCOMM(nPort, cBuf)));
      ENABLECOMMNOTIFICATION(nPort, oWnd.hWnd(), 1, -1);
    };
  }

  Pty oPty;
  int nComm = OPENCOMM(oPty.SlavePath(), 16384, 16384);
  std::string cReceived;
};

// Arming a second window takes the notification from the first (turning it off with 0 is the
// port contract's case).
TEST_F(CommNotify, OnlyTheLastArmedWindowIsTold) {
  Receiver oFirst;
  Receiver oSecond;
  ENABLECOMMNOTIFICATION(nComm, oFirst.hWnd(), 1, -1);
  ENABLECOMMNOTIFICATION(nComm, oSecond.hWnd(), 1, -1);
  oPty.Send("a");
  ASSERT_TRUE(PumpUntil([&] { return oSecond.aCalls.size() == 1; }));
  PumpFor(30ms);
  EXPECT_TRUE(oFirst.aCalls.empty());
}

TEST_F(CommNotify, BurstDuringSleepArrivesAfterItInBatchesOfAtMost1023) {
  Receiver oWnd;
  std::vector<int> aBatches;
  oWnd.bCommNotify = [&](int nPort) {
    std::string cBuf(4096, ' ');
    const int n = READCOMM(nPort, cBuf);
    aBatches.push_back(n);
    cReceived.append(cBuf, 0, static_cast<std::size_t>(n));
  };
  ENABLECOMMNOTIFICATION(nComm, oWnd.hWnd(), 1, -1);
  const std::string cSent = RandomBytes(3000, 7);
  oPty.Send(cSent);
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(oWnd.aCalls.empty());
  ASSERT_TRUE(PumpUntil([&] { return cReceived.size() == cSent.size(); }));
  EXPECT_TRUE(cReceived == cSent);
  EXPECT_GE(aBatches.size(), 3U);
  EXPECT_LE(*std::max_element(aBatches.begin(), aBatches.end()), 1023);
}

// Bytes that filled the ring while notification was off: arming must announce them, or
// the program (which reads only when told) and the worker (which waits for room) would wait
// for each other for ever.
TEST_F(CommNotify, ArmingAnnouncesAFullRingAndNothingIsLost) {
  Receiver oWnd;
  ConnectStyle(oWnd);
  const std::string cSent = RandomBytes(3000, 8);
  oPty.Send(cSent);
  ASSERT_TRUE(PumpUntil([&] { return COMMRECEIVED(nComm) == ReceiveRing::kCapacity; }));
  ENABLECOMMNOTIFICATION(nComm, oWnd.hWnd(), 1, -1);
  // The announcement frees room, the rest comes from the driver and is announced too.
  ASSERT_TRUE(PumpUntil([&] {
    return oWnd.aCalls.size() >= 2 && cReceived.size() + COMMRECEIVED(nComm) == cSent.size();
  }));
  EXPECT_GE(cReceived.size(), 2000U);
  EXPECT_TRUE(cReceived + ReadAll(nComm, cSent.size() - cReceived.size()) == cSent);
}

// The notification of a receiver that has gone is dropped, yet its bytes are still news: the
// next receiver armed is told of them without a further byte from the device.
TEST_F(CommNotify, ReceiverGoneWithItsEventQueuedLeavesItsBytesToTheNextOne) {
  auto oWnd = std::make_unique<Receiver>();
  ENABLECOMMNOTIFICATION(nComm, oWnd->hWnd(), 1, -1);
  oPty.Send("a");
  for (int i = 0; i < 500 && COMMRECEIVED(nComm) == 0; ++i) {
    std::this_thread::sleep_for(1ms);
  }
  std::this_thread::sleep_for(20ms);
  oWnd.reset(); // its event is still queued
  Receiver oNext;
  ConnectStyle(oNext);
  ENABLECOMMNOTIFICATION(nComm, oNext.hWnd(), 1, -1);
  ASSERT_TRUE(PumpUntil([&] { return cReceived == "a"; })) << oNext.aCalls.size();
  oPty.Send("b");
  ASSERT_TRUE(PumpUntil([&] { return cReceived == "ab"; })) << "the worker went on";
}

// Windows come and go (unregistered without disarming) while a stream arrives: a
// notification for a window that has gone is dropped, the worker goes on, and every byte
// reaches a reader in order.
TEST_F(CommNotify, WindowsComingAndGoingLoseNoBytes) {
  const std::string cSent = RandomBytes(100000, 14);
  std::thread oDevice([&] {
    for (std::size_t i = 0; i < cSent.size(); i += 600) {
      oPty.Send(cSent.substr(i, 600));
      std::this_thread::sleep_for(1ms);
    }
  });
  for (int i = 0; i < 20; ++i) {
    Receiver oWnd;
    ConnectStyle(oWnd);
    ENABLECOMMNOTIFICATION(nComm, oWnd.hWnd(), 1, -1);
    EXPECT_TRUE(PumpUntil([&] { return !oWnd.aCalls.empty(); }));
  }
  // The last window went away armed; from here the test reads.
  ENABLECOMMNOTIFICATION(nComm, 0, 1, -1);
  PumpFor(20ms);
  cReceived += ReadAll(nComm, cSent.size() - cReceived.size());
  oDevice.join();
  EXPECT_TRUE(cReceived == cSent) << cReceived.size();
}

} // namespace
} // namespace veltra::serial::test
