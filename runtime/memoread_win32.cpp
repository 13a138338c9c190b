// Whole-file read on Windows: CreateFileA with shared read and write, the size from
// GetFileSizeEx (64 bits; files of 4 GiB - 1 or more are refused), then ReadFile until the
// file is in. The name is opened as given:
// Windows names ignore case, so upper-casing it would open the same file.
#include <windows.h>

#include "common/unique_handle_win32.h"
#include "runtime/error_handler.h"
#include "runtime/profile.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace veltra::runtime {
std::string ReadWholeFile(std::optional<std::string_view> cFile) {
  if (!cFile || cFile->empty()) {
    return {};
  }
  const std::string cPath(*cFile);
  const HANDLE h = ::CreateFileA(cPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return {};
  }
  const common::UniqueHandle oCloser(h);
  LARGE_INTEGER nSize{};
  if (!::GetFileSizeEx(h, &nSize) || nSize.QuadPart <= 0 ||
      static_cast<std::uint64_t>(nSize.QuadPart) >= kMemoReadLimit ||
      ::GetFileType(h) != FILE_TYPE_DISK) {
    return {};
  }
  std::string cData;
  try {
    cData.resize(static_cast<std::size_t>(nSize.QuadPart));
  } catch (const std::bad_alloc&) {
    INTERNALERROR(9006); // the image does not fit in memory: the program cannot go on
  } catch (const std::length_error&) {
    INTERNALERROR(9006);
  }
  std::size_t nRead = 0;
  while (nRead < cData.size()) {
    const DWORD nWant = static_cast<DWORD>(std::min<std::size_t>(cData.size() - nRead, 1 << 24));
    DWORD nGot = 0;
    if (!::ReadFile(h, cData.data() + nRead, nWant, &nGot, nullptr)) {
      return {};
    }
    if (nGot == 0) {
      break; // the file shrank since it was measured: keep what was really there
    }
    nRead += nGot;
  }
  cData.resize(nRead);
  return cData;
}

} // namespace veltra::runtime
