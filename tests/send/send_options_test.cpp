// veltra-send's command line, in process: what each way of typing it gives, and the reason
// given for each one that cannot be used.
#include "send/send_options.h"

#include <gtest/gtest.h>

namespace veltra::send {
namespace {

TEST(SendOptions, ReadsEachFormAndSaysWhichOptionIsWrongAndWhy) {
  const struct {
    std::vector<std::string_view> aArgs;
    std::string cWant; // "action images port[ waitN]", or "!" + the error
  } aCases[] = {
      {{"disk.mgt"}, "send disk.mgt -"},
      {{"--port", "ttyUSB0", "disk.mgt"}, "send disk.mgt ttyUSB0"},
      {{"-p", "ttyUSB0", "disk.mgt"}, "send disk.mgt ttyUSB0"},
      {{"-pttyUSB0", "disk.mgt"}, "send disk.mgt ttyUSB0"},
      {{"--port=/dev/serial/by-id/x", "disk.mgt"}, "send disk.mgt /dev/serial/by-id/x"},
      {{"disk.mgt", "--port", "COM3"}, "send disk.mgt COM3"}, // options after the image
      {{"--", "-disk.mgt"}, "send -disk.mgt -"},
      {{"-p", "COM3", "--", "--check"}, "send --check COM3"}, // -- ends the options
      {{"--po=COM3", "disk.mgt"}, "send disk.mgt COM3"},      // an unambiguous abbreviation
      {{"--check", "disk.mgt"}, "check disk.mgt -"},
      {{"disk.mgt", "--check"}, "check disk.mgt -"},
      {{"-l"}, "list - -"},
      {{"--list-ports"}, "list - -"},
      {{"-h"}, "help - -"},
      {{"--port", "COM3", "disk.mgt", "--help"}, "help - -"}, // --help beside other options
      {{"--check", "--list-ports", "-h"}, "help - -"},
      {{"-V"}, "version - -"},
      {{"--version", "disk.mgt"}, "version - -"},
      {{"--bogus", "disk.mgt"}, "!unknown option --bogus"},
      {{"--bogus=1", "disk.mgt"}, "!unknown option --bogus"},
      {{"-x", "disk.mgt"}, "!unknown option -x"},
      {{"-lx"}, "!unknown option -x"},
      {{"disk.mgt", "-p"}, "!-p needs a value"},
      {{"disk.mgt", "--port"}, "!--port needs a value"},
      {{"--port=", "disk.mgt"}, "!--port needs a port name"},
      {{"--check=yes", "disk.mgt"}, "!--check takes no value"},
      {{"--list-ports=all"}, "!--list-ports takes no value"},
      {{}, "!no image given"},
      {{"--check"}, "!no image given"},
      {{"a.mgt", "-p", "COM3", "b.mgt", "c.mgt"}, "send a.mgt,b.mgt,c.mgt COM3"}, // in order
      {{"--check", "b.mgt", "a.mgt"}, "check b.mgt,a.mgt -"},
      {{"--wait", "a.mgt"}, "send a.mgt - wait0"},
      {{"--wait=30", "a.mgt", "b.mgt"}, "send a.mgt,b.mgt - wait30"},
      {{"--wait", "30", "a.mgt"}, "send 30,a.mgt - wait0"}, // the value only with "="
      {{"--wait=0", "a.mgt"}, "!--wait takes a count of seconds from 1 on"},
      {{"--wait=5s", "a.mgt"}, "!--wait takes a count of seconds from 1 on"},
      {{"--check", "a.mgt", "--wait"}, "!--wait goes with a transfer only"},
      {{"-l", "a.mgt"}, "!--list-ports takes no image"},
      {{"--check", "-l"}, "!give one of --check, --list-ports, --help, --version"},
      {{"--check", "a.mgt", "-p", "COM3"}, "!--port goes with a transfer only"},
  };
  for (const auto& [aArgs, cWant] : aCases) {
    std::string cError;
    const auto o = PARSEOPTIONS(aArgs, cError);
    std::string cGot = "!" + cError;
    if (o) {
      const char* const aActions[] = {"send", "check", "list", "help", "version"};
      std::string cImages;
      for (const std::string& cImage : o->aImages) {
        cImages += (cImages.empty() ? "" : ",") + cImage;
      }
      cGot = std::string(aActions[static_cast<int>(o->eAction)]) + " " +
             (cImages.empty() ? "-" : cImages) + " " + o->cPort.value_or("-") +
             (o->nWaitSeconds ? " wait" + std::to_string(*o->nWaitSeconds) : "");
    }
    EXPECT_EQ(cGot, cWant) << ::testing::PrintToString(aArgs);
  }
}

} // namespace
} // namespace veltra::send
