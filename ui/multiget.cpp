// TMultiGet's style, item geometry and line-end conversion rules, and Refresh.
#include "ui/multiget.h"

#include "ui/codepage.h"
#include "ui/dialog.h"

namespace veltra::ui {

uint32_t MULTIGETSTYLE(bool lHScroll, bool lCenter, bool lRight, bool lReadOnly, bool lNoBorder,
                       bool lNoVScroll) {
  uint32_t nStyle = WS_CHILD | WS_VISIBLE | ES_WANTRETURN | ES_MULTILINE | WS_TABSTOP;
  nStyle |= lHScroll ? WS_HSCROLL : 0U;
  nStyle |= lCenter ? ES_CENTER : 0U;
  nStyle |= lRight ? ES_RIGHT : 0U;
  nStyle |= lReadOnly ? ES_READONLY : 0U;
  nStyle |= lNoBorder ? 0U : WS_BORDER;
  nStyle |= lNoVScroll ? 0U : WS_VSCROLL;
  return nStyle;
}

ItemGeometry CONTROLITEMUNITS(int nTop, int nLeft, int nBottom, int nRight, bool lTruePixel,
                              int nBaseX, int nBaseY) {
  // Without true pixels the control's coordinates are doubled on their way to dialog units.
  const int f = lTruePixel ? 1 : 2;
  const int nY = f * 8 * nTop / nBaseY;
  const int nX = f * 4 * nLeft / nBaseX;
  const int nCy = f * 8 * nBottom / nBaseY - nY + 1;
  const int nCx = f * 4 * nRight / nBaseX - nX + 1;
  return {nX, nY, nCx, nCy};
}

ItemGeometry CONTROLITEMGEOMETRY(int nTop, int nLeft, int nBottom, int nRight, bool lTruePixel,
                                 int nBaseX, int nBaseY) {
  const ItemGeometry o = CONTROLITEMUNITS(nTop, nLeft, nBottom, nRight, lTruePixel, nBaseX, nBaseY);
  return {o.nX * nBaseX / 4, o.nY * nBaseY / 8, o.nWidth * nBaseX / 4, o.nHeight * nBaseY / 8};
}

std::u16string LOGTEXTTOWIDGET(std::string_view cText) {
  // The box breaks lines at CR LF, and at a lone CR or LF as well.
  std::string cLines;
  cLines.reserve(cText.size());
  for (std::size_t i = 0; i < cText.size(); ++i) {
    if (cText[i] == '\r') {
      cLines.push_back('\n');
      if (i + 1 < cText.size() && cText[i + 1] == '\n') {
        ++i;
      }
    } else {
      cLines.push_back(cText[i]);
    }
  }
  return ANSITOUNICODE(cLines);
}

std::string LOGTEXTFROMWIDGET(std::u16string_view cText) {
  return EXPANDTOCRLF(UNICODETOANSI(cText), '\n');
}

TMultiGet& TMultiGet::New(NewArgs oArgs) {
  TDialog* pParent = oArgs.oWnd != nullptr ? oArgs.oWnd : DEFAULTPARENT();
  nTop = oArgs.nRow.value_or(0);
  nLeft = oArgs.nCol.value_or(0);
  nBottom = nTop + oArgs.nHeight - 1;
  nRight = nLeft + oArgs.nWidth - 1;
  bSetGet = std::move(oArgs.bSetGet);
  oFont = oArgs.oFont;
  nClrText = oArgs.nClrFore;
  nClrPane = oArgs.nClrBack;
  oCursor = oArgs.oCursor;
  cMsg = oArgs.cMsg;
  lUpdate = oArgs.lUpdate;
  bWhen = std::move(oArgs.bWhen);
  bValid = std::move(oArgs.bValid);
  bChange = std::move(oArgs.bChange);
  lReadOnly = oArgs.lReadOnly;
  nStyle = MULTIGETSTYLE(oArgs.lHScroll, oArgs.lCenter, oArgs.lRight, oArgs.lReadOnly,
                         oArgs.lNoBorder, oArgs.lNoVScroll);
  nExStyle = WS_EX_CLIENTEDGE;
  nId = NEXTCONTROLID();
  lDelete = false;
  nLen = 0;
  if (pParent != nullptr && pParent->AddControl(*this) && pParent->hWnd != 0) {
    // The dialog already has its window: the control's window is made at once.
    BuildItem(*pParent);
    Initiate(*pParent);
  }
  return *this;
}

std::string_view TMultiGet::ClassName() const {
  return "EDIT";
}

void TMultiGet::Refresh(std::optional<bool> /*lErase*/) {
  if (hWnd == 0) {
    return;
  }
  std::string cNew = VarGet().value_or("");
  // When the new text only extends the shown one, only the new part goes in, so a line costs
  // the same however long the log already is. A shown text ending in CR could pair with an LF
  // at the start of the new part: that case is rewritten whole.
  const bool lExtends = lShownValid_ && cNew.size() >= cShown_.size() &&
                        cNew.compare(0, cShown_.size(), cShown_) == 0 &&
                        (cShown_.empty() || cShown_.back() != '\r');
  if (!lExtends) {
    ShowWhole_(cNew);
  } else if (cNew.size() > cShown_.size()) {
    ShowAppended_(std::string_view(cNew).substr(cShown_.size()));
  }
  cShown_ = std::move(cNew);
  lShownValid_ = true;
}

} // namespace veltra::ui
