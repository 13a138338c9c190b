// A raw pseudo-terminal pair, the device's end of a line for a program that opens the other:
// raw from the start as a serial line is (bytes sent before the program sets the port up must
// not be echoed back by the line discipline), at the kernel's default speed. The caller holds
// the master end; the slave path is the port the program opens by name.
#pragma once

#include <string>

namespace veltra::harness {

class RawPty {
public:
  RawPty(); // Ok() tells whether the pair could be made
  ~RawPty();
  RawPty(const RawPty&) = delete;
  RawPty& operator=(const RawPty&) = delete;

  bool Ok() const { return m_nMaster >= 0; }
  int Master() const { return m_nMaster; }
  const std::string& SlavePath() const { return m_cSlave; }
  // Closing the master end hangs the line up for the program that holds the slave.
  void CloseMaster();

private:
  int m_nMaster = -1;
  std::string m_cSlave;
};

} // namespace veltra::harness
