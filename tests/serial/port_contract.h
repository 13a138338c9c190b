// The promises a port keeps on every platform, written once over a line pair: the port under
// test and a far end on which the test plays the device. Each platform's suite instantiates
// them with its own pair (a pty pair on Linux; COM5 and COM6 joined by a null-modem cable
// under Wine), after declaring RandomBytes.
//
// A Line has Ready(), Port() (the name OPENCOMM takes), Send() and Receive() on the far end,
// Pull() (the line goes, as when a cable is pulled out), kStallBytes (enough to fill whatever
// holds bytes between the two ends), kCountIsExact (no bytes are held where the port cannot
// see them, so a short count is exactly what arrives) and a Window type that is told of the
// port's notifications and reads up to 1000 bytes inside each (aTold).
#pragma once

#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "serial/comm_port_testing.h"
#include "serial/receive_ring.h"
#include "tests/serial/pump.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace veltra::serial::test {

using namespace std::chrono_literals;

// What a window was told, and what it read inside the notification.
struct Told {
  int nComm;
  int nStatus;
  std::string cRead;
};

// The port opened and set as the program does (115200 baud, 8N2), on a fresh line pair.
template <class Line> class PortContract : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_oLine.Ready());
    m_nComm = OPENCOMM(m_oLine.Port(), 16384, 16384);
    ASSERT_GE(m_nComm, 0);
    std::string cDcb;
    ASSERT_TRUE(BUILDCOMMDCB("115200,N,8,2", cDcb));
    ASSERT_TRUE(SETCOMMSTATE(m_nComm, cDcb));
  }
  void TearDown() override { CLOSECOMM(m_nComm); }

  Line m_oLine;
  int m_nComm = -1;
};

TYPED_TEST_SUITE_P(PortContract);

TYPED_TEST_P(PortContract, EveryByteValuePassesBothWays) {
  std::string cAll(256, '\0');
  for (int i = 0; i < 256; ++i) {
    cAll[static_cast<std::size_t>(i)] = static_cast<char>(i);
  }
  this->m_oLine.Send(cAll);
  EXPECT_EQ(ReadAll(this->m_nComm, 256), cAll);
  EXPECT_EQ(WRITECOMM(this->m_nComm, cAll), 256);
  EXPECT_EQ(this->m_oLine.Receive(256, 5s), cAll);
  EXPECT_EQ(WRITECOMM(this->m_nComm, ""), 0);
}

// More than the ring holds, with nobody reading: the worker leaves the rest with the driver.
TYPED_TEST_P(PortContract, BurstBeyondTheRingIsHeldBackNotLost) {
  const int nComm = this->m_nComm;
  const std::string cSent = RandomBytes(3000, 3);
  this->m_oLine.Send(cSent);
  ASSERT_TRUE(PumpUntil([&] { return COMMRECEIVED(nComm) == ReceiveRing::kCapacity; }));
  PumpFor(50ms);
  EXPECT_EQ(COMMRECEIVED(nComm), ReceiveRing::kCapacity) << "no overwrite";
  EXPECT_EQ(ReadAll(nComm, cSent.size()), cSent);
}

// One notification per batch, carrying the port, with the bytes readable inside it. Turned
// off, bytes are kept and not announced; arming announces them at once and once, with no new
// byte on the line, since a device waiting for its answer sends nothing more.
TYPED_TEST_P(PortContract, OneNotificationPerBatchAndArmingAnnouncesWhatCameBefore) {
  const int nComm = this->m_nComm;
  typename TypeParam::Window oWnd;
  ASSERT_TRUE(ENABLECOMMNOTIFICATION(nComm, oWnd.hWnd(), 1, -1));
  this->m_oLine.Send("T");
  ASSERT_TRUE(PumpUntil([&] { return !oWnd.aTold.empty(); }));
  PumpFor(200ms);
  ASSERT_EQ(oWnd.aTold.size(), 1U);
  EXPECT_EQ(oWnd.aTold[0].nComm, nComm);
  EXPECT_EQ(oWnd.aTold[0].nStatus, CN_RECEIVE);
  EXPECT_EQ(oWnd.aTold[0].cRead, "T");

  ENABLECOMMNOTIFICATION(nComm, 0, 1, -1);
  this->m_oLine.Send("E");
  ASSERT_TRUE(PumpUntil([&] { return COMMRECEIVED(nComm) == 1; }));
  PumpFor(200ms);
  EXPECT_EQ(oWnd.aTold.size(), 1U);
  ENABLECOMMNOTIFICATION(nComm, oWnd.hWnd(), 1, -1);
  ASSERT_TRUE(PumpUntil([&] { return oWnd.aTold.size() == 2; }));
  EXPECT_EQ(oWnd.aTold[1].cRead, "E");
  PumpFor(200ms);
  EXPECT_EQ(oWnd.aTold.size(), 2U);
}

// The worker has sent its notification and waits for it to be handled; nothing pumps.
TYPED_TEST_P(PortContract, CloseWhileANotificationWaitsUnhandledReturnsAndDropsIt) {
  const int nComm = this->m_nComm;
  typename TypeParam::Window oWnd;
  ENABLECOMMNOTIFICATION(nComm, oWnd.hWnd(), 1, -1);
  this->m_oLine.Send("T");
  for (int i = 0; i < 500 && COMMRECEIVED(nComm) == 0; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(50ms);
  bool lClosed = false;
  Bounded([&] { lClosed = CLOSECOMM(nComm); });
  EXPECT_TRUE(lClosed);
  PumpFor(200ms);
  EXPECT_TRUE(oWnd.aTold.empty()) << "a closed port's notification is dropped";
  std::string cBuffer(10, ' ');
  EXPECT_EQ(READCOMM(nComm, cBuffer), 0) << "the handle is dead";
}

// Bytes that came before the line went are the program's to read: the line counts as lost
// only once they have been taken, or a last command before a hang-up would be dropped. Then
// writes end at once with nothing sent, and the close still works.
TYPED_TEST_P(PortContract, LostLineIsReportedOnlyAfterTheBytesThatCameBefore) {
  const int nComm = this->m_nComm;
  this->m_oLine.Send("AB");
  ASSERT_TRUE(PumpUntil([&] { return COMMRECEIVED(nComm) == 2; }));
  this->m_oLine.Pull();
  PumpFor(500ms);
  EXPECT_FALSE(COMMLOST(nComm)) << "two bytes are still unread";
  EXPECT_EQ(ReadAll(nComm, 2), "AB");
  EXPECT_TRUE(PumpUntil([&] { return COMMLOST(nComm); }));
  long nWritten = -1;
  Bounded([&] { nWritten = WRITECOMM(nComm, std::string(50000, 'x')); });
  EXPECT_EQ(nWritten, 0) << "nothing goes out on a lost line";
  bool lClosed = false;
  Bounded([&] { lClosed = CLOSECOMM(nComm); });
  EXPECT_TRUE(lClosed);
}

// A far end that reads nothing: the write gives up at its bound (twice the data's time on the
// wire at 4,000,000 baud 8N2, plus 2 s) and says how much left. When the far end reads at
// last it gets those bytes, in order, and nothing of what was given up.
TYPED_TEST_P(PortContract, WriteToAStalledLineGivesUpWithAShortCount) {
  const int nComm = this->m_nComm;
  std::string cDcb;
  ASSERT_TRUE(BUILDCOMMDCB("4000000,N,8,2", cDcb));
  ASSERT_TRUE(SETCOMMSTATE(nComm, cDcb));
  const std::string cData = RandomBytes(TypeParam::kStallBytes, 9);
  long nSent = -1;
  Bounded([&] { nSent = WRITECOMM(nComm, cData); }, 20s);
  ASSERT_GE(nSent, 0);
  EXPECT_LT(nSent, static_cast<long>(cData.size()));
  const std::string cGot = this->m_oLine.Receive(static_cast<std::size_t>(nSent), 2s);
  if (TypeParam::kCountIsExact) {
    EXPECT_EQ(cGot.size(), static_cast<std::size_t>(nSent));
  } else {
    EXPECT_LE(cGot.size(), static_cast<std::size_t>(nSent)) << "fewer may arrive, never more";
  }
  EXPECT_TRUE(cGot == cData.substr(0, cGot.size())) << "the bytes that left are the first ones";
  EXPECT_EQ(this->m_oLine.Receive(1, 500ms).size(), 0U) << "nothing given up goes out later";
}

REGISTER_TYPED_TEST_SUITE_P(PortContract, EveryByteValuePassesBothWays,
                            BurstBeyondTheRingIsHeldBackNotLost,
                            OneNotificationPerBatchAndArmingAnnouncesWhatCameBefore,
                            CloseWhileANotificationWaitsUnhandledReturnsAndDropsIt,
                            LostLineIsReportedOnlyAfterTheBytesThatCameBefore,
                            WriteToAStalledLineGivesUpWithAShortCount);

} // namespace veltra::serial::test
