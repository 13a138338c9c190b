// Default tone: the desktop bell.
#include "ui/tone.h"

#include <QApplication>
#include <utility>

namespace veltra::ui {
namespace {

ToneService& Service() {
  static ToneService bService;
  return bService;
}

} // namespace

ToneService SETTONESERVICE(ToneService bService) {
  return std::exchange(Service(), std::move(bService));
}

void TONE(int nHz, int nMs) {
  if (Service()) {
    Service()(nHz, nMs);
  } else if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    QApplication::beep();
  }
}

} // namespace veltra::ui
