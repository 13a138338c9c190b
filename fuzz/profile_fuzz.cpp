// The settings file: any file content, then one value written. The input is three lines (the
// section, the entry and the value) followed by the file's content. When the write succeeds,
// the whole file still decodes in its own encoding (8-bit, or UTF-16 after its mark), every
// line it did not mean to change keeps its text, every other entry reads back as before and
// the value reads back as written; when it fails, the file is unchanged. A file with a UTF-16
// mark that is no UTF-16 text is never written.
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

enum class Encoding { Bytes, Le, Be };

Encoding EncodingOf(std::string_view c) {
  if (c.starts_with("\xFF\xFE")) {
    return Encoding::Le;
  }
  return c.starts_with("\xFE\xFF") ? Encoding::Be : Encoding::Bytes;
}

// The file's text, UTF-16 turned into UTF-8 (its mark included), written apart from the code
// tested; no value when a UTF-16 file is no UTF-16 text.
std::optional<std::string> Decoded(std::string_view c) {
  const Encoding e = EncodingOf(c);
  if (e == Encoding::Bytes) {
    return std::string(c);
  }
  if (c.size() % 2 != 0) {
    return std::nullopt;
  }
  std::vector<std::uint32_t> aUnits;
  for (std::size_t i = 0; i < c.size(); i += 2) {
    const auto a = static_cast<std::uint8_t>(c[i]);
    const auto b = static_cast<std::uint8_t>(c[i + 1]);
    aUnits.push_back(e == Encoding::Le ? (b << 8U) | a : (a << 8U) | b);
  }
  std::string cText;
  for (std::size_t i = 0; i < aUnits.size(); ++i) {
    std::uint32_t n = aUnits[i];
    if (n >= 0xD800 && n < 0xDC00) {
      if (i + 1 == aUnits.size() || aUnits[i + 1] < 0xDC00 || aUnits[i + 1] >= 0xE000) {
        return std::nullopt;
      }
      n = 0x10000 + ((n - 0xD800) << 10U) + (aUnits[++i] - 0xDC00);
    } else if (n >= 0xDC00 && n < 0xE000) {
      return std::nullopt;
    }
    const int nMore = n < 0x80 ? 0 : n < 0x800 ? 1 : n < 0x10000 ? 2 : 3;
    const std::uint32_t nLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    cText += static_cast<char>(nLead[nMore] | (n >> (6 * nMore)));
    for (int k = nMore - 1; k >= 0; --k) {
      cText += static_cast<char>(0x80 | ((n >> (6 * k)) & 0x3F));
    }
  }
  return cText;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Every section and entry of the file (at most 64 of them) with the value a read gives.
using Entries = std::vector<std::pair<std::pair<std::string, std::string>, std::string>>;
Entries ReadEntries(std::string_view cText, const std::string& cPath) {
  Entries aEntries;
  std::vector<std::string> aSections;
  while (!cText.empty() && aSections.size() < 16) {
    std::size_t n = std::min(cText.find_first_of("\r\n"), cText.size());
    std::string_view cLine = cText.substr(0, n);
    cText.remove_prefix(std::min(n + 1, cText.size()));
    while (!cLine.empty() && (cLine.front() == ' ' || cLine.front() == '\t')) {
      cLine.remove_prefix(1);
    }
    const std::size_t nClose = cLine.find(']');
    if (cLine.starts_with('[') && nClose != std::string_view::npos) {
      std::string_view cName = cLine.substr(1, nClose - 1);
      while (!cName.empty() && (cName.front() == ' ' || cName.front() == '\t')) {
        cName.remove_prefix(1);
      }
      while (!cName.empty() && (cName.back() == ' ' || cName.back() == '\t')) {
        cName.remove_suffix(1);
      }
      aSections.emplace_back(cName);
    }
  }
  for (const std::string& cSection : aSections) {
    const std::string cNames = rt::GETPVPROFSTRING(cSection, std::nullopt, "", cPath);
    for (std::size_t p = 0; p < cNames.size() && aEntries.size() < 64;) {
      const std::size_t q = std::min(cNames.find('\0', p), cNames.size());
      const std::string cName = cNames.substr(p, q - p);
      aEntries.push_back({{cSection, cName}, rt::GETPVPROFSTRING(cSection, cName, "\x01", cPath)});
      p = q + 1;
    }
  }
  return aEntries;
}

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
  const std::optional<std::string> cOldText = Decoded(cOld);
  const Entries aBefore = cOldText ? ReadEntries(*cOldText, cPath) : Entries{};
  if (!rt::WRITEPPROSTRING(cSection, cEntry, cValue, cPath)) {
    FUZZ_CHECK(ReadFile() == cOld);
    return 0;
  }
  FUZZ_CHECK(cOldText.has_value());
  const std::string cNew = ReadFile();
  // Still a text in the encoding the file had.
  FUZZ_CHECK(cOld.empty() || EncodingOf(cNew) == EncodingOf(cOld));
  const std::optional<std::string> cNewText = Decoded(cNew);
  FUZZ_CHECK(cNewText.has_value());
  FUZZ_CHECK(rt::GETPVPROFSTRING(cSection, cEntry, "\x01", cPath) == cValue);
  CheckOtherLinesKept(*cOldText, *cNewText, cEntry);
  for (const auto& [oKey, cWas] : aBefore) {
    if (!(SameName(oKey.first, cSection) && SameName(oKey.second, cEntry))) {
      FUZZ_CHECK(rt::GETPVPROFSTRING(oKey.first, oKey.second, "\x01", cPath) == cWas);
    }
  }
  // The same write again changes nothing.
  FUZZ_CHECK(rt::WRITEPPROSTRING(cSection, cEntry, cValue, cPath));
  FUZZ_CHECK(ReadFile() == cNew);
  return 0;
}
