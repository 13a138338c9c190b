// TWindow: handle binding through the serial layer's registry and message dispatch.
#include "ui/window_qt.h"

#include "serial/window_registry_qt.h"
#include "ui/control.h"
#include "ui/dialog.h"

#include <QCoreApplication>
#include <QEvent>

namespace veltra::ui {
TWindow::TWindow() : oPeer_(std::make_unique<WindowPeer>()) {}

TWindow::~TWindow() {
  ReleaseHandle();
}

void TWindow::BindHandle() {
  if (hWnd != 0) {
    return;
  }
  oPeer_->oReceiver = std::make_unique<WindowReceiver>(*this);
  hWnd = serial::REGISTERWINDOW(oPeer_->oReceiver.get());
}

void TWindow::ReleaseHandle() {
  if (hWnd != 0) {
    serial::UNREGISTERWINDOW(hWnd);
    hWnd = 0;
  }
  // Deleting the receiver also drops events still queued for it (and so releases the
  // workers waiting on them).
  oPeer_->oReceiver.reset();
}

bool ROUTEWINDOWEVENT(TWindow& oWnd, QEvent& oEvent, const CommNotifyDecoder& fDecode) {
  const std::optional<CommNotifyArgs> oArgs = fDecode(oEvent);
  if (!oArgs) {
    return false;
  }
  RUNGUARDED([&] { oWnd.HandleEvent(WM_COMMNOTIFY, oArgs->nComm, oArgs->nStatus); });
  return true;
}

bool WindowReceiver::event(QEvent* pEvent) {
  return ROUTEWINDOWEVENT(oWnd_, *pEvent, DECODECOMMNOTIFY) || QObject::event(pEvent);
}

void TControl::Detach() {
  ReleaseHandle();
  Peer().pWidget = nullptr;
}

void UPDATEWINDOW(const TWindow& oWnd) {
  if (QWidget* pWidget = WIDGETOF(oWnd)) {
    // A widget's pending paints are one update request posted to its top-level window.
    QCoreApplication::sendPostedEvents(pWidget->window(), QEvent::UpdateRequest);
  }
}

} // namespace veltra::ui
