// veltra.exe: a Windows GUI program (no console window). Connects the runtime's hooks to the
// windows and the desktop and runs start-up, the main flow and the exit sequence.
#include "app/desktop_hooks.h"
#include "app/program_flow.h"
#include "runtime/startup.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
  veltra::runtime::TUNEHEAP();
  veltra::app::INSTALLDESKTOPHOOKS();
  return veltra::runtime::RUNPROGRAM(std::vector<std::string>(argv + 1, argv + argc),
                                     veltra::app::MAIN);
}
