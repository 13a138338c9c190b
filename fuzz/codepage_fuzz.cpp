// The code page conversions on any bytes: DOS (850) text to Windows (1252) text keeps its
// length and its ASCII, and every other byte is either the same character in 1252 or a
// look-alike; Windows text survives the trip through Unicode and back; any UTF-16 text
// converts to 1252 one unit per byte. A name marked with NAMETEXT comes out of every
// conversion as it went in (its line-break marks and its bytes untouched), and the program's
// own text around it is converted as before.
#include "fuzz/check.h"
#include "ui/codepage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ui = veltra::ui;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string_view cBytes(reinterpret_cast<const char*>(pData), nSize);

  // The bytes as a name inside a text of the program's own.
  const std::string cName = ui::NAMETEXT(cBytes);
  const std::string cText = "(;" + cName + ";)";
  FUZZ_CHECK(ui::NAMELESSTEXT(cText) == "(;" + (cName == cBytes ? cName : "") + ";)");
  const std::string cUnmarked = ui::UNMARKEDTEXT(cName);
  FUZZ_CHECK(cUnmarked.size() == cBytes.size());
  if (cName != cBytes) {
    FUZZ_CHECK(ui::EXPANDTOCRLF(cText, ';') == "(\r\n" + cName + "\r\n)");
    FUZZ_CHECK(ui::OEMTOANSI(cText) == cText);
  }

  // The program's own texts hold no name mark.
  std::string cOwn(cBytes);
  std::erase(cOwn, '\x0E');
  const std::string_view cInput = cOwn;

  const std::string cAnsi = ui::OEMTOANSI(cInput);
  const std::u16string cOemWide = ui::OEMTOUNICODE(cInput);
  FUZZ_CHECK(cAnsi.size() == cInput.size() && cOemWide.size() == cInput.size());
  const std::u16string cAnsiWide = ui::ANSITOUNICODE(cAnsi);
  for (std::size_t i = 0; i < cInput.size(); ++i) {
    if (static_cast<unsigned char>(cInput[i]) < 0x80) {
      FUZZ_CHECK(cAnsi[i] == cInput[i]);
    } else if (cAnsiWide[i] != cOemWide[i]) {
      FUZZ_CHECK(std::string_view("|-_#+i?").find(cAnsi[i]) != std::string_view::npos);
    }
  }

  FUZZ_CHECK(ui::UNICODETOANSI(ui::ANSITOUNICODE(cInput)) == cInput);

  std::u16string cWide(nSize / 2, u'\0');
  std::memcpy(cWide.data(), pData, cWide.size() * 2);
  FUZZ_CHECK(ui::UNICODETOANSI(cWide).size() == cWide.size());

  const std::string cCrLf = ui::EXPANDTOCRLF(cInput, ';');
  FUZZ_CHECK(cCrLf.size() == cInput.size() + static_cast<std::size_t>(
                                                 std::count(cInput.begin(), cInput.end(), ';')));
  FUZZ_CHECK(cCrLf.find(';') == std::string::npos);
  return 0;
}
