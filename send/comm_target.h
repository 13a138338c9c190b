// The receiver of a port's notifications when there is no window: an object registered in
// the serial layer's window registry under a handle of its own, which calls its callback on
// the user-interface thread for each notification.
#pragma once

#include <functional>
#include <memory>

namespace veltra::send {

class CommTarget {
public:
  explicit CommTarget(std::function<void(int nComm)> bCommNotify);
  ~CommTarget(); // no notification reaches it afterwards
  CommTarget(const CommTarget&) = delete;
  CommTarget& operator=(const CommTarget&) = delete;

  // The handle to arm notification with (ENABLECOMMNOTIFICATION).
  int hWnd() const;

private:
  struct Impl;
  std::unique_ptr<Impl> m_p;
};

} // namespace veltra::send
