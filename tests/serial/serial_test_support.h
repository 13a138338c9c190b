// The serial layer's own pieces of the serial and app suites: a receiver standing in for a
// window, and bounded waits that pump events, the same on either event loop of the serial
// layer. The pseudo-terminal, the temporary folder and the emulator come from tests/support.
#pragma once

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

// Pumps events (SYSWAIT) until lDone() holds or tLimit passes; returns lDone().
bool PumpUntil(const std::function<bool()>& lDone, std::chrono::milliseconds tLimit = 5s);

// Pumps events for a while.
void PumpFor(std::chrono::milliseconds tFor);

// Runs fn on its own thread; if it has not returned after tLimit the process fails at once
// (a hang must fail the test, not stall the suite).
void Bounded(const std::function<void()>& fn, std::chrono::milliseconds tLimit = 5s);

// All bytes from the port, reading until nCount have come or 5 s pass.
std::string ReadAll(int nComm, std::size_t nCount);

std::string ChildPath(); // the built serial_child.cpp

} // namespace veltra::serial::test
