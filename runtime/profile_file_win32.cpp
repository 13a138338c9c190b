// Settings files on Windows: names are handed to the file calls as they are; the file is read
// with shared access and replaced by writing a temporary file beside it and moving it over the
// old one with MoveFileExA (replace existing, write through). A read-only file is left alone.
// New files get CR LF line ends.
#include <windows.h>

#include "common/unique_handle_win32.h"
#include "runtime/profile.h"
#include "runtime/profile_file.h"

#include <algorithm>

namespace veltra::runtime::detail {
namespace {

using common::UniqueHandle;

// The folder part of a path, "." when it has none.
std::string FolderOf(const std::string& cPath) {
  const std::size_t nSep = cPath.find_last_of("\\/:");
  if (nSep == std::string::npos) {
    return ".";
  }
  return cPath.substr(0, cPath[nSep] == ':' ? nSep + 1 : nSep);
}

} // namespace

const char* const NEWFILELINEEND = "\r\n";

std::string PROFILEPATH(std::string_view cFile) {
  return std::string(cFile);
}

std::string PROFILEFULLPATH(std::string_view cFile) {
  const std::string cName(cFile);
  std::string cFull(MAX_PATH, '\0');
  DWORD n =
      ::GetFullPathNameA(cName.c_str(), static_cast<DWORD>(cFull.size()), cFull.data(), nullptr);
  if (n >= cFull.size()) {
    cFull.resize(n);
    n = ::GetFullPathNameA(cName.c_str(), n, cFull.data(), nullptr);
  }
  if (n == 0 || n >= cFull.size()) {
    return cName;
  }
  cFull.resize(n);
  return cFull;
}

FileRead READPROFILEFILE(const std::string& cPath, std::string& cData) {
  const UniqueHandle oFile(::CreateFileA(cPath.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!oFile.Valid()) {
    const DWORD nError = ::GetLastError();
    return nError == ERROR_FILE_NOT_FOUND || nError == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                            : FileRead::Failed;
  }
  LARGE_INTEGER nSize{};
  if (::GetFileSizeEx(oFile.Get(), &nSize) &&
      static_cast<std::uint64_t>(nSize.QuadPart) > kProfileSizeLimit) {
    return FileRead::TooLarge;
  }
  cData.clear();
  char aBuf[4096];
  for (;;) {
    DWORD nRead = 0;
    if (!::ReadFile(oFile.Get(), aBuf, sizeof aBuf, &nRead, nullptr)) {
      return FileRead::Failed;
    }
    if (nRead == 0) {
      return FileRead::Read;
    }
    cData.append(aBuf, nRead);
  }
}

std::optional<ProfileTarget> PROFILETARGET(std::string_view cFile) {
  ProfileTarget oTarget{std::string(cFile), false, {}};
  const FileRead eRead = READPROFILEFILE(oTarget.cPath, oTarget.cOld);
  if (eRead == FileRead::Failed || eRead == FileRead::TooLarge) {
    return std::nullopt;
  }
  oTarget.lExists = eRead == FileRead::Read;
  const DWORD nAttributes = ::GetFileAttributesA(oTarget.cPath.c_str());
  if (oTarget.lExists && nAttributes != INVALID_FILE_ATTRIBUTES &&
      (nAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return std::nullopt; // a read-only file is left alone
  }
  return oTarget;
}

bool STOREPROFILE(const ProfileTarget& oTarget, const std::string& cNew) {
  const std::string& cPath = oTarget.cPath;
  const std::string& cData = cNew;
  char aTemp[MAX_PATH] = {};
  if (::GetTempFileNameA(FolderOf(cPath).c_str(), "VEL", 0, aTemp) == 0) {
    return false;
  }
  UniqueHandle oFile(::CreateFileA(aTemp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  bool lOk = oFile.Valid();
  std::size_t nDone = 0;
  while (lOk && nDone < cData.size()) {
    DWORD nWritten = 0;
    const DWORD nChunk = static_cast<DWORD>(std::min<std::size_t>(cData.size() - nDone, 1 << 20));
    lOk = ::WriteFile(oFile.Get(), cData.data() + nDone, nChunk, &nWritten, nullptr) != FALSE &&
          nWritten > 0;
    nDone += nWritten;
  }
  lOk = lOk && ::FlushFileBuffers(oFile.Get()) != FALSE;
  lOk = oFile.Close() && lOk;
  lOk = lOk && ::MoveFileExA(aTemp, cPath.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!lOk) {
    ::DeleteFileA(aTemp);
  }
  return lOk;
}

} // namespace veltra::runtime::detail
