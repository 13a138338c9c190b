// The port link for the window: the line is set up by OPENLINE, inside one guarded block;
// each failing step shows its message and breaks out, and the recovery yields -1.
#include "app/port_link.h"

#include "runtime/error_handler.h"
#include "ui/dialog.h"
#include "ui/popmsg.h"

#include <iostream>

namespace veltra::app {
namespace {

[[noreturn]] void FAIL(const std::string& cText) {
  ui::POPMSG(cText, 1);
  runtime::BREAK();
}

} // namespace

int APRICOM(ui::TDialog& oDlg, const std::string& cPort) {
  return runtime::BEGINSEQUENCE(
      [&]() -> int {
        const LineSetup oLine = OPENLINE(cPort);
        switch (oLine.eFailed) {
        case LineStep::Open:
          std::cerr << OPENFAILUREREPORT(oLine.cDevice, oLine.nErrno, "veltra") << std::endl;
          FAIL("Errore di apertura della porta di comunicazione (" + cPort + ").");
        case LineStep::Parameters:
          FAIL("Errore di impostazione dei parametri di comunicazione (" + cPort + ").");
        case LineStep::State:
          FAIL("Errore di impostazione della porta di comunicazione (" + cPort + ").");
        case LineStep::None:
          break;
        }
        oDlg.bCommNotify = [&oDlg](int nPort, int) { RECEIVENOTIFIED(nPort, oDlg.hWnd); };
        ARMLINE(oLine.nComm, oDlg.hWnd);
        return oLine.nComm;
      },
      [] { return -1; });
}

} // namespace veltra::app
