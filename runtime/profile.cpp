// Private profile files. The file is read whole, decoded from UTF-16 when it begins with a
// UTF-16 byte-order mark, and split into lines that keep their own endings (and the
// byte-order mark its first line had), so a write can put every untouched line back byte for
// byte, in the file's own encoding. Finding, reading and replacing the file are the
// platform's (profile_file.h).
#include "runtime/profile.h"

#include "runtime/profile_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace veltra::runtime {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBomLe = "\xFF\xFE";
constexpr std::string_view kBomBe = "\xFE\xFF";

// How the file's bytes stand for its text: as they are (8-bit text, or UTF-8 with or without
// its mark), or UTF-16 in either byte order after its mark. UTF-16 text is handled as UTF-8,
// which holds every UTF-16 text exactly, so that it goes back byte for byte.
enum class Encoding { Bytes, Utf16Le, Utf16Be };

struct Decoded {
  Encoding eEncoding = Encoding::Bytes;
  std::string cText;
};

void PutUtf8(std::string& c, char32_t n) {
  if (n < 0x80) {
    c += static_cast<char>(n);
  } else if (n < 0x800) {
    c += static_cast<char>(0xC0 | (n >> 6));
    c += static_cast<char>(0x80 | (n & 0x3F));
  } else if (n < 0x10000) {
    c += static_cast<char>(0xE0 | (n >> 12));
    c += static_cast<char>(0x80 | ((n >> 6) & 0x3F));
    c += static_cast<char>(0x80 | (n & 0x3F));
  } else {
    c += static_cast<char>(0xF0 | (n >> 18));
    c += static_cast<char>(0x80 | ((n >> 12) & 0x3F));
    c += static_cast<char>(0x80 | ((n >> 6) & 0x3F));
    c += static_cast<char>(0x80 | (n & 0x3F));
  }
}

// The text of the file, or no value when it has a UTF-16 mark but is no UTF-16 text (an odd
// length, a surrogate without its pair).
std::optional<Decoded> Decode(std::string_view cData) {
  const bool lLe = cData.starts_with(kBomLe);
  if (!lLe && !cData.starts_with(kBomBe)) {
    return Decoded{Encoding::Bytes, std::string(cData)};
  }
  if (cData.size() % 2 != 0) {
    return std::nullopt;
  }
  Decoded o{lLe ? Encoding::Utf16Le : Encoding::Utf16Be, {}};
  const auto Unit = [&](std::size_t i) {
    const auto b0 = static_cast<unsigned char>(cData[i]);
    const auto b1 = static_cast<unsigned char>(cData[i + 1]);
    return static_cast<char16_t>(lLe ? (b1 << 8) | b0 : (b0 << 8) | b1);
  };
  // The mark itself is kept as the text's first character, as a UTF-8 file keeps its own.
  for (std::size_t i = 0; i < cData.size(); i += 2) {
    const char16_t n = Unit(i);
    if (n >= 0xDC00 && n <= 0xDFFF) {
      return std::nullopt;
    }
    if (n >= 0xD800 && n <= 0xDBFF) {
      if (i + 3 >= cData.size()) {
        return std::nullopt;
      }
      const char16_t nLow = Unit(i + 2);
      if (nLow < 0xDC00 || nLow > 0xDFFF) {
        return std::nullopt;
      }
      PutUtf8(o.cText, 0x10000 + ((static_cast<char32_t>(n - 0xD800) << 10) | (nLow - 0xDC00)));
      i += 2;
    } else {
      PutUtf8(o.cText, n);
    }
  }
  return o;
}

// The text in the file's encoding; no value when it holds bytes that are no UTF-8 text, which
// UTF-16 cannot carry.
std::optional<std::string> Encode(const Decoded& o) {
  if (o.eEncoding == Encoding::Bytes) {
    return o.cText;
  }
  std::string cData;
  const auto PutUnit = [&](char32_t n) {
    const auto nHigh = static_cast<char>(n >> 8);
    const auto nLow = static_cast<char>(n & 0xFF);
    cData += o.eEncoding == Encoding::Utf16Le ? nLow : nHigh;
    cData += o.eEncoding == Encoding::Utf16Le ? nHigh : nLow;
  };
  const std::string_view c = o.cText;
  for (std::size_t i = 0; i < c.size();) {
    const auto b = static_cast<unsigned char>(c[i]);
    const std::size_t nLength = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (nLength == 0 || b > 0xF4 || i + nLength > c.size()) {
      return std::nullopt;
    }
    char32_t n = nLength == 1 ? b : b & (0x7F >> nLength);
    for (std::size_t k = 1; k < nLength; ++k) {
      const auto bNext = static_cast<unsigned char>(c[i + k]);
      if ((bNext & 0xC0) != 0x80) {
        return std::nullopt;
      }
      n = (n << 6) | (bNext & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are no UTF-8 text.
    const char32_t nLeast = nLength == 2 ? 0x80 : nLength == 3 ? 0x800 : 0x10000;
    if ((nLength > 1 && n < nLeast) || (n >= 0xD800 && n <= 0xDFFF) || n > 0x10FFFF) {
      return std::nullopt;
    }
    if (n >= 0x10000) {
      PutUnit(0xD800 + ((n - 0x10000) >> 10));
      PutUnit(0xDC00 + ((n - 0x10000) & 0x3FF));
    } else {
      PutUnit(n);
    }
    i += nLength;
  }
  return cData;
}

struct Line {
  std::string cText; // without its ending
  std::string cEnd;  // "\r\n", "\n", "\r" or "" for a last line without one
};

struct Profile {
  bool lBom = false;
  std::vector<Line> aLines;
};

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

// The ending of the file's first line that has one, or the platform's own for a new file.
std::string LineEnding(const std::vector<Line>& aLines) {
  for (const Line& o : aLines) {
    if (!o.cEnd.empty()) {
      return o.cEnd;
    }
  }
  return detail::NEWFILELINEEND;
}

} // namespace

std::string GETPVPROFSTRING(std::string_view cSection, std::optional<std::string_view> cEntry,
                            std::string_view cDefault, std::string_view cFile) {
  std::string cRead;
  const auto cData =
      detail::READPROFILEFILE(detail::PROFILEPATH(cFile), cRead) == detail::FileRead::Read
          ? std::optional<std::string>(std::move(cRead))
          : std::nullopt;
  const std::optional<Decoded> oText = cData ? Decode(*cData) : std::nullopt;
  if (!oText) {
    return Cut(std::string(cDefault));
  }
  const std::vector<Line> aLines = Parse(oText->cText).aLines;
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

std::string PROFILEFULLPATH(std::string_view cFile) {
  return detail::PROFILEFULLPATH(cFile);
}

std::string PROFILEPROBLEM(std::string_view cFile) {
  const std::string cPath = detail::PROFILEPATH(cFile);
  std::string cRead;
  errno = 0;
  switch (detail::READPROFILEFILE(cPath, cRead)) {
  case detail::FileRead::Read:
  case detail::FileRead::Missing:
    return {};
  case detail::FileRead::TooLarge:
    return "more than the 1 MiB a settings file may have";
  case detail::FileRead::Failed:
    break;
  }
  if (errno == EINVAL) {
    return "not a regular file";
  }
  return errno != 0 ? std::strerror(errno) : "it cannot be read";
}

bool WRITEPPROSTRING(std::string_view cSection, std::optional<std::string_view> cEntry,
                     std::optional<std::string_view> cValue, std::string_view cFile) {
  if (!Storable(cSection, cEntry, cValue)) {
    return false;
  }
  const auto oTarget = detail::PROFILETARGET(cFile);
  if (!oTarget) {
    return false; // never replace what we cannot keep or may not change
  }
  const std::string& cOld = oTarget->cOld;
  std::optional<Decoded> oText = Decode(cOld);
  if (!oText) {
    return false; // a file we cannot read is not ours to rewrite
  }
  Profile oProfile = Parse(oText->cText);
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

  oText->cText = Join(oProfile);
  const std::optional<std::string> cNew = Encode(*oText);
  if (!cNew) {
    return false; // a name or value that the file's encoding cannot hold
  }
  if (*cNew == cOld) {
    return true;
  }
  return detail::STOREPROFILE(*oTarget, *cNew);
}

} // namespace veltra::runtime
