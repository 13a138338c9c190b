// veltra.exe: a Windows GUI program (no console window). Connects the runtime's hooks to the
// windows and the desktop and runs start-up, the main flow and the exit sequence.
#include <windows.h>

#include "app/desktop_hooks.h"
#include "app/program_flow.h"
#include "runtime/startup.h"

#include <mmsystem.h>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  veltra::runtime::TUNEHEAP();
  // The 10 ms pause after each 0x00 and the 20 ms bound of the wait assume a timer that ticks
  // every millisecond; the default tick is 15.6 ms.
  timeBeginPeriod(1);
  veltra::app::INSTALLDESKTOPHOOKS();
  const int nExit = veltra::runtime::RUNPROGRAM(std::vector<std::string>(argv + 1, argv + argc),
                                                veltra::app::MAIN);
  timeEndPeriod(1);
  return nExit;
}
