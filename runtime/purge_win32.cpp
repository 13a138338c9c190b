// The purges' listing and deletion, DELDIR and REMOVEDIR, on Windows, with
// FindFirstFileA and DeleteFileA. A reparse point (a junction or symbolic link) is never
// followed: a link planted in the shared TEMP folder cannot steer a purge into another folder.
#include <windows.h>

#include "runtime/purge.h"
#include "runtime/purge_names.h"
#include "runtime/startup.h"

#include <string>
#include <vector>

namespace veltra::runtime {
namespace {

struct Entry {
  std::string cName;
  DWORD nAttributes;
};

// The entries matching cPattern, in listing order, without "." and "..".
std::vector<Entry> LIST(const std::string& cPattern) {
  std::vector<Entry> aEntries;
  WIN32_FIND_DATAA oFound{};
  const HANDLE hFind = ::FindFirstFileA(cPattern.c_str(), &oFound);
  if (hFind == INVALID_HANDLE_VALUE) {
    return aEntries;
  }
  do {
    const std::string cName = oFound.cFileName;
    if (cName != "." && cName != "..") {
      aEntries.push_back({cName, oFound.dwFileAttributes});
    }
  } while (::FindNextFileA(hFind, &oFound));
  ::FindClose(hFind);
  return aEntries;
}

bool IS(DWORD nAttributes, DWORD nWhich) {
  return (nAttributes & nWhich) != 0;
}

// "dir" + "\" + name, without doubling a separator the folder already ends with.
std::string JOIN(const std::string& cFolder, const std::string& cName) {
  if (cFolder.empty() || cFolder.back() == '\\' || cFolder.back() == '/' || cFolder.back() == ':') {
    return cFolder + cName;
  }
  return cFolder + "\\" + cName;
}

} // namespace

namespace detail {

// An ordinary listing shows neither hidden nor system files; folders and reparse points are
// not files to delete.
void DELETEPLAINFILES(const std::string& cFolder, bool (*lMatches)(std::string_view cName)) {
  constexpr DWORD kSkip = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                          FILE_ATTRIBUTE_REPARSE_POINT;
  for (const Entry& oEntry : LIST(JOIN(cFolder, std::string(1, LEFTOVER_MARK) + "*.*"))) {
    if (lMatches(oEntry.cName) && !IS(oEntry.nAttributes, kSkip)) {
      ::DeleteFileA(JOIN(cFolder, oEntry.cName).c_str());
    }
  }
}

// In listing order; reparse points (junctions, links) are left out.
std::vector<std::string> LEFTOVERENTRIES(const std::string& cFolder) {
  std::vector<std::string> aNames;
  for (const Entry& oEntry : LIST(cFolder + LEFTOVER_MARK + "*.*")) {
    if (ISLEFTOVER(oEntry.cName) && !IS(oEntry.nAttributes, FILE_ATTRIBUTE_REPARSE_POINT)) {
      aNames.push_back(oEntry.cName);
    }
  }
  return aNames;
}

} // namespace detail

std::string TEMPPURGEFOLDER(std::optional<std::string_view> cTemp) {
  return std::string(cTemp.value_or("")) + "\\";
}

void DELDIR(const std::string& cPath) {
  const DWORD nAttributes = ::GetFileAttributesA(cPath.c_str());
  if (nAttributes == INVALID_FILE_ATTRIBUTES || IS(nAttributes, FILE_ATTRIBUTE_REPARSE_POINT) ||
      !IS(nAttributes, FILE_ATTRIBUTE_DIRECTORY)) {
    return;
  }
  for (const Entry& oEntry : LIST(JOIN(cPath, "*.*"))) {
    if (!IS(oEntry.nAttributes, FILE_ATTRIBUTE_DIRECTORY) &&
        !::DeleteFileA(JOIN(cPath, oEntry.cName).c_str())) {
      return;
    }
  }
}

bool REMOVEDIR(const std::string& cPath) {
  return ::RemoveDirectoryA(cPath.c_str()) != FALSE;
}

} // namespace veltra::runtime
