// Whole transfers of the real veltra against the device emulator on a pseudo-terminal, under
// a private X server: the time the PC adds on top of the protocol's pauses, the time from a
// request to its answer, the idle cost while waiting for a request, and the peak memory.
// Prints "name: value unit" lines and a one-line summary. --line-rate adds a run in which the
// emulator reads no faster than a real 115200-baud 8N2 line delivers.
#include "tests/e2e/harness.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace veltra::e2e;

namespace {

constexpr int kBlocks = 160;
constexpr double kFloorS = kBlocks * 0.010;

struct RunFigures {
  double dTotalS = 0;
  std::vector<double> aToZeroMs;
  std::vector<double> aGapMs;
  long nPeakKb = 0;
  bool lOk = false;
};

double Percentile(std::vector<double> a, double dP) {
  if (a.empty()) {
    return 0;
  }
  std::sort(a.begin(), a.end());
  const auto n = static_cast<std::size_t>(dP * static_cast<double>(a.size() - 1) + 0.5);
  return a[std::min(n, a.size() - 1)];
}

long StatusField(pid_t pid, const std::string& cField) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string cLine;
  while (std::getline(in, cLine)) {
    if (cLine.rfind(cField + ":", 0) == 0) {
      return std::stol(cLine.substr(cField.size() + 1));
    }
  }
  return 0;
}

// Context switches of every thread of the process.
long ContextSwitches(pid_t pid) {
  long n = 0;
  const std::string cTasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& o : std::filesystem::directory_iterator(cTasks)) {
    const pid_t tid = static_cast<pid_t>(std::stol(o.path().filename().string()));
    std::ifstream in(cTasks + "/" + std::to_string(tid) + "/status");
    std::string cLine;
    while (std::getline(in, cLine)) {
      if (cLine.find("ctxt_switches:") != std::string::npos) {
        n += std::stol(cLine.substr(cLine.find(':') + 1));
      }
    }
  }
  return n;
}

// Starts the emulator and veltra in a fresh folder and picks the image in the chooser.
struct Session {
  std::string cDir;
  Child oDevice;
  Child oVeltra;
};

bool Start(Session& s, const Display& oDisplay, const std::vector<std::string>& aDeviceArgs,
           const std::string& cImage) {
  s.cDir = TempFolder();
  const std::string cPath = s.cDir + "/disk.mgt";
  WriteFile(cPath, cImage);
  std::vector<std::string> a{DevicePath(), "--pty"};
  for (const std::string& c : aDeviceArgs) {
    a.push_back(c == "IMAGE" ? cPath : c);
  }
  s.oDevice = Child(a, {});
  const auto cPort = s.oDevice.ReadLine(10s);
  if (!cPort) {
    return false;
  }
  WriteFile(s.cDir + "/VELTRA.INI", "[Impostazioni]\nPorta=" + *cPort + "\n");
  s.oVeltra = Child({VeltraPath()}, oDisplay.Env(), s.cDir);
  const auto cChooser = WaitWindow(oDisplay, "Seleziona immagine da inviare");
  return cChooser && TypeInto(oDisplay, *cChooser, cPath);
}

RunFigures Transfer(const Display& oDisplay, const std::string& cImage, bool lLineRate) {
  RunFigures r;
  Session s;
  std::vector<std::string> aArgs{"--expect", "IMAGE", "--verbose", "--timeout", "30"};
  if (lLineRate) {
    aArgs.insert(aArgs.end(), {"--pace", "115200,8N2"});
  }
  if (!Start(s, oDisplay, aArgs, cImage)) {
    return r;
  }
  std::optional<int> nExit;
  while (!(nExit = s.oDevice.Wait(50ms))) {
    r.nPeakKb = std::max(r.nPeakKb, StatusField(s.oVeltra.Pid(), "VmHWM"));
  }
  r.nPeakKb = std::max(r.nPeakKb, StatusField(s.oVeltra.Pid(), "VmHWM"));
  const std::regex oBlock(R"(gap ([0-9.]+) ms, t-to-0 ([0-9.]+) ms)");
  const std::regex oEnd(R"(elapsed ([0-9.]+) s)");
  std::istringstream in(s.oDevice.Out());
  std::string cLine;
  std::smatch m;
  while (std::getline(in, cLine)) {
    if (std::regex_search(cLine, m, oBlock)) {
      r.aGapMs.push_back(std::stod(m[1]));
      r.aToZeroMs.push_back(std::stod(m[2]));
    } else if (std::regex_search(cLine, m, oEnd)) {
      r.dTotalS = std::stod(m[1]);
    }
  }
  r.lOk =
      *nExit == 0 && s.oVeltra.Wait(20s) == std::optional<int>(0) && r.aToZeroMs.size() == kBlocks;
  std::filesystem::remove_all(s.cDir);
  return r;
}

void Idle(const Display& oDisplay, double& dCpuPerS, double& dWakeupsPerS) {
  Session s;
  if (!Start(s, oDisplay, {"--commands", "!", "--timeout", "60"}, PatternImage(5120))) {
    return;
  }
  const auto cDialog = WaitWindow(oDisplay, "115200,N,8,2");
  std::this_thread::sleep_for(1s);
  const pid_t pid = s.oVeltra.Pid();
  const double dCpu0 = CpuSeconds(pid);
  const long nSw0 = ContextSwitches(pid);
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(10s);
  const double dWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  dCpuPerS = (CpuSeconds(pid) - dCpu0) / dWall;
  dWakeupsPerS = static_cast<double>(ContextSwitches(pid) - nSw0) / dWall;
  if (cDialog) {
    Keys(oDisplay, {"windowactivate", "--sync", *cDialog});
  }
  Keys(oDisplay, {"keydown", "Escape", "sleep", "0.1", "keyup", "Escape"});
  s.oDevice.Wait(10s);
  s.oVeltra.Wait(10s);
  std::filesystem::remove_all(s.cDir);
}

} // namespace

int main(int argc, char** argv) {
  const bool lLineRate = argc > 1 && std::string(argv[1]) == "--line-rate";
  Display oDisplay;
  if (!oDisplay.Start()) {
    std::puts("bench_transfer: skipped (Xvfb, openbox or xdotool missing)");
    return 0;
  }
  const std::string cImage = PatternImage(819200);
  std::vector<double> aTotals, aToZero, aGaps;
  long nPeakKb = 0;
  int nFailed = 0;
  for (int n = 1; n <= 5; ++n) {
    const RunFigures r = Transfer(oDisplay, cImage, false);
    if (!r.lOk) {
      ++nFailed;
      continue;
    }
    std::printf("transfer_run_%d: %.3f s\n", n, r.dTotalS);
    aTotals.push_back(r.dTotalS);
    aToZero.insert(aToZero.end(), r.aToZeroMs.begin(), r.aToZeroMs.end());
    aGaps.insert(aGaps.end(), r.aGapMs.begin(), r.aGapMs.end());
    nPeakKb = std::max(nPeakKb, r.nPeakKb);
  }
  const double dTotal = Percentile(aTotals, 0.5);
  const double dOverheadMs = (dTotal - kFloorS) / kBlocks * 1000.0;
  std::printf("transfer_total_median: %.3f s\n", dTotal);
  std::printf("transfer_floor: %.3f s\n", kFloorS);
  std::printf("overhead_per_block: %.3f ms\n", dOverheadMs);
  std::printf("t_to_zero_median: %.3f ms\n", Percentile(aToZero, 0.5));
  std::printf("t_to_zero_p99: %.3f ms\n", Percentile(aToZero, 0.99));
  std::printf("t_to_zero_max: %.3f ms\n", Percentile(aToZero, 1.0));
  std::printf("gap_zero_to_data_min: %.3f ms\n", Percentile(aGaps, 0.0));
  std::printf("peak_resident: %.1f MiB\n", static_cast<double>(nPeakKb) / 1024.0);
  std::printf("failed_runs: %d\n", nFailed);

  double dCpuPerS = 0, dWakeups = 0;
  Idle(oDisplay, dCpuPerS, dWakeups);
  std::printf("idle_cpu: %.4f s/s\n", dCpuPerS);
  std::printf("idle_wakeups: %.1f /s\n", dWakeups);

  double dLineRate = 0;
  if (lLineRate) {
    const RunFigures r = Transfer(oDisplay, cImage, true);
    dLineRate = r.dTotalS;
    std::printf("line_rate_total: %.3f s (wire %.1f s + pauses %.1f s)\n", r.dTotalS,
                819200.0 * 11 / 115200, kFloorS);
  }
  oDisplay.Stop();
  std::printf("bench_transfer: %zu runs, median %.3f s, overhead %.3f ms/block, t-to-0 p99 "
              "%.3f ms, min gap %.2f ms, idle %.2f%% CPU, %.1f wake-ups/s, peak %.1f MiB%s\n",
              aTotals.size(), dTotal, dOverheadMs, Percentile(aToZero, 0.99),
              Percentile(aGaps, 0.0), dCpuPerS * 100, dWakeups,
              static_cast<double>(nPeakKb) / 1024.0,
              lLineRate ? (", line rate " + std::to_string(dLineRate) + " s").c_str() : "");
  return nFailed == 0 ? 0 : 1;
}
