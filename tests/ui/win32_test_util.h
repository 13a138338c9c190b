// Helpers for the window suites under Windows (Wine): keys injected as the user's, and a
// watcher that runs on the test's own thread inside whatever modal loop is running (a
// message box, the file dialog), answers the window it waits for and gives up after a
// generous bound.
#pragma once

// Our headers come before <windows.h>: they declare names that it defines as macros.
// clang-format off
#include "ui/window_win32.h"

#include <functional>
#include <string>
#include <windows.h>
// clang-format on

namespace veltra::ui::test {

// A key press or release as from the keyboard (SendInput): it reaches the focused window of
// the foreground thread. Wine leaves such keys out of GetAsyncKeyState; see XKEYS.
inline void KEY(int nVk, bool lDown) {
  INPUT oInput{};
  oInput.type = INPUT_KEYBOARD;
  oInput.ki.wVk = static_cast<WORD>(nVk);
  oInput.ki.dwFlags = lDown ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &oInput, sizeof oInput);
}

inline void TAP(int nVk) {
  KEY(nVk, true);
  KEY(nVk, false);
}

// Keys pressed at the X server once the window titled cTitle is the active one there
// (xdotool, started through Wine), so they reach that window and the key state the way a
// user's keys do, key state included. cKeys is xdotool's: "keydown alt keydown F4". The call
// does not wait: the activation needs this thread's message loop, which then also handles the
// keys; the caller waits for their effect. A window that is found but not yet viewable refuses
// the focus (BadMatch) and xdotool gives up, so the shell tries again; each try is bounded, so
// no xdotool outlives the case waiting for a window that has gone.
inline void XKEYS(const std::string& cTitle, const std::string& cKeys) {
  std::string cCommand = "Z:\\bin\\sh -c \"for i in 1 2 3 4 5 6 7 8 9 10; do timeout 5 "
                         "xdotool search --sync --onlyvisible --limit 1 --name '^" +
                         cTitle + "$' windowfocus --sync " + cKeys +
                         " && exit 0; sleep 0.2; done; exit 1\"";
  STARTUPINFOA oStart{};
  oStart.cb = sizeof oStart;
  PROCESS_INFORMATION oProcess{};
  if (CreateProcessA(nullptr, cCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &oStart, &oProcess)) {
    CloseHandle(oProcess.hThread);
    CloseHandle(oProcess.hProcess);
  }
}

// The visible top-level window of this thread with the given title, or null.
inline HWND THREADWINDOW(const std::string& cTitle) {
  struct Find {
    const std::string& cTitle;
    HWND hFound = nullptr;
  } oFind{cTitle};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM p) -> BOOL {
        auto& o = *reinterpret_cast<Find*>(p);
        char cText[256] = {};
        GetWindowTextA(h, cText, sizeof cText);
        if (IsWindowVisible(h) && o.cTitle == cText) {
          o.hFound = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&oFind));
  return oFind.hFound;
}

// Calls fAnswer(window) once the window titled cTitle shows (polled every 20
// ms by a thread timer, so it runs inside the modal loop that shows it). After 15 s without it, the
// active window of the thread is cancelled so that the test ends and fails.
class Watcher {
public:
  Watcher(std::string cTitle, std::function<void(HWND)> fAnswer)
      : cTitle_(std::move(cTitle)), fAnswer_(std::move(fAnswer)) {
    pActive_ = this;
    nTimer_ = SetTimer(nullptr, 0, 20, &Watcher::Tick);
  }
  ~Watcher() {
    KillTimer(nullptr, nTimer_);
    pActive_ = nullptr;
  }
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

  bool Answered() const { return lAnswered_; }

private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Watcher* p = pActive_;
    if (p == nullptr || p->lAnswered_) {
      return;
    }
    const HWND h = THREADWINDOW(p->cTitle_);
    if (h != nullptr) {
      p->lAnswered_ = true;
      p->fAnswer_(h);
    } else if (++p->nTicks_ > 750) {
      p->lAnswered_ = true;
      PostMessageA(h != nullptr ? h : GetActiveWindow(), WM_COMMAND, IDCANCEL, 0);
    }
  }

  static inline Watcher* pActive_ = nullptr;
  std::string cTitle_;
  std::function<void(HWND)> fAnswer_;
  UINT_PTR nTimer_ = 0;
  int nTicks_ = 0;
  bool lAnswered_ = false;
};

} // namespace veltra::ui::test
