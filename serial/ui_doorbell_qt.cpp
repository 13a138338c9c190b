// The user-interface thread's doorbell: one eventfd for the process, one socket notifier on
// the thread of the application object.
#include "serial/ui_doorbell.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltra::serial::detail {
namespace {

// Created once and kept for the life of the process, so a worker can always ring.
int DoorbellFd() {
  static const int nFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return nFd;
}

void Answer() {
  std::uint64_t nCount = 0;
  // Cleared before the answers run: a ring during them is answered again, never lost.
  [[maybe_unused]] const ssize_t nRead = ::read(DoorbellFd(), &nCount, sizeof nCount);
  DeliverCommNotifications();
  AnswerWakeRequest();
}

} // namespace

bool OnUiThread() {
  const QCoreApplication* pApp = QCoreApplication::instance();
  return pApp != nullptr && QThread::currentThread() == pApp->thread();
}

void RingUiThread() {
  const std::uint64_t nOne = 1;
  [[maybe_unused]] const ssize_t nWritten = ::write(DoorbellFd(), &nOne, sizeof nOne);
}

void PrepareUiThread() {
  // Touched on the user-interface thread only.
  static QPointer<QSocketNotifier> pNotifier;
  if (pNotifier != nullptr || !OnUiThread() || DoorbellFd() < 0) {
    return;
  }
  pNotifier = new QSocketNotifier(DoorbellFd(), QSocketNotifier::Read,
                                  QCoreApplication::instance()); // owned by the application
  QObject::connect(pNotifier, &QSocketNotifier::activated, pNotifier, &Answer);
}

} // namespace veltra::serial::detail
