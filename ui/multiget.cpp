// TMultiGet's style, item geometry and line-end conversion rules.
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

ItemGeometry CONTROLITEMGEOMETRY(int nTop, int nLeft, int nBottom, int nRight, bool lTruePixel,
                                 int nBaseX, int nBaseY) {
  // Without true pixels the control's coordinates are doubled on their way to dialog units.
  const int f = lTruePixel ? 1 : 2;
  const int nY = f * 8 * nTop / nBaseY;
  const int nX = f * 4 * nLeft / nBaseX;
  const int nCy = f * 8 * nBottom / nBaseY - nY + 1;
  const int nCx = f * 4 * nRight / nBaseX - nX + 1;
  return {nX * nBaseX / 4, nY * nBaseY / 8, nCx * nBaseX / 4, nCy * nBaseY / 8};
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

} // namespace veltra::ui
