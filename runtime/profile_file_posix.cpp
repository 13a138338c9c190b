// Settings files on Linux: backslashes in names are folder separators, symbolic links are
// followed by the kernel (so its rules hold, such as the refusal to follow another user's link
// in a world-writable sticky folder), only plain files are read, and a new content is written
// beside the file and renamed over it (keeping owner and mode), or written in place where a
// new file would part it from its other hard links, with a whole copy beside it meanwhile.
#include "common/unique_fd.h"
#include "runtime/profile.h"
#include "runtime/profile_file.h"
#include "runtime/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace veltra::runtime::detail {
namespace {

std::string NativePath(std::string_view cFile) {
  std::string c(cFile);
  std::replace(c.begin(), c.end(), '\\', '/');
  return c;
}

// Where the open file fd really is, as the kernel resolved the name cPath: cPath itself
// unless it is a symbolic link.
std::optional<std::string> OpenedPath(int fd, const std::string& cPath) {
  struct stat st {};
  if (::lstat(cPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    return cPath;
  }
  std::string cTarget(PATH_MAX, '\0');
  const std::string cLink = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(cLink.c_str(), cTarget.data(), cTarget.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= cTarget.size() || cTarget.front() != '/') {
    return std::nullopt;
  }
  cTarget.resize(static_cast<std::size_t>(n));
  return cTarget;
}

bool WriteAll(int fd, const std::string& cData) {
  std::size_t nDone = 0;
  while (nDone < cData.size()) {
    const ssize_t n =
        ::pwrite(fd, cData.data() + nDone, cData.size() - nDone, static_cast<off_t>(nDone));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    nDone += static_cast<std::size_t>(n);
  }
  return true;
}

enum class Replaced { Done, Failed, NotPossible };

// Writes cData beside cPath and renames it over cPath. pOld is the file replaced, whose mode,
// owner and group the new one takes, or null for a new file. NotPossible (nothing changed)
// when no file can be made in the folder or it cannot be given the old owner.
Replaced ReplaceFile(const std::string& cPath, const std::string& cData, const struct stat* pOld) {
  std::string cTemp = cPath + ".XXXXXX";
  const int fd = ::mkstemp(cTemp.data());
  if (fd < 0) {
    return Replaced::NotPossible;
  }
  bool lOk = true;
  if (pOld != nullptr) {
    if (::fchown(fd, pOld->st_uid, pOld->st_gid) != 0) {
      ::close(fd);
      ::unlink(cTemp.c_str());
      return Replaced::NotPossible;
    }
    lOk = ::fchmod(fd, pOld->st_mode & 07777) == 0;
  } else {
    const mode_t nMask = ::umask(0);
    ::umask(nMask);
    lOk = ::fchmod(fd, 0666 & ~nMask) == 0;
  }
  lOk = lOk && WriteAll(fd, cData) && ::fsync(fd) == 0;
  lOk = (::close(fd) == 0) && lOk;
  lOk = lOk && ::rename(cTemp.c_str(), cPath.c_str()) == 0;
  if (!lOk) {
    ::unlink(cTemp.c_str());
  }
  return lOk ? Replaced::Done : Replaced::Failed;
}

// A whole copy of cData beside cPath, kept until the file itself holds it; its name, or
// nothing when the folder takes no new file.
std::optional<std::string> SafetyCopy(const std::string& cPath, const std::string& cData) {
  std::string cCopy = cPath + ".XXXXXX";
  const int fd = ::mkstemp(cCopy.data());
  if (fd < 0) {
    return std::nullopt;
  }
  bool lOk = WriteAll(fd, cData) && ::fsync(fd) == 0;
  lOk = (::close(fd) == 0) && lOk;
  if (!lOk) {
    ::unlink(cCopy.c_str());
    return std::nullopt;
  }
  return cCopy;
}

bool Overwrite(int fd, const std::string& cData) {
  return WriteAll(fd, cData) && ::ftruncate(fd, static_cast<off_t>(cData.size())) == 0 &&
         ::fsync(fd) == 0;
}

// Writes cData over the file itself. Its new size is reserved first, so a full disk is found
// before any old byte is overwritten; the new contents are first saved whole beside it, so
// that a rewrite cut short (power lost, the process killed) does not lose them. A rewrite that
// fails puts cOld back.
bool RewriteInPlace(const std::string& cPath, const std::string& cData, const std::string& cOld) {
  const int fd = ::open(cPath.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    return false;
  }
  const common::UniqueFd oCloser(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    return false;
  }
  if (!cData.empty() && ::posix_fallocate(fd, 0, static_cast<off_t>(cData.size())) != 0) {
    return false;
  }
  const auto cCopy = SafetyCopy(cPath, cData);
  const bool lDone = Overwrite(fd, cData);
  if (lDone || Overwrite(fd, cOld)) {
    if (cCopy) {
      ::unlink(cCopy->c_str()); // the file holds whole contents again: the copy is not needed
    }
  }
  return lDone;
}

// A file is rewritten only when this process may write it and it is not read-only: a file
// with no write bit at all is left alone even by the superuser, whom the access check never
// refuses.
bool MayWrite(const std::string& cPath, const struct stat& st) {
  return (st.st_mode & 0222) != 0 && ::faccessat(AT_FDCWD, cPath.c_str(), W_OK, AT_EACCESS) == 0;
}

} // namespace

const char* const NEWFILELINEEND = "\n";

std::string PROFILEPATH(std::string_view cFile) {
  return NativePath(cFile);
}

std::string PROFILEFULLPATH(std::string_view cFile) {
  std::error_code e;
  const std::filesystem::path oFull = std::filesystem::absolute(NativePath(cFile), e);
  return e ? NativePath(cFile) : oFull.lexically_normal().string();
}

FileRead READPROFILEFILE(const std::string& cPath, std::string& cData) {
  const auto oFile = OPENREGULAR(cPath);
  if (!oFile) {
    return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
  }
  if (oFile->nSize > kProfileSizeLimit) {
    errno = EFBIG;
    return FileRead::TooLarge;
  }
  auto cRead = READREGULAR(*oFile);
  if (!cRead) {
    return FileRead::Failed;
  }
  cData = std::move(*cRead);
  return FileRead::Read;
}

std::optional<ProfileTarget> PROFILETARGET(std::string_view cFile) {
  const std::string cPath = NativePath(cFile);
  const auto oFile = OPENREGULAR(cPath);
  if (!oFile) {
    // A missing file, or a link to one not there yet: STOREPROFILE creates it.
    return errno == ENOENT ? std::optional(ProfileTarget{cPath, false, {}}) : std::nullopt;
  }
  if (oFile->nSize > kProfileSizeLimit) {
    return std::nullopt; // no settings file: never replaced by one
  }
  const auto cResolved = OpenedPath(oFile->oFd.Get(), cPath);
  const auto cData = READREGULAR(*oFile);
  struct stat st {};
  if (!cResolved || !cData || ::fstat(oFile->oFd.Get(), &st) != 0 || !MayWrite(*cResolved, st)) {
    return std::nullopt;
  }
  return ProfileTarget{*cResolved, true, *cData};
}

bool STOREPROFILE(const ProfileTarget& oTarget, const std::string& cNew) {
  if (!oTarget.lExists) {
    struct stat stLink {};
    if (::lstat(oTarget.cPath.c_str(), &stLink) != 0 || !S_ISLNK(stLink.st_mode)) {
      return ReplaceFile(oTarget.cPath, cNew, nullptr) == Replaced::Done;
    }
    // A link to a file not there yet: the kernel creates the file through the link, by its
    // own rules, and the contents then replace that empty file in one step.
    const int fd =
        ::open(oTarget.cPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
      return false;
    }
    const common::UniqueFd oCloser(fd);
    struct stat st {};
    const auto cCreated = OpenedPath(fd, oTarget.cPath);
    if (!cCreated || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) {
      return false;
    }
    if (ReplaceFile(*cCreated, cNew, nullptr) == Replaced::Done) {
      return true;
    }
    ::unlink(cCreated->c_str());
    return false;
  }
  struct stat st {};
  if (::stat(oTarget.cPath.c_str(), &st) != 0) {
    return false;
  }
  // A new file in place of one with other hard links would part it from them.
  const Replaced eReplaced =
      st.st_nlink == 1 ? ReplaceFile(oTarget.cPath, cNew, &st) : Replaced::NotPossible;
  if (eReplaced == Replaced::NotPossible) {
    return RewriteInPlace(oTarget.cPath, cNew, oTarget.cOld);
  }
  return eReplaced == Replaced::Done;
}

} // namespace veltra::runtime::detail
