// The start-up order, INIT_, the exit sequence with EXIT_, and the driver around MAIN.
#include "runtime/startup.h"

#include "runtime/error_handler.h"

#include <cstdlib>
#ifndef _WIN32
#include <malloc.h>
#endif

namespace veltra::runtime {

namespace {

int nErrorLevel = 0;
bool lOleInitialized = false;
bool lExitDone = false;

// Start-up and shut-down steps of libraries that have no counterpart here: COM, the graphics
// library, the help viewer, the image library and the menu-drawing object. They keep their
// places so that the order of the sequence stays as it is read.
bool OLEINITIALIZE() {
  return false;
} // nothing to initialise, so nothing to undo later
void OLEUNINITIALIZE() {}
void GDIPLUSSTARTUP() {}
void GDIPLUSSHUTDOWN() {}
void FREEHTMLDLL() {}
void UNLOADFREEIMAGE() {}
void DELETEOBJECT() {}

} // namespace

#ifdef _WIN32
// The process heap needs no tuning for this program: it keeps freed blocks for reuse by itself.
void TUNEHEAP() {}
#else
void TUNEHEAP() {
  // Blocks up to 32 MiB come from the heap and stay there once freed. glibc's allocator would
  // otherwise map each block above its moving threshold on its own and unmap it when freed;
  // a text that grows by one line at a time (the log) is then copied into fresh pages every
  // time, a page fault per 4 KiB.
  constexpr int kKeepBytes = 32 << 20;
  mallopt(M_MMAP_THRESHOLD, kKeepBytes);
  mallopt(M_TRIM_THRESHOLD, kKeepBytes);
}
#endif

void ERRORSYS() {
  ERRORBLOCK([](const ErrorRecord& oError) { return DEFERROR(oError); });
}

void INIT_(const std::vector<std::string>& /*aArgs*/) {
  RuntimeSettings& s = SETTINGS();
  s.cTableDriver = "DBFCDX";
  SET(SET_DBFLOCKSCHEME, 2);
  s.nMemoType = 2;
  s.cMemoExtension = ".DBT";
  SET(SET_AUTOSHARE, 0);
  SET(SET_CONFIRM, std::string("ON"));
  SET(SET_DATEFORMAT, std::string(s.CENTURY ? "dd/mm/yyyy" : "dd/mm/yy"));
  SET(SET_DELETED, std::string("ON"));
  SET(SET_EPOCH, 1980);
  SET(SET_FILECASE, std::string("UPPER"));
  SET(SET_MARGIN, 5);

  PublicVariables& p = PUBLICS();
  p.ACS_USER = "USER";
  p.ACS_TEMP = "";
  p.ACS_PASSWD = "";
  p.ACS_LEVEL = 1;

  PURGECURRENTFOLDER(".");
  const char* pTemp = std::getenv("TEMP");
  PURGETEMPFOLDER(pTemp ? std::optional<std::string_view>(pTemp) : std::nullopt);

  SETERRORMODE(1);
}

void EXIT_() {
  CLOSEALL(".");
}

int ERRORLEVEL(std::optional<int> nNew) {
  const int nOld = nErrorLevel;
  if (nNew) {
    nErrorLevel = *nNew;
  }
  return nOld;
}

std::vector<std::string> MAINARGS(const std::vector<std::string>& aArgs) {
  std::vector<std::string> aResult;
  for (const std::string& cArg : aArgs) {
    if (cArg.rfind("//", 0) != 0) {
      aResult.push_back(cArg);
    }
  }
  return aResult;
}

int EXITSEQUENCE() {
  if (lExitDone) {
    return ERRORLEVEL();
  }
  lExitDone = true;
  detail::CLEARPENDING();
  try {
    EXIT_();
    FREEHTMLDLL();
    UNLOADFREEIMAGE();
    GDIPLUSSHUTDOWN();
    DELETEOBJECT();
  } catch (const Break&) {
    detail::CLEARPENDING();
  } catch (const Quit&) {
    detail::CLEARPENDING();
  }
  if (lOleInitialized) {
    OLEUNINITIALIZE();
  }
  return ERRORLEVEL();
}

int RUNPROGRAM(const std::vector<std::string>& aArgs,
               const std::function<void(const std::vector<std::string>&)>& MAIN) {
  SETTINGS() = RuntimeSettings{};
  // The module-level variables of every module have their initial values already: C++
  // initialises them before the first statement runs.
  try {
    PUBLICS().GETLIST = std::vector<std::string>{};
    ERRORSYS();
    lOleInitialized = OLEINITIALIZE();
    INIT_(aArgs);
    GDIPLUSSTARTUP();
    MAIN(MAINARGS(aArgs));
  } catch (const Break&) {
    // A break that no guarded block caught ends the program as an orderly end does.
  } catch (const Quit&) {
  }
  return EXITSEQUENCE();
}

} // namespace veltra::runtime
