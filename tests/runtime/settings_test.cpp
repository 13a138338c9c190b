// The runtime settings: SET with its value rules and argument errors, the date format and
// CENTURY, the epoch, and the file-name case.
#include "runtime/error_handler.h"
#include "runtime/settings.h"

#include <gtest/gtest.h>

namespace veltra::runtime {
namespace {

class Settings : public ::testing::Test {
protected:
  void SetUp() override {
    SETTINGS() = RuntimeSettings{};
    ERRORBLOCK([this](const ErrorRecord& oError) {
      aErrors.push_back(oError);
      return ErrorValue{false};
    });
  }
  void TearDown() override {
    ERRORBLOCK({});
    SETTINGS() = RuntimeSettings{};
  }
  std::vector<ErrorRecord> aErrors;
};

// SET gives back the format it replaces; CENTURY follows the new format's first run of Ys.
TEST_F(Settings, TheDateFormatsFirstRunOfYsSetsCentury) {
  struct Case {
    const char* cFormat;
    bool lCentury;
  };
  const Case aCases[] = {{"dd/mm/yyyy", true}, {"dd/mm/yy", false},   {"YYYY.MM.DD", true},
                         {"yYyYy-mm", true},   {"yy/mm/yyyy", false}, {"dd/mm", false},
                         {"yyyy", true},       {"", false},           {"yyy", false}};
  std::string cPrevious = "mm/dd/yy";
  for (const Case& c : aCases) {
    EXPECT_EQ(SET(SET_DATEFORMAT, std::string(c.cFormat)), SetValue{cPrevious});
    EXPECT_EQ(SETTINGS().CENTURY, c.lCentury) << c.cFormat;
    EXPECT_EQ(SETTINGS().cDateFormat, c.cFormat);
    cPrevious = c.cFormat;
  }
  EXPECT_TRUE(aErrors.empty());
}

TEST_F(Settings, FileCaseTakesItsWordsOrANumber) {
  struct Case {
    SetValue xValue;
    int nStored;
  };
  const Case aCases[] = {{std::string("LOWER"), CASE_LOWER},
                         {std::string("UPPER"), CASE_UPPER},
                         {std::string("MIXED"), CASE_MIXED},
                         {std::string("upper"), CASE_UPPER},
                         {2, 2},
                         {0, 0},
                         {7, 7}};
  int nPrevious = SETTINGS().FILECASE;
  for (const Case& c : aCases) {
    EXPECT_EQ(SET(SET_FILECASE, c.xValue), SetValue{nPrevious});
    EXPECT_EQ(SETTINGS().FILECASE, c.nStored);
    nPrevious = c.nStored;
  }
  EXPECT_TRUE(aErrors.empty());
}

TEST_F(Settings, WrongValuesRaiseAnArgumentErrorAndChangeNothing) {
  struct Case {
    int nSet;
    SetValue xValue;
  };
  const Case aCases[] = {{SET_EPOCH, -1},
                         {SET_MARGIN, -5},
                         {SET_AUTOSHARE, -2},
                         {SET_DBFLOCKSCHEME, -1},
                         {SET_FILECASE, -1},
                         {SET_FILECASE, std::string("SIDEWAYS")},
                         {SET_EPOCH, std::string("1980")},
                         {SET_DELETED, 3},
                         {SET_CONFIRM, std::string("YES")},
                         {SET_DATEFORMAT, 5}};
  for (const Case& c : aCases) {
    SCOPED_TRACE(c.nSet);
    SETTINGS() = RuntimeSettings{};
    aErrors.clear();
    const int nLine = __LINE__ + 1;
    const SetValue xOld = SET(c.nSet, c.xValue);
    EXPECT_EQ(SET(c.nSet), xOld); // unchanged
    ASSERT_EQ(aErrors.size(), 1u);
    EXPECT_EQ(ERRORMESSAGE(aErrors[0]), "Error BASE/???  Argument error: SET;Function: "
                                        "Settings_WrongValuesRaiseAnArgumentErrorAndChangeNothing"
                                        "_Test:TestBody  Line: " +
                                            std::to_string(nLine));
    EXPECT_TRUE(aErrors[0].CANDEFAULT);
  }
}

TEST_F(Settings, AnUnknownNumberGivesNoValueAndNoError) {
  EXPECT_TRUE(std::holds_alternative<std::monostate>(SET(9999, 3)));
  EXPECT_TRUE(aErrors.empty());
}

} // namespace
} // namespace veltra::runtime
