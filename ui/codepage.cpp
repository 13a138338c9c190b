// Code page tables for the upper halves of 1252 and 850.
#include "ui/codepage.h"

#include <algorithm>
#include <array>

namespace veltra::ui {
namespace {

// 0x80..0x9F of code page 1252; the five unassigned bytes keep their own value.
constexpr std::array<char16_t, 32> k1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// 0x80..0xFF of code page 850.
constexpr std::array<char16_t, 128> k850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

// The marks around a name put in by NAMETEXT: shift-out and shift-in, control bytes that
// no text of the program holds and that a marked name never holds itself.
constexpr char kNameOpen = '\x0E';
constexpr char kNameClose = '\x0F';

// Calls fnText for each run of the program's own text and fnName for each marked name
// (without its marks), in order.
template <typename FnText, typename FnName>
void ForEachRun(std::string_view cText, FnText fnText, FnName fnName) {
  while (!cText.empty()) {
    const std::size_t nOpen = cText.find(kNameOpen);
    fnText(cText.substr(0, nOpen));
    if (nOpen == std::string_view::npos) {
      return;
    }
    cText.remove_prefix(nOpen + 1);
    const std::size_t nClose = cText.find(kNameClose);
    fnName(cText.substr(0, nClose));
    cText.remove_prefix(nClose == std::string_view::npos ? cText.size() : nClose + 1);
  }
}

#ifdef _WIN32
// Names come from the ANSI calls, in the ANSI code page.
std::u16string NameToUnicode(std::string_view cName);
#else
// Names on disk are UTF-8; a byte that is no part of a UTF-8 character shows as U+FFFD.
std::u16string NameToUnicode(std::string_view cName) {
  std::u16string cOut;
  std::size_t i = 0;
  while (i < cName.size()) {
    const auto b = [&](std::size_t n) { return static_cast<unsigned char>(cName[n]); };
    const unsigned char n0 = b(i);
    const std::size_t nLen = n0 < 0x80             ? 1
                             : (n0 & 0xE0) == 0xC0 ? 2
                             : (n0 & 0xF0) == 0xE0 ? 3
                             : (n0 & 0xF8) == 0xF0 ? 4
                                                   : 0;
    char32_t nCode = nLen == 1 ? n0 : nLen == 2 ? n0 & 0x1F : nLen == 3 ? n0 & 0x0F : n0 & 0x07;
    bool lValid = nLen != 0 && i + nLen <= cName.size();
    for (std::size_t k = 1; lValid && k < nLen; ++k) {
      lValid = (b(i + k) & 0xC0) == 0x80;
      nCode = (nCode << 6) | (b(i + k) & 0x3F);
    }
    constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    lValid =
        lValid && nCode >= kMin[nLen] && nCode <= 0x10FFFF && (nCode < 0xD800 || nCode > 0xDFFF);
    if (!lValid) {
      cOut.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (nCode >= 0x10000) {
      cOut.push_back(static_cast<char16_t>(0xD800 + ((nCode - 0x10000) >> 10)));
      cOut.push_back(static_cast<char16_t>(0xDC00 + ((nCode - 0x10000) & 0x3FF)));
    } else {
      cOut.push_back(static_cast<char16_t>(nCode));
    }
    i += nLen;
  }
  return cOut;
}
#endif

char LookAlike(char16_t c) {
  switch (c) {
  case 0x2502:
  case 0x2524:
  case 0x2563:
  case 0x2551:
  case 0x251C:
  case 0x2560:
    return '|';
  case 0x2500:
  case 0x2550:
    return '-';
  case 0x0131:
    return 'i';
  case 0x2017:
    return '_';
  case 0x2591:
  case 0x2592:
  case 0x2593:
  case 0x2588:
  case 0x2584:
  case 0x2580:
  case 0x25A0:
    return '#';
  default:
    return (c >= 0x2500 && c <= 0x257F) ? '+' : '?';
  }
}

#ifdef _WIN32
std::u16string NameToUnicode(std::string_view cName) {
  return ANSITOUNICODE(cName);
}
#endif

} // namespace

std::u16string ANSITOUNICODE(std::string_view cText) {
  if (cText.find(kNameOpen) != std::string_view::npos) {
    std::u16string cOut;
    ForEachRun(
        cText, [&](std::string_view c) { cOut += ANSITOUNICODE(c); },
        [&](std::string_view c) { cOut += NameToUnicode(c); });
    return cOut;
  }
  std::u16string cOut;
  cOut.reserve(cText.size());
  for (const char ch : cText) {
    const auto b = static_cast<unsigned char>(ch);
    cOut.push_back((b >= 0x80 && b < 0xA0) ? k1252[b - 0x80] : static_cast<char16_t>(b));
  }
  return cOut;
}

std::string UNICODETOANSI(std::u16string_view cText) {
  std::string cOut;
  cOut.reserve(cText.size());
  for (const char16_t c : cText) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      cOut.push_back(static_cast<char>(c));
      continue;
    }
    char chOut = '?';
    for (std::size_t i = 0; i < k1252.size(); ++i) {
      if (k1252[i] == c) {
        chOut = static_cast<char>(0x80 + i);
        break;
      }
    }
    cOut.push_back(chOut);
  }
  return cOut;
}

std::u16string OEMTOUNICODE(std::string_view cText) {
  if (cText.find(kNameOpen) != std::string_view::npos) {
    std::u16string cOut;
    ForEachRun(
        cText, [&](std::string_view c) { cOut += OEMTOUNICODE(c); },
        [&](std::string_view c) { cOut += NameToUnicode(c); });
    return cOut;
  }
  std::u16string cOut;
  cOut.reserve(cText.size());
  for (const char ch : cText) {
    const auto b = static_cast<unsigned char>(ch);
    cOut.push_back(b >= 0x80 ? k850[b - 0x80] : static_cast<char16_t>(b));
  }
  return cOut;
}

std::string OEMTOANSI(std::string_view cText) {
  if (cText.find(kNameOpen) != std::string_view::npos) {
    std::string cOut;
    ForEachRun(
        cText, [&](std::string_view c) { cOut += OEMTOANSI(c); },
        [&](std::string_view c) { cOut += kNameOpen + std::string(c) + kNameClose; });
    return cOut;
  }
  std::string cOut = UNICODETOANSI(OEMTOUNICODE(cText));
  const std::u16string cWide = OEMTOUNICODE(cText);
  for (std::size_t i = 0; i < cOut.size(); ++i) {
    if (cOut[i] == '?' && cWide[i] != u'?') {
      cOut[i] = LookAlike(cWide[i]);
    }
  }
  return cOut;
}

std::string EXPANDTOCRLF(std::string_view cText, char cBreak) {
  std::string cOut;
  cOut.reserve(cText.size() + cText.size() / 16);
  bool lInName = false;
  for (const char c : cText) {
    lInName = c == kNameOpen || (lInName && c != kNameClose);
    if (c == cBreak && !lInName) {
      cOut += "\r\n";
    } else {
      cOut.push_back(c);
    }
  }
  return cOut;
}

std::string NAMETEXT(std::string_view cName) {
  if (std::all_of(cName.begin(), cName.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80 && c != kNameOpen && c != kNameClose;
      })) {
    return std::string(cName);
  }
  std::string cOut(cName);
  std::replace_if(
      cOut.begin(), cOut.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
  return kNameOpen + cOut + kNameClose;
}

std::string UNMARKEDTEXT(std::string_view cText) {
  std::string cOut;
  ForEachRun(
      cText, [&](std::string_view c) { cOut += c; }, [&](std::string_view c) { cOut += c; });
  return cOut;
}

std::string NAMELESSTEXT(std::string_view cText) {
  std::string cOut;
  ForEachRun(
      cText, [&](std::string_view c) { cOut += c; }, [](std::string_view) {});
  return cOut;
}

} // namespace veltra::ui
