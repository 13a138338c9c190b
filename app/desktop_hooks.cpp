// The runtime's hooks, bound to the windows and the desktop; the URL opener and the box for
// internal errors come from the platform's file.
#include "app/desktop_hooks.h"

#include "runtime/error_handler.h"
#include "runtime/hooks.h"
#include "serial/message_pump.h"
#include "ui/popmsg.h"
#include "ui/ui_error.h"

#include <variant>

namespace veltra::app {

void INSTALLDESKTOPHOOKS() {
  runtime::SETPOPUPHOOK([](const std::string& cText, int nType) {
    const auto xResult = ui::POPMSG(cText, nType);
    return xResult && std::holds_alternative<bool>(*xResult) && std::get<bool>(*xResult);
  });
  INSTALLPLATFORMHOOKS();
  runtime::SETPOSTQUITHOOK([](int nCode) { serial::POSTQUITMESSAGE(nCode); });
  ui::SETUIERRORHOOK([](const ui::UiError& o) {
    runtime::ErrorRecord oError;
    oError.SEVERITY = o.nSeverity;
    oError.GENCODE = o.nGenCode;
    oError.SUBSYSTEM = o.cSubsystem;
    oError.SUBCODE = o.nSubCode;
    oError.OSCODE = o.nOsCode;
    oError.DESCRIPTION = o.cDescription;
    oError.OPERATION = o.cOperation;
    oError.FILENAME = o.cFileName;
    oError.CANDEFAULT = o.lCanDefault;
    oError.CANRETRY = o.lCanRetry;
    oError.CANSUBSTITUTE = o.lCanSubstitute;
    runtime::LAUNCHERROR(oError);
  });
}

} // namespace veltra::app
