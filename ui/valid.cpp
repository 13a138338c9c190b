// VALID_: the close check. Asks before discarding unsaved changes, or validates the dialog's
// fields when the dialog asks for it; a check started while one runs is refused.
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/focus.h"
#include "ui/popmsg.h"

#include <vector>

namespace veltra::ui {
namespace {

bool g_lChecking = false;

// A failed field: focus, red while the message shows, then its colours and the focus back.
void ShowFieldError(TControl& oControl, std::string_view cText) {
  oControl.SetFocus();
  SHOWALERT(oControl, true);
  POPMSG(cText, 1);
  SHOWALERT(oControl, false);
  oControl.SetFocus();
}

} // namespace

bool VALID_(TDialog& oDlg, bool lModified) {
  const std::function<void()> fFocusBack = FOCUSRETURN();
  if (g_lChecking) {
    return false;
  }
  g_lChecking = true;
  struct Mark {
    ~Mark() { g_lChecking = false; }
  } oMark;

  if (!oDlg.Cargo || *oDlg.Cargo == 2) {
    if (!lModified || !oDlg.lModify) {
      return true;
    }
    const std::optional<PopResult> oAnswer = POPMSG("Annullo le modifiche?", 5);
    const bool lYes = oAnswer && std::get<bool>(*oAnswer);
    if (!lYes) {
      fFocusBack();
    }
    return lYes;
  }

  oDlg.Cargo.reset();
  for (TControl* pControl : oDlg.aControls) {
    if (HASFOCUS(*pControl)) {
      pControl->LostFocus();
    }
  }
  for (TControl* pControl : std::vector<TControl*>(oDlg.aControls)) {
    if (pControl->bWhen && !pControl->bWhen()) {
      continue;
    }
    if (pControl->bValid && !pControl->bValid()) {
      ShowFieldError(*pControl, "Campo non valido.");
      return false;
    }
  }
  return true;
}

} // namespace veltra::ui
