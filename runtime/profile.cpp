// Private profile files. The file is read whole and split into lines that keep their own
// endings, so a write can put every untouched line back byte for byte. Reading and replacing
// the file are the platform's (profile_file.h).
#include "runtime/profile.h"

#include "runtime/profile_file.h"

#include <algorithm>
#include <string>
#include <vector>

namespace veltra::runtime {
namespace {

struct Line {
  std::string cText; // without its ending
  std::string cEnd;  // "\r\n", "\n" or "" for a last line without one
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

std::vector<Line> SplitLines(std::string_view cData) {
  std::vector<Line> aLines;
  while (!cData.empty()) {
    const std::size_t nEol = cData.find('\n');
    if (nEol == std::string_view::npos) {
      aLines.push_back({std::string(cData), ""});
      break;
    }
    const bool lCr = nEol > 0 && cData[nEol - 1] == '\r';
    aLines.push_back({std::string(cData.substr(0, lCr ? nEol - 1 : nEol)), lCr ? "\r\n" : "\n"});
    cData.remove_prefix(nEol + 1);
  }
  return aLines;
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

// The line ending a new line takes: that of the file's first line, or the platform's own.
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
  const std::vector<Line> aLines = SplitLines(*cData);
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
  const std::string cPath = detail::PROFILEPATH(cFile);
  std::string cOld;
  if (detail::READPROFILEFILE(cPath, cOld) == detail::FileRead::Failed) {
    return false; // the file is there but cannot be read: never replace what we cannot keep
  }
  std::vector<Line> aLines = SplitLines(cOld);
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
      o.cText = cKey + "=" + std::string(*cValue);
    } else {
      // A last line without an ending gets one before anything is added after it.
      if (!aLines.empty() && aLines.back().cEnd.empty()) {
        aLines.back().cEnd = cEol;
      }
      const Line oEntry{std::string(*cEntry) + "=" + std::string(*cValue), cEol};
      if (oRange) {
        // After the section's last entry, before any blank lines that close it.
        std::size_t nPos = oRange->second;
        while (nPos > oRange->first && Trim(aLines[nPos - 1].cText).empty()) {
          --nPos;
        }
        aLines.insert(aLines.begin() + static_cast<std::ptrdiff_t>(nPos), oEntry);
      } else {
        aLines.push_back({"[" + std::string(cSection) + "]", cEol});
        aLines.push_back(oEntry);
      }
    }
  }

  std::string cNew;
  for (const Line& o : aLines) {
    cNew += o.cText;
    cNew += o.cEnd;
  }
  if (cNew == cOld) {
    return true;
  }
  return detail::REPLACEPROFILEFILE(cPath, cNew);
}

} // namespace veltra::runtime
