// Where the time from the device's "T" to the program's 0x00 goes in the Windows build: the
// program's own window, port link and transfer loop run in this process on COM5, and a thread
// plays the device on COM6 (the null-modem of tests/wine/run). Each of the loop's operations
// is timed where the program's binding calls it, so each part of a block's turn is seen
// alone: the byte noticed and handed to the window, the log line, the 0x00's write (with its
// drain), the pause and the block's write. Prints the median, the 90th percentile and the
// least of each, and for comparison the same append on a bare edit control of the system.
// Run: tests/wine/run BUILD_WIN bench/bench_parts_win32.exe [BLOCKS], with VELTRA_NULLMODEM=1.
// Our headers come before <windows.h>: they declare names that it defines as macros.
// clang-format off
#include "app/port_link.h"
#include "app/program_flow.h"
#include "app/transfer_loop.h"
#include "serial/comm_port.h"
#include "ui/dialog.h"
#include "ui/control.h"
#include "ui/multiget.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>
// clang-format on

namespace {

using namespace veltra;

double NowMs() {
  static const double dPerMs = [] {
    LARGE_INTEGER n{};
    ::QueryPerformanceFrequency(&n);
    return static_cast<double>(n.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER n{};
  ::QueryPerformanceCounter(&n);
  return static_cast<double>(n.QuadPart) / dPerMs;
}

// Timestamps of one block's turn, from the device's "T" to the block's last byte.
struct Turn {
  std::atomic<double> tAsked{0}; // the device wrote "T"
  double tLogStart = 0;          // the loop began the log line (the T was taken)
  double tAppended = 0;          // the log line is in the control
  double tLogEnd = 0;            // ... and scrolled to
  double tZeroStart = 0, tZeroEnd = 0;
  double tBlockStart = 0, tBlockEnd = 0;
  std::atomic<double> tZeroSeen{0}; // the device read the 0x00
};

// The device's end, read and written plainly: each read waits until its count has come.
HANDLE OpenFarEnd() {
  const HANDLE h = ::CreateFileA("\\\\.\\COM6", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  COMMTIMEOUTS oWait{};
  ::SetCommTimeouts(h, &oWait);
  return h;
}

bool ReadExactly(HANDLE h, std::size_t nCount, std::string& cOut) {
  cOut.clear();
  while (cOut.size() < nCount) {
    char aBuf[8192];
    DWORD nGot = 0;
    const DWORD nWant = static_cast<DWORD>(std::min(sizeof aBuf, nCount - cOut.size()));
    if (!::ReadFile(h, aBuf, nWant, &nGot, nullptr)) {
      return false;
    }
    cOut.append(aBuf, nGot);
  }
  return true;
}

double Percentile(std::vector<double> a, double d) {
  if (a.empty()) {
    return 0;
  }
  std::sort(a.begin(), a.end());
  return a[std::min(a.size() - 1, static_cast<std::size_t>(d * static_cast<double>(a.size())))];
}

// The same append on a bare multi-line edit control of the system, outside our code: a line
// put at the end with EM_SETSEL and EM_REPLACESEL, as the log does. The median per line.
double BareEditAppendMs(int nLines) {
  const HWND h = ::CreateWindowExA(0, "EDIT", "",
                                   WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE |
                                       ES_READONLY | ES_AUTOVSCROLL,
                                   0, 0, 500, 500, nullptr, nullptr, nullptr, nullptr);
  std::vector<double> a;
  for (int n = 0; n < nLines; ++n) {
    const std::string cLine =
        "Sending track " + std::to_string(n / 2) + ", side " + std::to_string(n % 2) + "\r\n";
    const double t0 = NowMs();
    const int nEnd = ::GetWindowTextLengthA(h);
    ::SendMessageA(h, EM_SETSEL, static_cast<WPARAM>(nEnd), nEnd);
    ::SendMessageA(h, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(cLine.c_str()));
    a.push_back(NowMs() - t0);
    MSG oMsg;
    while (::PeekMessageA(&oMsg, nullptr, 0, 0, PM_REMOVE)) {
      ::DispatchMessageA(&oMsg);
    }
  }
  ::DestroyWindow(h);
  return Percentile(a, 0.5);
}

} // namespace

int main(int argc, char** argv) {
  const int nBlocks = argc > 1 ? std::atoi(argv[1]) : 160;
  std::vector<Turn> aTurns(static_cast<std::size_t>(nBlocks));
  std::atomic<int> nTurn{-1};
  app::cImage.assign(static_cast<std::size_t>(nBlocks) * app::kBlockSize, 'x');

  std::string cText;
  ui::TDialog oDlg;
  oDlg.New({.cCaption = "bench  (COM5:115200,N,8,2)", .nStyle = 0, .nWidth = 500, .nHeight = 500});
  ui::TMultiGet oGet;
  oGet.New({.nRow = 0, .nCol = 0, .bSetGet = ui::BINDTEXT(cText), .lReadOnly = true});

  // The program's own binding, each operation timed where it is called.
  app::TransferBinding oBinding = app::BINDTRANSFER(oDlg, oGet);
  const auto Current = [&]() -> Turn* {
    const int n = nTurn.load();
    return n >= 0 && n < nBlocks ? &aTurns[static_cast<std::size_t>(n)] : nullptr;
  };
  const auto bVarGet = oBinding.VarGet;
  oBinding.VarGet = [&, bVarGet] {
    if (Turn* p = Current(); p != nullptr && p->tLogStart == 0) {
      p->tLogStart = NowMs();
    }
    return bVarGet();
  };
  const auto bRefresh = oBinding.Refresh;
  oBinding.Refresh = [&, bRefresh](bool lErase) {
    bRefresh(lErase);
    if (Turn* p = Current(); p != nullptr && p->tAppended == 0) {
      p->tAppended = NowMs();
    }
  };
  const auto bGoBottom = oBinding.GoBottom;
  oBinding.GoBottom = [&, bGoBottom] {
    bGoBottom();
    if (Turn* p = Current(); p != nullptr && p->tLogEnd == 0) {
      p->tLogEnd = NowMs();
    }
  };
  const auto bWrite = oBinding.WRITECOMM;
  oBinding.WRITECOMM = [&, bWrite](int nComm, std::string_view cData) {
    Turn* p = Current();
    const double t0 = NowMs();
    const long n = bWrite(nComm, cData);
    const double t1 = NowMs();
    if (p != nullptr && cData.size() == 1) {
      p->tZeroStart = t0;
      p->tZeroEnd = t1;
    } else if (p != nullptr) {
      p->tBlockStart = t0;
      p->tBlockEnd = t1;
    }
    return n;
  };

  int nComm = -1;
  std::thread oDevice;
  bool lDeviceOk = true;
  oDlg.bStart = [&] { app::VELTRA(nComm, oBinding); };
  oDlg.Activate({.lCentered = true,
                 .bValid = [](ui::TDialog& o) { return ui::VALID_(o, false); },
                 .bInit =
                     [&](ui::TDialog& o) {
                       o.SetControl(oGet);
                       nComm = app::APRICOM(o, "COM5");
                       if (nComm < 0) {
                         o.End();
                         return;
                       }
                       oDevice = std::thread([&] {
                         const HANDLE h = OpenFarEnd();
                         std::string c;
                         ::Sleep(300);
                         for (int n = 0; n < nBlocks && lDeviceOk; ++n) {
                           Turn& t = aTurns[static_cast<std::size_t>(n)];
                           nTurn.store(n);
                           DWORD nDone = 0;
                           t.tAsked.store(NowMs());
                           lDeviceOk =
                               ::WriteFile(h, "T", 1, &nDone, nullptr) && ReadExactly(h, 1, c);
                           t.tZeroSeen.store(NowMs());
                           lDeviceOk = lDeviceOk && ReadExactly(h, app::kBlockSize, c);
                         }
                         nTurn.store(nBlocks);
                         DWORD nDone = 0;
                         ::WriteFile(h, "E", 1, &nDone, nullptr);
                         ::CloseHandle(h);
                       });
                     },
                 .lResize16 = true});
  if (oDevice.joinable()) {
    oDevice.join();
  }
  if (nComm < 0 || !lDeviceOk) {
    std::puts("bench_parts_win32: COM5/COM6 are not a working null-modem (run it through "
              "tests/wine/run with VELTRA_NULLMODEM=1)");
    return 1;
  }
  serial::CLOSECOMM(nComm);

  std::map<std::string, std::vector<double>> aParts;
  for (const Turn& t : aTurns) {
    aParts["1 T to the loop (notice, notify, wake)"].push_back(t.tLogStart - t.tAsked.load());
    aParts["2 log line: append"].push_back(t.tAppended - t.tLogStart);
    aParts["2 log line: scroll to the end"].push_back(t.tLogEnd - t.tAppended);
    aParts["3 from the log to the 0x00's write"].push_back(t.tZeroStart - t.tLogEnd);
    aParts["4 0x00 write (with drain)"].push_back(t.tZeroEnd - t.tZeroStart);
    aParts["5 T to 0x00 at the device"].push_back(t.tZeroSeen.load() - t.tAsked.load());
    aParts["6 pause (0x00 written to block's write)"].push_back(t.tBlockStart - t.tZeroEnd);
    aParts["7 block write (with drain)"].push_back(t.tBlockEnd - t.tBlockStart);
  }
  for (const auto& [cName, a] : aParts) {
    std::printf("veltra.exe part %-42s median %7.3f ms  p90 %7.3f ms  least %7.3f ms\n",
                cName.c_str() + 2, Percentile(a, 0.5), Percentile(a, 0.9), Percentile(a, 0));
  }
  std::printf("veltra.exe part %-42s median %7.3f ms\n", "(the system's bare edit control: append)",
              BareEditAppendMs(nBlocks));
  return 0;
}
