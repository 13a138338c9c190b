// Shared pieces of the serial suites: a real pseudo-terminal whose master end plays the
// device, a receiver standing in for a window, and bounded waits that pump events. The same
// on either event loop of the serial layer.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace veltra::serial::test {

using namespace std::chrono_literals;

// A pty pair; the test holds the master end. The slave path is what OPENCOMM is given.
class Pty {
public:
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& SlavePath() const { return m_cSlave; }
  int Master() const { return m_nMaster; }
  void CloseMaster();
  void Send(std::string_view cData) const;
  // Reads exactly nCount bytes from the master, or fewer after 5 s.
  std::string Receive(std::size_t nCount) const;

private:
  int m_nMaster = -1;
  std::string m_cSlave;
};

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

std::string TempDir();
std::string DevicePath(); // the built veltra-device
std::string ChildPath();  // the built serial_child.cpp
std::string RandomBytes(std::size_t nCount, unsigned nSeed);

} // namespace veltra::serial::test
