// What a name or a device string becomes before it reaches a terminal.
#include "serial/port_list.h"

#include <gtest/gtest.h>

namespace veltra::serial {
namespace {

TEST(Printable, KeepsTextAndShowsEveryControlByteAsItsCode) {
  const struct {
    std::string_view cIn;
    std::string_view cOut;
  } aCases[] = {
      {"FTDI FT232R USB UART", "FTDI FT232R USB UART"},
      {"/dev/serial/by-id/usb-Prolific_2303-if00", "/dev/serial/by-id/usb-Prolific_2303-if00"},
      {"perché Ünïcode €", "perché Ünïcode €"},     // UTF-8 kept
      {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07"},   // a retitle
      {"a\x1b[2Jb\x1b[31m", "a\\x1B[2Jb\\x1B[31m"}, // clear, recolour
      {std::string_view("n\0l\r\n\t\x7f", 7), "n\\x00l\\x0D\\x0A\\x09\\x7F"},
      {"\xc2\x9b"
       "2J",
       "\\xC2\\x9B2J"}, // C1 CSI in UTF-8
      {"\x9b"
       "2J\xff\xc3",
       "\\x9B2J\\xFF\\xC3"},                                  // not UTF-8 at all
      {"\xe0\x80\xaf", "\\xE0\\x80\\xAF"},                    // overlong
      {"\xed\xa0\x80", "\\xED\\xA0\\x80"},                    // a surrogate
      {"COM3  \\Device\\Serial0", "COM3  \\Device\\Serial0"}, // backslashes stay
  };
  for (const auto& c : aCases) {
    EXPECT_EQ(PRINTABLE(c.cIn), c.cOut);
  }
}

TEST(Printable, AppliesToEveryStringOfAListedPort) {
  const PortInfo oPort{.cName = "ttyUSB0",
                       .cPath = "/dev/ttyUSB0",
                       .cById = "/dev/serial/by-id/usb-\x1b[2J",
                       .cVendor = "Evil\x1b]0;x\x07",
                       .cProduct = "Cable\r",
                       .cUsbId = "0403:6001",
                       .lConsole = false,
                       .lAccessible = true,
                       .cHeldBy = "prog\x1b[8m (pid 7)"};
  const std::string cLine = FORMATPORT(oPort);
  EXPECT_EQ(cLine, "/dev/ttyUSB0  /dev/serial/by-id/usb-\\x1B[2J  Evil\\x1B]0;x\\x07 Cable\\x0D "
                   "(0403:6001)  [busy: held by prog\\x1B[8m (pid 7)]");
}

} // namespace
} // namespace veltra::serial
