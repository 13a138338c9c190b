// POPMSG: its tables, text rules and modes over the platform's boxes.
#include "ui/popmsg.h"

#include "serial/message_pump.h"
#include "ui/codepage.h"
#include "ui/popmsg_box.h"
#include "ui/tone.h"

#include <algorithm>

namespace veltra::ui {

std::optional<int> POPMSGFLAGS(int nType) {
  switch (nType) {
  case 1:
    return MB_ICONINFORMATION;
  case 2:
    return MB_OKCANCEL | MB_ICONQUESTION;
  case 3:
    return MB_YESNOCANCEL | MB_ICONQUESTION;
  case 4:
    return MB_YESNO | MB_ICONQUESTION;
  case 5:
    return MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
  case 6:
    return MB_OKCANCEL | MB_ICONHAND;
  default:
    return std::nullopt;
  }
}

std::optional<PopResult> POPMSGRESULT(int nType, int nButtonId) {
  switch (nType) {
  case 2:
  case 6:
    return PopResult(nButtonId == 1);
  case 3:
    return PopResult(nButtonId);
  case 4:
  case 5:
    return PopResult(nButtonId == IDYES);
  default:
    return std::nullopt;
  }
}

std::string POPMSGTEXT(std::string_view cText) {
  // Only the program's own text decides: a name marked by NAMETEXT is as it is on disk.
  const std::string cOwn = NAMELESSTEXT(cText);
  const bool lDos = std::any_of(cOwn.begin(), cOwn.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x81 && b <= 0xA8;
  });
  const std::string cWin = lDos ? OEMTOANSI(cText) : std::string(cText);
  return EXPANDTOCRLF(cWin, ';');
}

std::optional<PopResult> POPMSG(std::optional<std::string_view> cText, std::optional<int> nType,
                                std::optional<std::string_view> cTitle, const PopMsgBox& oBox) {
  std::optional<PopResult> oResult;
  const std::string cShown = cText ? POPMSGTEXT(*cText) : std::string();
  if (nType) {
    const std::string_view cCaption = cTitle.value_or("Attenzione");
    PROGRESSBOXCLOSE();
    if (const std::optional<int> nFlags = POPMSGFLAGS(*nType)) {
      if (*nType >= 2) {
        TONE(POPMSG_TONE_HZ, POPMSG_TONE_MS);
      }
      oResult = POPMSGRESULT(*nType, SHOWMESSAGEBOX(*nFlags, cShown, cCaption));
    }
  } else if (!cText && !oBox.lProgress && !oBox.lPage) {
    PROGRESSBOXCLOSE();
  } else {
    if (!PROGRESSBOXOPEN()) {
      PROGRESSBOXCREATE(cShown, cTitle.value_or(""), oBox.lProgress, oBox.lPage);
    }
    if (oBox.lUpdate) {
      PROGRESSBOXSETTEXT(cShown);
    }
    if (oBox.nPos) {
      PROGRESSBOXSETPOS(*oBox.nPos + 1);
    }
    if (oBox.lPage) {
      PROGRESSBOXNEXTPAGE();
    }
  }
  serial::SYSREFRESH();
  return oResult;
}

} // namespace veltra::ui
