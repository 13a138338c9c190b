// The signals that end the program, over a self-pipe: the handler only writes an eventfd
// (async-signal-safe), and a socket notifier on the user-interface thread does the ending
// there, where the ports and windows live.
#include "app/end_signals.h"
#include "runtime/startup.h"
#include "serial/comm_port.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltra::app {
namespace {

// SIGQUIT (Ctrl+\ in the terminal) among them: its default action dumps core and leaves the
// line as VELTRA set it.
constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

std::atomic<int> g_nEventFd{-1};
std::atomic<int> g_nSignals{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler must not take a lock");

extern "C" void OnEndSignal(int nSignal) {
  if (g_nSignals.fetch_add(1) > 0) {
    // The orderly end has not come through (or is under way and too slow for the user):
    // end now, as the signal would have without us.
    std::signal(nSignal, SIG_DFL);
    std::raise(nSignal);
    return;
  }
  const int nSavedErrno = errno;
  const std::uint64_t nOne = 1;
  [[maybe_unused]] const ssize_t nIgnored = ::write(g_nEventFd.load(), &nOne, sizeof nOne);
  errno = nSavedErrno;
}

} // namespace

void WATCHENDSIGNALS(std::function<void()> bEnd) {
  if (QCoreApplication::instance() == nullptr) {
    return;
  }
  const int nFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (nFd < 0) {
    return; // the default actions stay: the signals still end the program, only less tidily
  }
  g_nEventFd.store(nFd);
  // Owned by the application object; lives as long as the event loops do.
  auto* pNotifier = new QSocketNotifier(nFd, QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(pNotifier, &QSocketNotifier::activated, pNotifier,
                   [pNotifier, bEnd = std::move(bEnd)] {
                     pNotifier->setEnabled(false);
                     bEnd();
                   });
  struct sigaction oAction {};
  oAction.sa_handler = OnEndSignal;
  sigemptyset(&oAction.sa_mask);
  oAction.sa_flags = SA_RESTART;
  for (const int nSignal : kEndSignals) {
    ::sigaction(nSignal, &oAction, nullptr);
  }
}

void ENDONSIGNAL() {
  serial::CLOSEALLCOMM();
  std::cout.flush();
  std::exit(runtime::EXITSEQUENCE());
}

} // namespace veltra::app
