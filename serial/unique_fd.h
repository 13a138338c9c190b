// Owns one POSIX file descriptor and closes it on destruction.
#pragma once

#include <unistd.h>
#include <utility>

namespace veltra::serial::detail {

class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int nFd) : m_nFd(nFd) {}
  UniqueFd(UniqueFd&& oOther) noexcept : m_nFd(std::exchange(oOther.m_nFd, -1)) {}
  UniqueFd& operator=(UniqueFd&& oOther) noexcept {
    if (this != &oOther) {
      Reset(std::exchange(oOther.m_nFd, -1));
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return m_nFd; }
  bool Valid() const { return m_nFd >= 0; }
  void Reset(int nFd = -1) {
    if (m_nFd >= 0) {
      ::close(m_nFd);
    }
    m_nFd = nFd;
  }

private:
  int m_nFd = -1;
};

} // namespace veltra::serial::detail
