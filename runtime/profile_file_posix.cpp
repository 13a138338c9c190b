// Settings files on Linux: backslashes in names are folder separators, the file is read with
// read(2) and replaced through mkstemp, fsync and rename, keeping its permission bits.
#include "runtime/profile_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltra::runtime::detail {

const char* const NEWFILELINEEND = "\n";

std::string PROFILEPATH(std::string_view cFile) {
  std::string c(cFile);
  std::replace(c.begin(), c.end(), '\\', '/');
  return c;
}

FileRead READPROFILEFILE(const std::string& cPath, std::string& cData) {
  const int fd = ::open(cPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
  }
  cData.clear();
  char aBuf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, aBuf, sizeof aBuf);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      ::close(fd);
      return FileRead::Failed;
    }
    if (n == 0) {
      break;
    }
    cData.append(aBuf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return FileRead::Read;
}

bool REPLACEPROFILEFILE(const std::string& cPath, const std::string& cData) {
  std::string cTemp = cPath + ".XXXXXX";
  const int fd = ::mkstemp(cTemp.data());
  if (fd < 0) {
    return false;
  }
  struct stat st {};
  if (::stat(cPath.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
  } else {
    const mode_t nMask = ::umask(0);
    ::umask(nMask);
    ::fchmod(fd, 0666 & ~nMask);
  }
  std::size_t nDone = 0;
  bool lOk = true;
  while (nDone < cData.size()) {
    const ssize_t n = ::write(fd, cData.data() + nDone, cData.size() - nDone);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      lOk = false;
      break;
    }
    nDone += static_cast<std::size_t>(n);
  }
  lOk = lOk && ::fsync(fd) == 0;
  lOk = (::close(fd) == 0) && lOk;
  lOk = lOk && ::rename(cTemp.c_str(), cPath.c_str()) == 0;
  if (!lOk) {
    ::unlink(cTemp.c_str());
  }
  return lOk;
}

} // namespace veltra::runtime::detail
