// The error handler: the fourteen rules, error launching (pending break or quit, nesting
// limit, the handler's answer), the error text and routine names, guarded blocks, internal
// errors. The fatal path's exit code and mail address are in the whole-run tests.
#include "mailto_fields.h"
#include "runtime/error_handler.h"
#include "runtime/hooks.h"
#include "runtime/settings.h"
#include "runtime/startup.h"

#include <gtest/gtest.h>

namespace veltra::runtime {
namespace {

using ::testing::ExitedWithCode;

struct Popup {
  std::string cText;
  int nType;
  bool operator==(const Popup&) const = default;
};

// DEFERROR installed, popups and quit requests recorded; popups answer Cancel.
class ErrorHandler : public ::testing::Test {
protected:
  void SetUp() override {
    ERRORSYS();
    NETERR(false);
    SETPOPUPHOOK([this](const std::string& cText, int nType) {
      aPopups.push_back({cText, nType});
      return false;
    });
    SETPOSTQUITHOOK([this](int nCode) { aQuits.push_back(nCode); });
  }
  void TearDown() override {
    SETPOPUPHOOK({});
    SETPOSTQUITHOOK({});
    detail::CLEARPENDING();
    ERRORBLOCK({});
  }
  std::vector<Popup> aPopups;
  std::vector<int> aQuits;
};

int nRaiseLine = 0;

// How a raised error ended, as the raising code sees it.
std::string RAISE(const ErrorRecord& oError) {
  try {
    return BEGINSEQUENCE(
        [&] {
          nRaiseLine = __LINE__ + 1;
          const ErrorOutcome o = LAUNCHERROR(oError);
          const double* pNumber = std::get_if<double>(&o.xValue);
          switch (o.nAction) {
          case ErrorAction::Substitute:
            return pNumber ? "substitute " + std::to_string(*pNumber) : "substitute other";
          case ErrorAction::Default:
            return std::string("default");
          case ErrorAction::Retry:
            return std::string("retry");
          default:
            return std::string("abandon");
          }
        },
        [] { return std::string("break"); });
  } catch (const Quit&) {
    detail::CLEARPENDING();
    return "quit";
  }
}

ErrorRecord REC(int nGenCode, int nOsCode = 0, bool lCanDefault = true,
                std::optional<int> nSubCode = {}) {
  ErrorRecord e;
  e.GENCODE = nGenCode;
  e.SUBSYSTEM = "BASE";
  e.OSCODE = nOsCode;
  e.SUBCODE = nSubCode;
  e.FILENAME = "c:/dati/immagine.mgt";
  e.CANDEFAULT = lCanDefault;
  e.CANSUBSTITUTE = nGenCode == EG_ZERODIV;
  return e;
}

TEST_F(ErrorHandler, EachRuleShowsItsTextAndEndsAsItSays) {
  const std::string F = "C:/DATI/IMMAGINE.MGT";
  struct Case {
    ErrorRecord oError;
    std::string cPopup; // type-1 text; "?" for the fatal question; "" for none
    std::string cOutcome;
    bool lNetErr;
  };
  const Case aCases[] = {
      {REC(EG_OPEN, 21), "Disco " + F + " non pronto.", "break", false},
      {REC(EG_OPEN, 27), "Disco " + F + " non formattato.", "break", false},
      {REC(EG_OPEN, 31), "Disco " + F + " non formattato.", "break", false},
      {REC(EG_OPEN, 19), "Disco " + F + " protetto da scrittura.", "break", false},
      {REC(EG_OPEN, 82), "Directory " + F + " piena.", "break", false},
      {REC(0, 0, true, 2016), "Spazio sul disco " + F + " insufficiente.", "break", false},
      // Rule 6 before rule 12: an open error with access denied never sets NETERR.
      {REC(EG_OPEN, 5), "Impossibile accedere al file " + F + ".", "break", false},
      {REC(EG_OPEN, 183), "Impossibile accedere al file " + F + ".", "break", false},
      {REC(EG_OPEN, 3), "Percorso " + F + " non trovato.", "break", false},
      {REC(EG_OPEN, 2), "Impossibile aprire il file " + F + ".", "break", false},
      {REC(0, 0, true, 1012), "Il file " + F + " risulta corrotto.", "break", false},
      {REC(EG_CORRUPTION), "Il file " + F + " risulta corrotto.", "break", false},
      {REC(EG_OLE, 0, true, 7),
       "Error BASE/7: c:/dati/immagine.mgt;Function: (b)RAISE  Line: ", "break", false},
      {REC(EG_ZERODIV), "", "substitute 0.000000", false},
      {REC(EG_OPEN, 32), "", "default", true},
      {REC(EG_APPENDLOCK), "", "default", true},
      {REC(EG_OPEN, 32, false), "?", "quit", false},
      {REC(EG_APPENDLOCK, 0, false), "?", "quit", false},
      {REC(99), "?", "quit", false},
  };
  for (const Case& c : aCases) {
    SCOPED_TRACE(c.cPopup + " / " + c.cOutcome);
    aPopups.clear();
    aQuits.clear();
    NETERR(false);
    EXPECT_EQ(RAISE(c.oError), c.cOutcome);
    EXPECT_EQ(NETERR(), c.lNetErr);
    EXPECT_FALSE(BREAKPENDING());
    std::string cPopup = c.cPopup;
    if (c.oError.GENCODE == EG_OLE) {
      cPopup += std::to_string(nRaiseLine);
    }
    if (cPopup.empty()) {
      EXPECT_TRUE(aPopups.empty());
    } else if (cPopup == "?") {
      ASSERT_EQ(aPopups.size(), 1u);
      EXPECT_EQ(aPopups[0].nType, 2);
      EXPECT_EQ(aQuits, std::vector<int>{0});
    } else {
      EXPECT_EQ(aPopups, (std::vector<Popup>{{cPopup, 1}}));
    }
  }
}

TEST_F(ErrorHandler, DivisionByZeroGivesZeroWithoutAMessage) {
  EXPECT_EQ(DIVIDE(7.0, 2.0), 3.5);
  EXPECT_EQ(DIVIDE(7.0, 0.0), 0.0);
  EXPECT_TRUE(aPopups.empty());
}

// The mail program must show the path and the text exactly, whatever bytes they hold.
TEST(MailToUrl, EveryFieldArrivesWholeAndSemicolonsBreakTheBodysLines) {
  const std::pair<std::string, std::string> aCases[] = {
      {"x", "/opt/veltra"},
      {"50% & 1;2  x#y", "/home/a b/c&d=e#f%20g?h+i/veltra"},
      {"%26;&;", "/opt/\xE8 ~\x01/v"},
  };
  for (const auto& [cText, cPath] : aCases) {
    std::string cLines = cText;
    for (std::size_t n = 0; (n = cLines.find(';', n)) != std::string::npos; n += 2) {
      cLines.replace(n, 1, "\r\n");
    }
    const std::pair<std::string, std::string> aShown{
        "Rapporto di errore", "Applicazione: " + cPath + "\r\n\r\n" + cLines};
    EXPECT_EQ(test::MAILTOFIELDS(MAILTOURL(cText, cPath)), aShown) << MAILTOURL(cText, cPath);
  }
  EXPECT_EQ(MAILTOURL("a&b;c", "/v"), "mailto:?subject=Rapporto%20di%20errore&body=Applicazione%3A"
                                      "%20%2Fv%0d%0a%0d%0aa%26b%0d%0ac");
}

TEST(ErrorMessage, IsBuiltFromTheRecordInOrder) {
  auto Rec = [](int nSev, std::optional<std::string> cSub, std::optional<int> nSubCode,
                std::optional<std::string> cDesc, std::string cOp, std::string cFile) {
    ErrorRecord e;
    e.SEVERITY = nSev;
    e.SUBSYSTEM = std::move(cSub);
    e.SUBCODE = nSubCode;
    e.DESCRIPTION = std::move(cDesc);
    e.OPERATION = std::move(cOp);
    e.FILENAME = std::move(cFile);
    return e;
  };
  EXPECT_EQ(ERRORMESSAGE(Rec(2, {}, {}, {}, "", "")), "Error ???"
                                                      "/???;Function:   Line: 0");
  EXPECT_EQ(ERRORMESSAGE(Rec(3, "DBFCDX", 1012, "Corruption detected", "OP", "x.dbf")),
            "Error DBFCDX/1012  Corruption detected: x.dbf;Function:   Line: 0");
  EXPECT_EQ(ERRORMESSAGE(Rec(1, "BASE", -3, "", "SUBSTR", " \t\r\n")),
            "Warning BASE/-3  : SUBSTR;Function:   Line: 0");
  EXPECT_EQ(ERRORMESSAGE(Rec(0, "BASE", 0, {}, "  ", "")), "Warning BASE/0;Function:   Line: 0");
}

TEST_F(ErrorHandler, AnErrorLaunchedWhileABreakIsPendingIsNotReported) {
  struct Cleanup {
    ErrorAction* pAction;
    ~Cleanup() { *pAction = LAUNCHERROR(REC(EG_OPEN, 21)).nAction; }
  };
  ErrorAction nInUnwind = ErrorAction::Retry;
  const int nResult = BEGINSEQUENCE(
      [&] {
        const Cleanup oCleanup{&nInUnwind};
        LAUNCHERROR(REC(EG_OPEN, 2)); // rule 8: a message and a break
        return 1;
      },
      [] { return -1; });
  EXPECT_EQ(nResult, -1);
  EXPECT_EQ(nInUnwind, ErrorAction::Abandon);
  EXPECT_EQ(aPopups.size(), 1u);
  EXPECT_EQ(RAISE(REC(EG_OPEN, 21)), "break"); // settled: reported again
  EXPECT_EQ(aPopups.size(), 2u);
}

TEST_F(ErrorHandler, QuitPassesThroughAGuardedBlockAndSilencesLaterErrors) {
  bool lRecovered = false;
  EXPECT_THROW(BEGINSEQUENCE([] { QUIT_(); }, [&] { lRecovered = true; }), Quit);
  EXPECT_FALSE(lRecovered);
  EXPECT_EQ(LAUNCHERROR(REC(EG_OPEN, 21)).nAction, ErrorAction::Abandon);
  EXPECT_TRUE(aPopups.empty());
}

TEST_F(ErrorHandler, TheInnermostGuardedBlockRecoversAndTheOuterGoesOn) {
  std::vector<std::string> aTrail;
  const int nOuter = BEGINSEQUENCE(
      [&] {
        const int nInner = BEGINSEQUENCE([]() -> int { BREAK(); }, [] { return -1; });
        aTrail.push_back("outer goes on " + std::to_string(nInner));
        EXPECT_FALSE(BREAKPENDING());
        BREAK();
        aTrail.push_back("not reached");
        return 0;
      },
      [] { return -2; });
  EXPECT_EQ(nOuter, -2);
  EXPECT_EQ(aTrail, std::vector<std::string>{"outer goes on -1"});
  EXPECT_FALSE(BREAKPENDING());
}

TEST_F(ErrorHandler, HandlerAnswerIsCheckedAgainstTheOperation) {
  struct Case {
    bool lSubstitute, lRetry, lDefault;
    ErrorValue xAnswer;
    const char* cOutcome; // "" for internal error 9001
  };
  const Case aCases[] = {
      {true, false, false, 42.0, "substitute 42.000000"},
      {true, false, false, false, "substitute other"},
      {false, true, false, true, "retry"},
      {false, false, true, false, "default"},
      {false, false, false, true, ""},
      {false, false, false, false, ""},
      {false, true, true, ErrorValue{}, ""},
      {false, true, true, 0.0, ""},
  };
  for (const Case& c : aCases) {
    ErrorRecord e;
    e.CANSUBSTITUTE = c.lSubstitute;
    e.CANRETRY = c.lRetry;
    e.CANDEFAULT = c.lDefault;
    ERRORBLOCK([&](const ErrorRecord&) { return c.xAnswer; });
    if (*c.cOutcome != '\0') {
      EXPECT_EQ(RAISE(e), c.cOutcome);
    } else {
      EXPECT_EXIT(RAISE(e), ExitedWithCode(1), "Unrecoverable error 9001: Error recovery failure");
    }
  }
  ERRORBLOCK({});
  EXPECT_EXIT(RAISE(REC(EG_OPEN, 2)), ExitedWithCode(1),
              "^Unrecoverable error 9002: No ERRORBLOCK\\(\\) for error\n$");
}

TEST_F(ErrorHandler, TheNinthNestedInvocationIsInternalError9003) {
  // Each popup raises a further error, as a fault inside the handler would.
  int nPopups = 0;
  SETPOPUPHOOK([&](const std::string&, int) {
    ++nPopups;
    RAISE(REC(EG_OPEN, 21));
    return false;
  });
  SETINTERNALERRORHOOK([&](const std::string& cCaption, const std::string& cText) {
    std::fprintf(stderr, "after %d popups: %s%s\n", nPopups, cCaption.c_str(), cText.c_str());
    return true;
  });
  EXPECT_EXIT(RAISE(REC(EG_OPEN, 21)), ExitedWithCode(1),
              "^after 8 popups: Unrecoverable error 9003: Too many recursive error handler "
              "calls\n$");
  SETINTERNALERRORHOOK({});
}

TEST_F(ErrorHandler, EightNestedInvocationsAreAllowedAndTheCounterComesDown) {
  // To the limit twice, breaking out the first time: a level not given back on the way out
  // would make the second round end in 9003.
  int nDepth = 0;
  ERRORBLOCK([&](const ErrorRecord& e) -> ErrorValue {
    ++nDepth;
    if (nDepth < SETTINGS().ERRORLOOP) {
      LAUNCHERROR(e);
    } else if (e.OSCODE == 21) {
      std::fprintf(stderr, "depth %d ", nDepth);
    }
    --nDepth;
    if (e.OSCODE == 21) {
      BREAK();
    }
    return false;
  });
  EXPECT_EXIT(
      {
        const bool lOk = RAISE(REC(EG_OPEN, 21)) == "break" && RAISE(REC(0)) == "default" &&
                         RAISE(REC(EG_OPEN, 21)) == "break";
        std::_Exit(lOk ? 0 : 2);
      },
      ExitedWithCode(0), "^depth 8 depth 8 $");
}

} // namespace
} // namespace veltra::runtime
