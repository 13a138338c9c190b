// TWindow on Win32: the handle is the system's window handle; a control's peer keeps its font
// and colours.
#include "ui/window_win32.h"

#include "ui/control.h"

namespace veltra::ui {

void WindowPeer::Release() {
  if (hFont != nullptr) {
    DeleteObject(hFont);
    hFont = nullptr;
  }
  if (hPane != nullptr) {
    DeleteObject(hPane);
    hPane = nullptr;
  }
}

TWindow::TWindow() : oPeer_(std::make_unique<WindowPeer>()) {}

TWindow::~TWindow() {
  oPeer_->Release();
}

// The handle is given by the window's creation (the dialog procedure, a control's
// initiation); binding has nothing more to do.
void TWindow::BindHandle() {}

void TWindow::ReleaseHandle() {
  hWnd = 0;
}

void TControl::Detach() {
  if (const HWND h = HWNDOF(*this)) {
    RemovePropA(h, kControlProp);
  }
  ReleaseHandle();
  Peer().Release();
}

HBRUSH CONTROLCOLORS(HWND hControl, HDC hDc) {
  auto* pControl = static_cast<TControl*>(GetPropA(hControl, kControlProp));
  if (pControl == nullptr) {
    return nullptr;
  }
  WindowPeer& oPeer = pControl->Peer();
  const std::optional<COLORREF> nPane = oPeer.nAlert ? oPeer.nAlert : oPeer.nPane;
  if (!oPeer.nText && !nPane) {
    return nullptr;
  }
  if (oPeer.nText) {
    SetTextColor(hDc, *oPeer.nText);
  }
  const COLORREF nBack = nPane.value_or(GetSysColor(COLOR_WINDOW));
  SetBkColor(hDc, nBack);
  if (oPeer.hPane != nullptr) {
    DeleteObject(oPeer.hPane);
  }
  oPeer.hPane = CreateSolidBrush(nBack);
  return oPeer.hPane;
}

void UPDATEWINDOW(const TWindow& oWnd) {
  if (const HWND h = HWNDOF(oWnd)) {
    RedrawWindow(GetAncestor(h, GA_ROOT), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

} // namespace veltra::ui
