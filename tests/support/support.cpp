// The suites' side of the raw pseudo-terminal pair, and the random bytes.
#include "tests/support/support.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace veltra::test {

Pty::Pty() {
  if (!Ok()) {
    ADD_FAILURE() << "openpty failed";
    return;
  }
  ::fcntl(Master(), F_SETFL, ::fcntl(Master(), F_GETFL) | O_NONBLOCK);
}

void Pty::Send(std::string_view cData) const {
  const auto tEnd = std::chrono::steady_clock::now() + 5s;
  while (!cData.empty() && std::chrono::steady_clock::now() < tEnd) {
    const ssize_t n = ::write(Master(), cData.data(), cData.size());
    if (n > 0) {
      cData.remove_prefix(static_cast<std::size_t>(n));
    } else {
      pollfd oOut{Master(), POLLOUT, 0};
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
    const ssize_t n = ::read(Master(), aBuf.data(), std::min(aBuf.size(), nCount - cOut.size()));
    if (n > 0) {
      cOut.append(aBuf.data(), static_cast<std::size_t>(n));
      continue;
    }
    // EIO: no program holds the slave end. Once it has sent something, nothing more comes.
    if (n < 0 && errno == EIO && !cOut.empty()) {
      break;
    }
    pollfd oIn{Master(), POLLIN, 0};
    ::poll(&oIn, 1, 10);
    if ((oIn.revents & POLLHUP) != 0) {
      std::this_thread::sleep_for(10ms); // a hang-up wakes poll at once: do not spin
    }
  }
  return cOut;
}

bool Pty::WaitOpened() const {
  for (int i = 0; i < 500; ++i) {
    pollfd o{Master(), POLLIN, 0};
    ::poll(&o, 1, 10);
    if ((o.revents & POLLHUP) == 0) {
      return true;
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
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
