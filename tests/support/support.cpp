// The raw pseudo-terminal pair, the temporary folder and the random bytes of the suites.
#include "tests/support/support.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace veltra::test {

Pty::Pty() {
  int nSlave = -1;
  std::array<char, 128> aName{};
  termios oRaw{};
  ::cfmakeraw(&oRaw);
  if (::openpty(&m_nMaster, &nSlave, aName.data(), &oRaw, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed";
    return;
  }
  ::close(nSlave);
  ::fcntl(m_nMaster, F_SETFL, ::fcntl(m_nMaster, F_GETFL) | O_NONBLOCK);
  m_cSlave = aName.data();
}

Pty::~Pty() {
  CloseMaster();
}

void Pty::CloseMaster() {
  if (m_nMaster >= 0) {
    ::close(m_nMaster);
    m_nMaster = -1;
  }
}

void Pty::Send(std::string_view cData) const {
  const auto tEnd = std::chrono::steady_clock::now() + 5s;
  while (!cData.empty() && std::chrono::steady_clock::now() < tEnd) {
    const ssize_t n = ::write(m_nMaster, cData.data(), cData.size());
    if (n > 0) {
      cData.remove_prefix(static_cast<std::size_t>(n));
    } else {
      pollfd oOut{m_nMaster, POLLOUT, 0};
      ::poll(&oOut, 1, 10);
    }
  }
  EXPECT_TRUE(cData.empty()) << "the port did not take all bytes";
}

std::string Pty::Receive(std::size_t nCount, std::chrono::milliseconds tLimit) const {
  std::string cOut;
  const auto tEnd = std::chrono::steady_clock::now() + tLimit;
  while (cOut.size() < nCount && std::chrono::steady_clock::now() < tEnd) {
    std::array<char, 8192> aBuf{};
    const ssize_t n = ::read(m_nMaster, aBuf.data(), std::min(aBuf.size(), nCount - cOut.size()));
    if (n > 0) {
      cOut.append(aBuf.data(), static_cast<std::size_t>(n));
      continue;
    }
    // EIO: no program holds the slave end. Once it has sent something, nothing more comes.
    if (n < 0 && errno == EIO && !cOut.empty()) {
      break;
    }
    pollfd oIn{m_nMaster, POLLIN, 0};
    ::poll(&oIn, 1, 10);
    if ((oIn.revents & POLLHUP) != 0) {
      std::this_thread::sleep_for(10ms); // a hang-up wakes poll at once: do not spin
    }
  }
  return cOut;
}

bool Pty::WaitOpened() const {
  for (int i = 0; i < 500; ++i) {
    pollfd o{m_nMaster, POLLIN, 0};
    ::poll(&o, 1, 10);
    if ((o.revents & POLLHUP) == 0) {
      return true;
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

TempDir::TempDir() : m_oPath(TempFolder()) {
  EXPECT_FALSE(m_oPath.empty()) << "no temporary folder could be made";
}

TempDir::~TempDir() {
  if (m_oPath.empty()) {
    return;
  }
  // A case may have taken the owner's rights away to see a refusal; give them back first.
  std::error_code oIgnored;
  std::filesystem::permissions(m_oPath, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, oIgnored);
  std::filesystem::remove_all(m_oPath, oIgnored);
}

std::string RandomBytes(std::size_t nCount, unsigned nSeed) {
  std::mt19937 oRandom(nSeed);
  std::string cOut(nCount, '\0');
  for (char& c : cOut) {
    c = static_cast<char>(oRandom() & 0xFFU);
  }
  return cOut;
}

} // namespace veltra::test
