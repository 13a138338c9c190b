// Window-handle table guarded by one mutex. Posting happens under the same mutex, so a
// receiver cannot be unregistered (and then destroyed) between the look-up and the post.
#include "serial/window_registry_qt.h"

#include "serial/window_registry_testing_qt.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <mutex>
#include <unordered_map>

namespace veltra::serial {
namespace {

std::mutex g_mutex;
std::unordered_map<int, QObject*> g_windows;
int g_nNext = 1;

} // namespace

int REGISTERWINDOW(QObject* pReceiver) {
  std::lock_guard lock(g_mutex);
  const int hWnd = g_nNext++;
  g_windows.emplace(hWnd, pReceiver);
  return hWnd;
}

void UNREGISTERWINDOW(int hWnd) {
  std::lock_guard lock(g_mutex);
  g_windows.erase(hWnd);
}

bool POSTTOWINDOW(int hWnd, std::unique_ptr<QEvent> oEvent) {
  std::lock_guard lock(g_mutex);
  const auto it = g_windows.find(hWnd);
  if (hWnd == 0 || it == g_windows.end()) {
    return false;
  }
  // Qt takes ownership of a posted event and deletes it after delivery, or when the
  // receiver is destroyed with the event still queued.
  QCoreApplication::postEvent(it->second, oEvent.release());
  return true;
}

bool SENDTOWINDOW(int hWnd, QEvent& oEvent) {
  QObject* pReceiver = nullptr;
  {
    std::lock_guard lock(g_mutex);
    const auto it = g_windows.find(hWnd);
    if (hWnd == 0 || it == g_windows.end()) {
      return false;
    }
    pReceiver = it->second;
  }
  // Not under the lock: the receiver may register or unregister windows while it handles the
  // event.
  QCoreApplication::sendEvent(pReceiver, &oEvent);
  return true;
}

bool ISWINDOW(int hWnd) {
  std::lock_guard lock(g_mutex);
  return g_windows.count(hWnd) != 0;
}

} // namespace veltra::serial
