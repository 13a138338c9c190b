// TDialog: geometry and style rules, the cases shared with Win32 (dialog_contract.h) on the
// offscreen Qt window, what else ends a run and what does not, the close check, comm-notify
// dispatch and the creation error.
#include "serial/message_pump.h"
#include "serial/window_registry_qt.h"
#include "serial/window_registry_testing_qt.h"
#include "tests/ui/dialog_contract.h"
#include "tests/ui/ui_test_util.h"
#include "ui/dialog.h"
#include "ui/dialog_qt.h"
#include "ui/multiget.h"
#include "ui/ui_error.h"
#include "ui/window_qt.h"

#include <QMessageBox>
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

using namespace test;

// The shared cases on Qt: keys and close requests are Qt events sent to the offscreen window.
struct QtScreen {
  DialogWatchdog oWatch;
  int hSeen = 0;

  static bool Shown(const TDialog& o) { return WIDGETOF(o) != nullptr && WIDGETOF(o)->isVisible(); }
  static void F4(const TDialog& o, bool lDown) {
    if (lDown) {
      QTest::keyPress(WIDGETOF(o), Qt::Key_F4);
    } else {
      QTest::keyRelease(WIDGETOF(o), Qt::Key_F4);
    }
  }
  static void AskClose(const TDialog& o) { WIDGETOF(o)->close(); }
  static void Esc(const TDialog&, TMultiGet& oGet) {
    QTest::keyClick(WIDGETOF(oGet), Qt::Key_Escape);
  }
  static void Repaint(const TDialog& o) { WIDGETOF(o)->repaint(); }

  // Title bar and border but no buttons, fixed at 502 x 502 and centred on the screen; the log
  // has the focus and covers the client area, its frame just outside the edges.
  void Look(const TDialog& oDlg, const TMultiGet& oGet) {
    hSeen = oDlg.hWnd;
    EXPECT_TRUE(serial::ISWINDOW(hSeen));
    QWidget* w = WIDGETOF(oDlg);
    EXPECT_EQ(w->windowTitle(), "Invio immagine");
    EXPECT_EQ(w->focusWidget(), WIDGETOF(oGet));
    const Qt::WindowFlags f = w->windowFlags();
    EXPECT_TRUE(f.testFlag(Qt::WindowTitleHint) && f.testFlag(Qt::CustomizeWindowHint));
    for (const Qt::WindowType nButton : {Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
                                         Qt::WindowMaximizeButtonHint, Qt::WindowSystemMenuHint}) {
      EXPECT_FALSE(f.testFlag(nButton)) << nButton;
    }
    EXPECT_EQ(w->size(), QSize(502, 502));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    const QRect oScreen = QGuiApplication::primaryScreen()->geometry();
    const auto [nX, nY] =
        CENTEREDPOS(oScreen.left(), oScreen.top(), oScreen.width(), oScreen.height(), 502, 502);
    EXPECT_EQ(w->geometry().topLeft(), QPoint(nX, nY));
    EXPECT_EQ(WIDGETOF(oGet)->geometry(), QRect(-1, -1, 504, 505));
  }
  bool Gone() const { return hSeen != 0 && !serial::ISWINDOW(hSeen); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, DialogContract, QtScreen);
using ProgramWindow = DialogContract<QtScreen>;

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

TEST_F(ProgramWindow, EnterNeverClosesEscDoesAndSwitchTurnsEscOff) {
  bool lOpenAfterEnter = false;
  bool lOpenAfterEscOff = false;
  oDlg.bStart = [&] {
    QTest::keyClick(WIDGETOF(oGet), Qt::Key_Return);
    QTest::keyClick(WIDGETOF(oGet), Qt::Key_Enter);
    QTest::keyClick(WIDGETOF(oDlg), Qt::Key_Return);
    serial::SYSREFRESH();
    lOpenAfterEnter = WIDGETOF(oDlg)->isVisible() && !oDlg.nResult;
    const bool lWas = SETDIALOGESC(false);
    QTest::keyClick(WIDGETOF(oGet), Qt::Key_Escape);
    lOpenAfterEscOff = !oDlg.nResult;
    SETDIALOGESC(lWas);
    QTest::keyClick(WIDGETOF(oGet), Qt::Key_Escape);
  };
  Activate();
  EXPECT_TRUE(lOpenAfterEnter);
  EXPECT_TRUE(lOpenAfterEscOff);
  EXPECT_EQ(oDlg.nResult, 2);
}

TEST_F(ProgramWindow, WhenFalseCancelsWithoutAWindow) {
  const int nBefore = DIALOGSRUNNING();
  int nDuringWhen = -1;
  bool lInit = false;
  oDlg.Activate({.bInit = [&](TDialog&) { lInit = true; },
                 .bWhen =
                     [&](TDialog&) {
                       nDuringWhen = DIALOGSRUNNING();
                       return false;
                     }});
  EXPECT_EQ(oDlg.nResult, 2);
  EXPECT_FALSE(lInit);
  EXPECT_EQ(nDuringWhen, nBefore + 1);
  EXPECT_EQ(DIALOGSRUNNING(), nBefore);
  EXPECT_FALSE(oDlg.lVisible);
}

TEST_F(ProgramWindow, ExceptionFromStartCallbackLeavesActivate) {
  const int nBefore = DIALOGSRUNNING();
  oDlg.bStart = [] { throw std::runtime_error("quit"); };
  EXPECT_THROW(Activate(), std::runtime_error);
  EXPECT_EQ(DIALOGSRUNNING(), nBefore);
  EXPECT_EQ(oDlg.hWnd, 0);
  EXPECT_FALSE(oDlg.lVisible);
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

TEST_F(ProgramWindow, FieldValidationWhenTheDialogAsksForIt) {
  bool lFieldOk = false;
  oGet.bValid = [&] { return lFieldOk; };
  std::vector<bool> aResults;
  QString cMessage;
  oDlg.bStart = [&] {
    oDlg.Cargo = 1;
    WhenModal<QMessageBox>([&](QMessageBox* p) {
      cMessage = p->text();
      p->accept();
    });
    aResults.push_back(VALID_(oDlg, false));
    EXPECT_FALSE(oDlg.Cargo.has_value());
    oDlg.Cargo = 1;
    lFieldOk = true;
    aResults.push_back(VALID_(oDlg, false));
    oDlg.End();
  };
  Activate();
  EXPECT_EQ(aResults, (std::vector<bool>{false, true}));
  EXPECT_EQ(cMessage, "Campo non valido.");
}

} // namespace
} // namespace veltra::ui
