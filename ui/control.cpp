// TControl: the shared id counter, the get/set binding and Esc forwarding.
#include "ui/control.h"

#include "ui/dialog.h"
#include "ui/key_state.h"

namespace veltra::ui {
namespace {

int g_nLastId = 100;

} // namespace

int NEXTCONTROLID() {
  g_nLastId = g_nLastId >= 30000 ? 100 : g_nLastId + 1;
  return g_nLastId;
}

TControl::~TControl() {
  if (oWnd != nullptr) {
    oWnd->RemoveControl(*this);
  }
}

std::optional<std::string> TControl::VarGet() const {
  if (!bSetGet) {
    return std::nullopt;
  }
  return bSetGet(std::nullopt);
}

std::optional<std::string> TControl::VarPut(std::string cValue) {
  if (!bSetGet) {
    return std::nullopt;
  }
  return bSetGet(std::move(cValue));
}

std::optional<long> TControl::KeyDown(int nKey, long nFlags) {
  if (nKey == VK_ESCAPE && oWnd != nullptr) {
    return oWnd->HandleEvent(WM_KEYDOWN, nKey, nFlags);
  }
  return TWindow::KeyDown(nKey, nFlags);
}

std::function<std::optional<std::string>(std::optional<std::string>)> BINDTEXT(std::string& cText) {
  return [&cText](std::optional<std::string> cValue) -> std::optional<std::string> {
    if (cValue) {
      cText = std::move(*cValue);
    }
    return cText;
  };
}

} // namespace veltra::ui
