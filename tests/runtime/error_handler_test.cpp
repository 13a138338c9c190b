// The error handler: the fourteen rules with their texts and outcomes, error launching (pending
// break or quit, nesting limit, the handler's answer), the error text and routine names, the
// mail address of the fatal path, guarded blocks, and internal errors.
#include "runtime/error_handler.h"
#include "runtime/hooks.h"
#include "runtime/settings.h"
#include "runtime/startup.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace veltra::runtime {
namespace {

struct Popup {
  std::string cText;
  int nType;
};

// Installs DEFERROR and recording hooks; the popup answers as lAnswerOk says.
class ErrorHandler : public ::testing::Test {
protected:
  void SetUp() override {
    ERRORSYS();
    NETERR(false);
    SETPOPUPHOOK([this](const std::string& cText, int nType) {
      aPopups.push_back({cText, nType});
      return lAnswerOk;
    });
    SETURLOPENERHOOK([this](const std::string& cUrl) { aUrls.push_back(cUrl); });
    SETPOSTQUITHOOK([this](int nCode) { aQuits.push_back(nCode); });
  }
  void TearDown() override {
    SETPOPUPHOOK({});
    SETURLOPENERHOOK({});
    SETPOSTQUITHOOK({});
    detail::CLEARPENDING();
    ERRORBLOCK({});
  }

  std::vector<Popup> aPopups;
  std::vector<std::string> aUrls;
  std::vector<int> aQuits;
  bool lAnswerOk = false;
};

// How a raised error ended, as the raising code sees it.
std::string RAISE(const ErrorRecord& oError) {
  try {
    return BEGINSEQUENCE(
        [&] {
          const ErrorOutcome oOutcome = LAUNCHERROR(oError);
          switch (oOutcome.nAction) {
          case ErrorAction::Substitute:
            return std::get_if<double>(&oOutcome.xValue) != nullptr
                       ? "substitute " + std::to_string(std::get<double>(oOutcome.xValue))
                       : std::string("substitute non-number");
          case ErrorAction::Default:
            return std::string("default");
          case ErrorAction::Retry:
            return std::string("retry");
          case ErrorAction::Abandon:
            return std::string("abandon");
          }
          return std::string("?");
        },
        [] { return std::string("break"); });
  } catch (const Quit&) {
    detail::CLEARPENDING();
    return "quit";
  }
}

ErrorRecord FILEERROR(int nOsCode, const std::string& cFile = "c:/dati/immagine.mgt") {
  ErrorRecord oError;
  oError.GENCODE = EG_OPEN;
  oError.SUBSYSTEM = "BASE";
  oError.OSCODE = nOsCode;
  oError.FILENAME = cFile;
  oError.CANDEFAULT = true;
  return oError;
}

struct RuleCase {
  const char* cName;
  ErrorRecord oError;
  const char* cPopup; // the exact type-1 message; "" when none is shown
  const char* cOutcome;
  bool lNetErr;
};

std::vector<RuleCase> RULECASES() {
  auto With = [](ErrorRecord oError, auto fChange) {
    fChange(oError);
    return oError;
  };
  const std::string F = "C:/DATI/IMMAGINE.MGT";
  return {
      {"1 not ready", FILEERROR(21), "Disco C:/DATI/IMMAGINE.MGT non pronto.", "break", false},
      {"2 sector not found", FILEERROR(27), "Disco C:/DATI/IMMAGINE.MGT non formattato.", "break",
       false},
      {"2 device failure", FILEERROR(31), "Disco C:/DATI/IMMAGINE.MGT non formattato.", "break",
       false},
      {"3 write-protected", FILEERROR(19), "Disco C:/DATI/IMMAGINE.MGT protetto da scrittura.",
       "break", false},
      {"4 directory full", FILEERROR(82), "Directory C:/DATI/IMMAGINE.MGT piena.", "break", false},
      {"5 disk full", With(FILEERROR(0), [](ErrorRecord& e) { e.SUBCODE = 2016; }),
       "Spazio sul disco C:/DATI/IMMAGINE.MGT insufficiente.", "break", false},
      {"6 access denied", FILEERROR(5), "Impossibile accedere al file C:/DATI/IMMAGINE.MGT.",
       "break", false},
      {"6 already exists reported as 5", FILEERROR(183),
       "Impossibile accedere al file C:/DATI/IMMAGINE.MGT.", "break", false},
      {"7 path not found", FILEERROR(3), "Percorso C:/DATI/IMMAGINE.MGT non trovato.", "break",
       false},
      {"8 file not found", FILEERROR(2), "Impossibile aprire il file C:/DATI/IMMAGINE.MGT.",
       "break", false},
      {"9 corrupt by subcode", With(FILEERROR(0), [](ErrorRecord& e) { e.SUBCODE = 1012; }),
       "Il file C:/DATI/IMMAGINE.MGT risulta corrotto.", "break", false},
      {"9 corrupt by gencode",
       With(FILEERROR(0), [](ErrorRecord& e) { e.GENCODE = EG_CORRUPTION; }),
       "Il file C:/DATI/IMMAGINE.MGT risulta corrotto.", "break", false},
      {"11 zero divisor",
       With(ErrorRecord{},
            [](ErrorRecord& e) {
              e.GENCODE = EG_ZERODIV;
              e.CANSUBSTITUTE = true;
            }),
       "", "substitute 0.000000", false},
      {"12 sharing violation", FILEERROR(32), "", "default", true},
      {"13 append lock",
       With(ErrorRecord{},
            [](ErrorRecord& e) {
              e.GENCODE = EG_APPENDLOCK;
              e.CANDEFAULT = true;
            }),
       "", "default", true},
      {"12 needs CANDEFAULT", With(FILEERROR(32), [](ErrorRecord& e) { e.CANDEFAULT = false; }), "",
       "quit", false},
      {"13 needs CANDEFAULT",
       With(ErrorRecord{}, [](ErrorRecord& e) { e.GENCODE = EG_APPENDLOCK; }), "", "quit", false},
      {"14 anything else", With(ErrorRecord{}, [](ErrorRecord& e) { e.GENCODE = 99; }), "", "quit",
       false},
  };
}

TEST_F(ErrorHandler, EachRuleShowsItsTextAndEndsAsItSays) {
  for (const RuleCase& oCase : RULECASES()) {
    SCOPED_TRACE(oCase.cName);
    aPopups.clear();
    aQuits.clear();
    NETERR(false);
    EXPECT_EQ(RAISE(oCase.oError), oCase.cOutcome);
    EXPECT_EQ(NETERR(), oCase.lNetErr);
    const std::string cPopup = oCase.cPopup;
    if (!cPopup.empty()) {
      ASSERT_EQ(aPopups.size(), 1u);
      EXPECT_EQ(aPopups[0].cText, cPopup);
      EXPECT_EQ(aPopups[0].nType, 1);
    } else if (std::string(oCase.cOutcome) == "quit") {
      // The fatal path asks its question and posts the quit message with 0.
      ASSERT_EQ(aPopups.size(), 1u);
      EXPECT_EQ(aPopups[0].nType, 2);
      EXPECT_EQ(aQuits, std::vector<int>{0});
    } else {
      EXPECT_TRUE(aPopups.empty());
      EXPECT_TRUE(aQuits.empty());
    }
    EXPECT_FALSE(BREAKPENDING());
  }
}

TEST_F(ErrorHandler, AccessDeniedOnAnOpenShowsRuleSixInsteadOfSettingNetErr) {
  ErrorRecord oError = FILEERROR(5, "Dati.dbf");
  ASSERT_EQ(oError.GENCODE, EG_OPEN);
  ASSERT_TRUE(oError.CANDEFAULT);
  EXPECT_EQ(RAISE(oError), "break");
  EXPECT_FALSE(NETERR());
  ASSERT_EQ(aPopups.size(), 1u);
  EXPECT_EQ(aPopups[0].cText, "Impossibile accedere al file DATI.DBF.");
}

TEST_F(ErrorHandler, OleErrorShowsTheErrorTextAndBreaks) {
  ErrorRecord oError;
  oError.GENCODE = EG_OLE;
  oError.SUBSYSTEM = "WINOLE";
  oError.SUBCODE = 1001;
  oError.OPERATION = "CreateObject";
  const int nLine = __LINE__ + 1;
  const ErrorOutcome oOutcome = BEGINSEQUENCE([&] { return LAUNCHERROR(oError); },
                                              [] {
                                                return ErrorOutcome{ErrorAction::Retry, {}};
                                              });
  EXPECT_EQ(oOutcome.nAction, ErrorAction::Retry); // the recovery's value: the break was taken
  ASSERT_EQ(aPopups.size(), 1u);
  EXPECT_EQ(aPopups[0].nType, 1);
  EXPECT_EQ(aPopups[0].cText, "Error WINOLE/1001: CreateObject;Function: "
                              "(b)ErrorHandler_OleErrorShowsTheErrorTextAndBreaks_Test:TestBody"
                              "  Line: " +
                                  std::to_string(nLine));
}

TEST_F(ErrorHandler, DivisionByZeroGivesZeroWithoutAMessage) {
  EXPECT_EQ(DIVIDE(7.0, 2.0), 3.5);
  EXPECT_EQ(DIVIDE(7.0, 0.0), 0.0);
  EXPECT_EQ(DIVIDE(-1.0, 0.0), 0.0);
  EXPECT_TRUE(aPopups.empty());
  EXPECT_TRUE(aQuits.empty());
}

TEST_F(ErrorHandler, FatalPathWithCancelOpensNothing) {
  ErrorRecord oError;
  oError.GENCODE = 99;
  oError.SUBSYSTEM = "TEST";
  oError.SUBCODE = 3;
  oError.DESCRIPTION = "Guasto";
  EXPECT_EQ(RAISE(oError), "quit");
  ASSERT_EQ(aPopups.size(), 1u);
  EXPECT_EQ(aPopups[0].nType, 2);
  EXPECT_EQ(aPopups[0].cText.rfind("Error TEST/3  Guasto;Function: (b)RAISE  Line: ", 0), 0u)
      << aPopups[0].cText;
  const std::string cQuestion = ";;Inviare rapporto di errore via email?";
  EXPECT_EQ(aPopups[0].cText.substr(aPopups[0].cText.size() - cQuestion.size()), cQuestion);
  EXPECT_TRUE(aUrls.empty());
  EXPECT_EQ(aQuits, std::vector<int>{0});
}

TEST_F(ErrorHandler, FatalPathWithOkOpensTheMailAddressBeforeQuitting) {
  lAnswerOk = true;
  ErrorRecord oError;
  oError.GENCODE = 99;
  oError.DESCRIPTION = "A & B; 50% off";
  EXPECT_EQ(RAISE(oError), "quit");
  ASSERT_EQ(aPopups.size(), 1u);
  const std::string cQuestion = ";;Inviare rapporto di errore via email?";
  const std::string cErrText =
      aPopups[0].cText.substr(0, aPopups[0].cText.size() - cQuestion.size());
  ASSERT_EQ(aUrls.size(), 1u);
  EXPECT_EQ(aUrls[0], MAILTOURL(cErrText, GETMODULEFILENAME()));
  EXPECT_NE(aUrls[0].find("Error ???"
                          "/???  A %26 B%0d%0a 50% off%0d%0aFunction: (b)RAISE  Line: "),
            std::string::npos)
      << aUrls[0];
  EXPECT_EQ(aQuits, std::vector<int>{0});
}

TEST(MailToUrl, EncodesOnlyAmpersandsThenSemicolons) {
  struct Case {
    const char* cText;
    const char* cBody;
  };
  const Case aCases[] = {
      {"plain text", "plain text"},
      {"a&b", "a%26b"},
      {"a;b", "a%0d%0ab"},
      {"&;", "%26%0d%0a"},
      {"50% & 1;2  x", "50% %26 1%0d%0a2  x"},
      {"%26;", "%26%0d%0a"}, // a "%26" already there is not encoded again
  };
  for (const Case& c : aCases) {
    EXPECT_EQ(MAILTOURL(c.cText, "/opt/veltra & co/veltra"),
              std::string("mailto:?subject=Rapporto di errore&body=Applicazione: "
                          "/opt/veltra & co/veltra%0d%0a%0d%0a") +
                  c.cBody)
        << c.cText;
  }
}

TEST(ErrorMessage, IsBuiltFromTheRecordInOrder) {
  auto Rec = [](int nSeverity, std::optional<std::string> cSub, std::optional<int> nSubCode,
                std::optional<std::string> cDesc, std::string cOp, std::string cFile) {
    ErrorRecord e;
    e.SEVERITY = nSeverity;
    e.SUBSYSTEM = std::move(cSub);
    e.SUBCODE = nSubCode;
    e.DESCRIPTION = std::move(cDesc);
    e.OPERATION = std::move(cOp);
    e.FILENAME = std::move(cFile);
    return e;
  };
  struct Case {
    ErrorRecord oError;
    const char* cText;
  };
  const Case aCases[] = {
      {Rec(2, {}, {}, {}, "", ""), "Error ???"
                                   "/???;Function:   Line: 0"},
      {Rec(3, "DBFCDX", 1012, "Corruption detected", "", "x.dbf"),
       "Error DBFCDX/1012  Corruption detected: x.dbf;Function:   Line: 0"},
      {Rec(1, "BASE", 0, {}, "SUBSTR", ""), "Warning BASE/0: SUBSTR;Function:   Line: 0"},
      {Rec(0, "BASE", -3, "", "", ""), "Warning BASE/-3  ;Function:   Line: 0"},
      // An empty file name (blanks and line breaks only) gives way to the operation.
      {Rec(2, "BASE", 1, {}, "FOPEN", " \t\r\n"), "Error BASE/1: FOPEN;Function:   Line: 0"},
      {Rec(2, "BASE", 1, {}, "  ", ""), "Error BASE/1;Function:   Line: 0"},
  };
  for (const Case& c : aCases) {
    EXPECT_EQ(ERRORMESSAGE(c.oError), c.cText);
  }
}

// The reporting routine, from where the error was raised.
class TProbe {
public:
  std::source_location Raise() { return std::source_location::current(); }
  std::source_location RaiseInCallback() {
    auto bCallback = [] { return std::source_location::current(); };
    return bCallback();
  }
};

std::source_location PLAINROUTINE() {
  return std::source_location::current();
}

TEST(ErrorMessage, NamesThePlainRoutineTheMethodAndTheCallback) {
  TProbe oProbe;
  const std::source_location aWhere[] = {PLAINROUTINE(), oProbe.Raise(), oProbe.RaiseInCallback()};
  const char* aNames[] = {"PLAINROUTINE", "TProbe:Raise", "(b)TProbe:RaiseInCallback"};
  for (size_t i = 0; i < 3; ++i) {
    ErrorRecord oError;
    oError.SUBSYSTEM = "BASE";
    oError.SUBCODE = 1;
    oError.WHERE = aWhere[i];
    EXPECT_EQ(ERRORMESSAGE(oError), std::string("Error BASE/1;Function: ") + aNames[i] +
                                        "  Line: " + std::to_string(aWhere[i].line()));
    EXPECT_GT(aWhere[i].line(), 0u);
  }
}

TEST(RoutineName, FollowsTheNamingRulesForCompilerNames) {
  struct Case {
    const char* cFunction;
    const char* cName;
  };
  const Case aCases[] = {
      {"", ""},
      {"int main()", "main"},
      {"void veltra::app::MAIN()", "MAIN"},
      {"std::vector<int> veltra::app::MAIN(const std::vector<std::__cxx11::basic_string<char> "
       ">&)",
       "MAIN"},
      {"veltra::app::MAIN(const std::vector<std::__cxx11::basic_string<char> >&)::<lambda()>",
       "(b)MAIN"},
      {"void veltra::ui::TDialog::Activate(int, const std::string&) const", "TDialog:Activate"},
      {"veltra::ui::TDialog::Activate(int, const std::string&) const::<lambda(int)>",
       "(b)TDialog:Activate"},
      {"veltra::ui::TDialog::Activate(int) const::<lambda(int)>::<lambda()>",
       "(b)TDialog:Activate"},
      {"static void veltra::ui::TDialog::S()", "TDialog:S"},
      {"veltra::ui::TDialog::TDialog()", "TDialog:TDialog"},
      {"bool veltra::ui::TDialog::operator()(int)", "TDialog:operator()"},
      {"T veltra::ui::TDialog::Tm(T) [with T = double]", "TDialog:Tm"},
      {"void veltra::app::{anonymous}::APRICOM()", "APRICOM"},
      {"std::function<void()> veltra::app::MAKE(int)", "MAKE"},
      {"void veltra::ui::TBox<int>::Show()", "TBox:Show"},
      {"main()::<lambda(auto:11)> [with auto:11 = int]", "(b)main"},
  };
  for (const Case& c : aCases) {
    EXPECT_EQ(ROUTINENAME(c.cFunction), c.cName) << c.cFunction;
  }
}

TEST_F(ErrorHandler, LaunchingRecordsTheCallersRoutineAndLine) {
  ErrorRecord oSeen;
  ERRORBLOCK([&](const ErrorRecord& oError) {
    oSeen = oError;
    return ErrorValue{false};
  });
  ErrorRecord oError;
  oError.CANDEFAULT = true;
  const int nLine = __LINE__ + 1;
  EXPECT_EQ(LAUNCHERROR(oError).nAction, ErrorAction::Default);
  EXPECT_EQ(oSeen.WHERE.line(), static_cast<unsigned>(nLine));
  EXPECT_EQ(ROUTINENAME(oSeen.WHERE.function_name()),
            "ErrorHandler_LaunchingRecordsTheCallersRoutineAndLine_Test:TestBody");
}

TEST_F(ErrorHandler, AnErrorLaunchedWhileABreakIsPendingIsNotReported) {
  struct Cleanup {
    ErrorAction* pAction;
    ~Cleanup() { *pAction = LAUNCHERROR(FILEERROR(21)).nAction; }
  };
  ErrorAction nInUnwind = ErrorAction::Retry;
  const int nResult = BEGINSEQUENCE(
      [&] {
        const Cleanup oCleanup{&nInUnwind};
        LAUNCHERROR(FILEERROR(2)); // rule 8: message and break
        return 1;
      },
      [] { return -1; });
  EXPECT_EQ(nResult, -1);
  EXPECT_EQ(nInUnwind, ErrorAction::Abandon);
  ASSERT_EQ(aPopups.size(), 1u); // only the first error was shown
  EXPECT_EQ(aPopups[0].cText, "Impossibile aprire il file C:/DATI/IMMAGINE.MGT.");
  EXPECT_FALSE(BREAKPENDING());
  // With the break settled, errors are reported again.
  EXPECT_EQ(RAISE(FILEERROR(21)), "break");
  EXPECT_EQ(aPopups.size(), 2u);
}

TEST_F(ErrorHandler, QuitPassesThroughAGuardedBlockAndSilencesLaterErrors) {
  bool lRecovered = false;
  EXPECT_THROW(BEGINSEQUENCE([] { QUIT_(); }, [&] { lRecovered = true; }), Quit);
  EXPECT_FALSE(lRecovered);
  EXPECT_TRUE(QUITPENDING());
  EXPECT_EQ(LAUNCHERROR(FILEERROR(21)).nAction, ErrorAction::Abandon);
  EXPECT_TRUE(aPopups.empty());
}

TEST_F(ErrorHandler, GuardedBlocksNestAndTheInnermostRecovers) {
  std::vector<std::string> aTrail;
  const int nOuter = BEGINSEQUENCE(
      [&] {
        const int nInner = BEGINSEQUENCE(
            [&] {
              aTrail.push_back("inner body");
              BREAK();
              aTrail.push_back("not reached");
              return 0;
            },
            [&] {
              aTrail.push_back("inner recovery");
              return -1;
            });
        aTrail.push_back("outer goes on");
        return nInner;
      },
      [&] {
        aTrail.push_back("outer recovery");
        return -2;
      });
  EXPECT_EQ(nOuter, -1);
  EXPECT_EQ(aTrail, (std::vector<std::string>{"inner body", "inner recovery", "outer goes on"}));
}

TEST_F(ErrorHandler, HeldBreakCrossesAnEventLoopAndIsRaisedAfterIt) {
  std::vector<std::string> aTrail;
  const int nResult = BEGINSEQUENCE(
      [&] {
        EXPECT_TRUE(HOLDUNWIND([] {}));
        const bool lDone = HOLDUNWIND([] {
          RAISE(FILEERROR(0));
          BREAK();
        });
        aTrail.push_back(lDone ? "done" : "held");
        EXPECT_TRUE(BREAKPENDING());
        RETHROWHELD();
        aTrail.push_back("not reached");
        return 0;
      },
      [] { return -1; });
  EXPECT_EQ(nResult, -1);
  EXPECT_EQ(aTrail, std::vector<std::string>{"held"});
  EXPECT_FALSE(BREAKPENDING());
  RETHROWHELD(); // nothing held any more
}

// The handler's answer against what the operation accepts.
TEST_F(ErrorHandler, HandlerAnswerIsCheckedAgainstTheOperation) {
  struct Case {
    bool lSubstitute, lRetry, lDefault;
    ErrorValue xAnswer;
    const char* cOutcome; // "" for internal error 9001
  };
  const Case aCases[] = {
      {true, false, false, 42.0, "substitute 42.000000"},
      {true, false, false, ErrorValue{false}, "substitute non-number"},
      {false, true, false, ErrorValue{true}, "retry"},
      {false, false, true, ErrorValue{false}, "default"},
      {false, true, true, ErrorValue{true}, "retry"},
      {false, false, false, ErrorValue{true}, ""},
      {false, false, false, ErrorValue{false}, ""},
      {false, true, true, ErrorValue{}, ""},
      {false, true, true, 0.0, ""},
  };
  for (const Case& c : aCases) {
    ErrorRecord oError;
    oError.CANSUBSTITUTE = c.lSubstitute;
    oError.CANRETRY = c.lRetry;
    oError.CANDEFAULT = c.lDefault;
    ERRORBLOCK([&](const ErrorRecord&) { return c.xAnswer; });
    if (*c.cOutcome != '\0') {
      EXPECT_EQ(RAISE(oError), c.cOutcome);
    } else {
      EXPECT_EXIT(RAISE(oError), ::testing::ExitedWithCode(1),
                  "Unrecoverable error 9001: Error recovery failure");
    }
  }
}

TEST_F(ErrorHandler, NoHandlerIsInternalError9002) {
  ERRORBLOCK({});
  EXPECT_EXIT(RAISE(FILEERROR(2)), ::testing::ExitedWithCode(1),
              "^Unrecoverable error 9002: No ERRORBLOCK\\(\\) for error\n$");
}

TEST_F(ErrorHandler, TheNinthNestedInvocationIsInternalError9003) {
  // Each popup raises a further error, as a fault inside the handler would.
  int nPopups = 0;
  SETPOPUPHOOK([&](const std::string&, int) {
    ++nPopups;
    RAISE(FILEERROR(21));
    return false;
  });
  SETINTERNALERRORHOOK([&](const std::string& cCaption, const std::string& cText) {
    std::fprintf(stderr, "after %d popups: %s%s\n", nPopups, cCaption.c_str(), cText.c_str());
    return true;
  });
  EXPECT_EXIT(RAISE(FILEERROR(21)), ::testing::ExitedWithCode(1),
              "^after 8 popups: Unrecoverable error 9003: Too many recursive error handler "
              "calls\n$");
  SETINTERNALERRORHOOK({});
}

TEST_F(ErrorHandler, EightNestedInvocationsAreAllowedAndTheCounterComesDown) {
  // Nested to the limit, the innermost breaking; then to the limit again: if a level were not
  // given back on the way out, the second round would end in 9003.
  int nDepth = 0;
  int nDeepest = 0;
  ERRORBLOCK([&](const ErrorRecord& oError) -> ErrorValue {
    ++nDepth;
    nDeepest = std::max(nDeepest, nDepth);
    if (nDepth < SETTINGS().ERRORLOOP) {
      LAUNCHERROR(oError);
    }
    --nDepth;
    if (oError.OSCODE == 21) {
      BREAK();
    }
    return false;
  });
  ErrorRecord oBreaking = FILEERROR(21);
  ErrorRecord oReturning = FILEERROR(0);
  EXPECT_EXIT(
      {
        for (int nRound = 0; nRound < 2; ++nRound) {
          if (RAISE(oBreaking) != "break" || RAISE(oReturning) != "default") {
            std::_Exit(2);
          }
        }
        std::fprintf(stderr, "deepest %d\n", nDeepest);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "deepest 8");
}

TEST(InternalError, ShowsTheBoxOrWritesToStandardErrorAndExitsWithOne) {
  struct Case {
    int nCode;
    const char* cText;
  };
  const Case aCases[] = {{9001, "Error recovery failure"},
                         {9002, "No ERRORBLOCK\\(\\) for error"},
                         {9003, "Too many recursive error handler calls"},
                         {9006, "Out of memory"}};
  for (const Case& c : aCases) {
    const std::string cLine = "Unrecoverable error " + std::to_string(c.nCode) + ": " + c.cText;
    // No box can be shown: standard error.
    EXPECT_EXIT(INTERNALERROR(c.nCode), ::testing::ExitedWithCode(1), "^" + cLine + "\n$");
    // A box was shown: nothing on standard error but what the box hook wrote.
    EXPECT_EXIT(
        {
          SETINTERNALERRORHOOK([](const std::string& cCaption, const std::string& cText) {
            std::fprintf(stderr, "BOX[%s|%s]", cCaption.c_str(), cText.c_str());
            return true;
          });
          INTERNALERROR(c.nCode);
        },
        ::testing::ExitedWithCode(1),
        "^BOX\\[Unrecoverable error " + std::to_string(c.nCode) + ": \\|" + c.cText + "\\]$");
  }
}

TEST(OsCode, ErrnoValuesMapToTheNumbersTheRulesTest) {
  struct Case {
    int nErrno;
    int nOsCode;
  };
  const Case aCases[] = {{0, 0},      {ENOENT, 2},  {ENOTDIR, 3}, {EACCES, 5},     {EPERM, 5},
                         {EEXIST, 5}, {EROFS, 19},  {ENXIO, 21},  {ENOMEDIUM, 21}, {EIO, 31},
                         {EBUSY, 32}, {EAGAIN, 32}, {ENOSPC, 112}};
  for (const Case& c : aCases) {
    EXPECT_EQ(OSCODEFROMERRNO(c.nErrno), c.nOsCode) << c.nErrno;
  }
  // Unmapped values keep their number, away from every code a rule tests.
  for (const int nErrno : {EINVAL, EFBIG, EMFILE}) {
    const int nCode = OSCODEFROMERRNO(nErrno);
    EXPECT_EQ(nCode & 0xFFFF, nErrno);
    EXPECT_GT(nCode, 0xFFFF);
  }
}

} // namespace
} // namespace veltra::runtime
