// The message pump's platform-free part: the main-loop flag, the last key, the dialog that
// takes keyboard messages first, and the pause.
#include "serial/message_pump.h"

#include "serial/comm_port_testing.h"
#include "serial/message_pump_state.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace veltra::serial {
namespace {

std::atomic<int> g_nLastKey{0}; // any thread

// User-interface thread only.
bool g_lMainLoopRunning = false;
int g_hPumpDialog = 0; // the innermost running dialog, 0 for none

} // namespace

namespace detail {

bool MainLoopRunning() {
  return g_lMainLoopRunning;
}

int PumpDialog() {
  return g_hPumpDialog;
}

} // namespace detail

void SETMAINLOOPRUNNING(bool lRunning) {
  g_lMainLoopRunning = lRunning;
}

void SETLASTKEY(int nKey) {
  g_nLastKey.store(nKey & 0xFFFF);
}

int LASTKEY() {
  return g_nLastKey.load();
}

int SETPUMPDIALOG(int hDlg) {
  return std::exchange(g_hPumpDialog, hDlg);
}

} // namespace veltra::serial
