// The program's window on Win32 under Wine: the cases shared with Qt (dialog_contract.h) on
// the system's own windows, and the log that fills it. Keys are injected as the user's
// (SendInput) and take the system's own way: the edit control, the default window procedure,
// the dialog manager.
#include "serial/message_pump.h"
#include "tests/ui/dialog_contract.h"
#include "ui/dialog.h"
#include "ui/multiget.h"
#include "win32_test_util.h"

#include <gtest/gtest.h>
#include <string>

namespace veltra::ui {
namespace {

using namespace test;

// The shared cases under Wine: F4 held at the X server, so that the key state shows it; the
// close request is the system command that the default window procedure makes of Alt+F4 (Wine
// leaves injected keys out of the key state, and an Alt pressed at the X server can open menu
// mode); Esc is injected as the user's into the log.
struct Win32Screen {
  HWND hSeen = nullptr;

  static bool Shown(const TDialog& o) {
    return IsWindowVisible(HWNDOF(o)) && GetActiveWindow() == HWNDOF(o);
  }
  static void F4(const TDialog& o, bool lDown) {
    XKEYS(o.cCaption, lDown ? "keydown F4" : "keyup F4");
  }
  static void AskClose(const TDialog& o) { PostMessageA(HWNDOF(o), WM_SYSCOMMAND, SC_CLOSE, 0); }
  static void Esc(const TDialog& o, TMultiGet& oGet) {
    SetForegroundWindow(HWNDOF(o));
    oGet.SetFocus();
    TAP(VK_ESCAPE);
  }
  static void Repaint(const TDialog& o) {
    RedrawWindow(HWNDOF(o), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }

  // A client of about 500 x 500 (the system font's units round it), centred on the screen; the
  // log covers it, its frame just outside the edges.
  void Look(const TDialog& oDlg, const TMultiGet& oGet) {
    hSeen = HWNDOF(oDlg);
    RECT oClient{}, oLog{}, oWindow{};
    GetClientRect(hSeen, &oClient);
    GetWindowRect(hSeen, &oWindow);
    GetWindowRect(HWNDOF(oGet), &oLog);
    MapWindowPoints(nullptr, hSeen, reinterpret_cast<POINT*>(&oLog), 2);
    EXPECT_NEAR(oClient.right, 500, 8);
    EXPECT_NEAR(oClient.bottom, 500, 8);
    EXPECT_EQ(oLog.left, -1);
    EXPECT_EQ(oLog.top, -1);
    EXPECT_EQ(oLog.right, oClient.right + 1);
    EXPECT_EQ(oLog.bottom, oClient.bottom + 2);
    EXPECT_NEAR(oWindow.left, (GetSystemMetrics(SM_CXSCREEN) - (oWindow.right - oWindow.left)) / 2,
                1);
    EXPECT_NEAR(oWindow.top, (GetSystemMetrics(SM_CYSCREEN) - (oWindow.bottom - oWindow.top)) / 2,
                1);
  }
  bool Gone() const { return hSeen != nullptr && !IsWindow(hSeen); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, DialogContract, Win32Screen);
using ProgramWindow = DialogContract<Win32Screen>;

// The log's text as the edit control shows it.
std::string Shown(const TMultiGet& oGet) {
  const HWND h = HWNDOF(oGet);
  std::string c(static_cast<std::size_t>(GetWindowTextLengthA(h)) + 1, '\0');
  c.resize(static_cast<std::size_t>(GetWindowTextA(h, c.data(), static_cast<int>(c.size()))));
  return c;
}

// Lines appended the program's way all show, in order, with the last one in view; keys,
// Delete and paste change nothing in the read-only log, and Esc there closes the window;
// after the close the bound text holds every line. The taskbar's message is noted.
TEST_F(ProgramWindow, LogShowsEveryAppendedLineAtTheEndAndRefusesEdits) {
  std::string cShownAfterAppends;
  std::string cShownAfterKeys;
  int nFirstVisible = 0;
  DWORD nCaret = 0;
  bool lEscEnded = false;
  bool lButtonNoted = false;
  oDlg.bStart = [&] {
    // The taskbar's word that the window's button is in place, which the progress waits for.
    SendMessageA(HWNDOF(oDlg), RegisterWindowMessageA("TaskbarButtonCreated"), 0, 0);
    lButtonNoted = TASKBARBUTTONSHOWN(oDlg.hWnd);
    for (int i = 0; i < 80; ++i) {
      Append("Sending track " + std::to_string(i / 2) + ", side " + std::to_string(i % 2));
    }
    serial::SYSREFRESH();
    cShownAfterAppends = Shown(oGet);
    nFirstVisible = static_cast<int>(SendMessageA(HWNDOF(oGet), EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageA(HWNDOF(oGet), EM_GETSEL, reinterpret_cast<WPARAM>(&nCaret), 0);

    // Esc last: once it has closed the window, the keys before it have all been handled.
    SendMessageA(HWNDOF(oGet), WM_PASTE, 0, 0);
    SetForegroundWindow(HWNDOF(oDlg));
    oGet.SetFocus();
    for (const int nVk : {int('A'), VK_DELETE, VK_BACK, VK_RETURN, VK_ESCAPE}) {
      TAP(nVk);
    }
    lEscEnded = PumpUntil([&] { return oDlg.nResult.has_value(); });
    cShownAfterKeys = Shown(oGet);
  };
  Activate();

  EXPECT_EQ(cShownAfterAppends, cText);
  EXPECT_EQ(cShownAfterAppends.substr(0, 27), "Sending track 0, side 0\r\nSe");
  EXPECT_EQ(nCaret, cText.size());
  EXPECT_GT(nFirstVisible, 40);
  EXPECT_TRUE(lEscEnded);
  EXPECT_TRUE(lButtonNoted);
  EXPECT_EQ(cShownAfterKeys, cShownAfterAppends);
  EXPECT_TRUE(cText.ends_with("\r\nSending track 39, side 1\r\n"));
}

} // namespace
} // namespace veltra::ui
