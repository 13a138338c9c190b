// Receivers and descriptor watches over Qt's event loop: a receiver is a plain QObject in the
// window registry, a watch a socket notifier.
#include "serial/comm_notify_qt.h"
#include "serial/event_loop.h"
#include "serial/window_registry_qt.h"

#include <QObject>
#include <QSocketNotifier>
#include <map>
#include <utility>

namespace veltra::serial {
namespace {

class NotifyReceiver : public QObject {
public:
  explicit NotifyReceiver(std::function<void(int, int)> bNotify) : m_bNotify(std::move(bNotify)) {}

  bool event(QEvent* pEvent) override {
    if (pEvent->type() != CommNotifyEvent::EventType()) {
      return QObject::event(pEvent);
    }
    const auto& oNotify = static_cast<const CommNotifyEvent&>(*pEvent);
    m_bNotify(oNotify.nComm(), oNotify.nStatus());
    return true;
  }

private:
  std::function<void(int, int)> m_bNotify;
};

// User-interface thread only, as the receivers are.
std::map<int, std::unique_ptr<NotifyReceiver>>& Receivers() {
  static std::map<int, std::unique_ptr<NotifyReceiver>> aReceivers;
  return aReceivers;
}

} // namespace

int REGISTERRECEIVER(std::function<void(int nComm, int nStatus)> bNotify) {
  auto oReceiver = std::make_unique<NotifyReceiver>(std::move(bNotify));
  const int hWnd = REGISTERWINDOW(oReceiver.get());
  Receivers().emplace(hWnd, std::move(oReceiver));
  return hWnd;
}

void UNREGISTERRECEIVER(int hWnd) {
  UNREGISTERWINDOW(hWnd);
  Receivers().erase(hWnd);
}

struct FdWatch::Impl {
  QSocketNotifier oNotifier;
  explicit Impl(int nFd) : oNotifier(nFd, QSocketNotifier::Read) {}
};

FdWatch::FdWatch(int nFd, std::function<void()> bReadable) : m_p(std::make_unique<Impl>(nFd)) {
  QObject::connect(&m_p->oNotifier, &QSocketNotifier::activated, &m_p->oNotifier,
                   [b = std::move(bReadable)] { b(); });
}

FdWatch::~FdWatch() = default;

void FdWatch::SetEnabled(bool lEnabled) {
  m_p->oNotifier.setEnabled(lEnabled);
}

} // namespace veltra::serial
