// The receive path under a flood: 1 MiB written to the device side of a pseudo-terminal as
// fast as it goes, through the port's worker, ring and notifications into the transfer
// loop's receive buffer. Throughput, processor time per MiB, and a byte-for-byte check; then
// the time the loop takes to get through 3 MiB of noise to a command.
#include "app/port_link.h"
#include "app/transfer_loop.h"
#include "harness/raw_pty.h"
#include "serial/comm_notify_qt.h"
#include "serial/comm_port.h"
#include "serial/message_pump.h"
#include "serial/window_registry_qt.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace veltra;

// Stands for the program's window: each notification runs the port link's callback.
class Window : public QObject {
public:
  int hWnd = serial::REGISTERWINDOW(this);
  ~Window() override { serial::UNREGISTERWINDOW(hWnd); }
  bool event(QEvent* e) override {
    if (e->type() == serial::CommNotifyEvent::EventType()) {
      const int nComm = static_cast<serial::CommNotifyEvent*>(e)->nComm();
      app::CONNECT(nComm);
      serial::ENABLECOMMNOTIFICATION(nComm, hWnd, 1, -1);
      return true;
    }
    return QObject::event(e);
  }
};

double CpuSeconds() {
  rusage o{};
  ::getrusage(RUSAGE_SELF, &o);
  return static_cast<double>(o.ru_utime.tv_sec + o.ru_stime.tv_sec) +
         static_cast<double>(o.ru_utime.tv_usec + o.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication oApp(argc, argv);
  constexpr std::size_t kSize = 1 << 20;
  std::string cFlood(kSize, '\0');
  for (std::size_t i = 0; i < kSize; ++i) {
    cFlood[i] = static_cast<char>((i * 2654435761U) >> 13);
  }
  // The device's end; a pair that could not be made has no path, which OPENCOMM refuses.
  harness::RawPty oLine;
  const int nMaster = oLine.Master();
  const int nComm = serial::OPENCOMM(oLine.SlavePath(), 16384, 16384);
  std::string cDcb;
  if (nComm < 0 || !serial::BUILDCOMMDCB("115200,N,8,2", cDcb) ||
      !serial::SETCOMMSTATE(nComm, cDcb)) {
    std::puts("bench_receive: the pty could not be opened as a port");
    return 1;
  }
  Window oWindow;
  serial::ENABLECOMMNOTIFICATION(nComm, oWindow.hWnd, 1, -1);

  const double dCpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  std::atomic<bool> lAllIn{false};
  std::thread oDevice([&] {
    std::size_t nDone = 0;
    while (nDone < kSize) {
      const ssize_t n = ::write(nMaster, cFlood.data() + nDone, kSize - nDone);
      if (n > 0) {
        nDone += static_cast<std::size_t>(n);
      } else {
        pollfd o{nMaster, POLLOUT, 0};
        ::poll(&o, 1, 100);
      }
    }
    // A notification moves at most 1000 bytes and the next one comes only with new bytes:
    // the device goes on sending single bytes, as its next commands would be, until the
    // flood is all in.
    while (!lAllIn) {
      const char c = '.';
      if (::write(nMaster, &c, 1) < 0) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const auto tLimit = t0 + std::chrono::seconds(60);
  while (app::cReceived.size() < kSize && std::chrono::steady_clock::now() < tLimit) {
    serial::SYSWAIT(20);
  }
  lAllIn = true;
  const double dSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double dCpu = CpuSeconds() - dCpu0;
  oDevice.join();
  const bool lIntact = app::cReceived.View().substr(0, kSize) == cFlood;
  serial::CLOSECOMM(nComm);
  oLine.CloseMaster();

  const double dMiB = static_cast<double>(kSize) / (1 << 20);
  std::printf("receive_throughput: %.1f MiB/s\n", dMiB / dSeconds);
  std::printf("receive_cpu_per_mib: %.3f s\n", dCpu / dMiB);
  std::printf("receive_bytes: %zu of %zu\n", std::min(app::cReceived.size(), kSize), kSize);
  std::printf("receive_intact: %s\n", lIntact ? "yes" : "NO");
  std::printf("bench_receive: %.1f MiB/s, %.3f s CPU per MiB, %s\n", dMiB / dSeconds, dCpu / dMiB,
              lIntact ? "every byte in order" : "BYTES LOST OR REORDERED");

  // The loop's way through noise: 3 MiB of it ahead of an "E", each byte taken on its own.
  app::cReceived = std::string(3 << 20, '.') + "E";
  const auto tTake = std::chrono::steady_clock::now();
  std::size_t nTaken = 0;
  while (app::GETCHAR() != "E") {
    ++nTaken;
  }
  std::printf("receive_noise_3mib_to_command: %.3f s (%zu bytes taken)\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - tTake).count(),
              nTaken);
  return lIntact ? 0 : 1;
}
