// TMultiGet: style and geometry rules, ids, the log in a running dialog (appending, caret,
// read-only keys, Esc), and the bound text after focus changes and after closing. Copying the
// log out is the end-to-end suites' (the user's keys and the clipboard).
#include "serial/message_pump.h"
#include "tests/ui/dialog_contract.h"
#include "tests/ui/ui_test_util.h"
#include "ui/dialog.h"
#include "ui/dialog_qt.h"
#include "ui/multiget.h"
#include "ui/ui_error.h"
#include "ui/window_qt.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>

namespace veltra::ui {
namespace {

using test::DialogWatchdog;

class PaintCounter : public QObject {
public:
  explicit PaintCounter(int* pCount) : m_pCount(pCount) {}
  bool eventFilter(QObject* /*pObject*/, QEvent* pEvent) override {
    if (pEvent->type() == QEvent::Paint) {
      ++*m_pCount;
    }
    return false;
  }

private:
  int* m_pCount;
};

struct Watched {
  DialogWatchdog oWatch;
};

// The program's window; each case's body runs as its start callback and ends it (or the
// watchdog does).
class MultiGetLog : public test::DialogContract<Watched> {
protected:
  void Run(std::function<void()> fBody) {
    oDlg.bStart = std::move(fBody);
    Activate();
  }
  QPlainTextEdit* Edit() const { return static_cast<QPlainTextEdit*>(WIDGETOF(oGet)); }
};

TEST(MultiGetRules, StyleFromTheFlags) {
  EXPECT_EQ(MULTIGETSTYLE(false, false, false, true, false, false), 0x50A11804U);
  EXPECT_EQ(MULTIGETSTYLE(false, false, false, false, false, false), 0x50A11004U);
  EXPECT_EQ(MULTIGETSTYLE(true, true, false, false, true, true), 0x50111005U);
  EXPECT_EQ(MULTIGETSTYLE(false, false, true, false, false, true), 0x50811006U);
}

TEST(MultiGetRules, ItemGeometryDoublesWithoutTruePixels) {
  // The program's control: (0, 0) - (79, 199).
  EXPECT_EQ(CONTROLITEMGEOMETRY(0, 0, 79, 199, false, 8, 16), (ItemGeometry{0, 0, 400, 160}));
  EXPECT_EQ(CONTROLITEMGEOMETRY(0, 0, 79, 199, true, 8, 16), (ItemGeometry{0, 0, 200, 80}));
  EXPECT_EQ(CONTROLITEMGEOMETRY(10, 6, 49, 105, true, 8, 16), (ItemGeometry{6, 10, 100, 40}));
}

TEST(MultiGetRules, LineEndsToTheBoxAndBack) {
  struct Case {
    std::string cBound;
    std::u16string cShown;
    std::string cBack;
  };
  const Case aCases[] = {
      {"", u"", ""},
      {"a\r\nb\r\n", u"a\nb\n", "a\r\nb\r\n"},
      {"a\nb\rc", u"a\nb\nc", "a\r\nb\r\nc"},
      {"\x80 \xE8", u"\u20AC \u00E8", "\x80 \xE8"},
  };
  for (const Case& c : aCases) {
    EXPECT_EQ(LOGTEXTTOWIDGET(c.cBound), c.cShown);
    EXPECT_EQ(LOGTEXTFROMWIDGET(c.cShown), c.cBack);
  }
}

TEST(MultiGetIds, CounterWrapsAfter30000To100) {
  int nId = NEXTCONTROLID();
  for (int i = 0; i < 30001 && nId != 30000; ++i) {
    nId = NEXTCONTROLID();
  }
  ASSERT_EQ(nId, 30000);
  EXPECT_EQ(NEXTCONTROLID(), 100);
  EXPECT_EQ(NEXTCONTROLID(), 101);
}

// Initiated in a dialog that has no item with its id (it has no window yet), a control raises
// "Non defined Id"; a second control given an id the dialog already holds raises "Duplicated
// Id" and is not registered. Both name the id.
TEST(MultiGetIds, UndefinedAndDuplicateIdsRaiseAndTheDuplicateIsNotRegistered) {
  std::vector<UiError> aErrors;
  const auto bOld = SETUIERRORHOOK([&](const UiError& e) { aErrors.push_back(e); });
  TDialog oDlg;
  oDlg.New({});
  TMultiGet oFirst;
  oFirst.New({});
  oFirst.Initiate(oDlg);
  // Run the shared counter round until it hands out the first control's id again.
  const int nTarget = oFirst.nId == 100 ? 30000 : oFirst.nId - 1;
  for (int i = 0; i < 30001 && NEXTCONTROLID() != nTarget; ++i) {
  }
  TMultiGet oSecond;
  oSecond.New({});
  SETUIERRORHOOK(bOld);
  ASSERT_EQ(oSecond.nId, oFirst.nId);
  ASSERT_EQ(aErrors.size(), 2U);
  EXPECT_EQ(aErrors[0].cDescription, "Non defined Id");
  EXPECT_EQ(aErrors[1].cDescription, "Duplicated Id");
  char cExpected[32];
  std::snprintf(cExpected, sizeof cExpected, "No: %6d", oFirst.nId);
  EXPECT_EQ(aErrors[0].cOperation, cExpected);
  EXPECT_EQ(aErrors[1].cOperation, cExpected);
  EXPECT_EQ(WIDGETOF(oFirst), nullptr);
  EXPECT_EQ(oDlg.aControls, (std::vector<TControl*>{&oFirst}));
}

TEST_F(MultiGetLog, AppendedLinesShowAndCaretFollowsTheEnd) {
  Run([&] {
    QPlainTextEdit* p = Edit();
    EXPECT_TRUE(p->isReadOnly());
    EXPECT_EQ(p->font().pixelSize(), 12);
    EXPECT_EQ(p->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_NE(p->frameStyle() & QFrame::StyledPanel, 0);
    oGet.GoBottom();
    EXPECT_EQ(p->textCursor().position(), 0); // empty log
    Append("Waiting command (ESC to exit)...");
    // Appending goes by the new part only; ten thousand lines show exactly the bound text.
    for (int i = 0; i < 10000; ++i) {
      Append("Sending track " + std::to_string(i / 2) + ", side " + std::to_string(i % 2));
    }
    serial::SYSREFRESH();
    EXPECT_EQ(p->document()->blockCount(), 10002);
    EXPECT_EQ(p->toPlainText().toStdU16String(), LOGTEXTTOWIDGET(cText));
    EXPECT_EQ(p->textCursor().position(), p->document()->characterCount() - 1);
    EXPECT_GT(p->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(p->verticalScrollBar()->value(), p->verticalScrollBar()->maximum());
    // A text that does not extend the shown one is shown whole; Refresh ignores arguments.
    oGet.VarPut("x\r\ny");
    oGet.Refresh();
    EXPECT_EQ(p->toPlainText(), "x\ny");
    oGet.VarPut("x\r");
    oGet.Refresh(true);
    oGet.VarPut("x\r\nz");
    oGet.Refresh(false);
    EXPECT_EQ(p->toPlainText(), "x\nz");
    oGet.VarPut("y\r\nzz"); // longer, but replaced rather than extended
    oGet.Refresh(false);
    EXPECT_EQ(p->toPlainText(), "y\nzz");
    oDlg.End();
  });
  EXPECT_EQ(oDlg.nResult, 2);
}

// The pause after the 0x00 paints the line just appended and handles nothing else.
TEST_F(MultiGetLog, UpdateWindowPaintsThePendingLineAndHandlesNothingElse) {
  Run([&] {
    QWidget* pView = Edit()->viewport();
    serial::SYSREFRESH();
    int nPaints = 0;
    auto* pCounter = new PaintCounter(&nPaints); // NOLINT: owned by the viewport
    pCounter->setParent(pView);
    pView->installEventFilter(pCounter);
    bool lTimerRan = false;
    QTimer::singleShot(0, [&] { lTimerRan = true; });
    Append("Sending track 0, side 0");
    EXPECT_EQ(nPaints, 0); // appending only asks for a paint
    UPDATEWINDOW(oGet);
    EXPECT_GT(nPaints, 0);
    EXPECT_FALSE(lTimerRan);
    const int nAfter = nPaints;
    UPDATEWINDOW(oGet); // nothing left to paint
    EXPECT_EQ(nPaints, nAfter);
    serial::SYSREFRESH();
    EXPECT_TRUE(lTimerRan);
    oDlg.End();
  });
}

TEST_F(MultiGetLog, KeysChangeNothingEscEndsAndTheBoundTextKeepsCrLf) {
  bool lOpenBeforeEsc = false;
  Run([&] {
    QPlainTextEdit* p = Edit();
    Append("first line");
    Append("second line");
    const QString cBefore = p->toPlainText();
    QGuiApplication::clipboard()->setText("pasted");
    QTest::keyClicks(p, "typed");
    QTest::keyClick(p, Qt::Key_Delete);
    QTest::keyClick(p, Qt::Key_Backspace);
    QTest::keyClick(p, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(p, Qt::Key_Delete);
    QTest::keyClick(p, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(p, Qt::Key_Insert, Qt::ShiftModifier);
    QTest::keyClick(p, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(p, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(p, Qt::Key_Return);
    QTest::keyClick(p, Qt::Key_Tab);
    EXPECT_EQ(p->toPlainText(), cBefore);
    EXPECT_TRUE(p->hasFocus()) << "Tab stays in the box";
    p->clearFocus(); // focus leaves: the shown text goes back to cText
    EXPECT_EQ(cText, "first line\r\nsecond line\r\n");
    p->setFocus();
    Append("third line");
    lOpenBeforeEsc = WIDGETOF(oDlg)->isVisible() && !oDlg.nResult;
    QTest::keyClick(p, Qt::Key_Escape);
  });
  EXPECT_TRUE(lOpenBeforeEsc);
  EXPECT_EQ(oDlg.nResult, 2);
  EXPECT_EQ(cText, "first line\r\nsecond line\r\nthird line\r\n");
}

} // namespace
} // namespace veltra::ui
