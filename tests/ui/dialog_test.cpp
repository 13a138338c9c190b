// TDialog: geometry and style rules, the callback order of a modal run, what ends it and what
// does not, the close check, comm-notify dispatch and the creation error.
#include "serial/message_pump.h"
#include "serial/window_registry_qt.h"
#include "serial/window_registry_testing_qt.h"
#include "tests/ui/ui_test_util.h"
#include "ui/dialog.h"
#include "ui/dialog_qt.h"
#include "ui/key_state.h"
#include "ui/multiget.h"
#include "ui/popmsg.h"
#include "ui/ui_error.h"
#include "ui/window_qt.h"

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace veltra::ui {
namespace {

using test::DialogWatchdog;
using test::WaitFor;
using test::WhenModal;

// The program's dialog: caption, 500 x 500 pixels, style 0, and a read-only log bound to cText.
struct ProgramDialog {
  std::string cText;
  TDialog oDlg;
  TMultiGet oGet;
  ProgramDialog() {
    oDlg.New({.cCaption = "VELTRA 1.00  (COM1:115200,N,8,2)  ",
              .nStyle = 0,
              .nWidth = 500,
              .nHeight = 500,
              .lTruePixel = false});
    oDlg.lModify = false;
    oDlg.lHelpIcon = false;
    oGet.New({.nRow = 0, .nCol = 0, .bSetGet = BINDTEXT(cText), .lReadOnly = true});
  }
  TDialog::ActivateArgs Args(std::function<void(TDialog&)> bMore = {}) {
    return {.lCentered = true,
            .bValid = [](TDialog& o) { return VALID_(o, false); },
            .bInit =
                [this, bMore](TDialog& o) {
                  o.SetControl(oGet);
                  if (bMore) {
                    bMore(o);
                  }
                }};
  }
  QWidget* Window() const { return WIDGETOF(oDlg); }
  QWidget* Log() const { return WIDGETOF(oGet); }
};

TEST(DialogRules, RectangleInPixelsOrRowsAndColumns) {
  struct Case {
    int nTop, nLeft, nBottom, nRight;
    bool lPixel;
    int nWidth, nHeight;
    PixelRect oExpected;
  };
  const Case aCases[] = {
      {0, 0, 10, 40, false, 500, 500, {0, 0, 500, 500}}, // width/height switch to pixels
      {3, 4, 10, 40, false, 0, 120, {3, 4, 120, 0}},     // one of them is enough
      {0, 0, 10, 40, false, 0, 0, {0, 0, 151, 316}},     // rows x 15.1, columns x 7.9
      {2, 3, 5, 9, false, 0, 0, {30, 23, 75, 71}},       // truncated
      {2, 3, 5, 9, true, 0, 0, {2, 3, 5, 9}},            // pixel flag keeps the values
  };
  for (const Case& c : aCases) {
    EXPECT_EQ(DIALOGRECT(c.nTop, c.nLeft, c.nBottom, c.nRight, c.lPixel, c.nWidth, c.nHeight),
              c.oExpected);
  }
}

TEST(DialogRules, ClientSizeGoesThroughDialogUnits) {
  // 500 pixels: Int(2000 / 8) + 1 = 251 horizontal units = 502 pixels; the same vertically.
  EXPECT_EQ(DIALOGCLIENTSIZE({0, 0, 500, 500}), (ClientSize{502, 502}));
  EXPECT_EQ(DIALOGCLIENTSIZE({0, 0, 500, 500}, 0, 0, 7, 15), (ClientSize{501, 501}));
  EXPECT_EQ(DIALOGCLIENTSIZE({0, 0, 151, 316}), (ClientSize{318, 152}));
}

TEST(DialogRules, StyleDecidesTheFrame) {
  // Style 0: title bar and border, no system menu or buttons, fixed size.
  EXPECT_EQ(FRAMEFORSTYLE(0), (FrameLook{.lTitle = true, .lBorder = true}));
  EXPECT_EQ(FRAMEFORSTYLE(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
            (FrameLook{.lTitle = true, .lBorder = true, .lSysMenu = true}));
  EXPECT_EQ(FRAMEFORSTYLE(WS_POPUP), FrameLook{});
  EXPECT_EQ(FRAMEFORSTYLE(WS_POPUP | WS_BORDER), (FrameLook{.lBorder = true}));
  EXPECT_EQ(FRAMEFORSTYLE(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME),
            (FrameLook{.lTitle = true,
                       .lBorder = true,
                       .lSysMenu = true,
                       .lMinButton = true,
                       .lResizable = true}));
}

TEST(DialogRules, CentringTruncatesHalves) {
  EXPECT_EQ(CENTEREDPOS(0, 0, 800, 600, 502, 502), std::make_pair(149, 49));
  EXPECT_EQ(CENTEREDPOS(10, 20, 1025, 769, 301, 101),
            std::make_pair(10 + 512 - 150, 20 + 384 - 50));
}

TEST(DialogNew, FillsFieldsAndCreatesNoWindow) {
  TDialog oDlg;
  oDlg.New({.cCaption = "Titolo   "});
  EXPECT_EQ(oDlg.cCaption, "Titolo");
  EXPECT_EQ(oDlg.nBottom, 151);
  EXPECT_EQ(oDlg.nRight, 316);
  EXPECT_EQ(oDlg.nStyle, 0x80C80080U);
  EXPECT_TRUE(oDlg.lModify);
  EXPECT_FALSE(oDlg.lVisible);
  EXPECT_EQ(oDlg.nResult, 0);
  EXPECT_EQ(oDlg.hWnd, 0);
  EXPECT_EQ(WIDGETOF(oDlg), nullptr);
  EXPECT_EQ(DEFAULTPARENT(), &oDlg);
  TMultiGet oGet;
  oGet.New({});
  ASSERT_EQ(oDlg.aControls.size(), 1U);
  EXPECT_EQ(oDlg.aControls[0], &oGet);
  EXPECT_EQ(oGet.oWnd, &oDlg);
}

TEST(DialogRun, InitBeforeShownThenStartOnceAfterFirstPaint) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  std::vector<std::string> aOrder;
  int nStarts = 0;
  int nPaintsBeforeStart = 0;
  const int nRunningBefore = DIALOGSRUNNING();
  struct PaintCount : QObject {
    int* pCount;
    QWidget* pWindow = nullptr;
    bool eventFilter(QObject* p, QEvent* e) override {
      if (e->type() == QEvent::Paint && p->isWidgetType() &&
          static_cast<QWidget*>(p)->window() == pWindow) {
        ++*pCount;
      }
      return false;
    }
  } oPaints;
  int nPaints = 0;
  oPaints.pCount = &nPaints;
  qApp->installEventFilter(&oPaints);

  o.oDlg.bStart = [&] {
    ++nStarts;
    nPaintsBeforeStart = nPaints;
    aOrder.push_back("start");
    EXPECT_FALSE(o.oDlg.bStart) << "cleared before it runs";
    EXPECT_TRUE(o.Window()->isVisible());
    // Later paints are handled through the pump while the start callback runs.
    for (int i = 0; i < 3; ++i) {
      o.Window()->repaint();
      o.Log()->update();
      serial::SYSREFRESH();
    }
    EXPECT_TRUE(o.oDlg.End());
  };
  o.oDlg.Activate(o.Args([&](TDialog& d) {
    aOrder.push_back("init");
    oPaints.pWindow = o.Window();
    EXPECT_NE(d.hWnd, 0);
    EXPECT_TRUE(serial::ISWINDOW(d.hWnd));
    EXPECT_FALSE(o.Window()->isVisible());
    EXPECT_EQ(o.Window()->windowTitle(), "VELTRA 1.00  (COM1:115200,N,8,2)");
    EXPECT_EQ(o.Window()->focusWidget(), o.Log());
    EXPECT_EQ(DIALOGSRUNNING(), nRunningBefore + 1);
  }));
  // More paints after the run are not a second start.
  qApp->removeEventFilter(&oPaints);
  EXPECT_EQ(aOrder, (std::vector<std::string>{"init", "start"}));
  EXPECT_EQ(nStarts, 1);
  EXPECT_GE(nPaintsBeforeStart, 1);
  EXPECT_GT(nPaints, nPaintsBeforeStart);
  EXPECT_EQ(o.oDlg.nResult, 2);
  EXPECT_FALSE(o.oDlg.lVisible);
  EXPECT_EQ(o.oDlg.hWnd, 0);
  EXPECT_EQ(DIALOGSRUNNING(), nRunningBefore);
}

TEST(DialogRun, WindowHasNoCloseButtonFixedSizeAndIsCentred) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  o.oDlg.bStart = [&] {
    QWidget* w = o.Window();
    const Qt::WindowFlags f = w->windowFlags();
    EXPECT_TRUE(f.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(f.testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(f.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(f.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(f.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(f.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_EQ(w->size(), QSize(502, 502));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    const QRect oScreen = QGuiApplication::primaryScreen()->geometry();
    const auto [nX, nY] =
        CENTEREDPOS(oScreen.left(), oScreen.top(), oScreen.width(), oScreen.height(), 502, 502);
    EXPECT_EQ(w->geometry().topLeft(), QPoint(nX, nY));
    // The log covers the client area, its frame just outside the edges.
    EXPECT_EQ(o.Log()->geometry(), QRect(-1, -1, 504, 505));
    o.oDlg.End();
  };
  o.oDlg.Activate(o.Args());
  EXPECT_EQ(o.oDlg.nResult, 2);
}

TEST(DialogRun, EndDuringInitEndsBeforeTheWindowIsShown) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  bool lStarted = false;
  bool lShown = false;
  struct ShowWatch : QObject {
    bool* pShown;
    bool eventFilter(QObject* p, QEvent* e) override {
      if (e->type() == QEvent::Show && p->isWidgetType() && static_cast<QWidget*>(p)->isWindow()) {
        *pShown = true;
      }
      return false;
    }
  } oShow;
  oShow.pShown = &lShown;
  qApp->installEventFilter(&oShow);
  o.oDlg.bStart = [&] { lStarted = true; };
  o.oDlg.Activate(o.Args([&](TDialog& d) { EXPECT_TRUE(d.End()); }));
  qApp->removeEventFilter(&oShow);
  EXPECT_FALSE(lShown);
  EXPECT_FALSE(lStarted);
  EXPECT_EQ(o.oDlg.nResult, 2);
}

TEST(DialogRun, EndRefusedByValidChangesNothing) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  bool lAllow = false;
  o.oDlg.bStart = [&] {
    EXPECT_FALSE(o.oDlg.End(5));
    EXPECT_FALSE(o.oDlg.nResult.has_value());
    serial::SYSREFRESH();
    EXPECT_TRUE(o.Window()->isVisible());
    lAllow = true;
    EXPECT_TRUE(o.oDlg.End(7));
    // Accepted, but the window stays while the start callback still runs.
    for (int i = 0; i < 5; ++i) {
      serial::SYSREFRESH();
    }
    EXPECT_TRUE(o.Window()->isVisible());
  };
  o.oDlg.Activate(o.Args([&](TDialog& d) { d.bValid = [&](TDialog&) { return lAllow; }; }));
  EXPECT_EQ(o.oDlg.nResult, 7);
}

// The program's valid callback: true unless F4 is down, so Alt+F4 cannot close the window.
TEST(DialogRun, CloseRefusedWhileF4IsDownEscAccepted) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  bool lStillOpen = false;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(WaitFor([&] { return o.Window() != nullptr && o.Window()->isVisible(); }));
    QTest::keyPress(o.Log(), Qt::Key_Alt);
    QTest::keyPress(o.Log(), Qt::Key_F4, Qt::AltModifier);
    ASSERT_TRUE(GETASYNCKEYSTATE(VK_F4));
    o.Window()->close(); // the close request an Alt+F4 becomes
    lStillOpen = o.Window()->isVisible();
    QTest::keyRelease(o.Log(), Qt::Key_F4, Qt::AltModifier);
    QTest::keyRelease(o.Log(), Qt::Key_Alt);
    QTest::keyClick(o.Log(), Qt::Key_Escape);
  });
  o.oDlg.Activate(
      o.Args([&](TDialog& d) { d.bValid = [](TDialog&) { return !GETASYNCKEYSTATE(VK_F4); }; }));
  EXPECT_TRUE(lStillOpen);
  EXPECT_EQ(o.oDlg.nResult, 2);
}

TEST(DialogRun, CloseRequestAcceptedWhenValidAgrees) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  int nAsked = 0;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(WaitFor([&] { return o.Window() != nullptr && o.Window()->isVisible(); }));
    o.Window()->close();
  });
  o.oDlg.Activate(o.Args([&](TDialog& d) {
    d.bValid = [&](TDialog&) {
      ++nAsked;
      return true;
    };
  }));
  EXPECT_EQ(nAsked, 1);
  EXPECT_EQ(o.oDlg.nResult, 2);
}

TEST(DialogRun, EnterNeverClosesEscDoesAndSwitchTurnsEscOff) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  bool lOpenAfterEnter = false;
  bool lOpenAfterEscOff = false;
  o.oDlg.bStart = [&] {
    QTest::keyClick(o.Log(), Qt::Key_Return);
    QTest::keyClick(o.Log(), Qt::Key_Enter);
    QTest::keyClick(o.Window(), Qt::Key_Return);
    serial::SYSREFRESH();
    lOpenAfterEnter = o.Window()->isVisible() && !o.oDlg.nResult;
    const bool lWas = SETDIALOGESC(false);
    QTest::keyClick(o.Log(), Qt::Key_Escape);
    lOpenAfterEscOff = !o.oDlg.nResult;
    SETDIALOGESC(lWas);
    QTest::keyClick(o.Log(), Qt::Key_Escape);
  };
  o.oDlg.Activate(o.Args());
  EXPECT_TRUE(lOpenAfterEnter);
  EXPECT_TRUE(lOpenAfterEscOff);
  EXPECT_EQ(o.oDlg.nResult, 2);
}

TEST(DialogRun, WhenFalseCancelsWithoutAWindow) {
  ProgramDialog o;
  const int nBefore = DIALOGSRUNNING();
  int nDuringWhen = -1;
  bool lInit = false;
  o.oDlg.Activate({.bInit = [&](TDialog&) { lInit = true; },
                   .bWhen =
                       [&](TDialog&) {
                         nDuringWhen = DIALOGSRUNNING();
                         return false;
                       }});
  EXPECT_EQ(o.oDlg.nResult, 2);
  EXPECT_FALSE(lInit);
  EXPECT_EQ(nDuringWhen, nBefore + 1);
  EXPECT_EQ(DIALOGSRUNNING(), nBefore);
  EXPECT_FALSE(o.oDlg.lVisible);
}

TEST(DialogRun, ExceptionFromStartCallbackLeavesActivate) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  const int nBefore = DIALOGSRUNNING();
  o.oDlg.bStart = [] { throw std::runtime_error("quit"); };
  EXPECT_THROW(o.oDlg.Activate(o.Args()), std::runtime_error);
  EXPECT_EQ(DIALOGSRUNNING(), nBefore);
  EXPECT_EQ(o.oDlg.hWnd, 0);
  EXPECT_FALSE(o.oDlg.lVisible);
}

TEST(DialogRun, CannotCreateDialogBoxOffTheUserInterfaceThread) {
  std::vector<UiError> aErrors;
  const auto bOld = SETUIERRORHOOK([&](const UiError& e) { aErrors.push_back(e); });
  TDialog oDlg;
  oDlg.New({.cCaption = "Prova"});
  std::thread([&] { oDlg.Activate({}); }).join();
  SETUIERRORHOOK(bOld);
  ASSERT_EQ(aErrors.size(), 1U);
  EXPECT_EQ(aErrors[0].cDescription, "Cannot create Dialog Box");
  EXPECT_EQ(aErrors[0].nSubCode, 3);
  EXPECT_EQ(aErrors[0].nSeverity, 2);
  EXPECT_FALSE(aErrors[0].lCanDefault);
  EXPECT_EQ(aErrors[0].cOperation, "\r\n" + std::string(22, ' ') + "Title: Prova");
  EXPECT_FALSE(oDlg.lVisible);
}

TEST(WindowEvents, CommNotifyReachesTheCallbackWithHandleAndStatus) {
  TDialog oDlg;
  std::vector<std::pair<int, int>> aCalls;
  EXPECT_FALSE(oDlg.HandleEvent(WM_COMMNOTIFY, 3, CN_RECEIVE).has_value()); // no callback
  oDlg.bCommNotify = [&](int nComm, int nStatus) { aCalls.emplace_back(nComm, nStatus); };
  EXPECT_TRUE(oDlg.HandleEvent(WM_COMMNOTIFY, 3, CN_RECEIVE).has_value());

  // A posted event takes the same path once it is recognised as a notification.
  static const auto nType = static_cast<QEvent::Type>(QEvent::registerEventType());
  const CommNotifyDecoder fDecode = [](const QEvent& e) -> std::optional<CommNotifyArgs> {
    if (e.type() != nType) {
      return std::nullopt;
    }
    return CommNotifyArgs{9, CN_RECEIVE};
  };
  QEvent oNotify(nType);
  QEvent oOther(QEvent::User);
  EXPECT_TRUE(ROUTEWINDOWEVENT(oDlg, oNotify, fDecode));
  EXPECT_FALSE(ROUTEWINDOWEVENT(oDlg, oOther, fDecode));
  EXPECT_EQ(aCalls, (std::vector<std::pair<int, int>>{{3, 1}, {9, 1}}));
}

TEST(WindowEvents, HandleIsRegisteredOnlyWhileTheWindowExists) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  int hSeen = 0;
  o.oDlg.bStart = [&] {
    hSeen = o.oDlg.hWnd;
    EXPECT_TRUE(serial::ISWINDOW(hSeen));
    o.oDlg.End();
  };
  o.oDlg.Activate(o.Args());
  EXPECT_NE(hSeen, 0);
  EXPECT_FALSE(serial::ISWINDOW(hSeen));
}

TEST(CloseCheck, AsksOnlyWithUnsavedChangesAndRefusesReentry) {
  TDialog oDlg;
  oDlg.New({});
  oDlg.lModify = false;
  EXPECT_TRUE(VALID_(oDlg, false));
  EXPECT_TRUE(VALID_(oDlg, true)); // nothing modified
  oDlg.lModify = true;
  bool lReentry = true;
  QString cQuestion;
  WhenModal<QMessageBox>([&](QMessageBox* p) {
    cQuestion = p->text();
    lReentry = VALID_(oDlg, true);
    p->button(QMessageBox::Yes)->click();
  });
  EXPECT_TRUE(VALID_(oDlg, true));
  EXPECT_EQ(cQuestion, "Annullo le modifiche?");
  EXPECT_FALSE(lReentry);
  WhenModal<QMessageBox>([](QMessageBox* p) { QTest::keyClick(p, Qt::Key_Return); });
  EXPECT_FALSE(VALID_(oDlg, true)); // No is the default answer
}

TEST(CloseCheck, FieldValidationWhenTheDialogAsksForIt) {
  DialogWatchdog oWatch;
  ProgramDialog o;
  bool lFieldOk = false;
  o.oGet.bValid = [&] { return lFieldOk; };
  std::vector<bool> aResults;
  QString cMessage;
  o.oDlg.bStart = [&] {
    o.oDlg.Cargo = 1;
    WhenModal<QMessageBox>([&](QMessageBox* p) {
      cMessage = p->text();
      p->accept();
    });
    aResults.push_back(VALID_(o.oDlg, false));
    EXPECT_FALSE(o.oDlg.Cargo.has_value());
    o.oDlg.Cargo = 1;
    lFieldOk = true;
    aResults.push_back(VALID_(o.oDlg, false));
    o.oDlg.End();
  };
  o.oDlg.Activate(o.Args());
  EXPECT_EQ(aResults, (std::vector<bool>{false, true}));
  EXPECT_EQ(cMessage, "Campo non valido.");
}

} // namespace
} // namespace veltra::ui
