// Win32 side of the window objects: what a window's peer holds (a control's own window
// procedure, its font and colours), and the conversions between the integer handle the window
// objects carry and the system's HWND (window handles fit in 32 bits on every Windows).
#pragma once

// Our headers come before <windows.h>: they declare names that it defines as macros.
// clang-format off
#include "ui/guard.h"
#include "ui/window.h"

#include <cstdint>
#include <optional>
#include <windows.h>
// clang-format on

namespace veltra::ui {

class WindowPeer {
public:
  HFONT hFont = nullptr; // a font of the window's own, deleted with the peer's window
  std::optional<COLORREF> nText;
  std::optional<COLORREF> nPane;
  std::optional<COLORREF> nAlert; // the pane while a failed field is shown
  HBRUSH hPane = nullptr;

  // Forgets the window's font and brush (the window is going away).
  void Release();
};

inline HWND HWNDOF(int hWnd) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(hWnd));
}
inline HWND HWNDOF(const TWindow& oWnd) {
  return HWNDOF(oWnd.hWnd);
}
inline int HANDLEOF(HWND hWnd) {
  return static_cast<int>(reinterpret_cast<intptr_t>(hWnd));
}

// Whether the taskbar has told the running dialog hWnd that its button is in place (the
// "TaskbarButtonCreated" message); the button's progress may be set only from then on.
bool TASKBARBUTTONSHOWN(int hWnd);

// The window property that names a control's object on its window.
inline constexpr const char* kControlProp = "VeltraControl";

// Colours of a control window for WM_CTLCOLOR*: sets them on the device context and returns
// the pane's brush, or null when the control keeps the system colours.
HBRUSH CONTROLCOLORS(HWND hControl, HDC hDc);

} // namespace veltra::ui
