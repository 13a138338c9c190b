// What a program without windows asks of the user-interface thread's event loop, the same
// whichever loop the program links (Qt's, or the poll loop of the programs without Qt):
// receivers of comm notifications that are no window, and watches on file descriptors. Both
// are answered inside the thread's event handling (SYSREFRESH, SYSWAIT), on that thread.
//
// The poll loop (ui_doorbell_poll.cpp, comm_notify_poll.cpp, message_pump_poll.cpp) waits in one
// poll() on the doorbell's eventfd and every enabled watch. The doorbell's answer delivers the
// queued comm notifications one by one (each receiver called once per batch; its worker goes on
// only after the call has returned) and takes a WAKEWAIT from another thread. SYSWAIT polls until a
// WAKEWAIT, a quit request or its bound, and sleeps in poll() meanwhile, so an idle wait takes no
// processor time.
#pragma once

#include <functional>
#include <memory>

namespace veltra::serial {

// Registers a receiver of comm notifications and returns its handle (1 or more, never
// reused), to arm a port with (ENABLECOMMNOTIFICATION). bNotify runs on the user-interface
// thread with the port handle and CN_RECEIVE, once per notification. User-interface thread
// only.
int REGISTERRECEIVER(std::function<void(int nComm, int nStatus)> bNotify);

// Forgets hWnd: no notification reaches its receiver afterwards.
void UNREGISTERRECEIVER(int hWnd);

// Runs bReadable on the user-interface thread, inside its event handling, each time nFd is
// readable (or at its end, or in error) while the watch is enabled. Made, changed and
// destroyed on the user-interface thread; a callback may disable its own watch.
class FdWatch {
public:
  FdWatch(int nFd, std::function<void()> bReadable);
  ~FdWatch();
  FdWatch(const FdWatch&) = delete;
  FdWatch& operator=(const FdWatch&) = delete;

  void SetEnabled(bool lEnabled);

private:
  struct Impl;
  std::unique_ptr<Impl> m_p;
};

} // namespace veltra::serial
