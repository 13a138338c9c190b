// VALID_: the close check. Asks before discarding unsaved changes, or validates the dialog's
// fields when the dialog asks for it; a check started while one runs is refused.
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/popmsg.h"
#include "ui/window_qt.h"

#include <QApplication>
#include <QPalette>
#include <QPointer>

namespace veltra::ui {
namespace {

bool g_lChecking = false;

// A failed field: focus, red while the message shows, then its colours and the focus back.
void ShowFieldError(TControl& oControl, std::string_view cText) {
  oControl.SetFocus();
  QPointer<QWidget> pWidget = WIDGETOF(oControl);
  const QPalette oSaved = pWidget != nullptr ? pWidget->palette() : QPalette();
  if (pWidget != nullptr) {
    QPalette oRed = oSaved;
    oRed.setColor(QPalette::Base, Qt::red);
    pWidget->setPalette(oRed);
  }
  POPMSG(cText, 1);
  if (pWidget != nullptr) {
    pWidget->setPalette(oSaved);
  }
  oControl.SetFocus();
}

} // namespace

bool VALID_(TDialog& oDlg, bool lModified) {
  const QPointer<QWidget> pFocus = QApplication::focusWidget();
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
    if (!lYes && pFocus != nullptr) {
      pFocus->setFocus();
    }
    return lYes;
  }

  oDlg.Cargo.reset();
  for (TControl* pControl : oDlg.aControls) {
    if (WIDGETOF(*pControl) != nullptr && WIDGETOF(*pControl) == pFocus) {
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
