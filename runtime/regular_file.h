// Opening a file for reading only when it is a plain file. A FIFO or a device named where a
// file is expected is never opened: opening or reading either can block for ever, and opening
// a device can change its line state. The runtime's own reads use it, and so does veltra-send,
// to say why an image cannot be read before it reads it whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veltra::runtime {

// An open read-only descriptor, closed when the object goes.
class ReadFd {
public:
  explicit ReadFd(int fd) : m_fd(fd) {}
  ~ReadFd();
  ReadFd(ReadFd&& o) noexcept : m_fd(o.m_fd) { o.m_fd = -1; }
  ReadFd& operator=(ReadFd&&) = delete;
  ReadFd(const ReadFd&) = delete;
  ReadFd& operator=(const ReadFd&) = delete;
  int Get() const { return m_fd; }

private:
  int m_fd;
};

struct RegularFile {
  ReadFd oFd;
  std::uint64_t nSize;
};

// The plain file at cPath (symbolic links followed), open for reading, and its size. No value
// when it cannot be opened (errno says why: ENOENT when it does not exist, EINVAL when it is
// not a plain file).
std::optional<RegularFile> OPENREGULAR(const std::string& cPath);

// Everything the file holds from its start; no value on a read error.
std::optional<std::string> READREGULAR(const RegularFile& oFile);

} // namespace veltra::runtime
