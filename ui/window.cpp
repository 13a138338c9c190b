// TWindow's message dispatch, the same on every platform.
#include "ui/window.h"

namespace veltra::ui {

std::optional<long> TWindow::HandleEvent(int nMsg, long nWParam, long nLParam) {
  switch (nMsg) {
  case WM_COMMNOTIFY:
    if (CommNotify(static_cast<int>(nWParam), static_cast<int>(nLParam))) {
      return 1;
    }
    return std::nullopt;
  case WM_CLOSE:
    return Close(nWParam);
  case WM_KEYDOWN:
    return KeyDown(static_cast<int>(nWParam), nLParam);
  case WM_COMMAND:
    return Command(nWParam, nLParam);
  default:
    return std::nullopt;
  }
}

bool TWindow::CommNotify(int nComm, int nStatus) {
  if (!bCommNotify) {
    return false;
  }
  bCommNotify(nComm, nStatus);
  return true;
}

std::optional<long> TWindow::Close(long /*nWParam*/) {
  return std::nullopt;
}
std::optional<long> TWindow::KeyDown(int /*nKey*/, long /*nFlags*/) {
  return std::nullopt;
}
std::optional<long> TWindow::Command(long /*nWParam*/, long /*nLParam*/) {
  return std::nullopt;
}

} // namespace veltra::ui
