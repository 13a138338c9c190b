// The device emulator's command line, in process: what each way of typing it gives, and the
// reason given for each one that cannot be used.
#include "tools/device/device_options.h"

#include <gtest/gtest.h>

namespace veltra::tools {
namespace {

TEST(DeviceOptions, ReadsEachFormAndSaysWhichOptionIsWrongAndWhy) {
  const struct {
    std::vector<std::string_view> aArgs;
    std::string cPort; // the port read, or "!" + the error
    std::string cMore; // what else must have been read
  } aCases[] = {
      {{"--pty", "--image", "a.mgt"}, "", "pty image=a.mgt"},
      {{"ttyUSB0", "--expect=e.mgt", "--timeout", "2.5"}, "ttyUSB0", "expect=e.mgt timeout=2.5"},
      {{"--settle=0", "--", "-odd-port"}, "-odd-port", "settle=0"},
      {{"--commands", "TTE", "--verbose", "/dev/ttyS1"}, "/dev/ttyS1", "commands=TTE verbose"},
      {{"--pace", "9600,7E1", "--min-gap", "5", "ttyUSB0"}, "ttyUSB0", "pace=9600,7E1 gap=5"},
      {{"--ima", "a.mgt", "--pty"}, "", "pty image=a.mgt"}, // an unambiguous abbreviation
      {{"--bogus", "--help"}, "!unknown option --bogus", ""},
      {{"--pty", "--help", "--timeout=1"},
       "",
       "pty timeout=1.0 help"}, // --help beside other options
      {{"-h"}, "", "help"},
      {{"-V", "ttyUSB0"}, "", "version"}, // the port is not looked at
      {{"-x", "ttyUSB0"}, "!unknown option -x", ""},
      {{"--p", "ttyUSB0"}, "!ambiguous option --p", ""},
      {{"--pty=1"}, "!--pty takes no value", ""},
      {{"--pty", "--image"}, "!--image needs a value", ""},
      {{"--timeout", "soon", "--pty"}, "!--timeout wants a number from 0 to 1000000", ""},
      {{"--settle=-1", "--pty"}, "!--settle wants a number from 0 to 1000000", ""},
      {{"--pace", "115200", "--pty"}, "!--pace wants BAUD,FORMAT such as 115200,8N2", ""},
      {{}, "!give a PORT or --pty", ""},
      {{"--pty", "ttyUSB0"}, "!give --pty or a PORT, not both", ""},
      {{"ttyUSB0", "ttyUSB1"}, "!one port at a time", ""},
  };
  for (const auto& c : aCases) {
    std::string cArgs;
    for (const std::string_view a : c.aArgs) {
      cArgs += std::string(a) + " ";
    }
    SCOPED_TRACE(cArgs);
    std::string cError;
    const auto o = ParseOptions(c.aArgs, cError);
    if (c.cPort.starts_with("!")) {
      EXPECT_FALSE(o.has_value());
      EXPECT_EQ(cError, c.cPort.substr(1));
      continue;
    }
    ASSERT_TRUE(o.has_value()) << cError;
    std::string cMore;
    const auto Add = [&](const std::string& c) { cMore += (cMore.empty() ? "" : " ") + c; };
    if (o->lPty) {
      Add("pty");
    }
    for (const auto& [pName, pValue] : {std::pair{"image", &o->cImage},
                                        {"expect", &o->cExpect},
                                        {"commands", &o->cCommands},
                                        {"pace", &o->cPace}}) {
      if (*pValue) {
        Add(std::string(pName) + "=" + **pValue);
      }
    }
    if (o->dTimeout != 10.0) {
      Add("timeout=" + std::to_string(o->dTimeout).erase(3));
    }
    if (o->nSettleMs != 300) {
      Add("settle=" + std::to_string(o->nSettleMs));
    }
    if (o->dMinGapMs != 9.0) {
      Add("gap=" + std::to_string(static_cast<int>(o->dMinGapMs)));
    }
    if (o->lVerbose) {
      Add("verbose");
    }
    if (o->lHelp) {
      Add("help");
    }
    if (o->lVersion) {
      Add("version");
    }
    EXPECT_EQ(o->cPort, c.cPort);
    EXPECT_EQ(cMore, c.cMore);
  }
}

} // namespace
} // namespace veltra::tools
