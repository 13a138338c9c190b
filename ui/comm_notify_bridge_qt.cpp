// Recognises the serial layer's comm notification among the events posted to a window.
#include "serial/comm_notify_qt.h"
#include "ui/window_qt.h"

namespace veltra::ui {

static_assert(serial::WM_COMMNOTIFY == WM_COMMNOTIFY);

std::optional<CommNotifyArgs> DECODECOMMNOTIFY(const QEvent& oEvent) {
  if (oEvent.type() != serial::CommNotifyEvent::EventType()) {
    return std::nullopt;
  }
  const auto& oNotify = static_cast<const serial::CommNotifyEvent&>(oEvent);
  return CommNotifyArgs{oNotify.nComm(), oNotify.nStatus()};
}

} // namespace veltra::ui
