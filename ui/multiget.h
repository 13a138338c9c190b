// TMultiGet: the multi-line text box that shows the program's log, bound to a text variable.
// Appending a line is VarPut(VarGet() + line + CR LF), Refresh(), GoBottom().
#pragma once

#include "ui/control.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltra::ui {

inline constexpr uint32_t ES_CENTER = 0x0001U;
inline constexpr uint32_t ES_RIGHT = 0x0002U;
inline constexpr uint32_t ES_MULTILINE = 0x0004U;
inline constexpr uint32_t ES_READONLY = 0x0800U;
inline constexpr uint32_t ES_WANTRETURN = 0x1000U;

// Style of a multi-line box from the flags of New.
uint32_t MULTIGETSTYLE(bool lHScroll, bool lCenter, bool lRight, bool lReadOnly, bool lNoBorder,
                       bool lNoVScroll);

// Item rectangle of a control in dialog units (f = 1 with true pixels, 2 otherwise) and back in
// pixels: x, y, width, height.
struct ItemGeometry {
  int nX = 0;
  int nY = 0;
  int nWidth = 0;
  int nHeight = 0;
  friend bool operator==(const ItemGeometry&, const ItemGeometry&) = default;
};
ItemGeometry CONTROLITEMUNITS(int nTop, int nLeft, int nBottom, int nRight, bool lTruePixel,
                              int nBaseX, int nBaseY);
ItemGeometry CONTROLITEMGEOMETRY(int nTop, int nLeft, int nBottom, int nRight, bool lTruePixel,
                                 int nBaseX, int nBaseY);

// The bound text as the box shows it (CR LF becomes one line break) and back.
std::u16string LOGTEXTTOWIDGET(std::string_view cText);
std::string LOGTEXTFROMWIDGET(std::u16string_view cText);

class TMultiGet : public TControl {
public:
  using ChangeBlock = std::function<void(int nKey, long nFlags, TMultiGet&)>;

  // The 21 arguments of New, in order, with their defaults.
  struct NewArgs {
    std::optional<int> nRow{};          // 1 top, pixels
    std::optional<int> nCol{};          // 2 left, pixels
    SetGet bSetGet{};                   // 3
    TDialog* oWnd = nullptr;            // 4 default: the last dialog made by New
    int nWidth = 200;                   // 5
    int nHeight = 80;                   // 6
    std::optional<TFont> oFont{};       // 7
    bool lHScroll = false;              // 8
    std::optional<uint32_t> nClrFore{}; // 9 RGB; default: the system's window text colour
    std::optional<uint32_t> nClrBack{}; // 10 RGB; default: the system's window colour
    std::optional<int> oCursor{};       // 11
    std::optional<std::string> cMsg{};  // 12
    bool lUpdate = false;               // 13
    std::function<bool()> bWhen{};      // 14
    bool lCenter = false;               // 15
    bool lRight = false;                // 16
    bool lReadOnly = false;             // 17
    std::function<bool()> bValid{};     // 18
    ChangeBlock bChange{};              // 19
    bool lNoBorder = false;             // 20
    bool lNoVScroll = false;            // 21
  };

  bool lReadOnly = false;
  bool lDelete = false;
  int nLen = 0;
  std::optional<uint32_t> nClrText;
  std::optional<uint32_t> nClrPane;
  std::optional<TFont> oFont;
  std::optional<int> oCursor;
  ChangeBlock bChange;

  TMultiGet();
  ~TMultiGet() override;

  TMultiGet& New(NewArgs oArgs);

  // Shows exactly VarGet(); arguments are accepted and ignored.
  void Refresh(std::optional<bool> lErase = {});
  // Caret after the last character, last line in view.
  void GoBottom();
  // Writes the shown text back through VarPut.
  void LostFocus() override;

  std::string_view ClassName() const override;
  void BuildItem(TDialog& oDlg) override;
  void Initiate(TDialog& oDlg) override;
  void Move(int nX, int nY, int nWidth, int nHeight) override;
  void SetFocus() override;
  void Detach() override;

private:
  friend class LogEdit;
  // The platform's two ways of changing what the box shows: the whole text, or a part added
  // at its end (which costs the same however long the text already is).
  void ShowWhole_(const std::string& cText);
  void ShowAppended_(std::string_view cPart);

  std::string cShown_;       // the bytes the box shows now
  bool lShownValid_ = false; // cShown_ matches the box (no full rewrite needed)
};

} // namespace veltra::ui
