// Reading the PC's bytes, paced or as fast as they come.
#include "tools/device/line_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace veltra::tools {
namespace {

using Seconds = std::chrono::duration<double>;

} // namespace

LineReader::LineReader(int nFd, std::optional<LineFormat> oPace)
    : m_nFd(nFd), m_dChar(oPace ? oPace->CharSeconds() : 0.0) {}

LineReader::Status LineReader::Next(Clock::time_point tDeadline, Byte& oOut) {
  if (m_nNext == m_aBuffer.size()) {
    const Status eStatus = Fill(tDeadline);
    if (eStatus != Status::Ok) {
      return eStatus;
    }
  }
  oOut = m_aBuffer[m_nNext++];
  return Status::Ok;
}

Clock::duration LineReader::CharTime() const {
  return std::chrono::duration_cast<Clock::duration>(Seconds(m_dChar));
}

LineReader::Status LineReader::Fill(Clock::time_point tDeadline) {
  // The line is still busy delivering the previous chunk.
  std::this_thread::sleep_until(m_tLineFree);
  for (;;) {
    const auto tNow = Clock::now();
    if (tNow >= tDeadline) {
      return Status::Timeout;
    }
    pollfd oIn{m_nFd, POLLIN, 0};
    const int nWaitMs = static_cast<int>(
        std::ceil(std::chrono::duration<double, std::milli>(tDeadline - tNow).count()));
    const int nReady = ::poll(&oIn, 1, std::max(nWaitMs, 1));
    if (nReady < 0 && errno != EINTR) {
      return Status::Gone;
    }
    if (nReady <= 0) {
      continue;
    }
    const auto tArrived = Clock::now();
    // Bytes that were already queued when the line became free follow the previous ones
    // without a break: the time this program took to wake up is not line time, and must
    // not add up over the thousands of reads of a transfer.
    const auto tStart = m_lMoreQueued ? m_tLineFree : std::max(tArrived, m_tLineFree);
    // When pacing, as many bytes as the line delivers up to a millisecond from now, so the
    // driver's queue drains at the line's speed.
    std::array<unsigned char, 4096> aRaw{};
    std::size_t nWant = aRaw.size();
    if (m_dChar > 0) {
      const double dLineS = Seconds(tArrived - tStart).count() + 0.001;
      nWant = std::clamp<std::size_t>(static_cast<std::size_t>(dLineS / m_dChar), 1, aRaw.size());
    }
    const ssize_t nRead = ::read(m_nFd, aRaw.data(), nWant);
    if (nRead < 0 && (errno == EAGAIN || errno == EINTR)) {
      continue;
    }
    if (nRead <= 0) {
      return Status::Gone;
    }
    int nQueued = 0;
    m_lMoreQueued = m_dChar > 0 && ::ioctl(m_nFd, FIONREAD, &nQueued) == 0 && nQueued > 0;
    m_aBuffer.clear();
    m_nNext = 0;
    auto tEnd = tStart;
    for (ssize_t i = 0; i < nRead; ++i) {
      if (m_dChar > 0) {
        tEnd += CharTime();
      }
      m_aBuffer.push_back({aRaw[static_cast<std::size_t>(i)], tEnd});
    }
    m_tLineFree = tEnd;
    return Status::Ok;
  }
}

} // namespace veltra::tools
