// Serial ports on Linux: device naming, exclusive open, termios set-up, the blocking write,
// and the receive worker that waits on the device and on a stop eventfd with poll.
#include "common/unique_fd.h"
#include "serial/comm_baud.h"
#include "serial/comm_console.h"
#include "serial/comm_port.h"
#include "serial/comm_port_record.h"
#include "serial/comm_termios.h"
#include "serial/line_rescue.h"
#include "serial/message_pump.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <thread>
#include <time.h>

namespace veltra::serial {
namespace detail {

using common::UniqueFd;

namespace {

void Signal(int nEventFd) {
  const std::uint64_t nOne = 1;
  [[maybe_unused]] const ssize_t nIgnored = ::write(nEventFd, &nOne, sizeof nOne);
}

bool SetLine(int nFd, const termios& oTio) {
  int nResult = 0;
  while ((nResult = ::tcsetattr(nFd, TCSANOW, &oTio)) != 0 && errno == EINTR) {
  }
  return nResult == 0;
}

// Sets or clears the driver's low-latency flag; false when the driver has no such setting.
bool SetLowLatency(int nFd, bool lOn) {
  serial_struct oSerial{};
  if (::ioctl(nFd, TIOCGSERIAL, &oSerial) != 0) {
    return false;
  }
  if (((oSerial.flags & ASYNC_LOW_LATENCY) != 0) == lOn) {
    return true;
  }
  oSerial.flags = lOn ? (oSerial.flags | ASYNC_LOW_LATENCY) : (oSerial.flags & ~ASYNC_LOW_LATENCY);
  return ::ioctl(nFd, TIOCSSERIAL, &oSerial) == 0;
}

// Each open line's descriptor and settings as found, for RESTOREALLLINES. A slot is claimed,
// filled, then published by its descriptor (release), so that a signal handler reading the
// descriptor (acquire) sees the settings whole; a close withdraws the descriptor first.
struct RescueSlot {
  std::atomic<bool> lClaimed{false};
  std::atomic<int> nFd{-1};
  termios oSaved{};
};
std::array<RescueSlot, 32> g_aRescue;

RescueSlot* RememberLine(int nFd, const termios& oSaved) {
  for (RescueSlot& o : g_aRescue) {
    bool lFree = false;
    if (o.lClaimed.compare_exchange_strong(lFree, true)) {
      o.oSaved = oSaved;
      o.nFd.store(nFd, std::memory_order_release);
      return &o;
    }
  }
  return nullptr; // more ports than slots: that line is put back by its close only
}

void ForgetLine(RescueSlot* pSlot) {
  if (pSlot != nullptr) {
    pSlot->nFd.store(-1, std::memory_order_release);
    pSlot->lClaimed.store(false);
  }
}

} // namespace

struct CommDevice {
  UniqueFd oFd;
  UniqueFd oStop; // eventfd: readable once the port closes
  UniqueFd oArm;  // eventfd: readable when notification was armed for unannounced bytes
  termios oSaved{};
  RescueSlot* pRescue = nullptr;
  bool lLowLatencySet = false; // we turned the flag on, so closing turns it off again
  std::thread oWorker;

  CommDevice() = default;
  CommDevice(const CommDevice&) = delete;
  CommDevice& operator=(const CommDevice&) = delete;

  // Puts the line back as it was found and gives up exclusive use; closing the descriptor
  // then drops the lock. A device with a worker belongs to a port record, whose ShutDown has
  // joined the worker by now.
  ~CommDevice() {
    ForgetLine(pRescue);
    if (oFd.Valid()) {
      if (lLowLatencySet) {
        SetLowLatency(oFd.Get(), false);
      }
      SetLine(oFd.Get(), oSaved);
      ::ioctl(oFd.Get(), TIOCNXCL);
    }
  }
};

CommPort::CommPort() = default;

CommPort::~CommPort() {
  ShutDown(*this);
}

void StopWorker(CommDevice& oDevice) {
  if (oDevice.oWorker.joinable()) {
    Signal(oDevice.oStop.Get());
    oDevice.oWorker.join();
  }
}

void CloseDevice(CommPort& oPort) {
  oPort.oDevice.reset();
}

void WakeWorkerForArm(CommPort& oPort) {
  if (oPort.oDevice != nullptr) {
    Signal(oPort.oDevice->oArm.Get());
  }
}

namespace {

constexpr int kStagingSize = 1024;
constexpr int kMaxBatch = kStagingSize - 1;

struct StandardRate {
  unsigned nBaud;
  speed_t nSpeed;
};

constexpr std::array<StandardRate, 30> kStandardRates = {{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

void WaitForStop(int nStopFd) {
  pollfd oStop{nStopFd, POLLIN, 0};
  while (::poll(&oStop, 1, -1) < 0 && errno == EINTR) {
  }
}

struct Batch {
  int nCount = 0;
  bool lLineGone = false;
};

// Takes what the driver holds, at most 1023 bytes and never more than the ring has room for;
// the rest stays in the driver's queue for the next round.
Batch ReadBatch(int nFd, short nRevents, char* pStaging, int nRoom) {
  int nWaiting = 0;
  const bool lCounted = ::ioctl(nFd, FIONREAD, &nWaiting) == 0;
  const bool lHangup = (nRevents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  if ((!lCounted || nWaiting <= 0) && lHangup) {
    return {0, true};
  }
  // Readable with nothing counted: one byte tells data (kept), end of file or an error apart.
  const int nWant = std::min({std::max(nWaiting, 1), kMaxBatch, nRoom});
  for (;;) {
    const ssize_t nRead = ::read(nFd, pStaging, static_cast<std::size_t>(nWant));
    if (nRead > 0) {
      return {static_cast<int>(nRead), false};
    }
    if (nRead < 0 && errno == EINTR) {
      continue;
    }
    if (nRead < 0 && errno == EAGAIN) {
      return {0, lHangup};
    }
    return {0, true}; // end of file (the other end of a pty closed), EIO (device unplugged)
  }
}

// Asks the driver to hand received bytes on at once instead of batching them (USB-serial
// adapters otherwise hold them for their latency timer). Drivers without the request (ptys,
// many USB adapters) refuse it; the port works the same, only slower to answer. True when
// the flag was off and is now on.
bool RequestLowLatency(int nFd) {
  serial_struct oSerial{};
  if (::ioctl(nFd, TIOCGSERIAL, &oSerial) != 0 || (oSerial.flags & ASYNC_LOW_LATENCY) != 0) {
    return false;
  }
  return SetLowLatency(nFd, true);
}

void ReceiveWorker(CommPort& oPort, int nFd, int nStopFd, int nArmFd) {
  std::array<char, kStagingSize> aStaging{};
  for (;;) {
    if (oPort.oRing.Free() == 0) {
      // Not reading the device while the ring is full leaves the bytes in the driver's queue
      // instead of overwriting unread ones, and keeps poll from spinning on them.
      const RoomWait eWait = WaitForRoom(oPort);
      if (eWait == RoomWait::Closing) {
        return;
      }
      if (eWait == RoomWait::Armed) {
        NotifyWindow(oPort, false);
        continue;
      }
    }
    std::array<pollfd, 3> aFds{{{nStopFd, POLLIN, 0}, {nArmFd, POLLIN, 0}, {nFd, POLLIN, 0}}};
    if (::poll(aFds.data(), aFds.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      WaitForStop(nStopFd);
      return;
    }
    if (aFds[0].revents != 0) {
      return;
    }
    if (aFds[1].revents != 0) {
      std::uint64_t nCount = 0;
      [[maybe_unused]] const ssize_t nRead = ::read(nArmFd, &nCount, sizeof nCount);
      if (TakeArmRequest(oPort)) {
        NotifyWindow(oPort, false);
      }
    }
    if (aFds[2].revents == 0) {
      continue;
    }
    const Batch oBatch = ReadBatch(nFd, aFds[2].revents, aStaging.data(), oPort.oRing.Free());
    if (oBatch.lLineGone) {
      // Hang-up or unplugged: the device would report readable for ever. Stop reading, let
      // the user-interface thread see the loss, and use no processor time until the port is
      // closed.
      oPort.lLost.store(true, std::memory_order_release);
      WAKEWAIT();
      WaitForStop(nStopFd);
      return;
    }
    if (oBatch.nCount > 0) {
      oPort.oRing.Append(aStaging.data(), oBatch.nCount);
    }
    NotifyWindow(oPort, oBatch.nCount > 0);
  }
}

} // namespace

void MakeRawLine(termios& oTio) {
  ::cfmakeraw(&oTio);
  oTio.c_cflag |= CLOCAL | CREAD;
  oTio.c_cc[VMIN] = 1;
  oTio.c_cc[VTIME] = 0;
}

void ApplyLineSettings(const LineSettings& oSettings, termios& oTio) {
  MakeRawLine(oTio);
  oTio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  oTio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  switch (oSettings.nByteSize) {
  case 5:
    oTio.c_cflag |= CS5;
    break;
  case 6:
    oTio.c_cflag |= CS6;
    break;
  case 7:
    oTio.c_cflag |= CS7;
    break;
  default:
    oTio.c_cflag |= CS8;
    break;
  }
  switch (oSettings.eParity) {
  case Parity::None:
    break;
  case Parity::Odd:
    oTio.c_cflag |= PARENB | PARODD;
    break;
  case Parity::Even:
    oTio.c_cflag |= PARENB;
    break;
  case Parity::Mark:
    oTio.c_cflag |= PARENB | CMSPAR | PARODD;
    break;
  case Parity::Space:
    oTio.c_cflag |= PARENB | CMSPAR;
    break;
  }
  if (oSettings.nStopBits == kTwoStopBits) {
    oTio.c_cflag |= CSTOPB;
  }
}

tcflag_t LineFormatBits(const termios& oTio) {
  return oTio.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
}

std::optional<speed_t> StandardSpeed(unsigned nBaud) {
  const auto it = std::find_if(kStandardRates.begin(), kStandardRates.end(),
                               [nBaud](const StandardRate& o) { return o.nBaud == nBaud; });
  return it == kStandardRates.end() ? std::nullopt : std::optional<speed_t>(it->nSpeed);
}

std::optional<unsigned> StandardRateOfCode(unsigned nCode) {
  const auto it = std::find_if(kStandardRates.begin(), kStandardRates.end(),
                               [nCode](const StandardRate& o) { return o.nSpeed == nCode; });
  return it == kStandardRates.end() ? std::nullopt : std::optional<unsigned>(it->nBaud);
}

} // namespace detail

std::string COMMDEVICEPATH(std::string_view cDevice) {
  constexpr std::string_view kPrefix = "\\\\.\\";
  while (cDevice.substr(0, kPrefix.size()) == kPrefix) {
    cDevice.remove_prefix(kPrefix.size());
  }
  if (cDevice.empty()) {
    return {};
  }
  if (cDevice.front() == '/') {
    return std::string(cDevice);
  }
  if (cDevice.size() > 3) {
    std::string cHead(cDevice.substr(0, 3));
    for (char& c : cHead) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const std::string_view cDigits = cDevice.substr(3);
    unsigned nPort = 0;
    const auto [pEnd, eErr] =
        std::from_chars(cDigits.data(), cDigits.data() + cDigits.size(), nPort);
    if (cHead == "COM" && eErr == std::errc() && pEnd == cDigits.data() + cDigits.size() &&
        nPort >= 1) {
      return "/dev/ttyS" + std::to_string(nPort - 1);
    }
  }
  return "/dev/" + std::string(cDevice);
}

void RESTOREALLLINES() {
  for (const detail::RescueSlot& o : detail::g_aRescue) {
    if (const int nFd = o.nFd.load(std::memory_order_acquire); nFd >= 0) {
      ::tcsetattr(nFd, TCSANOW, &o.oSaved);
      ::ioctl(nFd, TIOCNXCL);
    }
  }
}

int detail::OpenDevice(const std::string& cPath, int /*nInQueue*/, int /*nOutQueue*/) {
  // Every failure below returns through here: the reason is kept across the clean-up that
  // destroying the device (or the record holding it) runs, which puts the line back.
  std::unique_ptr<CommDevice> oDevice;
  bool lLineSaved = false;
  const auto Fail = [&](int nErrno) {
    if (oDevice != nullptr && !lLineSaved) {
      oDevice->oFd.Reset(); // nothing changed on the line yet: nothing to put back
    }
    oDevice.reset();
    errno = nErrno;
    return -1;
  };
  // Looked at before the open, so that a console is never even opened.
  if (const int nWhy = PathRefusal(cPath); nWhy != 0) {
    return Fail(nWhy);
  }
  oDevice = std::make_unique<CommDevice>();
  // Non-blocking so that the open does not wait for a carrier; the worker waits in poll.
  oDevice->oFd.Reset(::open(cPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  const int nFd = oDevice->oFd.Get();
  if (nFd < 0) {
    return Fail(errno);
  }
  // Only terminals: image bytes must never end up in a regular file. A lock held by anyone
  // else (a second open of ours, picocom, ...) refuses the port.
  if (::isatty(nFd) == 0) {
    return Fail(ENOTTY);
  }
  if (const int nWhy = DeviceRefusal(nFd); nWhy != 0) {
    return Fail(nWhy);
  }
  if (::flock(nFd, LOCK_EX | LOCK_NB) != 0 || ::tcgetattr(nFd, &oDevice->oSaved) != 0) {
    return Fail(errno);
  }
  lLineSaved = true;
  oDevice->pRescue = RememberLine(nFd, oDevice->oSaved);
  ::ioctl(nFd, TIOCEXCL);
  // Raw from the start, so that bytes pass unchanged even before SETCOMMSTATE.
  termios oRaw = oDevice->oSaved;
  MakeRawLine(oRaw);
  if (!SetLine(nFd, oRaw)) {
    return Fail(errno);
  }
  const int nDtr = TIOCM_DTR;
  ::ioctl(nFd, TIOCMBIS, &nDtr); // a pty has no DTR: the outcome is not examined
  oDevice->lLowLatencySet = RequestLowLatency(nFd);
  oDevice->oStop.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!oDevice->oStop.Valid()) {
    return Fail(errno);
  }
  oDevice->oArm.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!oDevice->oArm.Valid()) {
    return Fail(errno);
  }

  const int nStopFd = oDevice->oStop.Get();
  const int nArmFd = oDevice->oArm.Get();
  auto oPort = std::make_shared<CommPort>();
  oPort->oDevice = std::move(oDevice);
  if (!AddOpenedPort(oPort)) {
    return -1;
  }
  CommPort& rPort = *oPort;
  const int nComm = rPort.nComm;
  try {
    rPort.oDevice->oWorker = std::thread(ReceiveWorker, std::ref(rPort), nFd, nStopFd, nArmFd);
  } catch (const std::system_error&) {
    RemovePort(nComm);
    oPort.reset();
    errno = EAGAIN;
    return -1;
  }
  return nComm;
}

namespace {

// What the wire takes for nBytes at the line's current speed and format; no value when the
// driver tells no speed.
std::optional<std::chrono::nanoseconds> WireTime(int nFd, std::size_t nBytes) {
  termios oTio{};
  const auto nBaud = detail::ReadBaudRate(nFd);
  if (!nBaud || *nBaud == 0 || ::tcgetattr(nFd, &oTio) != 0) {
    return std::nullopt;
  }
  int nBits = 1; // start bit
  switch (oTio.c_cflag & CSIZE) {
  case CS5:
    nBits += 5;
    break;
  case CS6:
    nBits += 6;
    break;
  case CS7:
    nBits += 7;
    break;
  default:
    nBits += 8;
    break;
  }
  nBits += (oTio.c_cflag & PARENB) != 0 ? 1 : 0;
  nBits += (oTio.c_cflag & CSTOPB) != 0 ? 2 : 1;
  const double dSeconds = static_cast<double>(nBytes) * nBits / *nBaud;
  return std::chrono::nanoseconds(static_cast<long long>(dSeconds * 1e9));
}

} // namespace

detail::OutputQueueCalls detail::g_oOutputQueue{
    .bQueued =
        [](int nFd) {
          int nQueued = 0;
          return ::ioctl(nFd, TIOCOUTQ, &nQueued) == 0 && nQueued > 0 ? nQueued : 0;
        },
    .bDrain = [](int nFd) { return ::tcdrain(nFd); },
    .bPurge = [](int nFd) { ::tcflush(nFd, TCOFLUSH); },
};

long WRITECOMM(int nComm, std::string_view cData) {
  using Clock = std::chrono::steady_clock;
  const auto oPort = detail::FindPort(nComm);
  if (oPort == nullptr) {
    return 0;
  }
  const int nFd = oPort->oDevice->oFd.Get();
  const Clock::time_point tGiveUp =
      Clock::now() + 2 * WireTime(nFd, cData.size()).value_or(std::chrono::nanoseconds(0)) +
      std::chrono::seconds(2);
  const auto RemainingMs = [&] {
    const auto t = std::chrono::ceil<std::chrono::milliseconds>(tGiveUp - Clock::now());
    return static_cast<int>(std::max<long long>(t.count(), 0));
  };
  std::size_t nDone = 0;
  bool lGone = false;
  while (nDone < cData.size()) {
    const ssize_t nWritten = ::write(nFd, cData.data() + nDone, cData.size() - nDone);
    if (nWritten > 0) {
      nDone += static_cast<std::size_t>(nWritten);
      continue;
    }
    if (nWritten < 0 && errno == EINTR) {
      continue;
    }
    if (nWritten < 0 && errno == EAGAIN) {
      // The driver's output queue is full: wait until it takes more, the line goes, or the
      // bound has passed.
      pollfd oOut{nFd, POLLOUT, 0};
      const int nReady = ::poll(&oOut, 1, RemainingMs());
      if (nReady < 0 && errno == EINTR) {
        continue;
      }
      if (nReady <= 0) {
        break; // the bound has passed (or poll failed): give up with what went out
      }
      if ((oOut.revents & POLLOUT) == 0 && (oOut.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        lGone = true;
        break;
      }
      continue;
    }
    lGone = true;
    break; // EIO, ENXIO, EPIPE: the device has gone; report what was written
  }
  if (nDone == 0 || lGone) {
    return static_cast<long>(nDone);
  }
  // Returns once the bytes have left the line, so a pause after the write is measured from
  // the end of the transmission. The driver's queue is watched until it is empty (within the
  // bound: a stalled line never empties it); tcdrain then waits for the last characters in
  // the hardware, which the driver bounds itself.
  const detail::OutputQueueCalls& oQueue = detail::g_oOutputQueue;
  for (int nQueued = oQueue.bQueued(nFd); nQueued > 0; nQueued = oQueue.bQueued(nFd)) {
    if (Clock::now() >= tGiveUp) {
      oQueue.bPurge(nFd); // given up: nothing stale goes out later
      return static_cast<long>(nDone -
                               std::min<std::size_t>(nDone, static_cast<std::size_t>(nQueued)));
    }
    const auto tWire =
        WireTime(nFd, static_cast<std::size_t>(nQueued)).value_or(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::clamp<std::chrono::nanoseconds>(
        tWire, std::chrono::microseconds(50), std::chrono::milliseconds(20)));
  }
  int nDrain = 0;
  while ((nDrain = oQueue.bDrain(nFd)) != 0 && errno == EINTR) {
  }
  if (nDrain != 0) {
    // The device went while its last characters were on their way (EIO after an unplug):
    // whether they left cannot be known, so they are not counted as sent.
    const int nQueued = std::max(oQueue.bQueued(nFd), 1);
    return static_cast<long>(nDone -
                             std::min<std::size_t>(nDone, static_cast<std::size_t>(nQueued)));
  }
  return static_cast<long>(nDone);
}

namespace detail {

bool ConfigureLine(CommDevice& oDevice, const LineSettings& oSettings) {
  const int nFd = oDevice.oFd.Get();
  termios oTio{};
  if (::tcgetattr(nFd, &oTio) != 0) {
    return false;
  }
  ApplyLineSettings(oSettings, oTio);
  const auto oSpeed = StandardSpeed(oSettings.nBaudRate);
  if (oSpeed) {
    ::cfsetspeed(&oTio, *oSpeed);
  }
  if (!SetLine(nFd, oTio) || (!oSpeed && !SetAnyBaudRate(nFd, oSettings.nBaudRate))) {
    return false;
  }
  // tcsetattr succeeds when any part was applied; a driver (a pty, say) may quietly keep its
  // own size or parity, so only a read-back tells.
  termios oBack{};
  return ::tcgetattr(nFd, &oBack) == 0 && LineFormatBits(oBack) == LineFormatBits(oTio) &&
         ReadBaudRate(nFd) == oSettings.nBaudRate;
}

std::optional<double> WorkerCpuTime(CommDevice& oDevice) {
  clockid_t nClock{};
  timespec oTime{};
  if (::pthread_getcpuclockid(oDevice.oWorker.native_handle(), &nClock) != 0 ||
      ::clock_gettime(nClock, &oTime) != 0) {
    return std::nullopt;
  }
  return static_cast<double>(oTime.tv_sec) + static_cast<double>(oTime.tv_nsec) * 1e-9;
}

} // namespace detail

} // namespace veltra::serial
