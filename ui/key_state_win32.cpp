// Key state on Windows: the system's asynchronous key state, whichever window has the focus.
// Our headers come before <windows.h>: they declare names that it defines as macros.
// clang-format off
#include "ui/key_state.h"

#include <windows.h>
// clang-format on

namespace veltra::ui {

bool GETASYNCKEYSTATE(int nVirtualKey) {
  return (static_cast<unsigned>(GetAsyncKeyState(nVirtualKey)) & 0xFF00U) != 0;
}

// Key messages wake a waiting loop (serial::SYSWAIT waits on the thread's input) only while a
// window of this thread is in the foreground.
bool KEYSTATEFROMEVENTS() {
  const HWND hForeground = GetForegroundWindow();
  return hForeground != nullptr &&
         GetWindowThreadProcessId(hForeground, nullptr) == GetCurrentThreadId();
}

} // namespace veltra::ui
