// Start-up and exit: the purges on real temporary folders, CLOSEALL, the TEMP folder choice,
// the arguments MAIN receives, the URL opener, and whole runs of the child program (start-up
// order, fatal path, internal error, unhandled break, the exit sequence running once).
#include "runtime/hooks.h"
#include "runtime/startup.h"
#include "test_support.h"

#include <sys/stat.h>

namespace veltra::runtime {
namespace {

using test::EXISTS;
using test::MARKED;
using test::ReadFile;
using test::RUNCHILD;
using test::TempDir;
using test::WRITEFILE;
namespace fs = std::filesystem;

void MAKEREADONLY(const fs::path& oPath) {
  ASSERT_EQ(::chmod(oPath.c_str(), 0444), 0);
}

TEST(Purge, CurrentFolderLosesOnlyPlainLeftoverFiles) {
  TempDir oDir;
  TempDir oOutside;
  WRITEFILE(oDir / MARKED("a.tmp"));
  WRITEFILE(oDir / MARKED("b"));
  WRITEFILE(oDir / "keep.txt");
  WRITEFILE(oDir / ("a" + MARKED("")));
  WRITEFILE(oDir / MARKED("readonly"));
  MAKEREADONLY(oDir / MARKED("readonly"));
  fs::create_directory(oDir / MARKED("folder"));
  WRITEFILE(oDir / MARKED("folder") / "inside");
  WRITEFILE(oOutside / "target");
  fs::create_symlink(oOutside / "target", oDir / MARKED("link"));

  PURGECURRENTFOLDER(oDir.Str());

  EXPECT_FALSE(EXISTS(oDir / MARKED("a.tmp")));
  EXPECT_FALSE(EXISTS(oDir / MARKED("b")));
  EXPECT_TRUE(EXISTS(oDir / "keep.txt"));
  EXPECT_TRUE(EXISTS(oDir / ("a" + MARKED(""))));
  EXPECT_TRUE(EXISTS(oDir / MARKED("readonly")));
  EXPECT_TRUE(EXISTS(oDir / MARKED("folder") / "inside"));
  EXPECT_TRUE(EXISTS(oDir / MARKED("link")));
  EXPECT_TRUE(EXISTS(oOutside / "target"));
}

TEST(Purge, TempFolderEmptiesAndRemovesLeftoverFolders) {
  TempDir oTemp;
  TempDir oOutside;
  // Emptied and removed.
  fs::create_directory(oTemp / MARKED("two"));
  WRITEFILE(oTemp / MARKED("two") / "one.dat");
  WRITEFILE(oTemp / MARKED("two") / ".hidden");
  // The first file in listing order cannot be deleted: the folder stays whole.
  fs::create_directory(oTemp / MARKED("stuck"));
  WRITEFILE(oTemp / MARKED("stuck") / "a-first");
  WRITEFILE(oTemp / MARKED("stuck") / "b-second");
  MAKEREADONLY(oTemp / MARKED("stuck") / "a-first");
  // A sub-folder keeps its folder: emptied of files, not removed, sub-folder untouched.
  fs::create_directories(oTemp / MARKED("deep") / "sub");
  WRITEFILE(oTemp / MARKED("deep") / "file");
  WRITEFILE(oTemp / MARKED("deep") / "sub" / "kept");
  // Left alone: a plain file, a folder without the mark, a link to a folder elsewhere.
  WRITEFILE(oTemp / MARKED("plain"));
  fs::create_directory(oTemp / "other");
  WRITEFILE(oTemp / "other" / "kept");
  WRITEFILE(oOutside / "precious");
  fs::create_directory_symlink(oOutside.Path(), oTemp / MARKED("link"));

  PURGETEMPFOLDER(oTemp.Str());

  EXPECT_FALSE(EXISTS(oTemp / MARKED("two")));
  EXPECT_TRUE(EXISTS(oTemp / MARKED("stuck") / "a-first"));
  EXPECT_TRUE(EXISTS(oTemp / MARKED("stuck") / "b-second"));
  EXPECT_FALSE(EXISTS(oTemp / MARKED("deep") / "file"));
  EXPECT_TRUE(EXISTS(oTemp / MARKED("deep") / "sub" / "kept"));
  EXPECT_TRUE(EXISTS(oTemp / MARKED("plain")));
  EXPECT_TRUE(EXISTS(oTemp / "other" / "kept"));
  EXPECT_TRUE(EXISTS(oTemp / MARKED("link")));
  EXPECT_TRUE(EXISTS(oOutside / "precious"));
}

TEST(Purge, DelDirStopsAtTheFirstFailingDeletion) {
  TempDir oDir;
  WRITEFILE(oDir / "a");
  WRITEFILE(oDir / "b");
  WRITEFILE(oDir / "c");
  MAKEREADONLY(oDir / "b");
  DELDIR(oDir.Str());
  EXPECT_FALSE(EXISTS(oDir / "a"));
  EXPECT_TRUE(EXISTS(oDir / "b"));
  EXPECT_TRUE(EXISTS(oDir / "c"));
  EXPECT_FALSE(REMOVEDIR(oDir.Str()));
}

TEST(Purge, TempUnsetOrEmptyMeansTheRootFolder) {
  EXPECT_EQ(TEMPPURGEFOLDER(std::nullopt), "/");
  EXPECT_EQ(TEMPPURGEFOLDER(""), "/");
  EXPECT_EQ(TEMPPURGEFOLDER("/var/tmp/me"), "/var/tmp/me/");
}

TEST(CloseAll, DeletesOnlyViewIndexLeftovers) {
  TempDir oDir;
  const std::vector<std::string> aGone{MARKED("VIEW1.NTX"), MARKED("view22.ntx"),
                                       MARKED("VIEW.NTX")};
  const std::vector<std::string> aKept{"VIEW1.NTX", MARKED("VIEW1.NTX.bak"), MARKED("VIEX1.NTX"),
                                       MARKED("VIEW1.CDX"), MARKED("a")};
  for (const std::string& c : aGone) {
    WRITEFILE(oDir / c);
  }
  for (const std::string& c : aKept) {
    WRITEFILE(oDir / c);
  }
  CLOSEALL(oDir.Str());
  for (const std::string& c : aGone) {
    EXPECT_FALSE(EXISTS(oDir / c)) << c.substr(1);
  }
  for (const std::string& c : aKept) {
    EXPECT_TRUE(EXISTS(oDir / c)) << c;
  }
}

TEST(XdgOpen, HandsTheAddressOverAsOneArgumentWithoutAShell) {
  TempDir oDir;
  const fs::path oOut = oDir / "received";
  const std::string cUrl = "mailto:?subject=x&body=$(touch " + (oDir / "pwned").string() +
                           ");`touch " + (oDir / "pwned2").string() + "`|a b%20'\"";
  ::setenv("VELTRA_OPENER_OUT", oOut.c_str(), 1);
  const int nPid = XDGOPEN(cUrl, test::CHILDPROGRAM());
  ::unsetenv("VELTRA_OPENER_OUT");
  ASSERT_GT(nPid, 0);
  ASSERT_EQ(test::WAITCHILD(nPid), 0);
  EXPECT_EQ(ReadFile(oOut), cUrl);
  EXPECT_FALSE(EXISTS(oDir / "pwned"));
  EXPECT_FALSE(EXISTS(oDir / "pwned2"));
  EXPECT_EQ(XDGOPEN(cUrl, (oDir / "no-such-opener").string()), -1);
}

// Whole runs in a child process, in a temporary current folder with TEMP set.
class Run : public ::testing::Test {
protected:
  test::ChildResult RunChild(const std::vector<std::string>& aArgs) {
    return RUNCHILD(aArgs, oCwd.Path(), oTemp.Str());
  }
  // The line the child program reports for its raise ("RAISE AT <line>").
  static std::string RaiseLine(const std::string& cOut) {
    const size_t nAt = cOut.find("RAISE AT ");
    return nAt == std::string::npos ? "?" : cOut.substr(nAt + 9, cOut.find('\n', nAt) - nAt - 9);
  }
  TempDir oCwd;
  TempDir oTemp;
};

TEST_F(Run, StartUpInitialisesPurgesAndCallsMainWithoutDoubleSlashArguments) {
  WRITEFILE(oCwd / MARKED("old"));
  WRITEFILE(oCwd / "VELTRA.INI");
  fs::create_directory(oTemp / MARKED("sub"));
  WRITEFILE(oTemp / MARKED("sub") / "1");
  WRITEFILE(oTemp / MARKED("sub") / "2");

  const test::ChildResult oRun = RunChild({"run", "one", "//NOLOGO", "two"});
  EXPECT_EQ(oRun.nExitCode, 0) << oRun.cErr;
  EXPECT_EQ(oRun.cOut, "MAIN 2\nARG one\nARG two\n"
                       "DBFLOCKSCHEME=2 AUTOSHARE=0 CONFIRM=1 DATEFORMAT=dd/mm/yy CENTURY=0 "
                       "DELETED=1 EPOCH=1980 FILECASE=2 MARGIN=5 DRIVER=DBFCDX MEMOTYPE=2 "
                       "MEMOEXT=.DBT\n"
                       "ACS_USER=USER ACS_TEMP=[] ACS_PASSWD=[] ACS_LEVEL=1 GETLIST=0\n"
                       "ERRORBLOCK=set ERRORMODE=1\n"
                       "AFTER\nEXITCODE 0\n");
  EXPECT_FALSE(EXISTS(oCwd / MARKED("old")));
  EXPECT_TRUE(EXISTS(oCwd / "VELTRA.INI"));
  EXPECT_FALSE(EXISTS(oTemp / MARKED("sub")));
}

TEST_F(Run, InitKeepsTheCenturyThatIsOnWhenItRuns) {
  const test::ChildResult oRun = RunChild({"init-century"});
  EXPECT_EQ(oRun.nExitCode, 0) << oRun.cErr;
  EXPECT_NE(oRun.cOut.find(" DATEFORMAT=dd/mm/yyyy CENTURY=1 "), std::string::npos) << oRun.cOut;
}

TEST_F(Run, FatalErrorQuitsWithZeroAfterCancelAndAfterOkWhichOpensTheMailFirst) {
  for (const std::string cMode : {"fatal-cancel", "fatal-ok"}) {
    SCOPED_TRACE(cMode);
    const test::ChildResult oRun = RunChild({cMode});
    EXPECT_EQ(oRun.nExitCode, 0) << oRun.cErr;
    const std::string cLine = RaiseLine(oRun.cOut);
    const std::string cPopup = "Error TEST/7  Boom & bang; 100% sure: op;Function: RAISEFATAL"
                               "  Line: " +
                               cLine;
    const std::size_t nUrl = oRun.cOut.find("URL ");
    const std::size_t nUrlEnd = oRun.cOut.find('\n', nUrl);
    const std::string cMailLine =
        nUrl == std::string::npos ? "" : oRun.cOut.substr(nUrl, nUrlEnd + 1 - nUrl);
    EXPECT_EQ(oRun.cOut, "MAIN 0\nRAISE AT " + cLine + "\nPOPUP 2 " + cPopup +
                             ";;Inviare rapporto di errore via email?\n" + cMailLine +
                             "POSTQUIT 0\nEXITCODE 0\n");
    EXPECT_EQ(cMailLine.empty(), cMode == "fatal-cancel");
    if (cMode == "fatal-ok") {
      EXPECT_EQ(test::MAILTOFIELDS(cMailLine.substr(4, cMailLine.size() - 5)).second,
                "Applicazione: " + fs::canonical(test::CHILDPROGRAM()).string() +
                    "\r\n\r\nError TEST/7  Boom & bang\r\n 100% sure: op\r\nFunction: "
                    "RAISEFATAL  Line: " +
                    cLine);
    }
    // The exit procedures ran: CLOSEALL deleted the index the run left.
    EXPECT_FALSE(EXISTS(oCwd / MARKED("VIEW1.NTX")));
  }
}

// An unhandled break and a second exit request end like an orderly end: code 0, the exit
// procedures run once (the index the run left is gone, one made after them stays). Out of
// memory, raised or met reading an image too large for the address space, ends with 1 at once
// and skips them.
TEST_F(Run, EachEndingRunsTheExitProceduresOnceOrSkipsThem) {
  const std::string cOutOfMemory = "MAIN 0\nBOX Unrecoverable error 9006: Out of memory\n";
  const struct {
    const char* cMode;
    int nExitCode;
    std::string cOut;
  } aCases[] = {
      {"break", 0, "MAIN 0\nEXITCODE 0\n"},
      {"exit-twice", 0, "MAIN 0\nAFTER\nEXITCODE 0\nSECOND 0\n"},
      {"internal-9006", 1, cOutOfMemory},
      {"memoread-huge", 1, cOutOfMemory},
  };
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.cMode);
#if defined(__SANITIZE_ADDRESS__)
    if (c.cMode == std::string("memoread-huge")) {
      continue; // the address sanitizer's allocator ends the process on a huge request itself
    }
#endif
    const TempDir oDir; // each run in a folder of its own
    const TempDir oTempDir;
    const test::ChildResult oRun = RUNCHILD({c.cMode}, oDir.Path(), oTempDir.Str());
    EXPECT_EQ(oRun.nExitCode, c.nExitCode) << oRun.cErr;
    EXPECT_EQ(oRun.cOut, c.cOut);
    EXPECT_EQ(EXISTS(oDir / MARKED("VIEW1.NTX")), c.nExitCode != 0);
    EXPECT_EQ(EXISTS(oDir / MARKED("VIEW2.NTX")), c.cMode == std::string("exit-twice"));
  }
}

} // namespace
} // namespace veltra::runtime
