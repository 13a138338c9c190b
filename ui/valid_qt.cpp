// The close check's focus and alert colour on Qt.
#include "ui/focus.h"
#include "ui/window_qt.h"

#include <QApplication>
#include <QPalette>
#include <QPointer>
#include <QVariant>

namespace veltra::ui {
namespace {

constexpr const char* kSavedPalette = "veltraSavedPalette";

} // namespace

std::function<void()> FOCUSRETURN() {
  const QPointer<QWidget> pFocus = QApplication::focusWidget();
  return [pFocus] {
    if (pFocus != nullptr) {
      pFocus->setFocus();
    }
  };
}

bool HASFOCUS(const TWindow& oWnd) {
  return WIDGETOF(oWnd) != nullptr && WIDGETOF(oWnd) == QApplication::focusWidget();
}

void SHOWALERT(TControl& oControl, bool lOn) {
  QWidget* pWidget = WIDGETOF(oControl);
  if (pWidget == nullptr) {
    return;
  }
  if (lOn) {
    pWidget->setProperty(kSavedPalette, QVariant::fromValue(pWidget->palette()));
    QPalette oRed = pWidget->palette();
    oRed.setColor(QPalette::Base, Qt::red);
    pWidget->setPalette(oRed);
  } else if (const QVariant oSaved = pWidget->property(kSavedPalette); oSaved.isValid()) {
    pWidget->setPalette(oSaved.value<QPalette>());
    pWidget->setProperty(kSavedPalette, QVariant());
  }
}

} // namespace veltra::ui
