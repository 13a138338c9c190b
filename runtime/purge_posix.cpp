// The purges' listing and deletion, DELDIR and REMOVEDIR, on POSIX. Entries are listed
// and deleted relative to an open folder, and nothing is followed through a symbolic link, so
// a link planted in a shared temporary folder cannot steer a purge into another folder.
#include "common/unique_fd.h"
#include "runtime/purge.h"
#include "runtime/purge_names.h"
#include "runtime/startup.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltra::runtime {

namespace {

using common::UniqueFd;

struct Entry {
  std::string cName;
  mode_t nMode;
};

// The entries of an open folder but "." and "..", in name order, with their own types (links
// not followed).
std::vector<Entry> LISTFOLDER(int nDirFd) {
  std::vector<Entry> aEntries;
  const int nDup = ::fcntl(nDirFd, F_DUPFD_CLOEXEC, 0);
  if (nDup < 0) {
    return aEntries;
  }
  DIR* pDir = ::fdopendir(nDup);
  if (pDir == nullptr) {
    ::close(nDup);
    return aEntries;
  }
  ::rewinddir(pDir);
  while (const dirent* pEnt = ::readdir(pDir)) {
    const std::string cName = pEnt->d_name;
    if (cName == "." || cName == "..") {
      continue;
    }
    struct stat oStat {};
    if (::fstatat(nDirFd, cName.c_str(), &oStat, AT_SYMLINK_NOFOLLOW) == 0) {
      aEntries.push_back({cName, oStat.st_mode});
    }
  }
  ::closedir(pDir);
  std::sort(aEntries.begin(), aEntries.end(),
            [](const Entry& a, const Entry& b) { return a.cName < b.cName; });
  return aEntries;
}

// No write permission for anyone stands for the read-only attribute.
bool ISREADONLY(mode_t nMode) {
  return S_ISREG(nMode) && (nMode & 0222) == 0;
}

// Deletes one entry that is not a folder; false when it stays.
bool DELETEIN(int nDirFd, const Entry& oEntry) {
  if (ISREADONLY(oEntry.nMode)) {
    return false;
  }
  return ::unlinkat(nDirFd, oEntry.cName.c_str(), 0) == 0;
}

int OPENFOLDER(const std::string& cPath, bool lFollow) {
  return ::open(cPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (lFollow ? 0 : O_NOFOLLOW));
}

} // namespace

namespace detail {

// Linux has no hidden or system attribute; the nearest, a name beginning with ".", can never
// begin with 0x7F, so every plain file so named is listed.
void DELETEPLAINFILES(const std::string& cFolder, bool (*lMatches)(std::string_view cName)) {
  const UniqueFd oDir(OPENFOLDER(cFolder, true));
  if (oDir.Get() < 0) {
    return;
  }
  for (const Entry& oEntry : LISTFOLDER(oDir.Get())) {
    if (lMatches(oEntry.cName) && S_ISREG(oEntry.nMode)) {
      DELETEIN(oDir.Get(), oEntry);
    }
  }
}

// In name order, links included: DELDIR and REMOVEDIR follow none.
std::vector<std::string> LEFTOVERENTRIES(const std::string& cFolder) {
  std::vector<std::string> aNames;
  const UniqueFd oDir(OPENFOLDER(cFolder, true));
  if (oDir.Get() < 0) {
    return aNames;
  }
  for (const Entry& oEntry : LISTFOLDER(oDir.Get())) {
    if (ISLEFTOVER(oEntry.cName)) {
      aNames.push_back(oEntry.cName);
    }
  }
  return aNames;
}

} // namespace detail

std::string TEMPPURGEFOLDER(std::optional<std::string_view> cTemp) {
  return std::string(cTemp.value_or("")) + "/";
}

void DELDIR(const std::string& cPath) {
  const UniqueFd oDir(OPENFOLDER(cPath, false));
  if (oDir.Get() < 0) {
    return;
  }
  for (const Entry& oEntry : LISTFOLDER(oDir.Get())) {
    if (!S_ISDIR(oEntry.nMode) && !DELETEIN(oDir.Get(), oEntry)) {
      return;
    }
  }
}

bool REMOVEDIR(const std::string& cPath) {
  return ::rmdir(cPath.c_str()) == 0;
}

} // namespace veltra::runtime
