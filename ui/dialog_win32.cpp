// TDialog on Win32: an in-memory dialog template in dialog units run by
// DialogBoxIndirectParamA; initiation on WM_INITDIALOG before the window is shown, the start
// callback once at the first WM_PAINT (nested in that paint's handling), End through
// EndDialog, and the keys and close requests that the dialog manager turns into commands.
#include "serial/message_pump.h"
#include "ui/codepage.h"
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/dialog_run.h"
#include "ui/multiget.h"
#include "ui/ui_error.h"
#include "ui/window_win32.h"

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veltra::ui {
namespace {

// Little-endian template writer.
class Template {
public:
  void Put16(int n) {
    cBytes_.push_back(static_cast<char>(n & 0xFF));
    cBytes_.push_back(static_cast<char>((n >> 8) & 0xFF));
  }
  void Put32(uint32_t n) {
    Put16(static_cast<int>(n & 0xFFFF));
    Put16(static_cast<int>(n >> 16));
  }
  void PutText(const std::u16string& cText) {
    for (const char16_t c : cText) {
      Put16(c);
    }
    Put16(0);
  }
  void Align4() {
    while (cBytes_.size() % 4 != 0) {
      cBytes_.push_back('\0');
    }
  }
  const std::string& Bytes() const { return cBytes_; }

private:
  std::string cBytes_;
};

// The dialog's header and one item per control, in dialog units of the system font (the
// template names no font of its own).
std::string BuildTemplate(const TDialog& oDlg, HWND hOwner) {
  RECT oOwner{};
  if (hOwner != nullptr) {
    GetWindowRect(hOwner, &oOwner);
  }
  const LONG nBase = GetDialogBaseUnits();
  const int nBaseX = LOWORD(nBase);
  const int nBaseY = HIWORD(nBase);
  const DialogUnits oUnits = DIALOGUNITS({oDlg.nTop, oDlg.nLeft, oDlg.nBottom, oDlg.nRight},
                                         oOwner.top, oOwner.left, nBaseX, nBaseY);
  uint32_t nStyle = oDlg.nStyle;
  uint32_t nExStyle = 0;
  if (nStyle == 2) {
    nStyle |= WS_POPUP;
    nExStyle = WS_EX_TRANSPARENT;
  } else if (nStyle == WS_VISIBLE) {
    nStyle = WS_POPUP | WS_CHILD;
  }
  // An overlapped window always has a title bar; saying so lets the system size the window
  // so that the client area, not the whole window, gets the template's height.
  if ((nStyle & (WS_POPUP | WS_CHILD)) == 0) {
    nStyle |= WS_CAPTION;
  }
  Template o;
  o.Put32(nStyle);
  o.Put32(nExStyle);
  o.Put16(static_cast<int>(oDlg.aControls.size()));
  o.Put16(oUnits.nX);
  o.Put16(oUnits.nY);
  o.Put16(oUnits.nCx);
  o.Put16(oUnits.nCy);
  o.Put16(0); // no menu
  o.Put16(0); // the system dialog class
  o.PutText(OEMTOUNICODE(oDlg.cCaption));
  o.Align4();
  for (const TControl* pControl : oDlg.aControls) {
    const ItemGeometry oItem = CONTROLITEMUNITS(pControl->nTop, pControl->nLeft, pControl->nBottom,
                                                pControl->nRight, oDlg.lTruePixel, nBaseX, nBaseY);
    o.Put32(pControl->nStyle);
    o.Put32(0);
    o.Put16(oItem.nX);
    o.Put16(oItem.nY);
    o.Put16(oItem.nWidth);
    o.Put16(oItem.nHeight);
    o.Put16(pControl->nId);
    o.PutText(ANSITOUNICODE(pControl->ClassName()));
    o.PutText(u"");
    o.Put16(0); // no creation data
    o.Align4();
  }
  return o.Bytes();
}

HFONT MakeFont(const TFont& oFont) {
  return CreateFontA(oFont.nHeight, oFont.nWidth, 0, 0, oFont.lBold ? FW_BOLD : FW_NORMAL,
                     oFont.lItalic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                     oFont.cFaceName.c_str());
}

INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM nWParam, LPARAM nLParam);

// The message the taskbar sends a window once its button is in place (0 if it could not be
// registered): its progress may be set only after that.
UINT TaskbarButtonCreated() {
  static const UINT nMsg = RegisterWindowMessageA("TaskbarButtonCreated");
  return nMsg;
}

} // namespace

// One modal run of a dialog: its window once the system has made it, its font, and whether
// it has been ended.
class DialogRun {
public:
  explicit DialogRun(TDialog& oDlg) : oDlg_(oDlg) {
    oDlg_.pRun_ = this;
    OpenRuns().push_back(&oDlg_);
  }

  ~DialogRun() {
    std::erase(OpenRuns(), &oDlg_);
    for (TControl* pControl : oDlg_.aControls) {
      pControl->Detach();
    }
    if (hWnd_ != nullptr) {
      serial::SETPUMPDIALOG(hPumpBefore_);
    }
    oDlg_.ReleaseWindow();
    oDlg_.pRun_ = nullptr;
    if (hFont_ != nullptr) {
      DeleteObject(hFont_);
    }
  }

  DialogRun(const DialogRun&) = delete;
  DialogRun& operator=(const DialogRun&) = delete;

  HWND Window() const { return hWnd_; }

  // The first message for the new window: the handle becomes the dialog's, and the message
  // pump offers keys to this dialog while it runs.
  void Bind(HWND hWnd) {
    hWnd_ = hWnd;
    oDlg_.hWnd = HANDLEOF(hWnd);
    hPumpBefore_ = serial::SETPUMPDIALOG(oDlg_.hWnd);
  }

  // EndDialog hides the window at once, and the transfer loop inside the start callback
  // goes on serving until it returns: ended from there, the window would vanish while the
  // program still holds the port and Esc could no longer reach it. So an end accepted while
  // the start callback runs is carried out when the callback has returned.
  void End(int nCode) {
    lEnded_ = true;
    if (lInStart_) {
      nEndPending_ = nCode;
    } else if (hWnd_ != nullptr) {
      EndDialog(hWnd_, nCode);
    }
  }

  // Whether the taskbar has said that the window's button is in place.
  bool TaskbarButtonShown() const { return lTaskbarButton_; }

  // A message for the window: the few the dialog handles itself, then the window's own.
  std::optional<long> Handle(UINT nMsg, WPARAM nWParam, LPARAM nLParam) {
    if (nMsg == TaskbarButtonCreated()) {
      lTaskbarButton_ = true;
      return std::nullopt;
    }
    switch (nMsg) {
    case WM_INITDIALOG:
      Initiate();
      return 1;
    case WM_PAINT:
      Display();
      return 1;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (const HBRUSH hBrush =
              CONTROLCOLORS(reinterpret_cast<HWND>(nLParam), reinterpret_cast<HDC>(nWParam))) {
        return static_cast<long>(reinterpret_cast<intptr_t>(hBrush));
      }
      return std::nullopt;
    case WM_SIZE:
      oDlg_.ReSize();
      return std::nullopt;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MOUSEMOVE: {
      const auto& bMouse = nMsg == WM_LBUTTONDOWN   ? oDlg_.bLClicked
                           : nMsg == WM_RBUTTONDOWN ? oDlg_.bRClicked
                                                    : oDlg_.bMoved;
      if (bMouse) {
        bMouse(static_cast<short>(HIWORD(nLParam)), static_cast<short>(LOWORD(nLParam)),
               static_cast<long>(nWParam));
      }
      return std::nullopt;
    }
    case WM_SYSCOMMAND:
      if ((nWParam & 0xFFF0) == SC_CONTEXTHELP) {
        oDlg_.lHelpIcon = true;
      }
      return std::nullopt;
    default:
      return oDlg_.HandleEvent(static_cast<int>(nMsg), static_cast<long>(nWParam),
                               static_cast<long>(nLParam));
    }
  }

private:
  void Initiate() {
    // The taskbar's message crosses from a process that may run at a lower integrity level
    // than this one (VELTRA started as administrator): let it through. The call is looked up,
    // not imported: it exists from Windows 7 on, as does the taskbar's progress, and an
    // import would keep the program from starting on an older Windows.
    using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
    const auto pFilter = reinterpret_cast<FilterEx>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));
    if (pFilter != nullptr && TaskbarButtonCreated() != 0) {
      pFilter(hWnd_, TaskbarButtonCreated(), MSGFLT_ALLOW, nullptr);
    }
    hFont_ = MakeFont(oDlg_.oFont.value_or(TFont{}));
    SendMessageA(hWnd_, WM_SETFONT, reinterpret_cast<WPARAM>(hFont_), FALSE);
    for (TControl* pControl : std::vector<TControl*>(oDlg_.aControls)) {
      pControl->Initiate(oDlg_);
    }
    Place();
    SetWindowTextA(hWnd_, UNMARKEDTEXT(oDlg_.cCaption).c_str());
    if (oDlg_.bInit) {
      oDlg_.bInit(oDlg_);
    }
    if (oDlg_.lHelpIcon.value_or(true)) {
      SetWindowLongPtrA(hWnd_, GWL_EXSTYLE,
                        GetWindowLongPtrA(hWnd_, GWL_EXSTYLE) | WS_EX_CONTEXTHELP);
    }
  }

  void Place() {
    RECT oWin;
    GetWindowRect(hWnd_, &oWin);
    const int nWidth = oWin.right - oWin.left;
    const int nHeight = oWin.bottom - oWin.top;
    if (!oDlg_.lCentered) {
      MoveWindow(hWnd_, oDlg_.nLeft, oDlg_.nTop, nWidth, nHeight, FALSE);
      return;
    }
    RECT oRef;
    if ((CENTERONPARENT() || oDlg_.lCenterInWnd) && oDlg_.oWnd != nullptr &&
        oDlg_.oWnd->hWnd != 0) {
      GetWindowRect(GetAncestor(HWNDOF(*oDlg_.oWnd), GA_ROOT), &oRef);
    } else {
      GetWindowRect(GetDesktopWindow(), &oRef);
    }
    const auto [nX, nY] = CENTEREDPOS(oRef.left, oRef.top, oRef.right - oRef.left,
                                      oRef.bottom - oRef.top, nWidth, nHeight);
    MoveWindow(hWnd_, nX, nY, nWidth, nHeight, FALSE);
  }

  // Every paint: the painted callback between BeginPaint and EndPaint; then, the first time,
  // the start callback, which runs on inside this paint's handling.
  void Display() {
    PAINTSTRUCT oPaint;
    BeginPaint(hWnd_, &oPaint);
    if (oDlg_.bPainted) {
      oDlg_.bPainted(oDlg_);
    }
    EndPaint(hWnd_, &oPaint);
    if (oDlg_.bStart && !lEnded_) {
      const TDialog::Block bStart = std::exchange(oDlg_.bStart, nullptr);
      // The pending end is carried out however the callback leaves (a break included).
      struct StartScope {
        DialogRun& oRun;
        explicit StartScope(DialogRun& o) : oRun(o) { oRun.lInStart_ = true; }
        ~StartScope() {
          oRun.lInStart_ = false;
          if (const std::optional<int> nCode = std::exchange(oRun.nEndPending_, std::nullopt)) {
            oRun.End(*nCode);
          }
        }
        StartScope(const StartScope&) = delete;
        StartScope& operator=(const StartScope&) = delete;
      } oScope(*this);
      bStart();
    }
  }

  TDialog& oDlg_;
  HWND hWnd_ = nullptr;
  HFONT hFont_ = nullptr;
  int hPumpBefore_ = 0;
  bool lEnded_ = false;
  bool lInStart_ = false;
  bool lTaskbarButton_ = false;
  std::optional<int> nEndPending_; // the code of an end accepted while the start callback ran
};

bool TASKBARBUTTONSHOWN(int hWnd) {
  for (const TDialog* pDlg : OpenRuns()) {
    if (pDlg->hWnd == hWnd && pDlg->Run() != nullptr) {
      return pDlg->Run()->TaskbarButtonShown();
    }
  }
  return false;
}

namespace {

INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM nWParam, LPARAM nLParam) {
  auto* pRun = reinterpret_cast<DialogRun*>(GetWindowLongPtrA(hWnd, DWLP_USER));
  if (pRun == nullptr) {
    // The first message for a new window binds it to the dialog being activated.
    if (OpenRuns().empty() || OpenRuns().back()->Run()->Window() != nullptr) {
      return FALSE;
    }
    pRun = OpenRuns().back()->Run();
    pRun->Bind(hWnd);
    SetWindowLongPtrA(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(pRun));
  }
  std::optional<long> oResult;
  RUNGUARDED([&] { oResult = pRun->Handle(nMsg, nWParam, nLParam); });
  return static_cast<INT_PTR>(oResult.value_or(0));
}

} // namespace

void TDialog::Activate(ActivateArgs oArgs) {
  DialogActivation oActivation(*this);
  HWND hOwner = nullptr;
  if (oWnd != nullptr && oWnd->hWnd != 0) {
    hOwner = GetAncestor(HWNDOF(*oWnd), GA_ROOT);
  } else if (oActivation.Nested()) {
    hOwner = GetActiveWindow();
  }
  if (!oActivation.Arm(std::move(oArgs))) {
    return;
  }

  DialogRun oRun(*this);
  // The template goes into a movable block of global memory, under the wait cursor.
  const HCURSOR hCursor = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); // IDC_WAIT
  const std::string cTemplate = BuildTemplate(*this, hOwner);
  const HGLOBAL hMemory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, cTemplate.size());
  void* pTemplate = hMemory != nullptr ? GlobalLock(hMemory) : nullptr;
  if (pTemplate != nullptr) {
    std::memcpy(pTemplate, cTemplate.data(), cTemplate.size());
  }
  SetCursor(hCursor);

  INT_PTR nCode = -1;
  if (pTemplate != nullptr) {
    const bool lWasRunning = std::exchange(MODALLOOPRUNNING(), true);
    nCode =
        DialogBoxIndirectParamA(GetModuleHandleA(nullptr), static_cast<LPCDLGTEMPLATEA>(pTemplate),
                                hOwner, DialogProc, reinterpret_cast<LPARAM>(&oRun));
    MODALLOOPRUNNING() = lWasRunning;
    GlobalUnlock(hMemory);
  }
  if (hMemory != nullptr) {
    GlobalFree(hMemory);
  }
  nResult = static_cast<int>(static_cast<uint16_t>(nCode));
  if (*nResult == 65535) {
    DIALOGBOXERROR(cCaption);
    return;
  }
  RETHROWPENDING();
}

void FOCUSNEXTCONTROL(TDialog& oDlg) {
  if (const HWND hNext = GetNextDlgTabItem(HWNDOF(oDlg), GetFocus(), FALSE)) {
    SetFocus(hNext);
  }
}

// The client control covers the client area, its frame just outside the edges.
void TDialog::ReSize() {
  RECT oClientRect;
  if (oClient != nullptr && hWnd != 0 && GetClientRect(HWNDOF(*this), &oClientRect)) {
    oClient->Move(-1, -1, oClientRect.right + 2, oClientRect.bottom + 3);
  }
}

void TDialog::BindWindow() {}

void TDialog::ReleaseWindow() {
  ReleaseHandle();
}

void ENDRUN(DialogRun& oRun, int nCode) {
  oRun.End(nCode);
}

} // namespace veltra::ui
