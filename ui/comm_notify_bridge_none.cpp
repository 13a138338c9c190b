// Build without the serial layer's comm notification: no posted event is one.
#include "ui/window_qt.h"

namespace veltra::ui {

std::optional<CommNotifyArgs> DECODECOMMNOTIFY(const QEvent& /*oEvent*/) {
  return std::nullopt;
}

} // namespace veltra::ui
