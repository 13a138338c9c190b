// The user-interface thread's doorbell over Qt: a socket notifier on the doorbell's eventfd
// (ui_doorbell_eventfd.cpp), on the thread of the application object.
#include "serial/ui_doorbell.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

namespace veltra::serial::detail {

bool OnUiThread() {
  const QCoreApplication* pApp = QCoreApplication::instance();
  return pApp != nullptr && QThread::currentThread() == pApp->thread();
}

void PrepareUiThread() {
  // Touched on the user-interface thread only.
  static QPointer<QSocketNotifier> pNotifier;
  if (pNotifier != nullptr || !OnUiThread() || DoorbellFd() < 0) {
    return;
  }
  pNotifier = new QSocketNotifier(DoorbellFd(), QSocketNotifier::Read,
                                  QCoreApplication::instance()); // owned by the application
  QObject::connect(pNotifier, &QSocketNotifier::activated, pNotifier, &AnswerDoorbell);
}

} // namespace veltra::serial::detail
