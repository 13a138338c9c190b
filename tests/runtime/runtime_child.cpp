// A small program for the start-up, exit and fatal-path tests, which end a process. Its first
// argument picks a scenario; the hooks it installs record on standard output instead of
// showing anything or starting a program. The tests run it in a temporary current folder with
// TEMP pointing at another temporary folder.
//
// Called with a single "mailto:" argument it plays the URL opener instead: it writes that
// argument to the file named by VELTRA_OPENER_OUT.
#include "runtime/error_handler.h"
#include "runtime/hooks.h"
#include "runtime/profile.h"
#include "runtime/startup.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace rt = veltra::runtime;

namespace {

void SAY(const std::string& cLine) {
  std::fwrite(cLine.data(), 1, cLine.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void RECORDINGHOOKS(bool lAnswerOk) {
  rt::SETPOPUPHOOK([lAnswerOk](const std::string& cText, int nType) {
    SAY("POPUP " + std::to_string(nType) + " " + cText);
    return lAnswerOk;
  });
  rt::SETURLOPENERHOOK([](const std::string& cUrl) { SAY("URL " + cUrl); });
  rt::SETPOSTQUITHOOK([](int nCode) { SAY("POSTQUIT " + std::to_string(nCode)); });
  rt::SETINTERNALERRORHOOK([](const std::string& cCaption, const std::string& cText) {
    SAY("BOX " + cCaption + cText);
    return true;
  });
}

void SHOWSETTINGS() {
  const rt::RuntimeSettings& s = rt::SETTINGS();
  const rt::PublicVariables& p = rt::PUBLICS();
  SAY("DBFLOCKSCHEME=" + std::to_string(s.DBFLOCKSCHEME) +
      " AUTOSHARE=" + std::to_string(s.AUTOSHARE) + " CONFIRM=" + std::to_string(s.CONFIRM) +
      " DATEFORMAT=" + s.cDateFormat + " CENTURY=" + std::to_string(s.CENTURY) +
      " DELETED=" + std::to_string(s.DELETED) + " EPOCH=" + std::to_string(s.EPOCH) +
      " FILECASE=" + std::to_string(s.FILECASE) + " MARGIN=" + std::to_string(s.MARGIN) +
      " DRIVER=" + s.cTableDriver + " MEMOTYPE=" + std::to_string(s.nMemoType) +
      " MEMOEXT=" + s.cMemoExtension);
  SAY("ACS_USER=" + p.ACS_USER.value_or("<none>") + " ACS_TEMP=[" + p.ACS_TEMP.value_or("<none>") +
      "] ACS_PASSWD=[" + p.ACS_PASSWD.value_or("<none>") +
      "] ACS_LEVEL=" + (p.ACS_LEVEL ? std::to_string(*p.ACS_LEVEL) : "<none>") +
      " GETLIST=" + (p.GETLIST ? std::to_string(p.GETLIST->size()) : "<none>"));
  SAY("ERRORBLOCK=" + std::string(rt::ERRORBLOCK() ? "set" : "none") +
      " ERRORMODE=" + std::to_string(rt::SETERRORMODE(1)));
}

void RAISEFATAL() {
  rt::ErrorRecord oError;
  oError.GENCODE = 99;
  oError.SUBSYSTEM = "TEST";
  oError.SUBCODE = 7;
  oError.DESCRIPTION = "Boom & bang; 100% sure";
  oError.OPERATION = "op";
  SAY("RAISE AT " + std::to_string(__LINE__ + 1));
  rt::LAUNCHERROR(oError);
}

} // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> aArgs(argv + 1, argv + argc);
  if (aArgs.size() == 1 && aArgs[0].rfind("mailto:", 0) == 0) {
    std::ofstream(std::getenv("VELTRA_OPENER_OUT"), std::ios::binary) << aArgs[0];
    return 0;
  }
  const std::string cMode = aArgs.empty() ? "" : aArgs[0];
  const std::vector<std::string> aRest(aArgs.begin() + (aArgs.empty() ? 0 : 1), aArgs.end());
  RECORDINGHOOKS(cMode == "fatal-ok");

  if (cMode == "init-century") {
    rt::SET(rt::SET_DATEFORMAT, std::string("yyyy-mm-dd"));
    rt::INIT_({});
    SHOWSETTINGS();
    return 0;
  }

  const int nCode = rt::RUNPROGRAM(aRest, [&](const std::vector<std::string>& aMainArgs) {
    // An index the run leaves behind for the exit procedures (start-up purged the older ones).
    std::ofstream(std::string(1, rt::LEFTOVER_MARK) + "VIEW1.NTX") << "x";
    SAY("MAIN " + std::to_string(aMainArgs.size()));
    for (const std::string& cArg : aMainArgs) {
      SAY("ARG " + cArg);
    }
    if (cMode == "run") {
      SHOWSETTINGS();
    } else if (cMode == "fatal-ok" || cMode == "fatal-cancel") {
      RAISEFATAL();
    } else if (cMode == "internal-9006") {
      rt::INTERNALERROR(9006);
    } else if (cMode == "memoread-huge") {
      // A sparse file one byte short of the size limit, with the address space held to 1 GiB:
      // it must be read, and reserving room for it must fail.
      std::ofstream("huge.mgt").close();
      std::filesystem::resize_file("huge.mgt", 0xFFFFFFFE);
      const rlimit oLimit{1U << 30, 1U << 30};
      ::setrlimit(RLIMIT_AS, &oLimit);
      SAY("READ " + std::to_string(rt::MEMOREAD("huge.mgt").size()));
    } else if (cMode == "break") {
      rt::BREAK();
    }
    SAY("AFTER");
  });
  SAY("EXITCODE " + std::to_string(nCode));

  if (cMode == "exit-twice") {
    // The exit procedures run once: a second request must leave this file alone.
    std::ofstream(std::string(1, rt::LEFTOVER_MARK) + "VIEW2.NTX") << "x";
    SAY("SECOND " + std::to_string(rt::EXITSEQUENCE()));
  }
  return nCode;
}
