// The serial layer's own pieces of the serial and app suites.
#include "tests/serial/serial_test_support.h"

#include "serial/comm_port.h"
#include "serial/event_loop.h"
#include "serial/message_pump.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

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

bool PumpUntil(const std::function<bool()>& lDone, std::chrono::milliseconds tLimit) {
  const auto tEnd = std::chrono::steady_clock::now() + tLimit;
  while (!lDone()) {
    if (std::chrono::steady_clock::now() >= tEnd) {
      return false;
    }
    SYSWAIT(5);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds tFor) {
  PumpUntil([] { return false; }, tFor);
}

void Bounded(const std::function<void()>& fn, std::chrono::milliseconds tLimit) {
  std::packaged_task<void()> oTask(fn);
  auto oDone = oTask.get_future();
  std::thread oThread(std::move(oTask));
  if (oDone.wait_for(tLimit) != std::future_status::ready) {
    std::fprintf(stderr, "FAILED: call did not return within %lld ms\n",
                 static_cast<long long>(tLimit.count()));
    std::_Exit(1);
  }
  oThread.join();
}

std::string ReadAll(int nComm, std::size_t nCount) {
  std::string cOut;
  std::string cBuf(4096, '\0');
  const auto tEnd = std::chrono::steady_clock::now() + 5s;
  while (cOut.size() < nCount && std::chrono::steady_clock::now() < tEnd) {
    const int n = READCOMM(nComm, cBuf);
    cOut.append(cBuf, 0, static_cast<std::size_t>(n));
    if (n == 0) {
      std::this_thread::sleep_for(1ms);
    }
  }
  return cOut;
}

std::string ChildPath() {
  return VELTRA_SERIAL_CHILD;
}

} // namespace veltra::serial::test
