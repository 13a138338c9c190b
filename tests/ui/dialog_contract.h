// What the program's window promises on every platform, written once: init before the window
// shows, the start callback once after the first paint, an end during init that never shows
// it, and what may close it while the start callback serves the device (a close refused while
// F4 is down, then an accepted close carried out only once the callback returns, the window up
// and taking keys until then). Each platform's suite instantiates the cases with its own
// Screen, which has:
//   static bool Shown(const TDialog&)              the window is up: visible and, where the
//                                                  system keeps one, the active window
//   static void F4(const TDialog&, bool lDown)     F4 pressed or released, as the key state sees it
//   static void AskClose(const TDialog&)           the close request that Alt+F4 becomes
//   static void Esc(const TDialog&, TMultiGet&)    Esc typed into the log
//   static void Repaint(const TDialog&)            a paint asked for
//   void Look(const TDialog&, const TMultiGet&)    the platform's checks of the shown window
//                                                  (frame, size, place, log), noting its handle
//   bool Gone() const                              the noted handle names no window any more
#pragma once

#include "serial/message_pump.h"
#include "ui/dialog.h"
#include "ui/key_state.h"
#include "ui/multiget.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace veltra::ui::test {

// Pumps as the transfer loop does until lDone() holds, for at most 10 s.
inline bool PumpUntil(const std::function<bool()>& lDone) {
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!lDone() && std::chrono::steady_clock::now() < tEnd) {
    serial::SYSWAIT(20);
  }
  return lDone();
}

// The program's window: 500 x 500 pixels of style 0, its client a read-only log bound to cText,
// run as the program runs it. The suites' other window cases use it as their fixture too.
template <class Screen> class DialogContract : public ::testing::Test {
protected:
  DialogContract() {
    oDlg.New({.cCaption = "Invio immagine  ", .nStyle = 0, .nWidth = 500, .nHeight = 500});
    oDlg.lModify = false;
    oDlg.lHelpIcon = false;
    oGet.New({.nRow = 0, .nCol = 0, .bSetGet = BINDTEXT(cText), .lReadOnly = true});
  }

  void Activate(std::function<void(TDialog&)> bInit = {},
                std::function<void(TDialog&)> bPainted = {}) {
    oDlg.Activate({.bPainted = std::move(bPainted),
                   .lCentered = true,
                   .bValid = [](TDialog& o) { return VALID_(o, false); },
                   .bInit =
                       [this, bInit](TDialog& o) {
                         o.SetControl(oGet);
                         if (bInit) {
                           bInit(o);
                         }
                       },
                   .lResize16 = true});
  }

  // A line appended to the log as the transfer loop does it.
  void Append(const std::string& cLine) {
    oGet.VarPut(oGet.VarGet().value_or("") + cLine + "\r\n");
    oGet.Refresh(false);
    oGet.GoBottom();
  }

  Screen oScreen;
  std::string cText;
  TDialog oDlg;
  TMultiGet oGet;
};

TYPED_TEST_SUITE_P(DialogContract);

// Paints can be folded together (Wine does, with the machine's timing), so the later ones are
// counted loosely: what matters is that they came and that none of them ran the start again.
TYPED_TEST_P(DialogContract, InitBeforeShownThenStartOnceAfterTheFirstPaint) {
  TDialog& oDlg = this->oDlg;
  std::vector<std::string> aSteps;
  const auto Step = [&](const char* c) {
    aSteps.push_back(std::string(c) + (TypeParam::Shown(oDlg) ? " shown" : " hidden"));
  };
  oDlg.bStart = [&] {
    Step("start");
    EXPECT_FALSE(oDlg.bStart) << "cleared before it runs";
    this->oScreen.Look(oDlg, this->oGet);
    for (int i = 0; i < 3; ++i) {
      TypeParam::Repaint(oDlg);
      serial::SYSREFRESH();
    }
    oDlg.End();
  };
  this->Activate(
      [&](TDialog& o) {
        EXPECT_NE(o.hWnd, 0);
        Step("init");
      },
      [&](TDialog&) { aSteps.push_back("paint"); });
  ASSERT_GE(aSteps.size(), 4U);
  EXPECT_EQ(std::vector<std::string>(aSteps.begin(), aSteps.begin() + 3),
            (std::vector<std::string>{"init hidden", "paint", "start shown"}));
  EXPECT_EQ(std::count(aSteps.begin() + 3, aSteps.end(), "paint"),
            static_cast<std::ptrdiff_t>(aSteps.size() - 3));
  EXPECT_EQ(oDlg.nResult, IDCANCEL);
  EXPECT_FALSE(oDlg.lVisible);
  EXPECT_EQ(oDlg.hWnd, 0);
  EXPECT_TRUE(this->oScreen.Gone());
}

TYPED_TEST_P(DialogContract, EndDuringInitNeverShowsTheWindowNorRunsTheStart) {
  bool lStarted = false;
  bool lPainted = false;
  this->oDlg.bStart = [&] { lStarted = true; };
  this->Activate([](TDialog& o) { EXPECT_TRUE(o.End()); }, [&](TDialog&) { lPainted = true; });
  EXPECT_FALSE(lStarted);
  EXPECT_FALSE(lPainted);
  EXPECT_EQ(this->oDlg.nResult, IDCANCEL);
}

// The program's valid callback refuses while F4 is down, so Alt+F4 cannot close the window
// while the start callback serves the device. A close it accepts there (a window manager's,
// the taskbar's) leaves the window up, active and taking keys until the callback returns; the
// dialog then ends with the last accepted code.
TYPED_TEST_P(DialogContract, CloseRefusedWhileF4IsDownAndAnAcceptedOneWaitsForTheStartToReturn) {
  TDialog& oDlg = this->oDlg;
  int nRefused = 0;
  int nAccepted = 0;
  bool lUpAfterAltF4 = false;
  bool lUpAfterClose = false;
  bool lEscReached = false;
  bool lUpAfterEsc = false;
  oDlg.bStart = [&] {
    TypeParam::F4(oDlg, true);
    ASSERT_TRUE(PumpUntil([] { return GETASYNCKEYSTATE(VK_F4); }));
    EXPECT_FALSE(oDlg.End(5));
    TypeParam::AskClose(oDlg);
    PumpUntil([&] { return nRefused >= 2; });
    TypeParam::F4(oDlg, false);
    PumpUntil([] { return !GETASYNCKEYSTATE(VK_F4); });
    lUpAfterAltF4 = !oDlg.nResult.has_value() && TypeParam::Shown(oDlg);

    TypeParam::AskClose(oDlg);
    PumpUntil([&] { return nAccepted == 1; });
    serial::SYSREFRESH();
    lUpAfterClose = oDlg.nResult == IDCANCEL && TypeParam::Shown(oDlg);
    TypeParam::Esc(oDlg, this->oGet);
    lEscReached = PumpUntil([&] { return nAccepted == 2; });
    serial::SYSREFRESH();
    lUpAfterEsc = TypeParam::Shown(oDlg);
    EXPECT_TRUE(oDlg.End(7));
  };
  this->Activate([&](TDialog& o) {
    o.bValid = [&](TDialog&) {
      const bool lF4 = GETASYNCKEYSTATE(VK_F4);
      ++(lF4 ? nRefused : nAccepted);
      return !lF4;
    };
  });
  EXPECT_GE(nRefused, 2);
  EXPECT_TRUE(lUpAfterAltF4);
  EXPECT_TRUE(lUpAfterClose);
  EXPECT_TRUE(lEscReached) << "Esc reached the window after the accepted close";
  EXPECT_TRUE(lUpAfterEsc);
  EXPECT_EQ(nAccepted, 3);
  EXPECT_EQ(oDlg.nResult, 7);
  EXPECT_EQ(oDlg.hWnd, 0);
}

REGISTER_TYPED_TEST_SUITE_P(DialogContract, InitBeforeShownThenStartOnceAfterTheFirstPaint,
                            EndDuringInitNeverShowsTheWindowNorRunsTheStart,
                            CloseRefusedWhileF4IsDownAndAnAcceptedOneWaitsForTheStartToReturn);

} // namespace veltra::ui::test
