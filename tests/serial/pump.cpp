// The serial suites' bounded waits and port read.
#include "tests/serial/pump.h"

#include "serial/comm_port.h"
#include "serial/message_pump.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

namespace veltra::serial::test {

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

} // namespace veltra::serial::test
