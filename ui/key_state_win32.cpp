// Key state on Windows: the system's asynchronous key state, counted only while a window of
// this process is in the foreground. The state is the keyboard's own, so without that an Esc
// typed into another program (an editor beside the transfer) would abort the transfer.
// Our headers come before <windows.h>: they declare names that it defines as macros.
// clang-format off
#include "ui/key_state.h"

#include <windows.h>
// clang-format on

namespace veltra::ui {

namespace {

bool OwnForeground() {
  const HWND hForeground = GetForegroundWindow();
  DWORD nProcess = 0;
  return hForeground != nullptr && GetWindowThreadProcessId(hForeground, &nProcess) != 0 &&
         nProcess == GetCurrentProcessId();
}

} // namespace

bool GETASYNCKEYSTATE(int nVirtualKey) {
  return OwnForeground() && (static_cast<unsigned>(GetAsyncKeyState(nVirtualKey)) & 0xFF00U) != 0;
}

// Key messages wake a waiting loop (serial::SYSWAIT waits on the thread's input) only while a
// window of this thread is in the foreground.
bool KEYSTATEFROMEVENTS() {
  const HWND hForeground = GetForegroundWindow();
  return hForeground != nullptr &&
         GetWindowThreadProcessId(hForeground, nullptr) == GetCurrentThreadId();
}

} // namespace veltra::ui
