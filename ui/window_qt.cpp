// TWindow: handle binding through the serial layer's registry and message dispatch.
#include "ui/window_qt.h"

#include "serial/window_registry_qt.h"
#include "ui/dialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <exception>

namespace veltra::ui {
namespace {

std::exception_ptr g_pPending; // user-interface thread only

} // namespace

TWindow::TWindow() : oPeer_(std::make_unique<WindowPeer>()) {}

TWindow::~TWindow() {
  ReleaseHandle();
}

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

void RUNGUARDED(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    if (!g_pPending) {
      g_pPending = std::current_exception();
    }
    ENDALLDIALOGS();
  }
}

void RETHROWPENDING() {
  if (g_pPending) {
    std::rethrow_exception(std::exchange(g_pPending, nullptr));
  }
}

bool EXCEPTIONPENDING() {
  return static_cast<bool>(g_pPending);
}

void UPDATEWINDOW(const TWindow& oWnd) {
  if (QWidget* pWidget = WIDGETOF(oWnd)) {
    // A widget's pending paints are one update request posted to its top-level window.
    QCoreApplication::sendPostedEvents(pWidget->window(), QEvent::UpdateRequest);
  }
}

} // namespace veltra::ui
