// Message pump over the Win32 message queue: PeekMessage with the dialog manager, translation
// and dispatch; the wait sleeps in MsgWaitForMultipleObjectsEx on the thread's input and a
// wake event, so an idle polling loop costs no processor time.
#include "serial/message_pump.h"

#include <atomic>
#include <utility>
#include <windows.h>

namespace veltra::serial {
namespace {

std::atomic<int> g_nLastKey{0};
std::atomic<DWORD> g_nUiThread{0};

// User-interface thread only.
bool g_lMainLoopRunning = false;
int g_hPumpDialog = 0;

HANDLE WakeEvent() {
  // Auto-reset: one wake ends one wait.
  static const HANDLE hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return hEvent;
}

HWND PumpDialog() {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(g_hPumpDialog));
}

} // namespace

bool SYSREFRESH() {
  g_nUiThread.store(GetCurrentThreadId());
  MSG oMsg;
  while (PeekMessageA(&oMsg, nullptr, 0, 0, PM_REMOVE)) {
    if (oMsg.message == WM_QUIT) {
      if (g_lMainLoopRunning) {
        PostQuitMessage(0);
      }
      return false;
    }
    if (oMsg.message == WM_CHAR) {
      g_nLastKey.store(static_cast<int>(oMsg.wParam & 0xFFFF));
    }
    const HWND hDlg = PumpDialog();
    if (hDlg != nullptr && IsWindow(hDlg) && IsDialogMessageA(hDlg, &oMsg)) {
      continue;
    }
    TranslateMessage(&oMsg);
    DispatchMessageA(&oMsg);
  }
  return true;
}

bool SYSWAIT(int nMaxMs) {
  const HANDLE hWake = WakeEvent();
  MsgWaitForMultipleObjectsEx(1, &hWake, static_cast<DWORD>(nMaxMs > 0 ? nMaxMs : 1), QS_ALLINPUT,
                              MWMO_INPUTAVAILABLE);
  return SYSREFRESH();
}

void WAKEWAIT() {
  SetEvent(WakeEvent());
}

void POSTQUITMESSAGE(int nExitCode) {
  const DWORD nUi = g_nUiThread.load();
  if (nUi == 0 || nUi == GetCurrentThreadId()) {
    PostQuitMessage(nExitCode);
  } else {
    PostThreadMessageA(nUi, WM_QUIT, static_cast<WPARAM>(nExitCode), 0);
  }
}

void SETMAINLOOPRUNNING(bool lRunning) {
  g_lMainLoopRunning = lRunning;
}

void SETLASTKEY(int nKey) {
  g_nLastKey.store(nKey & 0xFFFF);
}

int LASTKEY() {
  return g_nLastKey.load();
}

int SETPUMPDIALOG(int hDlg) {
  return std::exchange(g_hPumpDialog, hDlg);
}

void SLEEP(std::optional<long> nMilliseconds) {
  Sleep(static_cast<DWORD>(nMilliseconds.value_or(0) > 0 ? *nMilliseconds : 0));
}

} // namespace veltra::serial
