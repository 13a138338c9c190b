// The user-interface thread's doorbell and descriptor watches for the poll loop: the doorbell's
// eventfd (ui_doorbell_eventfd.cpp) and a table of watches, all waited on in one poll().
// The user-interface thread is the process's main thread, the one main() runs on.
#include "serial/event_loop.h"
#include "serial/poll_dispatch.h"
#include "serial/ui_doorbell.h"

#include <memory>
#include <poll.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace veltra::serial {
namespace detail {
namespace {

struct Watch {
  int nFd;
  std::function<void()> bReadable;
  bool lEnabled = true;
  bool lGone = false; // its FdWatch was destroyed
};

// User-interface thread only.
std::vector<std::shared_ptr<Watch>>& Watches() {
  static std::vector<std::shared_ptr<Watch>> aWatches;
  return aWatches;
}

} // namespace

bool OnUiThread() {
  return ::gettid() == ::getpid();
}

void PrepareUiThread() {
  // Nothing to create: the doorbell exists from the first ring, and the thread answers it in
  // every poll of its own.
}

void RunReady(int nTimeoutMs, bool (*lStopAfterDoorbell)()) {
  // A snapshot: a callback may add, disable or remove watches.
  std::vector<std::shared_ptr<Watch>> aPolled;
  std::vector<pollfd> aFds{{DoorbellFd(), POLLIN, 0}};
  for (const auto& oWatch : Watches()) {
    if (oWatch->lEnabled) {
      aPolled.push_back(oWatch);
      aFds.push_back({oWatch->nFd, POLLIN, 0});
    }
  }
  if (::poll(aFds.data(), aFds.size(), nTimeoutMs) <= 0) {
    return; // nothing ready, or a signal came (its handler's pipe is watched too)
  }
  if (aFds[0].revents != 0) {
    AnswerDoorbell();
    if (lStopAfterDoorbell != nullptr && lStopAfterDoorbell()) {
      return;
    }
  }
  for (std::size_t i = 0; i < aPolled.size(); ++i) {
    Watch& oWatch = *aPolled[i];
    if (aFds[i + 1].revents != 0 && oWatch.lEnabled && !oWatch.lGone) {
      oWatch.bReadable();
    }
  }
}

} // namespace detail

struct FdWatch::Impl {
  std::shared_ptr<detail::Watch> oWatch;
};

FdWatch::FdWatch(int nFd, std::function<void()> bReadable) : m_p(std::make_unique<Impl>()) {
  m_p->oWatch = std::make_shared<detail::Watch>(detail::Watch{nFd, std::move(bReadable)});
  detail::Watches().push_back(m_p->oWatch);
}

FdWatch::~FdWatch() {
  m_p->oWatch->lGone = true;
  std::erase(detail::Watches(), m_p->oWatch);
}

void FdWatch::SetEnabled(bool lEnabled) {
  m_p->oWatch->lEnabled = lEnabled;
}

} // namespace veltra::serial
