// Plain files only: the type is checked by name before opening, and again on the descriptor,
// so a name swapped for a FIFO in between is still refused.
#include "runtime/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace veltra::runtime {

ReadFd::~ReadFd() {
  if (m_fd >= 0) {
    ::close(m_fd);
  }
}

std::optional<RegularFile> OPENREGULAR(const std::string& cPath) {
  struct stat st {};
  if (::stat(cPath.c_str(), &st) != 0) {
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return std::nullopt;
  }
  // O_NONBLOCK: should the name have become a FIFO since the check, the open does not wait
  // for a writer.
  ReadFd oFd(::open(cPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (oFd.Get() < 0) {
    return std::nullopt;
  }
  if (::fstat(oFd.Get(), &st) != 0) {
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return std::nullopt;
  }
  return RegularFile{std::move(oFd), static_cast<std::uint64_t>(st.st_size)};
}

std::optional<std::string> READREGULAR(const RegularFile& oFile) {
  std::string cData;
  char aBuf[65536];
  for (;;) {
    const ssize_t n = ::pread(oFile.oFd.Get(), aBuf, sizeof aBuf, static_cast<off_t>(cData.size()));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return std::nullopt;
    }
    if (n == 0) {
      break;
    }
    cData.append(aBuf, static_cast<std::size_t>(n));
  }
  return cData;
}

} // namespace veltra::runtime
