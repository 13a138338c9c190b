// The serial layer's own pieces of the serial and app suites: a receiver standing in for a
// window, and the bounded waits of pump.h. The pseudo-terminal, the temporary folder and the
// emulator come from tests/support.
#pragma once

#include "tests/serial/pump.h"
#include "tests/support/support.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace veltra::serial::test {

using namespace veltra::test;

// Stands for a window: registered under its own handle, it records every comm notification
// and runs an optional callback on it.
class Receiver {
public:
  Receiver();
  ~Receiver();
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;

  int hWnd() const { return m_hWnd; }

  struct Call {
    int nComm;
    int nStatus;
  };
  std::vector<Call> aCalls;
  std::function<void(int nComm)> bCommNotify;

private:
  int m_hWnd;
};

std::string ChildPath(); // the built serial_child.cpp

} // namespace veltra::serial::test
