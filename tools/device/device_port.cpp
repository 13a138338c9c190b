// Opening the emulator's end of the line, with the line settings code of VELTRA.
#include "tools/device/device_port.h"

#include "serial/comm_baud.h"
#include "serial/comm_console.h"
#include "serial/comm_port.h"
#include "serial/comm_termios.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace veltra::tools {

struct SavedLine {
  int nFd;
  termios oTio;
  ~SavedLine();
};

namespace {

// The open port's settings for RESTOREPORTNOW: the descriptor is published after the settings.
termios g_oSaved{};
std::atomic<int> g_nSavedFd{-1};

// Raw mode, and with oLine also its speed and format.
void SetRaw(int nFd, const std::optional<LineFormat>& oLine) {
  using namespace veltra::serial::detail;
  termios oTio{};
  if (::tcgetattr(nFd, &oTio) != 0) {
    return;
  }
  MakeRawLine(oTio);
  std::optional<speed_t> oSpeed;
  if (oLine) {
    const auto nParity = std::string_view("NOEMS").find(oLine->cParity);
    ApplyLineSettings({.nBaudRate = oLine->nBaud,
                       .nByteSize = static_cast<std::uint8_t>(oLine->nDataBits),
                       .eParity = static_cast<Parity>(nParity),
                       .nStopBits = oLine->nStopBits == 2 ? kTwoStopBits : kOneStopBit},
                      oTio);
    oSpeed = StandardSpeed(oLine->nBaud);
    if (oSpeed) {
      ::cfsetspeed(&oTio, *oSpeed);
    }
  }
  ::tcsetattr(nFd, TCSANOW, &oTio);
  if (oLine && !oSpeed) {
    SetAnyBaudRate(nFd, oLine->nBaud);
  }
}

} // namespace

SavedLine::~SavedLine() {
  g_nSavedFd.store(-1);
  ::tcsetattr(nFd, TCSANOW, &oTio);
}

DevicePort::DevicePort() = default;
DevicePort::DevicePort(DevicePort&&) noexcept = default;
DevicePort& DevicePort::operator=(DevicePort&&) noexcept = default;
DevicePort::~DevicePort() = default;

void RESTOREPORTNOW() {
  if (const int nFd = g_nSavedFd.load(); nFd >= 0) {
    ::tcsetattr(nFd, TCSANOW, &g_oSaved);
  }
}

std::optional<DevicePort> CreatePty() {
  DevicePort oPort;
  oPort.oFd.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  const int nMaster = oPort.oFd.Get();
  if (nMaster < 0 || ::grantpt(nMaster) != 0 || ::unlockpt(nMaster) != 0) {
    return std::nullopt;
  }
  const char* pName = ::ptsname(nMaster);
  if (pName == nullptr) {
    return std::nullopt;
  }
  oPort.cPath = pName;
  const common::UniqueFd oSlave(::open(pName, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (oSlave.Valid()) {
    SetRaw(oSlave.Get(), std::nullopt);
  }
  ::fcntl(nMaster, F_SETFL, ::fcntl(nMaster, F_GETFL) | O_NONBLOCK);
  return oPort;
}

std::optional<DevicePort> OpenPort(const std::string& cName,
                                   const std::optional<LineFormat>& oLine) {
  DevicePort oPort;
  oPort.cPath = veltra::serial::COMMDEVICEPATH(cName);
  // The same refusals as the program's own ports: a console is not even opened, and the
  // descriptor is looked at again once open (the name may have changed in between).
  if (const int nWhy = serial::PathRefusal(oPort.cPath); nWhy != 0) {
    errno = nWhy;
    return std::nullopt;
  }
  oPort.oFd.Reset(::open(oPort.cPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  const int nFd = oPort.oFd.Get();
  if (nFd < 0) {
    return std::nullopt;
  }
  if (::isatty(nFd) == 0) {
    errno = ENOTTY;
    return std::nullopt;
  }
  if (const int nWhy = serial::DeviceRefusal(nFd); nWhy != 0) {
    errno = nWhy;
    return std::nullopt;
  }
  termios oFound{};
  if (::flock(nFd, LOCK_EX | LOCK_NB) != 0 || ::tcgetattr(nFd, &oFound) != 0) {
    return std::nullopt;
  }
  oPort.pSaved = std::make_unique<SavedLine>();
  oPort.pSaved->nFd = nFd;
  oPort.pSaved->oTio = oFound;
  g_oSaved = oFound;
  g_nSavedFd.store(nFd);
  SetRaw(nFd, oLine ? oLine : LineFormat{});
  ::tcflush(nFd, TCIOFLUSH);
  return oPort;
}

void WaitForPeerToClose(int nMaster, std::chrono::steady_clock::duration tLimit) {
  const auto tEnd = std::chrono::steady_clock::now() + tLimit;
  while (std::chrono::steady_clock::now() < tEnd) {
    pollfd oIn{nMaster, POLLIN, 0};
    ::poll(&oIn, 1, 20);
    if ((oIn.revents & POLLHUP) != 0) {
      return;
    }
    std::array<char, 256> aDrop{};
    if ((oIn.revents & POLLIN) != 0 && ::read(nMaster, aDrop.data(), aDrop.size()) < 0 &&
        errno != EAGAIN) {
      return;
    }
  }
}

bool WaitForPeer(int nMaster, std::chrono::steady_clock::duration tLimit) {
  // The largest bound means none (adding it to the clock would overflow).
  const bool lBounded = tLimit != std::chrono::steady_clock::duration::max();
  const auto tStart = std::chrono::steady_clock::now();
  for (;;) {
    pollfd oIn{nMaster, POLLIN, 0};
    ::poll(&oIn, 1, 20);
    if ((oIn.revents & POLLHUP) == 0) {
      return true;
    }
    if (lBounded && std::chrono::steady_clock::now() - tStart >= tLimit) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool WriteAll(int nFd, std::string_view cData) {
  while (!cData.empty()) {
    const ssize_t n = ::write(nFd, cData.data(), cData.size());
    if (n > 0) {
      cData.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd oOut{nFd, POLLOUT, 0};
      ::poll(&oOut, 1, 100);
    } else if (!(n < 0 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

} // namespace veltra::tools
