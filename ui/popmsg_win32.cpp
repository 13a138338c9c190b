// POPMSG's boxes on Win32: MessageBoxA for the six kinds, and the progress box, a small
// non-modal window with the text in Arial, an optional progress bar or a page counter.
#include "ui/codepage.h"
#include "ui/popmsg_box.h"

#include <string>
// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

namespace veltra::ui {
namespace {

constexpr const char* kBoxClass = "VeltraProgressBox";
constexpr int kWidth = 360;
constexpr int kHeight = 130;

struct ProgressBox {
  HWND hWnd = nullptr;
  HWND hText = nullptr;
  HWND hBar = nullptr;
  HWND hPage = nullptr;
  HWND hDisabled = nullptr; // the window that was active, disabled while the box is open
  HFONT hFont = nullptr;
  int nPage = 0;
};

ProgressBox g_oBox;

// MessageBoxA takes the ANSI code page, in which names already are.
std::string Text(std::string_view c) {
  return UNMARKEDTEXT(c);
}

void RegisterBoxClass() {
  static const bool lDone = [] {
    INITCOMMONCONTROLSEX oInit{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&oInit);
    WNDCLASSA oClass{};
    oClass.lpfnWndProc = DefWindowProcA;
    oClass.hInstance = GetModuleHandleA(nullptr);
    oClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    oClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    oClass.lpszClassName = kBoxClass;
    return RegisterClassA(&oClass) != 0;
  }();
  (void)lDone;
}

HWND Child(const char* cClass, const char* cText, DWORD nStyle, int nY, int nHeight) {
  return CreateWindowExA(0, cClass, cText, WS_CHILD | WS_VISIBLE | nStyle, 12, nY, kWidth - 30,
                         nHeight, g_oBox.hWnd, nullptr, GetModuleHandleA(nullptr), nullptr);
}

} // namespace

int SHOWMESSAGEBOX(int nFlags, std::string_view cText, std::string_view cTitle) {
  return MessageBoxA(GetActiveWindow(), Text(cText).c_str(), Text(cTitle).c_str(),
                     static_cast<UINT>(nFlags));
}

bool PROGRESSBOXOPEN() {
  return g_oBox.hWnd != nullptr;
}

void PROGRESSBOXCREATE(std::string_view cText, std::string_view cTitle, bool lProgress,
                       bool lPage) {
  RegisterBoxClass();
  g_oBox.hDisabled = GetActiveWindow();
  const int nX = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  const int nY = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  g_oBox.hWnd =
      CreateWindowExA(WS_EX_DLGMODALFRAME, kBoxClass, lPage ? "Attendere" : Text(cTitle).c_str(),
                      WS_POPUP | WS_CAPTION | WS_VISIBLE, nX, nY, kWidth, kHeight, g_oBox.hDisabled,
                      nullptr, GetModuleHandleA(nullptr), nullptr);
  g_oBox.hFont =
      CreateFontA(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
  g_oBox.hText = Child("STATIC", Text(cText).c_str(), SS_LEFT, 10, 40);
  SendMessageA(g_oBox.hText, WM_SETFONT, reinterpret_cast<WPARAM>(g_oBox.hFont), TRUE);
  if (lProgress) {
    g_oBox.hBar = Child(PROGRESS_CLASSA, "", 0, 56, 20);
    SendMessageA(g_oBox.hBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  }
  if (lPage) {
    g_oBox.hPage = Child("STATIC", "0", SS_LEFT, 56, 20);
  }
  if (g_oBox.hDisabled != nullptr) {
    EnableWindow(g_oBox.hDisabled, FALSE);
  }
  UpdateWindow(g_oBox.hWnd);
}

void PROGRESSBOXSETTEXT(std::string_view cText) {
  SetWindowTextA(g_oBox.hText, Text(cText).c_str());
}

void PROGRESSBOXSETPOS(int nPos) {
  if (g_oBox.hBar != nullptr) {
    SendMessageA(g_oBox.hBar, PBM_SETPOS, static_cast<WPARAM>(nPos), 0);
  }
}

void PROGRESSBOXNEXTPAGE() {
  if (g_oBox.hPage != nullptr) {
    SetWindowTextA(g_oBox.hPage, std::to_string(++g_oBox.nPage).c_str());
  }
}

void PROGRESSBOXCLOSE() {
  if (g_oBox.hWnd == nullptr) {
    return;
  }
  if (g_oBox.hDisabled != nullptr) {
    EnableWindow(g_oBox.hDisabled, TRUE);
  }
  DestroyWindow(g_oBox.hWnd);
  DeleteObject(g_oBox.hFont);
  g_oBox = ProgressBox{};
}

} // namespace veltra::ui
