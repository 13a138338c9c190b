// The port picker on Win32: a small window of its own with the list, run modally (the window
// that was active is disabled meanwhile). The list is read again when the system announces
// a device change (WM_DEVICECHANGE, sent to every top-level window), after a short settling
// time, as an adapter's driver comes up in steps.
// clang-format off
#include "ui/port_picker.h"

#include <windows.h>
// clang-format on

#include <vector>

namespace veltra::ui {
namespace {

constexpr const char* kPickerClass = "VeltraPortPicker";
constexpr int kWidth = 660;
constexpr int kHeight = 300;
constexpr int kIdList = 100;
constexpr UINT_PTR kSettleTimer = 1;
constexpr UINT kSettleMs = 300;

struct Picker {
  HWND hWnd = nullptr;
  HWND hHeading = nullptr;
  HWND hList = nullptr;
  HWND hUse = nullptr;
  HFONT hFont = nullptr;
  std::vector<serial::PortInfo> aPorts;
  std::optional<std::string> cChosen;
  bool lDone = false;
};

std::optional<std::string> Selected(const Picker& o) {
  const LRESULT n = SendMessageA(o.hList, LB_GETCURSEL, 0, 0);
  if (n < 0 || static_cast<std::size_t>(n) >= o.aPorts.size() ||
      !PORTCHOOSABLE(o.aPorts[static_cast<std::size_t>(n)])) {
    return std::nullopt;
  }
  return PORTSETTING(o.aPorts[static_cast<std::size_t>(n)]);
}

void Refresh(Picker& o) {
  const std::optional<std::string> cWas = Selected(o);
  o.aPorts = serial::LISTPORTS();
  SendMessageA(o.hList, LB_RESETCONTENT, 0, 0);
  int nSelect = -1;
  for (std::size_t i = 0; i < o.aPorts.size(); ++i) {
    const std::string cLine = PORTPICKERLINE(o.aPorts[i]);
    SendMessageA(o.hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(cLine.c_str()));
    if (PORTCHOOSABLE(o.aPorts[i]) &&
        (nSelect < 0 || (cWas && PORTSETTING(o.aPorts[i]) == *cWas))) {
      nSelect = static_cast<int>(i);
    }
  }
  SendMessageA(o.hList, LB_SETCURSEL, static_cast<WPARAM>(nSelect), 0);
  SetWindowTextA(o.hHeading, o.aPorts.empty() ? "Nessuna porta seriale: collega l'adattatore"
                                              : "Scegli la porta seriale dell'adattatore:");
  EnableWindow(o.hUse, Selected(o).has_value() ? TRUE : FALSE);
}

void Finish(Picker& o, std::optional<std::string> cChosen) {
  o.cChosen = std::move(cChosen);
  o.lDone = true;
}

LRESULT CALLBACK PickerProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<Picker*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
  if (p == nullptr) {
    return DefWindowProcA(hWnd, nMsg, wParam, lParam);
  }
  switch (nMsg) {
  case WM_COMMAND:
    if (LOWORD(wParam) == IDOK || (LOWORD(wParam) == kIdList && HIWORD(wParam) == LBN_DBLCLK)) {
      if (const std::optional<std::string> c = Selected(*p)) {
        Finish(*p, c);
      }
    } else if (LOWORD(wParam) == IDCANCEL) {
      Finish(*p, std::nullopt);
    } else if (LOWORD(wParam) == kIdList && HIWORD(wParam) == LBN_SELCHANGE) {
      EnableWindow(p->hUse, Selected(*p).has_value() ? TRUE : FALSE);
    }
    return 0;
  case WM_DEVICECHANGE:
    SetTimer(hWnd, kSettleTimer, kSettleMs, nullptr);
    return TRUE;
  case WM_TIMER:
    if (wParam == kSettleTimer) {
      KillTimer(hWnd, kSettleTimer);
      Refresh(*p);
    }
    return 0;
  case WM_CLOSE:
    Finish(*p, std::nullopt);
    return 0;
  default:
    return DefWindowProcA(hWnd, nMsg, wParam, lParam);
  }
}

bool RegisterPickerClass() {
  static const bool lDone = [] {
    WNDCLASSA oClass{};
    oClass.lpfnWndProc = PickerProc;
    oClass.hInstance = GetModuleHandleA(nullptr);
    oClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    oClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    oClass.lpszClassName = kPickerClass;
    return RegisterClassA(&oClass) != 0;
  }();
  return lDone;
}

HWND Child(const Picker& o, const char* cClass, const char* cText, DWORD nStyle, int nX, int nY,
           int nWidth, int nHeight, int nId) {
  const HWND h = CreateWindowExA(
      0, cClass, cText, WS_CHILD | WS_VISIBLE | nStyle, nX, nY, nWidth, nHeight, o.hWnd,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(o.hFont), FALSE);
  return h;
}

} // namespace

std::optional<std::string> CHOOSEPORT(const serial::PortRoots& /*oRoots*/) {
  if (!RegisterPickerClass()) {
    return std::nullopt;
  }
  Picker o;
  const HWND hOwner = GetActiveWindow();
  const DWORD nStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT oRect{0, 0, kWidth, kHeight};
  AdjustWindowRectEx(&oRect, nStyle, FALSE, WS_EX_DLGMODALFRAME);
  const int nW = oRect.right - oRect.left;
  const int nH = oRect.bottom - oRect.top;
  o.hWnd = CreateWindowExA(WS_EX_DLGMODALFRAME, kPickerClass, "Porta seriale", nStyle,
                           (GetSystemMetrics(SM_CXSCREEN) - nW) / 2,
                           (GetSystemMetrics(SM_CYSCREEN) - nH) / 2, nW, nH, hOwner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  if (o.hWnd == nullptr) {
    return std::nullopt;
  }
  o.hFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  o.hHeading = Child(o, "STATIC", "", 0, 12, 10, kWidth - 24, 20, 0);
  o.hList = Child(o, "LISTBOX", "",
                  WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 12, 34,
                  kWidth - 24, kHeight - 90, kIdList);
  o.hUse = Child(o, "BUTTON", "Usa questa porta", WS_TABSTOP | BS_DEFPUSHBUTTON, kWidth - 252,
                 kHeight - 44, 140, 28, IDOK);
  Child(o, "BUTTON", "Annulla", WS_TABSTOP | BS_PUSHBUTTON, kWidth - 104, kHeight - 44, 92, 28,
        IDCANCEL);
  SetWindowLongPtrA(o.hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&o));
  Refresh(o);
  if (hOwner != nullptr) {
    EnableWindow(hOwner, FALSE);
  }
  ShowWindow(o.hWnd, SW_SHOW);
  SetForegroundWindow(o.hWnd);
  SetFocus(o.hList);
  // The modal loop: IsDialogMessage gives the window the dialog keys (Tab, Return as the
  // default button, Esc as "Annulla").
  MSG oMsg{};
  while (!o.lDone) {
    const BOOL nGot = GetMessageA(&oMsg, nullptr, 0, 0);
    if (nGot <= 0) {
      if (nGot == 0) {
        PostQuitMessage(static_cast<int>(oMsg.wParam)); // for the loop that waits for it
      }
      break;
    }
    if (!IsDialogMessageA(o.hWnd, &oMsg)) {
      TranslateMessage(&oMsg);
      DispatchMessageA(&oMsg);
    }
  }
  if (hOwner != nullptr) {
    EnableWindow(hOwner, TRUE);
  }
  SetWindowLongPtrA(o.hWnd, GWLP_USERDATA, 0);
  DestroyWindow(o.hWnd);
  return o.cChosen;
}

} // namespace veltra::ui
