// The one test-support layer of the Linux suites: what harness/ offers for running the real
// programs (child processes with a time-out, the private X server, the pattern image, the
// device emulator on a pseudo-terminal and its summary, the Wine session), and what only tests
// need: a raw pseudo-terminal pair whose master end the test holds, a temporary folder that is
// removed with its contents, and random bytes.
#pragma once

#include "harness/process.h"
#include "harness/programs.h"
#include "harness/raw_pty.h"
#include "harness/wine_session.h"
#include "tests/support/temp_dir.h"

#include <chrono>
#include <string>
#include <string_view>

namespace veltra::test {

using namespace veltra::harness;

// A raw pty pair (harness/raw_pty.h) whose master end the test holds, not blocking; a failure
// of the test when it cannot be made.
class Pty : public RawPty {
public:
  Pty();
  // Writes all of cData (a failure of the test when the port does not take it within 5 s).
  void Send(std::string_view cData) const;
  // Reads until nCount bytes came, the far end closed after sending something, or tLimit passed.
  std::string Receive(std::size_t nCount, std::chrono::milliseconds tLimit = 5s) const;
  // Waits until a program has opened the slave end (until then the master reports a hang-up).
  bool WaitOpened() const;
};

// nCount bytes of every value, the same for the same seed.
std::string RandomBytes(std::size_t nCount, unsigned nSeed);

} // namespace veltra::test
