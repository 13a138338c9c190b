// Private profile files on Linux. The file is read whole and split into lines that keep
// their own endings (and the byte-order mark its first line had), so a write can put every
// untouched line back byte for byte.
#include "runtime/profile.h"

#include "runtime/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace veltra::runtime {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

struct Line {
  std::string cText; // without its ending
  std::string cEnd;  // "\r\n", "\n", "\r" or "" for a last line without one
};

struct Profile {
  bool lBom = false;
  std::vector<Line> aLines;
};

std::string NativePath(std::string_view cFile) {
  std::string c(cFile);
  std::replace(c.begin(), c.end(), '\\', '/');
  return c;
}

std::string_view Trim(std::string_view c) {
  const auto lBlank = [](char ch) { return ch == ' ' || ch == '\t'; };
  while (!c.empty() && lBlank(c.front())) {
    c.remove_prefix(1);
  }
  while (!c.empty() && (lBlank(c.back()) || c.back() == '\r')) {
    c.remove_suffix(1);
  }
  return c;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char ch) {
             return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
           };
           return lower(x) == lower(y);
         });
}

std::optional<std::string> ReadAll(const std::string& cPath) {
  const auto oFile = detail::OPENREGULAR(cPath);
  if (!oFile) {
    return std::nullopt;
  }
  return detail::READREGULAR(*oFile);
}

Profile Parse(std::string_view cData) {
  Profile oProfile;
  if (cData.starts_with(kBom)) {
    oProfile.lBom = true;
    cData.remove_prefix(kBom.size());
  }
  while (!cData.empty()) {
    const std::size_t nEol = cData.find_first_of("\r\n");
    if (nEol == std::string_view::npos) {
      oProfile.aLines.push_back({std::string(cData), ""});
      break;
    }
    const std::size_t nEnd = cData.compare(nEol, 2, "\r\n") == 0 ? 2 : 1;
    oProfile.aLines.push_back(
        {std::string(cData.substr(0, nEol)), std::string(cData.substr(nEol, nEnd))});
    cData.remove_prefix(nEol + nEnd);
  }
  return oProfile;
}

std::string Join(const Profile& oProfile) {
  std::string cData(oProfile.lBom ? kBom : "");
  for (const Line& o : oProfile.aLines) {
    cData += o.cText;
    cData += o.cEnd;
  }
  return cData;
}

// The section's name when the line is a section header.
std::optional<std::string_view> SectionName(std::string_view cLine) {
  cLine = Trim(cLine);
  if (cLine.empty() || cLine.front() != '[') {
    return std::nullopt;
  }
  const std::size_t nClose = cLine.find(']');
  if (nClose == std::string_view::npos) {
    return std::nullopt;
  }
  return Trim(cLine.substr(1, nClose - 1));
}

bool IsComment(std::string_view cLine) {
  cLine = Trim(cLine);
  return !cLine.empty() && (cLine.front() == ';' || cLine.front() == '#');
}

// Splits "key = value" into its trimmed parts.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view cLine) {
  if (IsComment(cLine) || SectionName(cLine)) {
    return std::nullopt;
  }
  const std::size_t nEq = cLine.find('=');
  if (nEq == std::string_view::npos) {
    return std::nullopt;
  }
  return std::pair{Trim(cLine.substr(0, nEq)), Trim(cLine.substr(nEq + 1))};
}

std::string Unquote(std::string_view c) {
  if (c.size() >= 2 && (c.front() == '"' || c.front() == '\'') && c.back() == c.front()) {
    c = c.substr(1, c.size() - 2);
  }
  return std::string(c);
}

// Index range [first line after the header, end) of the first section named cSection.
std::optional<std::pair<std::size_t, std::size_t>> FindSection(const std::vector<Line>& aLines,
                                                               std::string_view cSection) {
  for (std::size_t i = 0; i < aLines.size(); ++i) {
    const auto cName = SectionName(aLines[i].cText);
    if (cName && SameName(*cName, cSection)) {
      std::size_t j = i + 1;
      while (j < aLines.size() && !SectionName(aLines[j].cText)) {
        ++j;
      }
      return std::pair{i + 1, j};
    }
  }
  return std::nullopt;
}

std::string Cut(std::string c) {
  if (c.size() > kProfileValueMax) {
    c.resize(kProfileValueMax);
  }
  return c;
}

// The file a chain of symbolic links ends at; it need not exist yet.
std::optional<std::string> FollowLinks(std::string cPath) {
  for (int nHops = 0; nHops < 40; ++nHops) {
    struct stat st {};
    if (::lstat(cPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      return cPath;
    }
    std::string cTarget(PATH_MAX, '\0');
    const ssize_t n = ::readlink(cPath.c_str(), cTarget.data(), cTarget.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= cTarget.size()) {
      return std::nullopt;
    }
    cTarget.resize(static_cast<std::size_t>(n));
    const std::size_t nSlash = cPath.rfind('/');
    if (cTarget.front() != '/' && nSlash != std::string::npos) {
      cTarget.insert(0, cPath, 0, nSlash + 1); // relative to the link's own folder
    }
    cPath = std::move(cTarget);
  }
  errno = ELOOP;
  return std::nullopt;
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

class FdCloser {
public:
  explicit FdCloser(int fd) : m_fd(fd) {}
  ~FdCloser() { ::close(m_fd); }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

private:
  int m_fd;
};

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

// Writes cData over the file itself. Its new size is reserved first, so a full disk is found
// before any old byte is overwritten.
bool RewriteInPlace(const std::string& cPath, const std::string& cData) {
  const int fd = ::open(cPath.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    return false;
  }
  const FdCloser oCloser(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    return false;
  }
  if (!cData.empty() && ::posix_fallocate(fd, 0, static_cast<off_t>(cData.size())) != 0) {
    return false;
  }
  return WriteAll(fd, cData) && ::ftruncate(fd, static_cast<off_t>(cData.size())) == 0 &&
         ::fsync(fd) == 0;
}

// A file is rewritten only when this process may write it and it is not read-only: a file
// with no write bit at all is left alone even by the superuser, whom the access check never
// refuses.
bool MayWrite(const std::string& cPath, const struct stat& st) {
  return (st.st_mode & 0222) != 0 && ::faccessat(AT_FDCWD, cPath.c_str(), W_OK, AT_EACCESS) == 0;
}

bool HasBlankEnds(std::string_view c) {
  return Trim(c).size() != c.size();
}

// Names a later read could find again, and a value that adds no line of its own.
bool Storable(std::string_view cSection, std::optional<std::string_view> cEntry,
              std::optional<std::string_view> cValue) {
  const auto lBreak = [](std::string_view c) { return c.find_first_of("\r\n") != c.npos; };
  if (lBreak(cSection) || HasBlankEnds(cSection) || cSection.find(']') != cSection.npos) {
    return false;
  }
  if (cEntry && (lBreak(*cEntry) || HasBlankEnds(*cEntry) || cEntry->find('=') != cEntry->npos ||
                 (!cEntry->empty() &&
                  std::string_view(";#[").find(cEntry->front()) != std::string_view::npos))) {
    return false;
  }
  return !cValue || !lBreak(*cValue);
}

// The value as written to the file: between double quotes when a read would otherwise trim
// its blanks or take off its own quotes.
std::string QuoteValue(std::string_view cValue) {
  if (HasBlankEnds(cValue) || Unquote(cValue).size() != cValue.size()) {
    return "\"" + std::string(cValue) + "\"";
  }
  return std::string(cValue);
}

// The ending of the file's first line that has one, or a plain line feed.
std::string LineEnding(const std::vector<Line>& aLines) {
  for (const Line& o : aLines) {
    if (!o.cEnd.empty()) {
      return o.cEnd;
    }
  }
  return "\n";
}

} // namespace

std::string GETPVPROFSTRING(std::string_view cSection, std::optional<std::string_view> cEntry,
                            std::string_view cDefault, std::string_view cFile) {
  const auto cData = ReadAll(NativePath(cFile));
  if (!cData) {
    return Cut(std::string(cDefault));
  }
  const std::vector<Line> aLines = Parse(*cData).aLines;
  const auto oRange = FindSection(aLines, cSection);
  if (!oRange) {
    return Cut(std::string(cDefault));
  }
  if (!cEntry) {
    std::string cNames;
    for (std::size_t i = oRange->first; i < oRange->second; ++i) {
      if (const auto oKv = KeyValue(aLines[i].cText)) {
        cNames.append(oKv->first);
        cNames.push_back('\0');
      }
    }
    return Cut(std::move(cNames));
  }
  for (std::size_t i = oRange->first; i < oRange->second; ++i) {
    const auto oKv = KeyValue(aLines[i].cText);
    if (oKv && SameName(oKv->first, *cEntry)) {
      return Cut(Unquote(oKv->second));
    }
  }
  return Cut(std::string(cDefault));
}

bool WRITEPPROSTRING(std::string_view cSection, std::optional<std::string_view> cEntry,
                     std::optional<std::string_view> cValue, std::string_view cFile) {
  if (!Storable(cSection, cEntry, cValue)) {
    return false;
  }
  const auto cResolved = FollowLinks(NativePath(cFile));
  if (!cResolved) {
    return false;
  }
  const std::string& cPath = *cResolved;
  std::string cOld;
  struct stat st {};
  const bool lExists = ::stat(cPath.c_str(), &st) == 0;
  if (lExists) {
    const auto cData = ReadAll(cPath);
    if (!cData || !MayWrite(cPath, st)) {
      return false; // never replace what we cannot keep or may not change
    }
    cOld = *cData;
  } else if (errno != ENOENT) {
    return false;
  }
  Profile oProfile = Parse(cOld);
  std::vector<Line>& aLines = oProfile.aLines;
  const std::string cEol = LineEnding(aLines);
  const auto oRange = FindSection(aLines, cSection);

  if (!cEntry) { // delete the whole section
    if (oRange) {
      aLines.erase(aLines.begin() + static_cast<std::ptrdiff_t>(oRange->first - 1),
                   aLines.begin() + static_cast<std::ptrdiff_t>(oRange->second));
    }
  } else {
    std::optional<std::size_t> nAt;
    if (oRange) {
      for (std::size_t i = oRange->first; i < oRange->second && !nAt; ++i) {
        const auto oKv = KeyValue(aLines[i].cText);
        if (oKv && SameName(oKv->first, *cEntry)) {
          nAt = i;
        }
      }
    }
    if (!cValue) { // delete the entry
      if (nAt) {
        aLines.erase(aLines.begin() + static_cast<std::ptrdiff_t>(*nAt));
      }
    } else if (nAt) {
      Line& o = aLines[*nAt];
      const std::string cKey(KeyValue(o.cText)->first);
      o.cText = cKey + "=" + QuoteValue(*cValue);
    } else {
      // After the section's last entry, before any blank lines that close it; or a new
      // section at the end.
      std::size_t nPos = oRange ? oRange->second : aLines.size();
      while (oRange && nPos > oRange->first && Trim(aLines[nPos - 1].cText).empty()) {
        --nPos;
      }
      // A last line without an ending gets one when something is added after it.
      if (nPos == aLines.size() && nPos > 0 && aLines.back().cEnd.empty()) {
        aLines.back().cEnd = cEol;
      }
      // New lines end as the line before them does: a lone CR before a line that begins with
      // LF would otherwise read back as one CR LF, joining the two lines.
      const std::string cEnd = nPos > 0 ? aLines[nPos - 1].cEnd : cEol;
      const Line oEntry{std::string(*cEntry) + "=" + QuoteValue(*cValue), cEnd};
      std::vector<Line> aNew{oEntry};
      if (!oRange) {
        aNew.insert(aNew.begin(), {"[" + std::string(cSection) + "]", cEnd});
      }
      aLines.insert(aLines.begin() + static_cast<std::ptrdiff_t>(nPos), aNew.begin(), aNew.end());
    }
  }

  const std::string cNew = Join(oProfile);
  if (cNew == cOld) {
    return true;
  }
  if (!lExists) {
    return ReplaceFile(cPath, cNew, nullptr) == Replaced::Done;
  }
  // A new file in place of one with other hard links would part it from them.
  const Replaced eReplaced =
      st.st_nlink == 1 ? ReplaceFile(cPath, cNew, &st) : Replaced::NotPossible;
  if (eReplaced == Replaced::NotPossible) {
    return RewriteInPlace(cPath, cNew);
  }
  return eReplaced == Replaced::Done;
}

} // namespace veltra::runtime
