// The program's window on Win32 under Wine: the order of its callbacks, what closes it, and
// the log that fills it. Keys are injected as the user's (SendInput) and take the system's
// own way: the edit control, the default window procedure, the dialog manager.
#include "serial/message_pump.h"
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/key_state.h"
#include "ui/multiget.h"
#include "win32_test_util.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace veltra::ui {
namespace {

using test::HWNDOF;
using test::TAP;
using test::XKEYS;

constexpr const char* kCaption = "Invio immagine";

// The program's dialog: a 500 x 500 pixel window of style 0 whose client is a read-only log.
struct ProgramWindow {
  std::string cText;
  TDialog oDlg;
  TMultiGet oGet;

  ProgramWindow() {
    oDlg.New(
        {.cCaption = std::string(kCaption) + "  ", .nStyle = 0, .nWidth = 500, .nHeight = 500});
    oDlg.lModify = false;
    oDlg.lHelpIcon = false;
    oGet.New({.nRow = 0, .nCol = 0, .bSetGet = BINDTEXT(cText), .lReadOnly = true});
  }

  void Append(const std::string& cLine) {
    oGet.VarPut(oGet.VarGet().value_or("") + cLine + "\r\n");
    oGet.Refresh(false);
    oGet.GoBottom();
  }

  std::string Shown() const {
    const HWND h = HWNDOF(oGet);
    std::string c(static_cast<std::size_t>(GetWindowTextLengthA(h)) + 1, '\0');
    c.resize(static_cast<std::size_t>(GetWindowTextA(h, c.data(), static_cast<int>(c.size()))));
    return c;
  }
};

// Pumps as the transfer loop does until lDone() holds, for at most 10 s.
bool PumpUntil(const std::function<bool()>& lDone) {
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!lDone()) {
    if (std::chrono::steady_clock::now() > tEnd) {
      return false;
    }
    serial::SYSWAIT(20);
  }
  return true;
}

void Activate(ProgramWindow& o, std::function<void(TDialog&)> bInit = {},
              std::function<void(TDialog&)> bPainted = {}) {
  o.oDlg.Activate({.bPainted = std::move(bPainted),
                   .lCentered = true,
                   .bValid = [](TDialog& oDlg) { return VALID_(oDlg, false); },
                   .bInit =
                       [&, bInit](TDialog& oDlg) {
                         oDlg.SetControl(o.oGet);
                         if (bInit) {
                           bInit(oDlg);
                         }
                       },
                   .lResize16 = true});
}

TEST(DialogWin32, InitBeforeShownStartOnceAfterTheFirstPaintInACentredWindowFilledByTheLog) {
  ProgramWindow o;
  std::vector<std::string> aSteps;
  const auto Visible = [&] { return IsWindowVisible(HWNDOF(o.oDlg)) ? " shown" : " hidden"; };
  RECT oClient{}, oLog{}, oWindow{};
  o.oDlg.bStart = [&] {
    aSteps.push_back(std::string("start") + Visible());
    GetClientRect(HWNDOF(o.oDlg), &oClient);
    GetWindowRect(HWNDOF(o.oDlg), &oWindow);
    GetWindowRect(HWNDOF(o.oGet), &oLog);
    MapWindowPoints(nullptr, HWNDOF(o.oDlg), reinterpret_cast<POINT*>(&oLog), 2);
    for (int i = 0; i < 3; ++i) {
      RedrawWindow(HWNDOF(o.oDlg), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      serial::SYSREFRESH();
    }
    o.oDlg.End();
  };
  Activate(
      o, [&](TDialog&) { aSteps.push_back(std::string("init") + Visible()); },
      [&](TDialog&) { aSteps.push_back("paint"); });

  // Wine may fold forced repaints together, so the later paints are counted loosely: what
  // matters is that they came and that none of them ran the start again.
  ASSERT_GE(aSteps.size(), 4U);
  EXPECT_EQ(std::vector<std::string>(aSteps.begin(), aSteps.begin() + 3),
            (std::vector<std::string>{"init hidden", "paint", "start shown"}));
  EXPECT_EQ(std::count(aSteps.begin() + 3, aSteps.end(), "paint"),
            static_cast<std::ptrdiff_t>(aSteps.size() - 3));
  EXPECT_EQ(o.oDlg.nResult, IDCANCEL);
  EXPECT_EQ(o.oDlg.hWnd, 0);
  EXPECT_NEAR(oClient.right, 500, 8);
  EXPECT_NEAR(oClient.bottom, 500, 8);
  EXPECT_EQ(oLog.left, -1);
  EXPECT_EQ(oLog.top, -1);
  EXPECT_EQ(oLog.right, oClient.right + 1);
  EXPECT_EQ(oLog.bottom, oClient.bottom + 2);
  const int nScreenW = GetSystemMetrics(SM_CXSCREEN);
  const int nScreenH = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_NEAR(oWindow.left, (nScreenW - (oWindow.right - oWindow.left)) / 2, 1);
  EXPECT_NEAR(oWindow.top, (nScreenH - (oWindow.bottom - oWindow.top)) / 2, 1);
}

TEST(DialogWin32, EndDuringInitNeverShowsTheWindowNorRunsTheStart) {
  ProgramWindow o;
  bool lStarted = false;
  bool lPainted = false;
  o.oDlg.bStart = [&] { lStarted = true; };
  Activate(
      o, [](TDialog& oDlg) { EXPECT_TRUE(oDlg.End()); }, [&](TDialog&) { lPainted = true; });
  EXPECT_FALSE(lStarted);
  EXPECT_FALSE(lPainted);
  EXPECT_EQ(o.oDlg.nResult, IDCANCEL);
}

// The program's valid callback refuses a close while F4 is down: Alt+F4 is refused, then Esc,
// pressed in the log while the start callback pumps as the transfer loop does, closes it.
// F4 is held at the X server, so that the key state shows it; the close request is the
// system command that the default window procedure makes of Alt+F4 (Wine leaves injected
// keys out of the key state, and an Alt pressed at the X server can open menu mode).
TEST(DialogWin32, AltF4IsRefusedAndEscClosesWhileTheStartCallbackPumps) {
  ProgramWindow o;
  int nRefused = 0;
  bool lF4Seen = false;
  bool lAliveAfterAltF4 = false;
  bool lEscEnded = false;
  o.oDlg.bStart = [&] {
    XKEYS(kCaption, "keydown F4");
    lF4Seen = PumpUntil([] { return GETASYNCKEYSTATE(VK_F4); });
    PostMessageA(HWNDOF(o.oDlg), WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpUntil([&] { return nRefused > 0; });
    XKEYS(kCaption, "keyup F4");
    PumpUntil([] { return !GETASYNCKEYSTATE(VK_F4); });
    lAliveAfterAltF4 = !o.oDlg.nResult.has_value() && IsWindowVisible(HWNDOF(o.oDlg));
    SetForegroundWindow(HWNDOF(o.oDlg));
    o.oGet.SetFocus();
    TAP(VK_ESCAPE);
    lEscEnded = PumpUntil([&] { return o.oDlg.nResult.has_value(); });
  };
  Activate(o, [&](TDialog& oDlg) {
    oDlg.bValid = [&](TDialog&) {
      const bool lF4 = GETASYNCKEYSTATE(VK_F4);
      nRefused += lF4 ? 1 : 0;
      return !lF4;
    };
  });
  EXPECT_TRUE(lF4Seen);
  EXPECT_GE(nRefused, 1);
  EXPECT_TRUE(lAliveAfterAltF4);
  EXPECT_TRUE(lEscEnded);
  EXPECT_EQ(o.oDlg.nResult, IDCANCEL);
  EXPECT_FALSE(GETASYNCKEYSTATE(VK_F4));
}

// A close that the valid callback accepts while the start callback runs (a window manager's
// or the taskbar's close) leaves the window up, active and taking keys until the callback has
// returned; then the dialog ends, with the accepted code.
TEST(DialogWin32, CloseAcceptedInsideTheStartCallbackWaitsForTheCallbackToReturn) {
  ProgramWindow o;
  int nAccepted = 0;
  bool lUpAfterClose = false;
  bool lUpAfterEsc = false;
  HWND hWindow = nullptr;
  o.oDlg.bStart = [&] {
    hWindow = HWNDOF(o.oDlg);
    PostMessageA(hWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpUntil([&] { return nAccepted == 1; });
    serial::SYSREFRESH();
    lUpAfterClose =
        o.oDlg.nResult == IDCANCEL && IsWindowVisible(hWindow) && GetActiveWindow() == hWindow;
    SetForegroundWindow(hWindow);
    o.oGet.SetFocus();
    TAP(VK_ESCAPE);
    PumpUntil([&] { return nAccepted == 2; });
    serial::SYSREFRESH();
    lUpAfterEsc = IsWindowVisible(hWindow) && GetActiveWindow() == hWindow;
  };
  Activate(o, [&](TDialog& oDlg) {
    oDlg.bValid = [&](TDialog&) {
      ++nAccepted;
      return true;
    };
  });
  EXPECT_TRUE(lUpAfterClose);
  EXPECT_EQ(nAccepted, 2) << "Esc reached the window after the accepted close";
  EXPECT_TRUE(lUpAfterEsc);
  EXPECT_EQ(o.oDlg.nResult, IDCANCEL);
  EXPECT_FALSE(IsWindow(hWindow));
  EXPECT_EQ(o.oDlg.hWnd, 0);
}

// Lines appended the program's way all show, in order, with the last one in view; keys,
// Delete and paste change nothing in the read-only log, and Esc there closes the window;
// after the close the bound text holds every line.
TEST(DialogWin32, LogShowsEveryAppendedLineAtTheEndAndRefusesEdits) {
  ProgramWindow o;
  std::string cShownAfterAppends;
  std::string cShownAfterKeys;
  int nFirstVisible = 0;
  DWORD nCaret = 0;
  bool lEscEnded = false;
  o.oDlg.bStart = [&] {
    for (int i = 0; i < 80; ++i) {
      o.Append("Sending track " + std::to_string(i / 2) + ", side " + std::to_string(i % 2));
    }
    serial::SYSREFRESH();
    cShownAfterAppends = o.Shown();
    nFirstVisible = static_cast<int>(SendMessageA(HWNDOF(o.oGet), EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageA(HWNDOF(o.oGet), EM_GETSEL, reinterpret_cast<WPARAM>(&nCaret), 0);

    // Esc last: once it has closed the window, the keys before it have all been handled.
    SendMessageA(HWNDOF(o.oGet), WM_PASTE, 0, 0);
    SetForegroundWindow(HWNDOF(o.oDlg));
    o.oGet.SetFocus();
    for (const int nVk : {int('A'), VK_DELETE, VK_BACK, VK_RETURN, VK_ESCAPE}) {
      TAP(nVk);
    }
    lEscEnded = PumpUntil([&] { return o.oDlg.nResult.has_value(); });
    cShownAfterKeys = o.Shown();
  };
  Activate(o);

  EXPECT_EQ(cShownAfterAppends, o.cText);
  EXPECT_EQ(cShownAfterAppends.substr(0, 27), "Sending track 0, side 0\r\nSe");
  EXPECT_EQ(nCaret, o.cText.size());
  EXPECT_GT(nFirstVisible, 40);
  EXPECT_TRUE(lEscEnded);
  EXPECT_EQ(cShownAfterKeys, cShownAfterAppends);
  EXPECT_TRUE(o.cText.ends_with("\r\nSending track 39, side 1\r\n"));
}

} // namespace
} // namespace veltra::ui
