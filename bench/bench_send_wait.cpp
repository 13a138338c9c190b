// What veltra-send --wait costs while the adapter is not plugged in: the processor time it
// uses and how often it wakes, over a few seconds of waiting for a port that does not exist.
// Prints "name: value unit" lines.
#include "app/protocol.h"
#include "harness/process.h"
#include "harness/programs.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

using namespace veltra::harness;
namespace app = veltra::app;

namespace {

constexpr double kSeconds = 5.0;

// The process's voluntary context switches so far: each is one sleep it woke from.
long Wakeups(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string cLine;
  while (std::getline(in, cLine)) {
    if (cLine.starts_with("voluntary_ctxt_switches:")) {
      return std::stol(cLine.substr(cLine.find(':') + 1));
    }
  }
  return -1;
}

} // namespace

int main() {
  const std::string cDir = TempFolder();
  if (cDir.empty() || SendPath().empty()) {
    std::fprintf(stderr, "bench_send_wait: no temporary folder or no veltra-send\n");
    return 1;
  }
  WriteFile(cDir + "/disk.mgt", std::string(app::kBlockSize, '\xE5'));
  Child oSend({SendPath(), "--wait", "--port", cDir + "/not-plugged-in", cDir + "/disk.mgt"}, {},
              cDir);
  if (!oSend.ReadLine(10s)) {
    std::fprintf(stderr, "bench_send_wait: veltra-send did not start waiting\n");
    return 1;
  }
  const double dCpuBefore = CpuSeconds(oSend.Pid());
  const long nWakeBefore = Wakeups(oSend.Pid());
  std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
  const double dCpu = CpuSeconds(oSend.Pid()) - dCpuBefore;
  const long nWakes = Wakeups(oSend.Pid()) - nWakeBefore;
  ::kill(oSend.Pid(), SIGINT);
  const auto nExit = oSend.Wait(10s);
  std::printf("send_wait_cpu: %.3f ms per second waited\n", dCpu * 1000.0 / kSeconds);
  std::printf("send_wait_wakeups: %.1f per second\n", static_cast<double>(nWakes) / kSeconds);
  std::printf("send_wait_ctrl_c_exit: %d\n", nExit.value_or(-1));
  std::filesystem::remove_all(cDir);
  return nExit == 1 ? 0 : 1;
}
