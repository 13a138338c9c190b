// The receive path at rest and per command: how long a notification takes from the worker's
// hand-over to the window's callback (the user-interface thread waiting in SYSWAIT, as the
// transfer loop does), and the processor time used while nothing comes: by an idle receive
// worker, by a worker whose line has hung up, and by 25 idle waits of 20 ms.
#include "harness/raw_pty.h"
#include "serial/comm_notify_qt.h"
#include "serial/comm_port.h"
#include "serial/comm_port_testing.h"
#include "serial/message_pump.h"
#include "serial/window_registry_qt.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace veltra;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Stands for the program's window: takes what came, re-arms, and notes the latency.
class Window : public QObject {
public:
  int hWnd = serial::REGISTERWINDOW(this);
  std::vector<double> aLatencyMs;
  std::size_t nBytes = 0;
  ~Window() override { serial::UNREGISTERWINDOW(hWnd); }
  bool event(QEvent* e) override {
    if (e->type() != serial::CommNotifyEvent::EventType()) {
      return QObject::event(e);
    }
    const auto* pNotify = static_cast<serial::CommNotifyEvent*>(e);
    aLatencyMs.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - pNotify->PostedAt()).count());
    std::string cBuf(1000, ' ');
    nBytes += static_cast<std::size_t>(serial::READCOMM(pNotify->nComm(), cBuf));
    serial::ENABLECOMMNOTIFICATION(pNotify->nComm(), hWnd, 1, -1);
    return true;
  }
};

double ThreadCpuMs() {
  timespec o{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &o);
  return static_cast<double>(o.tv_sec) * 1e3 + static_cast<double>(o.tv_nsec) * 1e-6;
}

void Wait(const std::function<bool()>& lDone, Clock::duration tLimit) {
  const auto tEnd = Clock::now() + tLimit;
  while (!lDone() && Clock::now() < tEnd) {
    serial::SYSWAIT(5);
  }
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication oApp(argc, argv);
  // The device's end; a pair that could not be made has no path, which OPENCOMM refuses.
  harness::RawPty oLine;
  const int nMaster = oLine.Master();
  const int nComm = serial::OPENCOMM(oLine.SlavePath(), 16384, 16384);
  if (nComm < 0) {
    std::puts("bench_notify: the pty could not be opened as a port");
    return 1;
  }
  Window oWindow;
  serial::ENABLECOMMNOTIFICATION(nComm, oWindow.hWnd, 1, -1);

  constexpr int kCount = 300;
  std::thread oDevice([&] {
    for (int i = 0; i < kCount; ++i) {
      [[maybe_unused]] const ssize_t n = ::write(nMaster, "T", 1);
      std::this_thread::sleep_for(2ms);
    }
  });
  Wait([&] { return oWindow.nBytes >= kCount; }, 20s);
  oDevice.join();
  std::vector<double> aMs = oWindow.aLatencyMs;
  std::sort(aMs.begin(), aMs.end());
  if (aMs.empty()) {
    std::puts("bench_notify: no notification came");
    return 1;
  }
  std::printf("notify_latency: %zu notifications, median %.3f ms, p99 %.3f ms, max %.3f ms\n",
              aMs.size(), aMs[aMs.size() / 2], aMs[aMs.size() * 99 / 100], aMs.back());

  const double dIdle0 = serial::COMMWORKERCPUTIME(nComm).value_or(0);
  std::this_thread::sleep_for(1s);
  const double dIdle = serial::COMMWORKERCPUTIME(nComm).value_or(0) - dIdle0;
  std::printf("worker_idle_cpu: %.3f ms over 1 s\n", dIdle * 1e3);

  const double dWait0 = ThreadCpuMs();
  const auto tWait0 = Clock::now();
  for (int i = 0; i < 25; ++i) {
    serial::SYSWAIT(20);
  }
  std::printf("idle_wait: 25 waits of 20 ms took %.1f ms, %.2f ms CPU\n",
              std::chrono::duration<double, std::milli>(Clock::now() - tWait0).count(),
              ThreadCpuMs() - dWait0);

  oLine.CloseMaster(); // the line hangs up
  Wait([&] { return serial::COMMLOST(nComm); }, 5s);
  const double dLost0 = serial::COMMWORKERCPUTIME(nComm).value_or(0);
  std::this_thread::sleep_for(1s);
  const double dLost = serial::COMMWORKERCPUTIME(nComm).value_or(0) - dLost0;
  std::printf("worker_hangup_cpu: %.3f ms over 1 s\n", dLost * 1e3);
  serial::CLOSECOMM(nComm);
  return 0;
}
