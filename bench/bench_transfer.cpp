// Whole transfers of the real veltra, and of veltra-send beside it, against the device
// emulator on the same kind of pseudo-terminal (veltra under a private X server, veltra-send
// with no display): the time the PC adds on top of the protocol's pauses, the time from a
// request to its answer, the idle cost while waiting for a request, and the peak memory.
// Prints "name: value unit" lines, each figure once per program, and a one-line summary per
// program. --line-rate adds a run in which the emulator reads no faster than a real
// 115200-baud 8N2 line delivers.
#include "app/protocol.h"
#include "harness/programs.h"
#include "harness/wine_session.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace veltra::harness;
namespace app = veltra::app;

namespace {

constexpr int kBlocks = static_cast<int>(app::kDiskSize / app::kBlockSize);
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

// One program under test: how it is started on a port with an image in its folder, and how
// it is told to stop (Esc).
struct Front {
  std::string cName;
  std::function<bool(Child& oProgram, const std::string& cDir, const std::string& cPort,
                     const std::string& cImage)>
      bStart;
  std::function<void(Child& oProgram)> bStop;
};

Front VeltraFront(const Display& oDisplay) {
  return {"veltra",
          [&oDisplay](Child& oProgram, const std::string& cDir, const std::string& cPort,
                      const std::string& cImage) {
            WriteFile(cDir + "/VELTRA.INI", "[Impostazioni]\nPorta=" + cPort + "\n");
            oProgram = Child({VeltraPath()}, oDisplay.Env(), cDir);
            const auto cChooser = WaitWindow(oDisplay, kChooserTitle);
            return cChooser && TypeInto(oDisplay, *cChooser, cImage);
          },
          [&oDisplay](Child&) { EscInDialog(oDisplay); }};
}

Front SendFront() {
  return {"veltra-send",
          [](Child& oProgram, const std::string& cDir, const std::string& cPort,
             const std::string& cImage) {
            oProgram = Child({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u",
                              "QT_QPA_PLATFORM", SendPath(), "--port", cPort, cImage},
                             {}, cDir);
            return oProgram.Started();
          },
          [](Child& oProgram) { ::kill(oProgram.Pid(), SIGINT); }};
}

// veltra.exe of the Windows build under Wine, in that build's Wine session: the port is the
// prefix's COM5, pointed at the emulator's terminal; the file is typed by name, since the
// chooser opens in the program's folder.
Front WineFront(const WineSession& oWine) {
  return {"veltra.exe",
          [&oWine](Child& oProgram, const std::string& cDir, const std::string& cPort,
                   const std::string& cImage) {
            WriteFile(cDir + "/VELTRA.INI", "[Impostazioni]\r\nPorta=COM5\r\n");
            if (!oWine.LinkPort(5, cPort)) {
              return false;
            }
            oProgram = oWine.StartVeltra(cDir);
            const auto cChooser = WaitWindow(oWine.Screen(), kChooserTitle);
            return cChooser &&
                   TypeInto(oWine.Screen(), *cChooser, std::filesystem::path(cImage).filename());
          },
          [&oWine](Child&) { EscInDialog(oWine.Screen()); }};
}

// The emulator and the program in a fresh folder.
struct Session {
  std::string cDir;
  Child oDevice;
  Child oProgram;
};

bool Start(Session& s, const Front& oFront, const std::vector<std::string>& aDeviceArgs,
           const std::string& cImage) {
  s.cDir = TempFolder();
  const std::string cPath = s.cDir + "/disk.mgt";
  WriteFile(cPath, cImage);
  std::vector<std::string> a;
  for (const std::string& c : aDeviceArgs) {
    a.push_back(c == "IMAGE" ? cPath : c);
  }
  std::string cPort;
  s.oDevice = StartDevice(a, cPort);
  return !cPort.empty() && oFront.bStart(s.oProgram, s.cDir, cPort, cPath);
}

RunFigures Transfer(const Front& oFront, const std::string& cImage, bool lLineRate) {
  RunFigures r;
  Session s;
  std::vector<std::string> aArgs{"--expect", "IMAGE", "--verbose", "--timeout", "30"};
  if (lLineRate) {
    aArgs.insert(aArgs.end(), {"--pace", "115200,8N2"});
  }
  if (!Start(s, oFront, aArgs, cImage)) {
    return r;
  }
  std::optional<int> nExit;
  while (!(nExit = s.oDevice.Wait(50ms))) {
    r.nPeakKb = std::max(r.nPeakKb, StatusField(s.oProgram.Pid(), "VmHWM"));
  }
  r.nPeakKb = std::max(r.nPeakKb, StatusField(s.oProgram.Pid(), "VmHWM"));
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
      *nExit == 0 && s.oProgram.Wait(20s) == std::optional<int>(0) && r.aToZeroMs.size() == kBlocks;
  std::filesystem::remove_all(s.cDir);
  return r;
}

void Idle(const Front& oFront, double& dCpuPerS, double& dWakeupsPerS) {
  Session s;
  if (!Start(s, oFront, {"--commands", "!", "--timeout", "60"}, PatternImage(app::kBlockSize))) {
    return;
  }
  std::this_thread::sleep_for(2s);
  const pid_t pid = s.oProgram.Pid();
  const double dCpu0 = CpuSeconds(pid);
  const long nSw0 = ContextSwitches(pid);
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(10s);
  const double dWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  dCpuPerS = (CpuSeconds(pid) - dCpu0) / dWall;
  dWakeupsPerS = static_cast<double>(ContextSwitches(pid) - nSw0) / dWall;
  oFront.bStop(s.oProgram);
  s.oDevice.Wait(10s);
  s.oProgram.Wait(10s);
  std::filesystem::remove_all(s.cDir);
}

// Every figure for one program; false when a run failed.
bool Measure(const Front& oFront, const std::string& cImage, bool lLineRate) {
  const std::string& n = oFront.cName;
  std::vector<double> aTotals, aToZero, aGaps;
  long nPeakKb = 0;
  int nFailed = 0;
  for (int i = 1; i <= 5; ++i) {
    const RunFigures r = Transfer(oFront, cImage, false);
    if (!r.lOk) {
      ++nFailed;
      continue;
    }
    std::printf("%s transfer_run_%d: %.3f s\n", n.c_str(), i, r.dTotalS);
    aTotals.push_back(r.dTotalS);
    aToZero.insert(aToZero.end(), r.aToZeroMs.begin(), r.aToZeroMs.end());
    aGaps.insert(aGaps.end(), r.aGapMs.begin(), r.aGapMs.end());
    nPeakKb = std::max(nPeakKb, r.nPeakKb);
  }
  const double dTotal = Percentile(aTotals, 0.5);
  const double dOverheadMs = (dTotal - kFloorS) / kBlocks * 1000.0;
  std::printf("%s transfer_total_median: %.3f s\n", n.c_str(), dTotal);
  std::printf("%s transfer_floor: %.3f s\n", n.c_str(), kFloorS);
  std::printf("%s overhead_per_block: %.3f ms\n", n.c_str(), dOverheadMs);
  std::printf("%s t_to_zero_median: %.3f ms\n", n.c_str(), Percentile(aToZero, 0.5));
  std::printf("%s t_to_zero_p99: %.3f ms\n", n.c_str(), Percentile(aToZero, 0.99));
  std::printf("%s t_to_zero_max: %.3f ms\n", n.c_str(), Percentile(aToZero, 1.0));
  std::printf("%s gap_zero_to_data_min: %.3f ms\n", n.c_str(), Percentile(aGaps, 0.0));
  std::printf("%s peak_resident: %.1f MiB\n", n.c_str(), static_cast<double>(nPeakKb) / 1024.0);
  std::printf("%s failed_runs: %d\n", n.c_str(), nFailed);

  double dCpuPerS = 0, dWakeups = 0;
  Idle(oFront, dCpuPerS, dWakeups);
  std::printf("%s idle_cpu: %.4f s/s\n", n.c_str(), dCpuPerS);
  std::printf("%s idle_wakeups: %.1f /s\n", n.c_str(), dWakeups);

  double dLineRate = 0;
  if (lLineRate) {
    const RunFigures r = Transfer(oFront, cImage, true);
    dLineRate = r.dTotalS;
    std::printf("%s line_rate_total: %.3f s (wire %.1f s + pauses %.1f s)\n", n.c_str(), r.dTotalS,
                static_cast<double>(app::kDiskSize) * 11 / 115200, kFloorS);
  }
  std::printf("bench_transfer %s: %zu runs, median %.3f s, overhead %.3f ms/block, t-to-0 "
              "median %.3f ms p99 %.3f ms, min gap %.2f ms, idle %.2f%% CPU, %.1f wake-ups/s, "
              "peak %.1f MiB%s\n",
              n.c_str(), aTotals.size(), dTotal, dOverheadMs, Percentile(aToZero, 0.5),
              Percentile(aToZero, 0.99), Percentile(aGaps, 0.0), dCpuPerS * 100, dWakeups,
              static_cast<double>(nPeakKb) / 1024.0,
              lLineRate ? (", line rate " + std::to_string(dLineRate) + " s").c_str() : "");
  return nFailed == 0;
}

} // namespace

int main(int argc, char** argv) {
  const bool lLineRate = argc > 1 && std::string(argv[1]) == "--line-rate";
  const std::string cImage = PatternImage(app::kDiskSize);
  bool lOk = Measure(SendFront(), cImage, lLineRate);
  Display oDisplay;
  if (!oDisplay.Start()) {
    std::puts("bench_transfer veltra: skipped (Xvfb, openbox or xdotool missing)");
    return lOk ? 0 : 1;
  }
  lOk = Measure(VeltraFront(oDisplay), cImage, lLineRate) && lOk;
  oDisplay.Stop();
  // The Windows build, where one is named (make bench builds it): its figures under Wine, on
  // the same kind of terminal.
  if (const std::string cBuild = WineSession::BuildFolder(); !cBuild.empty()) {
    WineSession oWine;
    if (!oWine.Up(cBuild)) {
      std::puts("bench_transfer veltra.exe: the Wine session did not start");
      return 1;
    }
    lOk = Measure(WineFront(oWine), cImage, lLineRate) && lOk;
    oWine.LinkPort(5, "");
    oWine.Down();
  }
  return lOk ? 0 : 1;
}
