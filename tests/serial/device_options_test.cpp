// The device emulator's command line, in process: what each way of typing it gives, and the
// reason given for each one that cannot be used.
#include "tools/device/device_options.h"

#include <gtest/gtest.h>

namespace veltra::tools {
namespace {

TEST(DeviceOptions, ReadsEachFormAndSaysWhichOptionIsWrongAndWhy) {
  const struct {
    std::vector<std::string_view> aArgs;
    std::string cWant; // what was read, or "!" + the error
  } aCases[] = {
      {{"--pty", "--image", "a.mgt"}, "pty image=a.mgt"},
      {{"ttyUSB0", "--expect=e.mgt", "--timeout", "2.5"}, "port=ttyUSB0 expect=e.mgt timeout=2.5"},
      {{"--settle=0", "--", "-odd-port"}, "port=-odd-port settle=0"},
      {{"--commands", "TTE", "--verbose", "/dev/ttyS1"}, "port=/dev/ttyS1 commands=TTE verbose"},
      {{"--pace", "9600,7E1", "--min-gap", "5", "ttyUSB0"}, "port=ttyUSB0 pace=9600,7E1 gap=5"},
      {{"--ima", "a.mgt", "--pty"}, "pty image=a.mgt"}, // an unambiguous abbreviation
      {{"--bogus", "--help"}, "!unknown option --bogus"},
      {{"--pty", "--help", "--timeout=1"}, "pty timeout=1.0 help"}, // --help beside other options
      {{"-h"}, "help"},
      {{"-V", "ttyUSB0"}, "version"}, // the port is not looked at
      {{"-x", "ttyUSB0"}, "!unknown option -x"},
      {{"--p", "ttyUSB0"}, "!ambiguous option --p"},
      {{"--pty=1"}, "!--pty takes no value"},
      {{"--pty", "--image"}, "!--image needs a value"},
      {{"--timeout", "soon", "--pty"}, "!--timeout wants a number from 0 to 1000000"},
      {{"--settle=-1", "--pty"}, "!--settle wants a number from 0 to 1000000"},
      {{"--pace", "115200", "--pty"}, "!--pace wants BAUD,FORMAT such as 115200,8N2"},
      {{}, "!give a PORT or --pty"},
      {{"--pty", "ttyUSB0"}, "!give --pty or a PORT, not both"},
      {{"ttyUSB0", "ttyUSB1"}, "!one port at a time"},
  };
  for (const auto& [aArgs, cWant] : aCases) {
    std::string cError;
    const auto o = ParseOptions(aArgs, cError);
    std::string cGot = "!" + cError;
    if (o) {
      cGot.clear();
      const auto Add = [&cGot](bool lRead, const std::string& c) {
        cGot += lRead ? (cGot.empty() ? "" : " ") + c : "";
      };
      Add(!o->cPort.empty(), "port=" + o->cPort);
      Add(o->lPty, "pty");
      for (const auto& [pName, pValue] : {std::pair{"image=", &o->cImage},
                                          {"expect=", &o->cExpect},
                                          {"commands=", &o->cCommands},
                                          {"pace=", &o->cPace}}) {
        Add(pValue->has_value(), pName + pValue->value_or(""));
      }
      Add(o->dTimeout != 10.0, "timeout=" + std::to_string(o->dTimeout).erase(3));
      Add(o->nSettleMs != 300, "settle=" + std::to_string(o->nSettleMs));
      Add(o->dMinGapMs != 9.0, "gap=" + std::to_string(static_cast<int>(o->dMinGapMs)));
      Add(o->lVerbose, "verbose");
      Add(o->lHelp, "help");
      Add(o->lVersion, "version");
    }
    EXPECT_EQ(cGot, cWant) << ::testing::PrintToString(aArgs);
  }
}

} // namespace
} // namespace veltra::tools
