// Device strings made safe to show: USB descriptors and driver names may hold any byte.
#include "serial/port_list.h"

namespace veltra::serial {

std::string PRINTABLE(std::string_view cText) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string c;
  c.reserve(cText.size());
  for (const char ch : cText) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x20 || b == 0x7F) {
      c += "\\x";
      c += kHex[b >> 4];
      c += kHex[b & 0xF];
    } else {
      c += ch;
    }
  }
  return c;
}

} // namespace veltra::serial
