// The settings file: any file content, then one value written. The input is three lines (the
// section, the entry and the value) followed by the file's content. When the write succeeds,
// every line it did not mean to change keeps its bytes and the value reads back as written;
// when it fails, the file is unchanged.
#include "fuzz/check.h"
#include "runtime/profile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace rt = veltra::runtime;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The file every run writes, in a folder of its own (in memory when /dev/shm is there).
const std::string& FilePath() {
  static const std::string cPath = [] {
    std::string cDir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    cDir += "/veltra-fuzz-XXXXXX";
    if (::mkdtemp(cDir.data()) == nullptr) {
      std::abort();
    }
    static std::string cMadeDir = cDir;
    std::atexit([] {
      ::unlink((cMadeDir + "/VELTRA.INI").c_str());
      ::rmdir(cMadeDir.c_str());
    });
    return cDir + "/VELTRA.INI";
  }();
  return cPath;
}

void WriteFile(const std::string& cData) {
  std::ofstream(FilePath(), std::ios::binary | std::ios::trunc) << cData;
}

std::string ReadFile() {
  std::ifstream in(FilePath(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string_view TakeLine(std::string_view& cData) {
  const std::size_t n = std::min(cData.find('\n'), cData.size());
  const std::string_view cLine = cData.substr(0, n);
  cData.remove_prefix(std::min(n + 1, cData.size()));
  return cLine;
}

// Lines with their endings (CR LF, LF or a lone CR), split independently of the code tested.
std::vector<std::string> Lines(std::string_view c) {
  std::vector<std::string> a;
  while (!c.empty()) {
    std::size_t n = std::min(c.find_first_of("\r\n"), c.size());
    n += (n < c.size()) ? (c.compare(n, 2, "\r\n") == 0 ? 2 : 1) : 0;
    a.emplace_back(c.substr(0, n));
    c.remove_prefix(n);
  }
  return a;
}

bool EndsLine(std::string_view c) {
  return c.ends_with('\n') || c.ends_with('\r');
}

// "  Entry = ..." with the entry in any letter case.
bool IsEntryLine(std::string_view cLine, std::string_view cEntry) {
  while (!cLine.empty() && (cLine.front() == ' ' || cLine.front() == '\t')) {
    cLine.remove_prefix(1);
  }
  if (cLine.size() < cEntry.size()) {
    return false;
  }
  for (std::size_t i = 0; i < cEntry.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(cLine[i])) !=
        std::tolower(static_cast<unsigned char>(cEntry[i]))) {
      return false;
    }
  }
  cLine.remove_prefix(cEntry.size());
  while (!cLine.empty() && (cLine.front() == ' ' || cLine.front() == '\t')) {
    cLine.remove_prefix(1);
  }
  return !cLine.empty() && cLine.front() == '=';
}

// Old and new differ only in the entry's line, in up to two lines added (a section header and
// the entry), and in a line ending given to a last line that had none.
void CheckOtherLinesKept(std::string_view cOld, std::string_view cNew, std::string_view cEntry) {
  if (cOld.starts_with(kBom)) {
    FUZZ_CHECK(cNew.starts_with(kBom));
    cOld.remove_prefix(kBom.size());
    cNew.remove_prefix(kBom.size());
  }
  const std::vector<std::string> aOld = Lines(cOld);
  const std::vector<std::string> aNew = Lines(cNew);
  std::size_t p = 0;
  while (p < aOld.size() && p < aNew.size() && aOld[p] == aNew[p]) {
    ++p;
  }
  std::size_t q = 0;
  while (q < aOld.size() - p && q < aNew.size() - p &&
         aOld[aOld.size() - 1 - q] == aNew[aNew.size() - 1 - q]) {
    ++q;
  }
  const std::size_t nOldChanged = aOld.size() - p - q;
  const std::size_t nNewChanged = aNew.size() - p - q;
  FUZZ_CHECK(nOldChanged <= 1);
  FUZZ_CHECK(nNewChanged <= 3);
  if (nOldChanged == 1) {
    const std::string& cLine = aOld[p];
    const std::string_view cNewLine = aNew[p];
    const std::string_view cRest = cNewLine.substr(std::min(cLine.size(), cNewLine.size()));
    const bool lEndingAdded = p + 1 == aOld.size() && !EndsLine(cLine) && nNewChanged >= 2 &&
                              cNewLine.starts_with(cLine) &&
                              (cRest == "\n" || cRest == "\r\n" || cRest == "\r");
    FUZZ_CHECK(lEndingAdded || IsEntryLine(cLine, cEntry));
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  std::string_view cInput(reinterpret_cast<const char*>(pData), nSize);
  const std::string cSection(TakeLine(cInput));
  const std::string cEntry(TakeLine(cInput));
  std::string cValue(TakeLine(cInput));
  cValue.resize(std::min(cValue.size(), rt::kProfileValueMax)); // longer values read back cut
  const std::string cOld(cInput);
  const std::string cPath = FilePath();
  WriteFile(cOld);

  rt::GETPVPROFSTRING(cSection, std::nullopt, "", cPath);
  rt::GETPVPROFSTRING(cSection, cEntry, "", cPath);
  if (!rt::WRITEPPROSTRING(cSection, cEntry, cValue, cPath)) {
    FUZZ_CHECK(ReadFile() == cOld);
    return 0;
  }
  const std::string cNew = ReadFile();
  FUZZ_CHECK(rt::GETPVPROFSTRING(cSection, cEntry, "\x01", cPath) == cValue);
  CheckOtherLinesKept(cOld, cNew, cEntry);
  // The same write again changes nothing.
  FUZZ_CHECK(rt::WRITEPPROSTRING(cSection, cEntry, cValue, cPath));
  FUZZ_CHECK(ReadFile() == cNew);
  return 0;
}
