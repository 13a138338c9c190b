// The cost of appending one line to the log control (offscreen) when it already holds 0,
// 999, 9,999 and 99,999 lines, through the same path the transfer loop takes, as a ratio to
// the first line. Prints "name: value unit" lines and a one-line summary.
#include "app/program_flow.h"
#include "app/transfer_loop.h"
#include "runtime/startup.h"
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

// Median time of one append at a log of about nLines lines: the log is filled to nLines - 1
// lines, shown and painted once, then lines are appended one after another (as the transfer
// loop does, each followed by the paint it asks for). The first figure is the part spent
// before the paint (on a request's way to its answer), the second includes the paint.
struct AppendCost {
  double dBeforePaint = 0;
  double dWithPaint = 0;
};

AppendCost AppendMicros(const app::TransferBinding& oBinding, const std::string& cPrefix) {
  oBinding.VarPut(cPrefix);
  oBinding.Refresh(false);
  oBinding.GoBottom();
  QApplication::processEvents();
  std::vector<double> aBefore;
  std::vector<double> aWith;
  for (int n = 0; n < 21; ++n) {
    const auto t0 = Clock::now();
    app::MESSAGE(oBinding, "Sending track 79, side 1");
    const auto t1 = Clock::now();
    QApplication::processEvents(); // the paint the append asks for
    const auto t2 = Clock::now();
    aBefore.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    aWith.push_back(std::chrono::duration<double, std::micro>(t2 - t0).count());
  }
  std::sort(aBefore.begin(), aBefore.end());
  std::sort(aWith.begin(), aWith.end());
  return {aBefore[aBefore.size() / 2], aWith[aWith.size() / 2]};
}

} // namespace

int main(int argc, char** argv) {
  runtime::TUNEHEAP(); // as the program does first thing
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication oApp(argc, argv);
  std::string cText;
  ui::TDialog oDlg;
  oDlg.New({.cCaption = "bench", .nStyle = 0, .nWidth = 500, .nHeight = 500});
  ui::TMultiGet oGet;
  oGet.New({.nRow = 0, .nCol = 0, .bSetGet = ui::BINDTEXT(cText), .lReadOnly = true});
  std::vector<std::pair<int, AppendCost>> aResults;
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

  const AppendCost oFirst = aResults.front().second;
  for (const auto& [nLine, oCost] : aResults) {
    std::printf("log_append_line_%d: %.1f us\n", nLine, oCost.dWithPaint);
    std::printf("log_append_ratio_line_%d: %.2f x\n", nLine, oCost.dWithPaint / oFirst.dWithPaint);
    std::printf("log_append_before_paint_line_%d: %.1f us\n", nLine, oCost.dBeforePaint);
  }
  const AppendCost oLast = aResults.back().second;
  std::printf("bench_log: line 100000 costs %.2f x line 1 (%.1f us vs %.1f us; before the paint "
              "%.1f us vs %.1f us)\n",
              oLast.dWithPaint / oFirst.dWithPaint, oLast.dWithPaint, oFirst.dWithPaint,
              oLast.dBeforePaint, oFirst.dBeforePaint);
  return 0;
}
