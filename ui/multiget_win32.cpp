// TMultiGet on Win32: a multi-line EDIT control, subclassed so that a read-only box never lets
// a key change its text and passes Esc on to the dialog. Lines are appended by a collapsed
// selection at the end and EM_REPLACESEL, so a line costs the same at line 100,000 as at
// line 1.
#include "common/virtual_keys.h"
#include "ui/dialog.h"
#include "ui/multiget.h"
#include "ui/ui_error.h"
#include "ui/window_win32.h"

namespace veltra::ui {
namespace {

// The edit control's own window procedure, kept on its window until it is destroyed.
constexpr const char* kEditProcProp = "VeltraEditProc";

LRESULT CALLBACK EditProc(HWND hWnd, UINT nMsg, WPARAM nWParam, LPARAM nLParam);

} // namespace

// Messages reach the object before the edit control.
class LogEdit {
public:
  static LRESULT Handle(TMultiGet& oGet, HWND hWnd, UINT nMsg, WPARAM nWParam, LPARAM nLParam,
                        WNDPROC pDefault) {
    const auto fDefault = [&] { return CallWindowProcA(pDefault, hWnd, nMsg, nWParam, nLParam); };
    switch (nMsg) {
    case WM_KEYDOWN:
      if (nWParam == VK_ESCAPE) {
        RUNGUARDED([&] { oGet.HandleEvent(WM_KEYDOWN, VK_ESCAPE, static_cast<long>(nLParam)); });
        return 0;
      }
      if (nWParam == VK_DELETE && oGet.lReadOnly && !oGet.lDelete) {
        return 0;
      }
      return Changed(oGet, fDefault(), static_cast<int>(nWParam));
    case WM_CHAR: {
      const int nChar = static_cast<int>(nWParam);
      if (GetKeyState(VK_CONTROL) < 0 && nChar < 32) {
        // Copy, paste, cut and undo go to the control (which refuses the last three in a
        // read-only box); other control characters are swallowed.
        if (nChar == 3) {
          return fDefault();
        }
        if (nChar == 22 || nChar == 24 || nChar == 26) {
          return Changed(oGet, fDefault(), nChar);
        }
        return 0;
      }
      if (oGet.lReadOnly || nChar == VK_TAB || nChar == VK_ESCAPE) {
        return 0;
      }
      return Changed(oGet, fDefault(), nChar);
    }
    case WM_CUT:
    case WM_PASTE:
    case WM_CLEAR:
    case EM_UNDO:
    case WM_UNDO:
      if (oGet.lReadOnly) {
        return 0;
      }
      return Changed(oGet, fDefault(), 0);
    case WM_SETFOCUS: {
      const LRESULT nResult = fDefault();
      if (oGet.lReadOnly) {
        // Nothing is shown selected when the box is entered.
        DWORD nStart = 0;
        SendMessageA(hWnd, EM_GETSEL, reinterpret_cast<WPARAM>(&nStart), 0);
        PostMessageA(hWnd, EM_SETSEL, nStart, nStart);
      }
      return nResult;
    }
    case WM_KILLFOCUS: {
      const LRESULT nResult = fDefault();
      RUNGUARDED([&] { oGet.LostFocus(); });
      return nResult;
    }
    default:
      return fDefault();
    }
  }

private:
  static LRESULT Changed(TMultiGet& oGet, LRESULT nResult, int nKey) {
    oGet.lShownValid_ = false;
    if (!oGet.lReadOnly && oGet.bChange) {
      RUNGUARDED([&] { oGet.bChange(nKey, 0, oGet); });
    }
    return nResult;
  }
};

namespace {

LRESULT CALLBACK EditProc(HWND hWnd, UINT nMsg, WPARAM nWParam, LPARAM nLParam) {
  const auto pDefault = reinterpret_cast<WNDPROC>(GetPropA(hWnd, kEditProcProp));
  if (nMsg == WM_NCDESTROY) {
    SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pDefault));
    RemovePropA(hWnd, kEditProcProp);
    RemovePropA(hWnd, kControlProp);
    return CallWindowProcA(pDefault, hWnd, nMsg, nWParam, nLParam);
  }
  auto* pGet = static_cast<TMultiGet*>(GetPropA(hWnd, kControlProp));
  if (pGet == nullptr) {
    return CallWindowProcA(pDefault, hWnd, nMsg, nWParam, nLParam);
  }
  return LogEdit::Handle(*pGet, hWnd, nMsg, nWParam, nLParam, pDefault);
}

} // namespace

TMultiGet::TMultiGet() = default;

TMultiGet::~TMultiGet() {
  if (const HWND h = HWNDOF(*this)) {
    RemovePropA(h, kControlProp);
  }
}

// A control made while its dialog already runs gets its window at once.
void TMultiGet::BuildItem(TDialog& oDlg) {
  const HWND hDlg = HWNDOF(oDlg);
  if (hDlg == nullptr) {
    return;
  }
  const LONG nBase = GetDialogBaseUnits();
  const ItemGeometry oGeo = CONTROLITEMGEOMETRY(nTop, nLeft, nBottom, nRight, oDlg.lTruePixel,
                                                LOWORD(nBase), HIWORD(nBase));
  CreateWindowExA(static_cast<DWORD>(nExStyle), "EDIT", "", nStyle, oGeo.nX, oGeo.nY, oGeo.nWidth,
                  oGeo.nHeight, hDlg, reinterpret_cast<HMENU>(static_cast<intptr_t>(nId)),
                  GetModuleHandleA(nullptr), nullptr);
}

void TMultiGet::Initiate(TDialog& oDlg) {
  const HWND hEdit = GetDlgItem(HWNDOF(oDlg), nId);
  if (hEdit == nullptr) {
    CONTROLIDERROR("Non defined Id", nId);
    return;
  }
  hWnd = HANDLEOF(hEdit);
  SetPropA(hEdit, kControlProp, this);
  if (GetPropA(hEdit, kEditProcProp) == nullptr) {
    SetPropA(hEdit, kEditProcProp,
             reinterpret_cast<HANDLE>(
                 SetWindowLongPtrA(hEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc))));
  }
  EnableWindow(hEdit, TRUE);
  WindowPeer& oPeer = Peer();
  oPeer.Release();
  HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(HWNDOF(oDlg), WM_GETFONT, 0, 0));
  if (oFont) {
    oPeer.hFont = CreateFontA(
        oFont->nHeight, oFont->nWidth, 0, 0, oFont->lBold ? FW_BOLD : FW_NORMAL,
        oFont->lItalic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, oFont->cFaceName.c_str());
    hFont = oPeer.hFont;
  }
  SendMessageA(hEdit, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
  oPeer.nText = nClrText;
  oPeer.nPane = nClrPane;
  SendMessageA(hEdit, EM_LIMITTEXT, static_cast<WPARAM>(nLen), 0);
  lShownValid_ = false;
  Refresh();
}

void TMultiGet::Detach() {
  lShownValid_ = false;
  TControl::Detach();
}

void TMultiGet::ShowWhole_(const std::string& cText) {
  SetWindowTextA(HWNDOF(*this), cText.c_str());
}

void TMultiGet::ShowAppended_(std::string_view cPart) {
  const HWND h = HWNDOF(*this);
  const int nEnd = GetWindowTextLengthA(h);
  SendMessageA(h, EM_SETSEL, static_cast<WPARAM>(nEnd), nEnd);
  const std::string cText(cPart);
  SendMessageA(h, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(cText.c_str()));
}

void TMultiGet::GoBottom() {
  const HWND h = HWNDOF(*this);
  if (h == nullptr) {
    return;
  }
  // A collapsed selection one past the end (the control clamps it), then a scroll by as many
  // lines as the text has.
  const int nPos = GetWindowTextLengthA(h) + 1;
  SendMessageA(h, EM_SETSEL, static_cast<WPARAM>(nPos), nPos);
  SendMessageA(h, EM_LINESCROLL, 0, SendMessageA(h, EM_GETLINECOUNT, 0, 0));
}

void TMultiGet::LostFocus() {
  const HWND h = HWNDOF(*this);
  if (h == nullptr) {
    return;
  }
  if (lShownValid_) {
    VarPut(cShown_);
    return;
  }
  std::string cText(static_cast<std::size_t>(GetWindowTextLengthA(h)) + 1, '\0');
  cText.resize(
      static_cast<std::size_t>(GetWindowTextA(h, cText.data(), static_cast<int>(cText.size()))));
  VarPut(std::move(cText));
}

void TMultiGet::Move(int nX, int nY, int nWidth, int nHeight) {
  if (const HWND h = HWNDOF(*this)) {
    MoveWindow(h, nX, nY, nWidth, nHeight, TRUE);
  }
}

void TMultiGet::SetFocus() {
  if (const HWND h = HWNDOF(*this)) {
    ::SetFocus(h);
  }
}

} // namespace veltra::ui
