// The key tracker behind GETASYNCKEYSTATE where there is no X server: presses and releases,
// auto-repeat, one event seen by several objects, release on hide and deactivation.
#include "serial/message_pump.h"
#include "ui/key_state_qt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace veltra::ui {
namespace {

TEST(KeyCodes, QtKeysToVirtualKeys) {
  const std::pair<int, int> aCases[] = {
      {Qt::Key_Escape, 27}, {Qt::Key_F4, 115},     {Qt::Key_F1, 112},    {Qt::Key_F12, 123},
      {Qt::Key_Return, 13}, {Qt::Key_Enter, 13},   {Qt::Key_Tab, 9},     {Qt::Key_Alt, 18},
      {Qt::Key_A, 'A'},     {Qt::Key_Z, 'Z'},      {Qt::Key_5, '5'},     {Qt::Key_Delete, 46},
      {Qt::Key_Shift, 16},  {Qt::Key_Control, 17}, {Qt::Key_unknown, 0}, {Qt::Key_F13, 0},
  };
  for (const auto& [nQt, nVk] : aCases) {
    EXPECT_EQ(VKFROMQTKEY(nQt), nVk) << nQt;
  }
}

struct TrackedWindow {
  QWidget oWindow;
  QWidget* pChild = new QWidget(&oWindow); // NOLINT: owned by oWindow
  TrackedWindow() {
    INSTALLKEYTRACKER();
    pChild->setFocusPolicy(Qt::StrongFocus);
    oWindow.show();
    pChild->setFocus();
  }
  void Send(QObject* p, QEvent::Type nType, int nKey, bool lRepeat = false) {
    QKeyEvent e(nType, nKey, Qt::NoModifier, QString(), lRepeat);
    QApplication::sendEvent(p, &e);
  }
};

TEST(KeyTracker, DownWhileHeldUpAfterReleaseAndTheTypedCharacterNoted) {
  TrackedWindow o;
  EXPECT_FALSE(GETASYNCKEYSTATE(VK_ESCAPE));
  QTest::keyPress(o.pChild, Qt::Key_Escape);
  EXPECT_TRUE(GETASYNCKEYSTATE(VK_ESCAPE));
  EXPECT_FALSE(GETASYNCKEYSTATE(VK_F4));
  QTest::keyRelease(o.pChild, Qt::Key_Escape);
  EXPECT_FALSE(GETASYNCKEYSTATE(VK_ESCAPE));
  EXPECT_FALSE(GETASYNCKEYSTATE(0));
  EXPECT_FALSE(GETASYNCKEYSTATE(9999));
  QTest::keyClick(o.pChild, Qt::Key_Q); // a typed character is noted as the last key
  EXPECT_EQ(LASTKEYNOTED(), 'q');
}

TEST(KeyTracker, AutoRepeatAndEventsSeenTwiceAreCountedOnce) {
  TrackedWindow o;
  // A press passes the child and then its parent: still one key down, one release ends it.
  o.Send(o.pChild, QEvent::KeyPress, Qt::Key_F4);
  o.Send(&o.oWindow, QEvent::KeyPress, Qt::Key_F4);
  o.Send(o.pChild, QEvent::KeyRelease, Qt::Key_F4);
  EXPECT_FALSE(GETASYNCKEYSTATE(VK_F4));
  // Auto-repeat sends release/press pairs while the key is held: the key stays down.
  o.Send(o.pChild, QEvent::KeyPress, Qt::Key_F4);
  o.Send(o.pChild, QEvent::KeyRelease, Qt::Key_F4, true);
  EXPECT_TRUE(GETASYNCKEYSTATE(VK_F4));
  o.Send(o.pChild, QEvent::KeyPress, Qt::Key_F4, true);
  o.Send(o.pChild, QEvent::KeyRelease, Qt::Key_F4);
  EXPECT_FALSE(GETASYNCKEYSTATE(VK_F4));
}

TEST(KeyTracker, HidingOrLeavingAWindowReleasesEverything) {
  TrackedWindow o;
  QTest::keyPress(o.pChild, Qt::Key_Escape);
  QTest::keyPress(o.pChild, Qt::Key_A);
  o.oWindow.hide(); // the key that closed it never delivers its release
  EXPECT_FALSE(GETASYNCKEYSTATE(VK_ESCAPE));
  EXPECT_FALSE(GETASYNCKEYSTATE('A'));
  o.oWindow.show();
  QTest::keyPress(o.pChild, Qt::Key_F4);
  QEvent oLeave(QEvent::WindowDeactivate);
  QApplication::sendEvent(&o.oWindow, &oLeave);
  EXPECT_FALSE(GETASYNCKEYSTATE(VK_F4));
}

// While the application has the keyboard, key events alone answer; a held modifier (the start
// of a window manager's shortcut) sends the question to the key state of the whole display.
TEST(KeyTracker, EventsAloneAnswerOnlyWhileActiveWithNoModifierHeld) {
  TrackedWindow o;
  o.oWindow.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&o.oWindow));
  EXPECT_TRUE(KEYSTATEFROMEVENTS());
  for (const Qt::Key nModifier : {Qt::Key_Alt, Qt::Key_Control, Qt::Key_Meta, Qt::Key_Super_L}) {
    o.Send(o.pChild, QEvent::KeyPress, nModifier);
    EXPECT_FALSE(KEYSTATEFROMEVENTS()) << nModifier;
    o.Send(o.pChild, QEvent::KeyRelease, nModifier);
    EXPECT_TRUE(KEYSTATEFROMEVENTS()) << nModifier;
  }
  o.Send(o.pChild, QEvent::KeyPress, Qt::Key_Shift);
  EXPECT_TRUE(KEYSTATEFROMEVENTS());
  o.Send(o.pChild, QEvent::KeyRelease, Qt::Key_Shift);
}

// A wait with a long bound ends when the application's state changes, so that the waiting
// loop can pick the bound that fits the new state.
TEST(KeyTracker, StateChangeEndsALongWait) {
  TrackedWindow o;
  QTimer::singleShot(200, [] {
    QApplicationStateChangeEvent oChange(Qt::ApplicationInactive);
    QCoreApplication::sendEvent(qApp, &oChange);
  });
  serial::SYSWAIT(1); // takes a wake left by an earlier case
  QElapsedTimer oClock;
  oClock.start();
  serial::SYSWAIT(20000);
  EXPECT_LT(oClock.elapsed(), 10000);
}

} // namespace
} // namespace veltra::ui
