// Toolkit side of the window objects: the peer that holds a window's widget and the receiver
// behind its handle, and the routing of posted events to HandleEvent.
#pragma once

#include "ui/guard.h"
#include "ui/window.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace veltra::ui {

// What a posted comm notification carries.
struct CommNotifyArgs {
  int nComm = 0;
  int nStatus = 0;
};
using CommNotifyDecoder = std::function<std::optional<CommNotifyArgs>(const QEvent&)>;

// Recognises the serial layer's comm notification event.
std::optional<CommNotifyArgs> DECODECOMMNOTIFY(const QEvent& oEvent);

// Hands oEvent to oWnd's HandleEvent when fDecode recognises it as a comm notification.
// Returns true when it did.
bool ROUTEWINDOWEVENT(TWindow& oWnd, QEvent& oEvent, const CommNotifyDecoder& fDecode);

// The object behind a window handle: lives on the user-interface thread, receives what the
// serial layer posts to the handle.
class WindowReceiver : public QObject {
public:
  explicit WindowReceiver(TWindow& oWnd) : oWnd_(oWnd) {}
  bool event(QEvent* pEvent) override;

private:
  TWindow& oWnd_;
};

class WindowPeer {
public:
  QPointer<QWidget> pWidget;
  std::unique_ptr<WindowReceiver> oReceiver;
};

inline QWidget* WIDGETOF(const TWindow& oWnd) {
  return oWnd.Peer().pWidget;
}

} // namespace veltra::ui
