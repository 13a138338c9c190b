// TDialog's geometry and style rules, New, its list of controls, and what closes it.
#include "ui/dialog.h"

#include "serial/message_pump.h"
#include "ui/control.h"
#include "ui/dialog_run.h"
#include "ui/key_state.h"
#include "ui/ui_error.h"

#include <algorithm>
#include <utility>

namespace veltra::ui {
namespace {

TDialog* g_pDefaultParent = nullptr;
int g_nRunning = 0;
bool g_lLoopRunning = false;
bool g_lDialogEsc = true;
bool g_lCenterOnParent = false;

// Pixels to dialog units and back, rounding as the dialog-unit mapping does.
int MulDiv(int nValue, int nMul, int nDiv) {
  const long long n = static_cast<long long>(nValue) * nMul;
  return static_cast<int>(n >= 0 ? (n + nDiv / 2) / nDiv : -((-n + nDiv / 2) / nDiv));
}

std::string RightTrim(std::string cText) {
  while (!cText.empty() && cText.back() == ' ') {
    cText.pop_back();
  }
  return cText;
}

} // namespace

PixelRect DIALOGRECT(int nTop, int nLeft, int nBottom, int nRight, bool lPixel, int nWidth,
                     int nHeight) {
  if (nWidth != 0 || nHeight != 0) {
    return {nTop, nLeft, nHeight, nWidth};
  }
  if (lPixel) {
    return {nTop, nLeft, nBottom, nRight};
  }
  return {static_cast<int>(nTop * 15.1), static_cast<int>(nLeft * 7.9),
          static_cast<int>(nBottom * 15.1), static_cast<int>(nRight * 7.9)};
}

DialogUnits DIALOGUNITS(const PixelRect& oRect, int nOwnerTop, int nOwnerLeft, int nBaseX,
                        int nBaseY) {
  const int nTop = 8 * (oRect.nTop - nOwnerTop) / nBaseY;
  const int nLeft = 4 * (oRect.nLeft - nOwnerLeft) / nBaseX;
  const int nBottom = 8 * (oRect.nBottom - nOwnerTop) / nBaseY;
  const int nRight = 4 * (oRect.nRight - nOwnerLeft) / nBaseX;
  return {nLeft, nTop, nRight - nLeft + 1, nBottom - nTop + 1};
}

ClientSize DIALOGCLIENTSIZE(const PixelRect& oRect, int nOwnerTop, int nOwnerLeft, int nBaseX,
                            int nBaseY) {
  const DialogUnits o = DIALOGUNITS(oRect, nOwnerTop, nOwnerLeft, nBaseX, nBaseY);
  return {MulDiv(o.nCx, nBaseX, 4), MulDiv(o.nCy, nBaseY, 8)};
}

FrameLook FRAMEFORSTYLE(uint32_t nStyle) {
  FrameLook o;
  const bool lOverlapped = (nStyle & (WS_POPUP | WS_CHILD)) == 0;
  // An overlapped window always has a title bar; pop-ups and children only when asked.
  o.lTitle = lOverlapped || (nStyle & WS_CAPTION) == WS_CAPTION;
  o.lBorder = o.lTitle || (nStyle & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | DS_MODALFRAME));
  o.lSysMenu = o.lTitle && (nStyle & WS_SYSMENU) != 0;
  o.lMinButton = o.lSysMenu && (nStyle & WS_MINIMIZEBOX) != 0;
  o.lMaxButton = o.lSysMenu && (nStyle & WS_MAXIMIZEBOX) != 0;
  o.lResizable = (nStyle & WS_THICKFRAME) != 0;
  return o;
}

std::pair<int, int> CENTEREDPOS(int nRefLeft, int nRefTop, int nRefWidth, int nRefHeight,
                                int nWidth, int nHeight) {
  return {nRefLeft + nRefWidth / 2 - nWidth / 2, nRefTop + nRefHeight / 2 - nHeight / 2};
}

TDialog::TDialog() = default;

TDialog::~TDialog() {
  if (g_pDefaultParent == this) {
    g_pDefaultParent = nullptr;
  }
  for (TControl* pControl : aControls) {
    pControl->oWnd = nullptr;
  }
}

TDialog& TDialog::New(NewArgs oArgs) {
  const PixelRect oRect = DIALOGRECT(oArgs.nTop, oArgs.nLeft, oArgs.nBottom, oArgs.nRight,
                                     oArgs.lPixel, oArgs.nWidth, oArgs.nHeight);
  nTop = oRect.nTop;
  nLeft = oRect.nLeft;
  nBottom = oRect.nBottom;
  nRight = oRect.nRight;
  cCaption = RightTrim(oArgs.cCaption.value_or(""));
  nStyle = oArgs.nStyle;
  nClrText = oArgs.nClrText;
  nClrPane = oArgs.nClrPane;
  oWnd = oArgs.oWnd;
  oFont = oArgs.oFont;
  cVarName = oArgs.cVarName;
  lUnicode = oArgs.lUnicode.value_or(false);
  lTruePixel = oArgs.lTruePixel.value_or(false);
  lModify = true;
  lVisible = false;
  nResult = 0;
  nLastKey = 0;
  lResize16 = false;
  for (TControl* pControl : aControls) {
    pControl->oWnd = nullptr;
  }
  aControls.clear();
  oClient = nullptr;
  g_pDefaultParent = this;
  return *this;
}

bool TDialog::AddControl(TControl& oControl) {
  const bool lDuplicate = std::any_of(aControls.begin(), aControls.end(), [&](TControl* p) {
    return p != &oControl && p->nId == oControl.nId;
  });
  if (lDuplicate) {
    CONTROLIDERROR("Duplicated Id", oControl.nId);
    return false;
  }
  if (std::find(aControls.begin(), aControls.end(), &oControl) == aControls.end()) {
    aControls.push_back(&oControl);
  }
  oControl.oWnd = this;
  return true;
}

void TDialog::RemoveControl(TControl& oControl) {
  std::erase(aControls, &oControl);
  if (oClient == &oControl) {
    oClient = nullptr;
  }
}

TDialog* DEFAULTPARENT() {
  return g_pDefaultParent;
}

void TDialog::Arm_(ActivateArgs oArgs) {
  lCentered = oArgs.lCentered;
  lCenterInWnd = oArgs.lCenterInWnd;
  lModal = oArgs.lModal;
  bLClicked = std::move(oArgs.bLClicked);
  bMoved = std::move(oArgs.bMoved);
  bPainted = std::move(oArgs.bPainted);
  bValid = std::move(oArgs.bValid);
  bInit = std::move(oArgs.bInit);
  bRClicked = std::move(oArgs.bRClicked);
  bWhen = std::move(oArgs.bWhen);
  lResize16 = oArgs.lResize16;
  nResult.reset();
  lVisible = true;
}

DialogActivation::DialogActivation(TDialog& oDlg) : oDlg_(oDlg) {
  oDlg_.nLastKey = 0;
  ++DIALOGCOUNT();
}

DialogActivation::~DialogActivation() {
  if (lArmed_) {
    oDlg_.lVisible = false;
  }
  --DIALOGCOUNT();
}

bool DialogActivation::Nested() const {
  return DIALOGCOUNT() > 1 || MODALLOOPRUNNING();
}

bool DialogActivation::Arm(TDialog::ActivateArgs oArgs) {
  oDlg_.Arm_(std::move(oArgs));
  lArmed_ = true;
  if (oDlg_.bWhen && !oDlg_.bWhen(oDlg_)) {
    oDlg_.nResult = IDCANCEL;
    return false;
  }
  return true;
}

bool TDialog::End(int nCode) {
  if (bValid && !bValid(*this)) {
    return false;
  }
  nResult = nCode;
  if (pRun_ != nullptr) {
    ENDRUN(*pRun_, nCode);
  }
  serial::WAKEWAIT();
  serial::SYSREFRESH();
  return true;
}

void TDialog::SetControl(TControl& oControl) {
  oClient = &oControl;
  ReSize();
}

std::optional<long> TDialog::Close(long /*nWParam*/) {
  // A modal dialog leaves the close request to the default handling (the cancel command).
  return std::nullopt;
}

std::optional<long> TDialog::Command(long nWParam, long nLParam) {
  if (nLParam != 0) {
    return std::nullopt; // a notification from a control
  }
  if ((nWParam & 0xFFFF) == IDOK) {
    // Enter moves on to the next control; it never closes the dialog.
    FOCUSNEXTCONTROL(*this);
    return 1;
  }
  End(IDCANCEL);
  return 1;
}

std::optional<long> TDialog::KeyDown(int nKey, long nFlags) {
  if (nKey == VK_ESCAPE && oWnd == nullptr && g_lDialogEsc) {
    End();
    return 1;
  }
  return TWindow::KeyDown(nKey, nFlags);
}

int DIALOGSRUNNING() {
  return g_nRunning;
}
bool SETDIALOGESC(bool lOn) {
  return std::exchange(g_lDialogEsc, lOn);
}
bool SETCENTERONPARENT(bool lOn) {
  return std::exchange(g_lCenterOnParent, lOn);
}

void ENDALLDIALOGS() {
  for (TDialog* pDlg : std::vector<TDialog*>(OpenRuns())) {
    pDlg->nResult = IDCANCEL;
    ENDRUN(*pDlg->Run(), IDCANCEL);
  }
}

std::vector<TDialog*>& OpenRuns() {
  static std::vector<TDialog*> aRuns; // user-interface thread only
  return aRuns;
}

int& DIALOGCOUNT() {
  return g_nRunning;
}
bool& MODALLOOPRUNNING() {
  return g_lLoopRunning;
}
bool DIALOGESC() {
  return g_lDialogEsc;
}
bool CENTERONPARENT() {
  return g_lCenterOnParent;
}

} // namespace veltra::ui
