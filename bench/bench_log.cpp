// The cost of appending one line to the log control (offscreen) when it already holds 0,
// 999, 9,999 and 99,999 lines, through the same path the transfer loop takes, as a ratio to
// the first line. Prints "name: value unit" lines and a one-line summary.
#include "app/program_flow.h"
#include "app/transfer_loop.h"
#include "ui/dialog.h"
#include "ui/multiget.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace veltra;
using Clock = std::chrono::steady_clock;

// Median time of one append at a log of nLines lines.
double AppendMicros(const app::TransferBinding& oBinding, const std::string& cPrefix) {
  std::vector<double> aTimes;
  for (int n = 0; n < 21; ++n) {
    oBinding.VarPut(cPrefix);
    oBinding.Refresh(false);
    const auto t0 = Clock::now();
    app::MESSAGE(oBinding, "Sending track 79, side 1");
    QApplication::processEvents(); // the paint the append asks for
    aTimes.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  std::sort(aTimes.begin(), aTimes.end());
  return aTimes[aTimes.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication oApp(argc, argv);
  std::string cText;
  ui::TDialog oDlg;
  oDlg.New({.cCaption = "bench", .nStyle = 0, .nWidth = 500, .nHeight = 500});
  ui::TMultiGet oGet;
  oGet.New({.nRow = 0,
            .nCol = 0,
            .bSetGet = [&cText](std::optional<std::string> c) -> std::optional<std::string> {
              if (c) {
                cText = std::move(*c);
              }
              return cText;
            },
            .lReadOnly = true});
  std::vector<std::pair<int, double>> aResults;
  oDlg.bStart = [&] {
    const app::TransferBinding oBinding = app::BINDTRANSFER(oDlg, oGet);
    std::string cPrefix;
    int nLines = 0;
    for (const int nAt : {1, 1000, 10000, 100000}) {
      while (nLines < nAt - 1) {
        cPrefix += "Sending track " + std::to_string(nLines / 2 % 80) + ", side " +
                   std::to_string(nLines % 2) + "\r\n";
        ++nLines;
      }
      aResults.emplace_back(nAt, AppendMicros(oBinding, cPrefix));
    }
    oDlg.End();
  };
  oDlg.Activate({.bInit = [&](ui::TDialog& o) { o.SetControl(oGet); }});

  const double dFirst = aResults.front().second;
  for (const auto& [nLine, dMicros] : aResults) {
    std::printf("log_append_line_%d: %.1f us\n", nLine, dMicros);
    std::printf("log_append_ratio_line_%d: %.2f x\n", nLine, dMicros / dFirst);
  }
  std::printf("bench_log: line 100000 costs %.2f x line 1 (%.1f us vs %.1f us)\n",
              aResults.back().second / dFirst, aResults.back().second, dFirst);
  return 0;
}
