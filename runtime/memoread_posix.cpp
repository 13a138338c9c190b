// Whole-file read. Opens exactly the name given (Linux names are case-sensitive, so the
// name is never re-cased), only when it names a plain file, and reads it in full.
#include "runtime/error_handler.h"
#include "runtime/profile.h"
#include "runtime/regular_file.h"

#include <cerrno>
#include <new>
#include <stdexcept>
#include <unistd.h>

namespace veltra::runtime {

std::string ReadWholeFile(std::optional<std::string_view> cFile) {
  if (!cFile || cFile->empty()) {
    return {};
  }
  const auto oFile = OPENREGULAR(std::string(*cFile));
  if (!oFile || oFile->nSize == 0 || oFile->nSize >= kMemoReadLimit) {
    return {};
  }
  const auto nSize = static_cast<std::size_t>(oFile->nSize);
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
    const ssize_t n = ::read(oFile->oFd.Get(), cData.data() + nRead, nSize - nRead);
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
  return cData;
}

} // namespace veltra::runtime
