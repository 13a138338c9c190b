// The runtime's hooks, bound to the windows and the desktop. The URL opener and the box for
// internal errors are the platform's: on Windows the runtime's own (ShellExecuteA, MessageBoxA),
// here; on Linux xdg-open and a Qt box, in desktop_hooks_qt.cpp.
#include "app/desktop_hooks.h"

#include "runtime/error_handler.h"
#include "runtime/hooks.h"
#include "serial/message_pump.h"
#include "ui/popmsg.h"
#include "ui/ui_error.h"

#include <variant>

namespace veltra::app {

#ifdef _WIN32
void INSTALLPLATFORMHOOKS() {
  runtime::SETURLOPENERHOOK([](const std::string& cUrl) { runtime::OPENURL(cUrl); });
  runtime::SETINTERNALERRORHOOK(runtime::ERRORBOX);
}
#endif

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
