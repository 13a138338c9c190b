// The notification receiver: a receiver of the serial layer's event loop under a handle of
// its own.
#include "send/comm_target.h"

#include "serial/event_loop.h"

namespace veltra::send {

struct CommTarget::Impl {
  int hWnd = 0;
};

CommTarget::CommTarget(std::function<void(int nComm)> bCommNotify) : m_p(std::make_unique<Impl>()) {
  m_p->hWnd = serial::REGISTERRECEIVER(
      [b = std::move(bCommNotify)](int nComm, int /*nStatus*/) { b(nComm); });
}

CommTarget::~CommTarget() {
  serial::UNREGISTERRECEIVER(m_p->hWnd);
}

int CommTarget::hWnd() const {
  return m_p->hWnd;
}

} // namespace veltra::send
