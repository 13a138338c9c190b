// Comm notification on Windows. A worker queues its notification and rings the user-interface
// thread's doorbell, a message-only window of ours, with SendNotifyMessageA: a sent message,
// so the thread handles it inside any message retrieval (SYSREFRESH, a dialog's modal loop,
// a message box) before its posted messages, and the worker does not block in the send. The
// doorbell sends WM_COMMNOTIFY to the armed window with SendMessageA (a direct call on that
// thread) and then releases the worker, which waits on its port's condition variable. A close
// cancels that wait, so CLOSECOMM never waits for this thread to handle anything.
#include <windows.h>

#include "serial/comm_notify.h"
#include "serial/message_pump.h"
#include "serial/port_signal.h"
#include "serial/ui_doorbell.h"

#include <atomic>
#include <cstdint>

namespace veltra::serial::detail {
namespace {

constexpr UINT kDoorbellMessage = WM_APP + 0x44;
constexpr const char* kDoorbellClass = "VeltraCommDoorbell";

std::atomic<HWND> g_hDoorbell{nullptr};
std::atomic<DWORD> g_nUiThread{0};
std::atomic<bool> g_lRungEarly{false}; // rung before the doorbell existed

LRESULT CALLBACK DoorbellProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  if (nMsg == kDoorbellMessage) {
    DeliverCommNotifications();
    return 0;
  }
  return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
}

// Releases the worker of a notification however its delivery ends.
class DoneGuard {
public:
  explicit DoneGuard(PortSignal& oSignal) : m_oSignal(oSignal) {}
  ~DoneGuard() {
    m_oSignal.NotificationDone();
    WAKEWAIT(); // a wait of the transfer loop has something to look at
  }
  DoneGuard(const DoneGuard&) = delete;
  DoneGuard& operator=(const DoneGuard&) = delete;

private:
  PortSignal& m_oSignal;
};

} // namespace

bool OnUiThread() {
  const DWORD nUi = g_nUiThread.load();
  return nUi != 0 && nUi == ::GetCurrentThreadId();
}

void PrepareUiThread() {
  if (g_hDoorbell.load() != nullptr) {
    return;
  }
  // The first thread that pumps messages or arms a notification is the user-interface thread.
  DWORD nExpected = 0;
  g_nUiThread.compare_exchange_strong(nExpected, ::GetCurrentThreadId());
  if (!OnUiThread()) {
    return;
  }
  WNDCLASSA oClass{};
  oClass.lpfnWndProc = DoorbellProc;
  oClass.hInstance = ::GetModuleHandleA(nullptr);
  oClass.lpszClassName = kDoorbellClass;
  ::RegisterClassA(&oClass);
  const HWND hWnd = ::CreateWindowExA(0, kDoorbellClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      oClass.hInstance, nullptr);
  g_hDoorbell.store(hWnd);
  if (hWnd != nullptr && g_lRungEarly.exchange(false)) {
    RingUiThread();
  }
}

void RingUiThread() {
  const HWND hWnd = g_hDoorbell.load();
  if (hWnd == nullptr) {
    g_lRungEarly.store(true);
    return;
  }
  ::SendNotifyMessageA(hWnd, kDoorbellMessage, 0, 0);
  // A wait of the polling loop ends at once, whether or not the platform counts a sent message
  // as input for it (Wine does not always).
  WAKEWAIT();
}

void DeliverCommNotifications() {
  while (auto oPending = TakeCommNotification()) {
    const DoneGuard oDone(*oPending->oSignal);
    // Window handles fit in 32 bits and are sign-extended to the pointer's width.
    const HWND hWnd = reinterpret_cast<HWND>(static_cast<std::intptr_t>(oPending->hWnd));
    const bool lTold = ::IsWindow(hWnd) != FALSE;
    if (lTold) {
      ::SendMessageA(hWnd, WM_COMMNOTIFY, static_cast<WPARAM>(oPending->nComm), CN_RECEIVE);
    }
    std::lock_guard oLock(oPending->oSignal->mutex);
    oPending->oSignal->lTold = lTold;
  }
}

} // namespace veltra::serial::detail
