// The message pump on Windows: PeekMessageA with IsDialogMessageA for the running dialog,
// TranslateMessage and DispatchMessageA; the wait with MsgWaitForMultipleObjectsEx on the
// thread's queue and a wake event, so a polling loop sleeps until a message, a notification
// or WAKEWAIT arrives, or the bound passes.
#include <windows.h>

#include "serial/message_pump.h"
#include "serial/message_pump_state.h"
#include "serial/ui_doorbell.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mmsystem.h>

namespace veltra::serial {
namespace {

// Auto-reset: a WAKEWAIT with no wait in progress makes the next wait return at once.
HANDLE WakeEvent() {
  static const HANDLE hEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return hEvent;
}

std::atomic<DWORD> g_nQuitThread{0}; // the user-interface thread, once known

HWND AsHwnd(int hWnd) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(hWnd));
}

void Prepare() {
  // The pause after each 0x00 (kPauseAfterZeroMs in app/protocol.h, 10 ms) and the bound of the
  // wait (20 ms) need a timer that ticks every millisecond; the default tick is 15.6 ms. Kept until
  // the process ends.
  static const bool lFineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
  (void)lFineTimer;
  detail::PrepareUiThread();
  if (detail::OnUiThread()) {
    g_nQuitThread.store(::GetCurrentThreadId());
  }
}

} // namespace

bool SYSREFRESH() {
  Prepare();
  MSG oMsg{};
  // Messages sent by other threads (the comm doorbell) are handled inside PeekMessageA.
  while (::PeekMessageA(&oMsg, nullptr, 0, 0, PM_REMOVE)) {
    if (oMsg.message == WM_QUIT) {
      if (detail::MainLoopRunning()) {
        ::PostQuitMessage(static_cast<int>(oMsg.wParam));
      }
      return false;
    }
    if (oMsg.message == WM_CHAR) {
      SETLASTKEY(static_cast<int>(oMsg.wParam));
    }
    const HWND hDlg = AsHwnd(detail::PumpDialog());
    if (hDlg != nullptr && ::IsWindow(hDlg) && ::IsDialogMessageA(hDlg, &oMsg)) {
      continue;
    }
    ::TranslateMessage(&oMsg);
    ::DispatchMessageA(&oMsg);
  }
  return true;
}

bool SYSWAIT(int nMaxMs) {
  Prepare();
  const HANDLE hWake = WakeEvent();
  ::MsgWaitForMultipleObjectsEx(1, &hWake, static_cast<DWORD>(std::max(nMaxMs, 1)), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  return SYSREFRESH();
}

void WAKEWAIT() {
  ::SetEvent(WakeEvent());
}

void POSTQUITMESSAGE(int nExitCode) {
  const DWORD nUi = g_nQuitThread.load();
  if (nUi == 0 || nUi == ::GetCurrentThreadId()) {
    ::PostQuitMessage(nExitCode);
  } else {
    ::PostThreadMessageA(nUi, WM_QUIT, static_cast<WPARAM>(nExitCode), 0);
  }
  WAKEWAIT();
}

} // namespace veltra::serial
