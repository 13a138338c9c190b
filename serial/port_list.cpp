// What both platforms' port listings share: turning a name or a string a device reports into
// text that cannot steer the terminal it is shown on.
#include "serial/port_list.h"

#include <cstdint>

namespace veltra::serial {
namespace {

// The length of the UTF-8 character at the start of c, or 0 when it does not start with one
// (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF, cut short).
std::size_t Utf8Length(std::string_view c, char32_t& nCode) {
  const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(c[i]); };
  const std::uint8_t n0 = b(0);
  std::size_t nLen = 0;
  char32_t nMin = 0;
  if (n0 < 0x80) {
    nCode = n0;
    return 1;
  }
  if ((n0 & 0xE0) == 0xC0) {
    nLen = 2, nCode = n0 & 0x1F, nMin = 0x80;
  } else if ((n0 & 0xF0) == 0xE0) {
    nLen = 3, nCode = n0 & 0x0F, nMin = 0x800;
  } else if ((n0 & 0xF8) == 0xF0) {
    nLen = 4, nCode = n0 & 0x07, nMin = 0x10000;
  } else {
    return 0;
  }
  if (c.size() < nLen) {
    return 0;
  }
  for (std::size_t i = 1; i < nLen; ++i) {
    if ((b(i) & 0xC0) != 0x80) {
      return 0;
    }
    nCode = (nCode << 6) | (b(i) & 0x3F);
  }
  if (nCode < nMin || nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF)) {
    return 0;
  }
  return nLen;
}

} // namespace

std::string PRINTABLE(std::string_view cText) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string cOut;
  cOut.reserve(cText.size());
  while (!cText.empty()) {
    char32_t nCode = 0;
    const std::size_t nLen = Utf8Length(cText, nCode);
    const bool lControl = nCode < 0x20 || (nCode >= 0x7F && nCode <= 0x9F);
    if (nLen == 0 || lControl) {
      // A control character is shown byte by byte, as it was received.
      const std::size_t nShown = nLen == 0 ? 1 : nLen;
      for (std::size_t i = 0; i < nShown; ++i) {
        const auto n = static_cast<std::uint8_t>(cText[i]);
        cOut += "\\x";
        cOut += kHex[n >> 4];
        cOut += kHex[n & 0x0F];
      }
      cText.remove_prefix(nShown);
      continue;
    }
    cOut.append(cText.substr(0, nLen));
    cText.remove_prefix(nLen);
  }
  return cOut;
}

} // namespace veltra::serial
