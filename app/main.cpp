// The veltra executable: creates the Qt application, connects the runtime's hooks to the
// windows and the desktop, and runs start-up, the main flow and the exit sequence.
#include "app/program_flow.h"
#include "runtime/error_handler.h"
#include "runtime/hooks.h"
#include "runtime/startup.h"
#include "serial/message_pump.h"
#include "ui/popmsg.h"
#include "ui/ui_error.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <iostream>
#include <variant>

namespace {

using namespace veltra;

// Qt ends the process with a terse message when no display can be reached; say it plainly.
bool DisplayReachable() {
  const auto lSet = [](const char* cName) {
    const char* c = std::getenv(cName);
    return c != nullptr && *c != '\0';
  };
  return lSet("QT_QPA_PLATFORM") || lSet("DISPLAY") || lSet("WAYLAND_DISPLAY");
}

void InstallHooks() {
  runtime::SETPOPUPHOOK([](const std::string& cText, int nType) {
    const auto xResult = ui::POPMSG(cText, nType);
    return xResult && std::holds_alternative<bool>(*xResult) && std::get<bool>(*xResult);
  });
  runtime::SETURLOPENERHOOK([](const std::string& cUrl) { runtime::XDGOPEN(cUrl); });
  runtime::SETINTERNALERRORHOOK([](const std::string& cCaption, const std::string& cText) {
    QMessageBox::critical(nullptr, QString::fromLocal8Bit(cCaption.data(), cCaption.size()),
                          QString::fromLocal8Bit(cText.data(), cText.size()));
    return true;
  });
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

} // namespace

int main(int argc, char** argv) {
  runtime::TUNEHEAP();
  if (!DisplayReachable()) {
    std::cerr << "veltra: no display found (DISPLAY is not set): start VELTRA from a desktop "
                 "session\n";
    return 1;
  }
  QApplication oApp(argc, argv);
  InstallHooks();
  return runtime::RUNPROGRAM(std::vector<std::string>(argv + 1, argv + argc), app::MAIN);
}
