// The notification receiver as a plain QObject: Qt Core only.
#include "send/comm_target.h"
#include "serial/comm_notify_qt.h"
#include "serial/window_registry_qt.h"

#include <QObject>

namespace veltra::send {

struct CommTarget::Impl : QObject {
  std::function<void(int)> bCommNotify;
  int hWnd = 0;

  bool event(QEvent* pEvent) override {
    if (pEvent->type() != serial::CommNotifyEvent::EventType()) {
      return QObject::event(pEvent);
    }
    bCommNotify(static_cast<serial::CommNotifyEvent*>(pEvent)->nComm());
    return true;
  }
};

CommTarget::CommTarget(std::function<void(int nComm)> bCommNotify) : m_p(std::make_unique<Impl>()) {
  m_p->bCommNotify = std::move(bCommNotify);
  m_p->hWnd = serial::REGISTERWINDOW(m_p.get());
}

CommTarget::~CommTarget() {
  serial::UNREGISTERWINDOW(m_p->hWnd);
}

int CommTarget::hWnd() const {
  return m_p->hWnd;
}

} // namespace veltra::send
