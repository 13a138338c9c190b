// Whole-file read. Opens exactly the name given (Linux names are case-sensitive, so the
// name is never re-cased), measures the file with 64-bit sizes and reads it in full.
#include "runtime/error_handler.h"
#include "runtime/profile.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace veltra::runtime {
namespace {

class FileCloser {
public:
  explicit FileCloser(int fd) : m_fd(fd) {}
  ~FileCloser() { ::close(m_fd); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

private:
  int m_fd;
};

} // namespace

std::string MEMOREAD(std::optional<std::string_view> cFile) {
  if (!cFile || cFile->empty()) {
    return {};
  }
  const std::string cPath(*cFile);
  const int fd = ::open(cPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return {};
  }
  const FileCloser oCloser(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
    return {};
  }
  const auto nSize = static_cast<std::size_t>(st.st_size);
  std::string cData;
  try {
    cData.resize(nSize);
  } catch (const std::bad_alloc&) {
    INTERNALERROR(9006); // the image does not fit in memory: the program cannot go on
  } catch (const std::length_error&) {
    INTERNALERROR(9006);
  }
  std::size_t nRead = 0;
  while (nRead < nSize) {
    const ssize_t n = ::read(fd, cData.data() + nRead, nSize - nRead);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return {};
    }
    if (n == 0) {
      break; // the file shrank since it was measured: keep what was really there
    }
    nRead += static_cast<std::size_t>(n);
  }
  cData.resize(nRead);
  if (!cData.empty() && cData.back() == '\x1A') {
    cData.pop_back();
  }
  return cData;
}

} // namespace veltra::runtime
