// Shared pieces of the serial suites.
#include "serial_test_support.h"

#include "serial/comm_port.h"
#include "serial/event_loop.h"
#include "serial/message_pump.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace veltra::serial::test {

Pty::Pty() {
  int nSlave = -1;
  std::array<char, 128> aName{};
  // Raw from the start, as a serial line is: bytes sent before the port is opened and set up
  // must not be echoed back by the pty's line discipline.
  termios oRaw{};
  ::cfmakeraw(&oRaw);
  ::cfsetspeed(&oRaw, B115200);
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

std::string Pty::Receive(std::size_t nCount) const {
  std::string cOut;
  const auto tEnd = std::chrono::steady_clock::now() + 5s;
  while (cOut.size() < nCount && std::chrono::steady_clock::now() < tEnd) {
    std::array<char, 4096> aBuf{};
    const ssize_t n = ::read(m_nMaster, aBuf.data(), std::min(aBuf.size(), nCount - cOut.size()));
    if (n > 0) {
      cOut.append(aBuf.data(), static_cast<std::size_t>(n));
    } else {
      pollfd oIn{m_nMaster, POLLIN, 0};
      ::poll(&oIn, 1, 10);
    }
  }
  return cOut;
}

Receiver::Receiver()
    : m_hWnd(REGISTERRECEIVER([this](int nComm, int nStatus) {
        aCalls.push_back({nComm, nStatus});
        if (bCommNotify) {
          bCommNotify(nComm);
        }
      })) {}

Receiver::~Receiver() {
  UNREGISTERRECEIVER(m_hWnd);
}

bool PumpUntil(const std::function<bool()>& lDone, std::chrono::milliseconds tLimit) {
  const auto tEnd = std::chrono::steady_clock::now() + tLimit;
  while (!lDone()) {
    if (std::chrono::steady_clock::now() >= tEnd) {
      return false;
    }
    SYSWAIT(5);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds tFor) {
  PumpUntil([] { return false; }, tFor);
}

void Bounded(const std::function<void()>& fn, std::chrono::milliseconds tLimit) {
  std::packaged_task<void()> oTask(fn);
  auto oDone = oTask.get_future();
  std::thread oThread(std::move(oTask));
  if (oDone.wait_for(tLimit) != std::future_status::ready) {
    std::fprintf(stderr, "FAILED: call did not return within %lld ms\n",
                 static_cast<long long>(tLimit.count()));
    std::_Exit(1);
  }
  oThread.join();
}

std::string ReadAll(int nComm, std::size_t nCount) {
  std::string cOut;
  std::string cBuf(4096, '\0');
  const auto tEnd = std::chrono::steady_clock::now() + 5s;
  while (cOut.size() < nCount && std::chrono::steady_clock::now() < tEnd) {
    const int n = READCOMM(nComm, cBuf);
    cOut.append(cBuf, 0, static_cast<std::size_t>(n));
    if (n == 0) {
      std::this_thread::sleep_for(1ms);
    }
  }
  return cOut;
}

std::string TempDir() {
  std::string cTemplate = ::testing::TempDir() + "veltra-serial-XXXXXX";
  return ::mkdtemp(cTemplate.data()) != nullptr ? cTemplate : std::string();
}

namespace {

// A program of the build: <build>/cRelative.
std::string BuiltProgram(const std::string& cRelative) {
  if (const char* pBin = std::getenv("VELTRA_TEST_BIN"); pBin != nullptr) {
    return std::string(pBin) + "/" + cRelative;
  }
  // Run by hand: the suite lives in <build>/tests/serial.
  std::array<char, 4096> aExe{};
  const ssize_t n = ::readlink("/proc/self/exe", aExe.data(), aExe.size() - 1);
  const std::string cExe(aExe.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
  return cExe.substr(0, cExe.rfind('/')) + "/../../" + cRelative;
}

} // namespace

std::string DevicePath() {
  return BuiltProgram("tools/veltra-device");
}

std::string ChildPath() {
  return BuiltProgram("tests/serial/veltra_serial_child");
}

std::string RandomBytes(std::size_t nCount, unsigned nSeed) {
  std::mt19937 oRandom(nSeed);
  std::string cOut(nCount, '\0');
  for (char& c : cOut) {
    c = static_cast<char>(oRandom() & 0xFFU);
  }
  return cOut;
}

} // namespace veltra::serial::test
