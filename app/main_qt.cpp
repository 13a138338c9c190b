// The veltra executable: creates the Qt application, connects the runtime's hooks to the
// windows and the desktop, and runs start-up, the main flow and the exit sequence.
#include "app/desktop_hooks.h"
#include "app/program_flow.h"
#include "runtime/startup.h"

#include <QApplication>
#include <cstdlib>
#include <iostream>

namespace {

// Qt ends the process with a terse message when no display can be reached; say it plainly.
bool DisplayReachable() {
  const auto lSet = [](const char* cName) {
    const char* c = std::getenv(cName);
    return c != nullptr && *c != '\0';
  };
  return lSet("QT_QPA_PLATFORM") || lSet("DISPLAY") || lSet("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
  veltra::runtime::TUNEHEAP();
  if (!DisplayReachable()) {
    std::cerr << "veltra: no display found (DISPLAY is not set): start VELTRA from a desktop "
                 "session\n";
    return 1;
  }
  QApplication oApp(argc, argv);
  veltra::app::INSTALLDESKTOPHOOKS();
  return veltra::runtime::RUNPROGRAM(std::vector<std::string>(argv + 1, argv + argc),
                                     veltra::app::MAIN);
}
