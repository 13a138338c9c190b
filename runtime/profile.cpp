// Private profile files. The file is read whole and split into lines that keep their own
// endings (and the byte-order mark its first line had), so a write can put every untouched
// line back byte for byte. Finding, reading and replacing the file are the platform's
// (profile_file.h).
#include "runtime/profile.h"

#include "runtime/profile_file.h"

#include <algorithm>
#include <string>
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
  const auto oTarget = detail::PROFILETARGET(cFile);
  if (!oTarget) {
    return false; // never replace what we cannot keep or may not change
  }
  const std::string& cOld = oTarget->cOld;
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
  return detail::STOREPROFILE(*oTarget, cNew);
}

} // namespace veltra::runtime
