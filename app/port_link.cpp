// The port link for the window: the line is set up by OPENLINE, inside one guarded block;
// each failing step shows its message and breaks out, and the recovery yields -1.
#include "app/port_link.h"

#include "app/port_help.h"
#include "app/program_flow.h"
#include "runtime/error_handler.h"
#include "runtime/profile.h"
#include "serial/comm_notify.h"
#include "serial/port_list.h"
#include "ui/codepage.h"
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

int APRICOM(ui::TDialog& oDlg, const std::string& cPort, LineStep* pFailed) {
  return runtime::BEGINSEQUENCE(
      [&]() -> int {
        const LineSetup oLine = OPENLINE(cPort);
        if (pFailed != nullptr) {
          *pFailed = oLine.eFailed;
        }
        switch (oLine.eFailed) {
        case LineStep::Open:
          std::cerr << OPENFAILUREREPORT(oLine.cDevice, oLine.nErrno, "veltra") << std::endl;
          // The first line as ever; then, for a person who never sees standard error, why,
          // which ports there are, and where to name the right one.
          FAIL("Errore di apertura della porta di comunicazione (" + ui::NAMETEXT(cPort) + ")." +
               "\r\n\r\n" +
               PORTOPENHELP(oLine.cDevice, oLine.nErrno, serial::LISTPORTS(),
                            runtime::PROFILEFULLPATH(kSettingsFile)));
        case LineStep::Parameters:
          FAIL("Errore di impostazione dei parametri di comunicazione (" + ui::NAMETEXT(cPort) +
               ").");
        case LineStep::State:
          FAIL("Errore di impostazione della porta di comunicazione (" + ui::NAMETEXT(cPort) +
               ").");
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
