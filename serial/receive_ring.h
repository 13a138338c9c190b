// The receive ring of a port: 2048 bytes between the port's receive worker (the only producer)
// and READCOMM (the only consumer). No lock: each side writes only its own position.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <limits>

namespace veltra::serial {

class ReceiveRing {
public:
  static constexpr int kSize = 2048;
  // One slot stays free so that a full ring can be told apart from an empty one.
  static constexpr int kCapacity = kSize - 1;
  // Both positions are 16-bit and always hold a slot index, already wrapped.
  static_assert(kSize - 1 <= std::numeric_limits<std::int16_t>::max(),
                "every slot index fits a 16-bit position");

  // Unread bytes. Exact on either side for the bytes that side has seen published.
  int Used() const {
    const int nWrite = m_nWrite.load(std::memory_order_acquire);
    const int nRead = m_nRead.load(std::memory_order_seq_cst);
    return (nWrite - nRead + kSize) % kSize;
  }

  // Room for the producer; the worker never stores more than this.
  int Free() const { return kCapacity - Used(); }

  // Producer: stores the bytes, then publishes the new write position already wrapped, so the
  // reader never sees a position outside 0..2047 nor a byte that is not yet stored.
  // nCount must not exceed Free().
  void Append(const char* pBytes, int nCount) {
    assert(nCount >= 0 && nCount <= Free());
    assert(pBytes != nullptr || nCount == 0);
    const int nWrite = m_nWrite.load(std::memory_order_relaxed);
    const int nFirst = std::min(nCount, kSize - nWrite);
    std::memcpy(m_aBytes.data() + nWrite, pBytes, static_cast<std::size_t>(nFirst));
    std::memcpy(m_aBytes.data(), pBytes + nFirst, static_cast<std::size_t>(nCount - nFirst));
    m_nWrite.store(static_cast<std::int16_t>((nWrite + nCount) % kSize), std::memory_order_release);
  }

  // Consumer: copies up to nMax unread bytes into pOut, in order. The write position is read
  // again after each copy, so bytes published meanwhile are taken in the same call.
  int Take(char* pOut, int nMax) {
    assert(nMax >= 0);
    assert(pOut != nullptr || nMax == 0);
    int nRead = m_nRead.load(std::memory_order_relaxed);
    int nDone = 0;
    while (nDone < nMax) {
      const int nWrite = m_nWrite.load(std::memory_order_acquire);
      if (nWrite == nRead) {
        break;
      }
      // Up to the write position, or up to the end of the array when the unread bytes wrap.
      const int nRun = std::min(nMax - nDone, (nWrite > nRead ? nWrite : kSize) - nRead);
      std::memcpy(pOut + nDone, m_aBytes.data() + nRead, static_cast<std::size_t>(nRun));
      nDone += nRun;
      nRead = (nRead + nRun) % kSize;
    }
    // Sequentially consistent, not just release: a worker waiting for room sets its flag and
    // then reads this position, and READCOMM stores this position and then reads the flag;
    // with both orders total, at least one side sees the other.
    m_nRead.store(static_cast<std::int16_t>(nRead), std::memory_order_seq_cst);
    return nDone;
  }

private:
  std::array<char, kSize> m_aBytes{};
  std::atomic<std::int16_t> m_nWrite{0};
  std::atomic<std::int16_t> m_nRead{0};
};

} // namespace veltra::serial
