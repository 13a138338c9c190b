// Owns one POSIX file descriptor and closes it on destruction.
#pragma once

#include <unistd.h>
#include <utility>

namespace veltra::common {

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
    Close();
    m_nFd = nFd;
  }
  // Closes now; false when the close itself failed (a write-back error shows only there).
  bool Close() {
    const int nFd = std::exchange(m_nFd, -1);
    return nFd < 0 || ::close(nFd) == 0;
  }

private:
  int m_nFd = -1;
};

} // namespace veltra::common
