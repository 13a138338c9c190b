// The one test-support layer of the Linux suites: what harness/ offers for running the real
// programs (child processes with a time-out, the private X server, the pattern image, the
// device emulator on a pseudo-terminal and its summary, the Wine session), and what only tests
// need: a raw pseudo-terminal pair whose master end the test holds, a temporary folder that is
// removed with its contents, and random bytes.
#pragma once

#include "harness/process.h"
#include "harness/programs.h"
#include "harness/wine_session.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace veltra::test {

using namespace veltra::harness;

// A pty pair, raw from the start as a serial line is (bytes sent before the port is opened and
// set up must not be echoed back by the line discipline), at the kernel's default speed, so a
// program that does not set its own speed is seen. The test holds the master end (not
// blocking); the slave path is the port the program opens.
class Pty {
public:
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& SlavePath() const { return m_cSlave; }
  int Master() const { return m_nMaster; }
  void CloseMaster();
  // Writes all of cData (a failure of the test when the port does not take it within 5 s).
  void Send(std::string_view cData) const;
  // Reads until nCount bytes came, the far end closed after sending something, or tLimit passed.
  std::string Receive(std::size_t nCount, std::chrono::milliseconds tLimit = 5s) const;
  // Waits until a program has opened the slave end (until then the master reports a hang-up).
  bool WaitOpened() const;

private:
  int m_nMaster = -1;
  std::string m_cSlave;
};

// A folder made with mkdtemp and removed with its contents when the object goes.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_oPath; }
  std::string Str() const { return m_oPath.string(); }
  std::filesystem::path operator/(const std::string& cName) const { return m_oPath / cName; }

private:
  std::filesystem::path m_oPath;
};

// nCount bytes of every value, the same for the same seed.
std::string RandomBytes(std::size_t nCount, unsigned nSeed);

} // namespace veltra::test
