// The raw pseudo-terminal pair of the suites and the benchmarks.
#include "harness/raw_pty.h"

#include <array>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace veltra::harness {

RawPty::RawPty() {
  int nSlave = -1;
  std::array<char, 128> aName{};
  termios oRaw{};
  ::cfmakeraw(&oRaw);
  if (::openpty(&m_nMaster, &nSlave, aName.data(), &oRaw, nullptr) != 0) {
    m_nMaster = -1;
    return;
  }
  ::close(nSlave); // the program opens it by name
  // A program started meanwhile must not hold the master too: closing it would then not hang
  // the line up.
  ::fcntl(m_nMaster, F_SETFD, FD_CLOEXEC);
  m_cSlave = aName.data();
}

RawPty::~RawPty() {
  CloseMaster();
}

void RawPty::CloseMaster() {
  if (m_nMaster >= 0) {
    ::close(std::exchange(m_nMaster, -1));
  }
}

} // namespace veltra::harness
