// The close check's focus and alert colour on Win32.
#include "ui/focus.h"
#include "ui/window_win32.h"

namespace veltra::ui {

std::function<void()> FOCUSRETURN() {
  const HWND hFocus = GetFocus();
  return [hFocus] {
    if (hFocus != nullptr && IsWindow(hFocus)) {
      SetFocus(hFocus);
    }
  };
}

bool HASFOCUS(const TWindow& oWnd) {
  return oWnd.hWnd != 0 && GetFocus() == HWNDOF(oWnd);
}

void SHOWALERT(TControl& oControl, bool lOn) {
  oControl.Peer().nAlert = lOn ? std::optional<COLORREF>(RGB(255, 0, 0)) : std::nullopt;
  if (const HWND h = HWNDOF(oControl)) {
    InvalidateRect(h, nullptr, TRUE);
    UpdateWindow(h);
  }
}

} // namespace veltra::ui
