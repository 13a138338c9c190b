// The serial layer's own pieces of the serial and app suites.
#include "tests/serial/serial_test_support.h"

#include "serial/comm_port.h"
#include "serial/event_loop.h"

namespace veltra::serial::test {

Receiver::Receiver()
    : m_hWnd(REGISTERRECEIVER([this](int nComm, int nStatus) {
        aCalls.push_back({nComm, nStatus});
        if (bCommNotify) {
          bCommNotify(nComm);
        }
      })) {}

Receiver::~Receiver() {
  UNREGISTERRECEIVER(m_hWnd);
}

std::string ChildPath() {
  return VELTRA_SERIAL_CHILD;
}

} // namespace veltra::serial::test
