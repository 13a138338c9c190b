// TDialog: the modal, resource-less dialog window that carries the program's user interface.
// New fills the fields (no window exists yet), Activate runs the window modally with its
// callbacks (init before it is shown, start once after the first paint), End closes it under
// the valid callback.
#pragma once

#include "ui/window.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veltra::ui {

class TControl;
class TDialog;
class DialogRun;        // the running window, see dialog_qt.cpp and dialog_win32.cpp
class DialogActivation; // Activate's bookkeeping, see dialog_run.h

// The requested rectangle in pixels.
struct PixelRect {
  int nTop = 0;
  int nLeft = 0;
  int nBottom = 0;
  int nRight = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The rectangle rule of New: width or height switches to pixels (bottom := height,
// right := width); otherwise the four values are text rows and columns.
PixelRect DIALOGRECT(int nTop, int nLeft, int nBottom, int nRight, bool lPixel, int nWidth,
                     int nHeight);

// Dialog base units (horizontal, vertical) used to turn pixels into dialog units and back:
// those of the classic 8 x 16 system font, which makes a 500 x 500 request a 502 x 502 client.
inline constexpr int DLG_BASEX = 8;
inline constexpr int DLG_BASEY = 16;

struct ClientSize {
  int nWidth = 0;
  int nHeight = 0;
  friend bool operator==(const ClientSize&, const ClientSize&) = default;
};

// The rectangle in dialog units, relative to the owner's top-left corner, as a dialog template
// carries it: x, y, cx, cy.
struct DialogUnits {
  int nX = 0;
  int nY = 0;
  int nCx = 0;
  int nCy = 0;
  friend bool operator==(const DialogUnits&, const DialogUnits&) = default;
};
DialogUnits DIALOGUNITS(const PixelRect& oRect, int nOwnerTop, int nOwnerLeft, int nBaseX,
                        int nBaseY);

// Client-area size in pixels of a dialog whose rectangle goes through dialog units.
ClientSize DIALOGCLIENTSIZE(const PixelRect& oRect, int nOwnerTop = 0, int nOwnerLeft = 0,
                            int nBaseX = DLG_BASEX, int nBaseY = DLG_BASEY);

// What a window style asks of the frame.
struct FrameLook {
  bool lTitle = false;
  bool lBorder = false;
  bool lSysMenu = false; // and so a close button
  bool lMinButton = false;
  bool lMaxButton = false;
  bool lResizable = false;
  friend bool operator==(const FrameLook&, const FrameLook&) = default;
};
FrameLook FRAMEFORSTYLE(uint32_t nStyle);

// Top-left corner that centres a nWidth x nHeight window on a reference rectangle (halves
// truncated toward zero).
std::pair<int, int> CENTEREDPOS(int nRefLeft, int nRefTop, int nRefWidth, int nRefHeight,
                                int nWidth, int nHeight);

// The 24 arguments of New, in order, with their defaults.
struct TDialogNew {
  int nTop = 0;                                                         // 1
  int nLeft = 0;                                                        // 2
  int nBottom = 10;                                                     // 3
  int nRight = 40;                                                      // 4
  std::optional<std::string> cCaption{};                                // 5
  std::optional<std::string> cResName{};                                // 6 (not offered)
  std::optional<long> hResources{};                                     // 7 (not offered)
  bool lVbx = false;                                                    // 8
  uint32_t nStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME; // 9
  std::optional<uint32_t> nClrText{};                                   // 10 RGB
  std::optional<uint32_t> nClrPane{};                                   // 11 RGB
  std::optional<uint32_t> nBrush{};                                     // 12 RGB
  TWindow* oWnd = nullptr;                                              // 13
  bool lPixel = false;                                                  // 14
  std::optional<std::string> cIcon{};                                   // 15
  std::optional<TFont> oFont{};                                         // 16
  std::optional<int> nHelpId{};                                         // 17
  int nWidth = 0;                                                       // 18
  int nHeight = 0;                                                      // 19
  bool lTransparent = false;                                            // 20
  std::optional<std::pair<uint32_t, uint32_t>> aGradColors{};           // 21
  std::string cVarName = "oDlg";                                        // 22
  std::optional<bool> lUnicode{};                                       // 23
  std::optional<bool> lTruePixel{};                                     // 24
};

// The 11 arguments of Activate, in order, with their defaults.
struct TDialogActivate {
  std::function<void(int nRow, int nCol, long nFlags)> bLClicked{}; // 1
  std::function<void(int nRow, int nCol, long nFlags)> bMoved{};    // 2
  std::function<void(TDialog&)> bPainted{};                         // 3
  bool lCentered = false;                                           // 4
  std::function<bool(TDialog&)> bValid{};                           // 5
  bool lModal = true;                                               // 6 (kept; every run is modal)
  std::function<void(TDialog&)> bInit{};                            // 7
  std::function<void(int nRow, int nCol, long nFlags)> bRClicked{}; // 8
  std::function<bool(TDialog&)> bWhen{};                            // 9
  bool lResize16 = false;                                           // 10
  bool lCenterInWnd = false;                                        // 11
};

class TDialog : public TWindow {
public:
  using Block = std::function<void()>;
  using DialogBlock = std::function<void(TDialog&)>;
  using DialogTest = std::function<bool(TDialog&)>;
  using MouseBlock = std::function<void(int nRow, int nCol, long nFlags)>;

  using NewArgs = TDialogNew;
  using ActivateArgs = TDialogActivate;

  std::string cCaption;
  int nTop = 0;
  int nLeft = 0;
  int nBottom = 0;
  int nRight = 0;
  uint32_t nStyle = 0;
  std::vector<TControl*> aControls;
  TControl* oClient = nullptr;
  TWindow* oWnd = nullptr; // owner
  DialogBlock bInit;
  DialogTest bValid;
  Block bStart;
  DialogTest bWhen;
  MouseBlock bLClicked;
  MouseBlock bRClicked;
  MouseBlock bMoved;
  DialogBlock bPainted;
  bool lCentered = false;
  bool lCenterInWnd = false;
  bool lModal = true;
  bool lResize16 = false;
  bool lModify = true;
  std::optional<bool> lHelpIcon;
  std::optional<int> nResult;
  bool lVisible = false;
  int nLastKey = 0;
  std::string cVarName = "oDlg";
  bool lUnicode = false;
  bool lTruePixel = false;
  std::optional<int> Cargo; // absent or 2: the close check validates no fields
  std::optional<TFont> oFont;
  std::optional<uint32_t> nClrText;
  std::optional<uint32_t> nClrPane;

  TDialog();
  ~TDialog() override;

  TDialog& New(NewArgs oArgs = {});
  void Activate(ActivateArgs oArgs = {});
  bool End(int nCode = IDCANCEL);
  void SetControl(TControl& oControl);
  void ReSize();

  std::optional<long> Close(long nWParam) override;
  std::optional<long> KeyDown(int nKey, long nFlags) override;
  std::optional<long> Command(long nWParam, long nLParam) override;

  // Registers a control (its id must be new in this dialog: "Duplicated Id" otherwise).
  bool AddControl(TControl& oControl);
  void RemoveControl(TControl& oControl);

  DialogRun* Run() const { return pRun_; }

private:
  friend class DialogRun;
  friend class DialogActivation;
  // Activate's first step: the arguments into their fields, no result, running.
  void Arm_(ActivateArgs oArgs);
  void BindWindow();
  void ReleaseWindow();
  DialogRun* pRun_ = nullptr;
};

// Number of dialogs currently inside Activate.
int DIALOGSRUNNING();
// Esc closes dialogs (default true); returns the previous setting.
bool SETDIALOGESC(bool lOn);
// Centred dialogs are centred on their owner (default false); returns the previous setting.
bool SETCENTERONPARENT(bool lOn);
// The dialog that controls created without a parent join (the last one New made).
TDialog* DEFAULTPARENT();
// Ends every running dialog with code 2, bypassing the valid callbacks.
void ENDALLDIALOGS();

// The close check: true allows the close. With lModified and unsaved changes it asks
// "Annullo le modifiche?"; a second check started while one runs is refused.
bool VALID_(TDialog& oDlg, bool lModified);

} // namespace veltra::ui
