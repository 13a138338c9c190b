// The platform's tone on Qt: the desktop bell, since the program has no sound output of its own.
#include "ui/tone.h"

#include <QApplication>

namespace veltra::ui {

void PLATFORMTONE(int /*nHz*/, int /*nMs*/) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    QApplication::beep();
  }
}

} // namespace veltra::ui
