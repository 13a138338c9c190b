// The taskbar button's progress on Windows (ITaskbarList3): blocks sent of the image's blocks,
// the error state when the transfer stops short. COM is initialised at start-up. The button
// is touched only once the taskbar has said it is in place (a call before that may fail or be
// lost); each block sets the whole state again. No notification: one would need the program
// to outlive its window.
// clang-format off
#include "app/desktop_progress.h"
#include "ui/window_win32.h"

#include <windows.h>
#include <shobjidl.h>
// clang-format on

namespace veltra::app {
namespace {

// The taskbar's object while progress is shown; released when it is hidden.
ITaskbarList3* g_pTaskbar = nullptr;

ITaskbarList3* Taskbar() {
  if (g_pTaskbar == nullptr) {
    ITaskbarList3* p = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&p)))) {
      return nullptr;
    }
    if (FAILED(p->HrInit())) {
      p->Release();
      return nullptr;
    }
    g_pTaskbar = p;
  }
  return g_pTaskbar;
}

} // namespace

void SHOWPROGRESS(int hWnd, int nDone, int nTotal) {
  if (nTotal <= 0 || !ui::TASKBARBUTTONSHOWN(hWnd)) {
    return;
  }
  if (ITaskbarList3* p = Taskbar()) {
    p->SetProgressValue(ui::HWNDOF(hWnd), static_cast<ULONGLONG>(nDone),
                        static_cast<ULONGLONG>(nTotal));
  }
}

void SHOWPROGRESSFAULT(int hWnd) {
  if (!ui::TASKBARBUTTONSHOWN(hWnd)) {
    return;
  }
  if (ITaskbarList3* p = Taskbar()) {
    p->SetProgressState(ui::HWNDOF(hWnd), TBPF_ERROR);
  }
}

void HIDEPROGRESS(int hWnd) {
  if (g_pTaskbar == nullptr) {
    return;
  }
  if (hWnd != 0) {
    g_pTaskbar->SetProgressState(ui::HWNDOF(hWnd), TBPF_NOPROGRESS);
  }
  g_pTaskbar->Release();
  g_pTaskbar = nullptr;
}

void NOTIFYOUTCOME(const std::string& /*cSummary*/, const std::string& /*cBody*/) {}

} // namespace veltra::app
