// Runs the program's dialog on a real X server for the window-manager test and reports on
// stdout: "shown" once painted, "valid 0|1" each time the valid callback answers, and
// "closed <nResult>" when Activate has returned.
#include "ui/dialog.h"
#include "ui/key_state.h"
#include "ui/multiget.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
  using namespace veltra::ui;
  QApplication oApp(argc, argv);
  std::string cText;
  TDialog oDlg;
  oDlg.New({.cCaption = "VELTRA probe", .nStyle = 0, .nWidth = 500, .nHeight = 500});
  oDlg.lModify = false;
  oDlg.lHelpIcon = false;
  TMultiGet oGet;
  oGet.New({.nRow = 0, .nCol = 0, .bSetGet = BINDTEXT(cText), .lReadOnly = true});
  oDlg.bStart = [] {
    std::printf("shown\n");
    std::fflush(stdout);
  };
  // A probe left behind by a failed test ends by itself.
  QTimer::singleShot(60000, [] { ENDALLDIALOGS(); });
  oDlg.Activate({.lCentered = true, .bInit = [&](TDialog& d) {
                   d.SetControl(oGet);
                   d.bValid = [](TDialog&) {
                     const bool lOk = !GETASYNCKEYSTATE(VK_F4);
                     std::printf("valid %d\n", lOk ? 1 : 0);
                     std::fflush(stdout);
                     return lOk;
                   };
                 }});
  std::printf("closed %d\n", oDlg.nResult.value_or(-1));
  return 0;
}
