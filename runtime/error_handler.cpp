// The error handler: launching, DEFERROR's rules, the error text, break and quit, internal
// errors.
#include "runtime/error_handler.h"

#include "runtime/empty.h"
#include "runtime/hooks.h"
#include "runtime/routine_name.h"
#include "runtime/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace veltra::runtime {

namespace {

ErrorBlock bErrorBlock;
int nNesting = 0;
bool lNetErr = false;
bool lBreakPending = false;
bool lQuitPending = false;

// Keeps the nesting counter raised while a handler runs, however it is left.
class NestingGuard {
public:
  NestingGuard() { ++nNesting; }
  ~NestingGuard() { --nNesting; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
};

std::string UPPER(std::string_view cText) {
  std::string cResult(cText);
  for (char& c : cResult) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return cResult;
}

[[noreturn]] void SHOWANDBREAK(const std::string& cText) {
  SUNLOCK();
  SHOWPOPUP(cText, 1);
  BREAK();
}

[[noreturn]] void FATAL(const ErrorRecord& oError) {
  SUNLOCK();
  std::string cErrText = ERRORMESSAGE(oError);
  if (SHOWPOPUP(cErrText + ";;Inviare rapporto di errore via email?", 2)) {
    SHELLEXECUTE(MAILTOURL(cErrText, GETMODULEFILENAME()));
  }
  POSTQUITMESSAGE(0);
  QUIT_();
}

} // namespace

std::optional<std::string> GENCODEDESCRIPTION(int nGenCode) {
  switch (nGenCode) {
  case EG_ARG:
    return "Argument error";
  case EG_ZERODIV:
    return "Zero divisor";
  case EG_OPEN:
    return "Open error";
  case EG_CORRUPTION:
    return "Corruption detected";
  case EG_APPENDLOCK:
    return "Append lock failed";
  default:
    return std::nullopt;
  }
}

const ErrorBlock& ERRORBLOCK() {
  return bErrorBlock;
}

ErrorBlock ERRORBLOCK(ErrorBlock bNew) {
  return std::exchange(bErrorBlock, std::move(bNew));
}

ErrorOutcome LAUNCHERROR(ErrorRecord oError, std::source_location oWhere) {
  if (lBreakPending || lQuitPending) {
    return {ErrorAction::Abandon, {}};
  }
  if (nNesting >= SETTINGS().ERRORLOOP) {
    INTERNALERROR(9003);
  }
  if (!bErrorBlock) {
    INTERNALERROR(9002);
  }
  oError.WHERE = oWhere;
  if (oError.OSCODE == 183) {
    oError.OSCODE = 5;
  }
  ErrorValue xResult;
  {
    const NestingGuard oGuard;
    // A copy: the handler may install another one while it runs.
    const ErrorBlock bHandler = bErrorBlock;
    xResult = bHandler(oError);
  }
  if (lQuitPending) {
    throw Quit{};
  }
  if (lBreakPending) {
    throw Break{};
  }
  if (oError.CANSUBSTITUTE) {
    return {ErrorAction::Substitute, xResult};
  }
  if (const bool* pAnswer = std::get_if<bool>(&xResult)) {
    if (*pAnswer && oError.CANRETRY) {
      return {ErrorAction::Retry, xResult};
    }
    if (!*pAnswer && oError.CANDEFAULT) {
      return {ErrorAction::Default, xResult};
    }
  }
  INTERNALERROR(9001);
}

ErrorValue DEFERROR(const ErrorRecord& oError) {
  const std::string F = UPPER(oError.FILENAME);
  const int nOs = oError.OSCODE;
  if (nOs == 21) {
    SHOWANDBREAK("Disco " + F + " non pronto.");
  }
  if (nOs == 27 || nOs == 31) {
    SHOWANDBREAK("Disco " + F + " non formattato.");
  }
  if (nOs == 19) {
    SHOWANDBREAK("Disco " + F + " protetto da scrittura.");
  }
  if (nOs == 82) {
    SHOWANDBREAK("Directory " + F + " piena.");
  }
  if (oError.SUBCODE == 2016) {
    SHOWANDBREAK("Spazio sul disco " + F + " insufficiente.");
  }
  if (nOs == 5) {
    SHOWANDBREAK("Impossibile accedere al file " + F + ".");
  }
  if (nOs == 3) {
    SHOWANDBREAK("Percorso " + F + " non trovato.");
  }
  if (nOs == 2) {
    SHOWANDBREAK("Impossibile aprire il file " + F + ".");
  }
  if (oError.SUBCODE == 1012 || oError.GENCODE == EG_CORRUPTION) {
    SHOWANDBREAK("Il file " + F + " risulta corrotto.");
  }
  if (oError.GENCODE == EG_OLE) {
    SHOWANDBREAK(ERRORMESSAGE(oError));
  }
  if (oError.GENCODE == EG_ZERODIV) {
    return 0.0;
  }
  if (oError.GENCODE == EG_OPEN && nOs == 32 && oError.CANDEFAULT) {
    NETERR(true);
    return false;
  }
  if (oError.GENCODE == EG_APPENDLOCK && oError.CANDEFAULT) {
    NETERR(true);
    return false;
  }
  FATAL(oError);
}

std::string ERRORMESSAGE(const ErrorRecord& oError) {
  std::string cText = oError.SEVERITY > 1 ? "Error " : "Warning ";
  cText += oError.SUBSYSTEM ? *oError.SUBSYSTEM : "???";
  cText += oError.SUBCODE ? "/" + std::to_string(*oError.SUBCODE) : "/???";
  if (oError.DESCRIPTION) {
    cText += "  " + *oError.DESCRIPTION;
  }
  if (!EMPTY(oError.FILENAME)) {
    cText += ": " + oError.FILENAME;
  } else if (!EMPTY(oError.OPERATION)) {
    cText += ": " + oError.OPERATION;
  }
  cText += ";Function: " + ROUTINENAME(oError.WHERE.function_name()) +
           "  Line: " + std::to_string(oError.WHERE.line());
  return cText;
}

bool NETERR(std::optional<bool> lNew) {
  const bool lOld = lNetErr;
  if (lNew) {
    lNetErr = *lNew;
  }
  return lOld;
}

void SUNLOCK() {}

namespace {

// A field of the address with every byte percent-encoded but letters, digits and "-._~";
// cBreak (when given) becomes a line break, "%0d%0a".
std::string MAILTOFIELD(std::string_view cText, std::optional<char> cBreak = std::nullopt) {
  static constexpr char aHex[] = "0123456789ABCDEF";
  std::string cOut;
  for (const char c : cText) {
    const auto b = static_cast<unsigned char>(c);
    if (cBreak && c == *cBreak) {
      cOut += "%0d%0a";
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_' || c == '~') {
      cOut += c;
    } else {
      cOut += '%';
      cOut += aHex[b >> 4];
      cOut += aHex[b & 0x0F];
    }
  }
  return cOut;
}

} // namespace

std::string MAILTOURL(std::string_view cErrText, std::string_view cProgramPath) {
  return "mailto:?subject=" + MAILTOFIELD("Rapporto di errore") +
         "&body=" + MAILTOFIELD("Applicazione: ") + MAILTOFIELD(cProgramPath) + "%0d%0a%0d%0a" +
         MAILTOFIELD(cErrText, ';');
}

double DIVIDE(double nDividend, double nDivisor, std::source_location oWhere) {
  if (nDivisor != 0.0) {
    return nDividend / nDivisor;
  }
  ErrorRecord oError;
  oError.GENCODE = EG_ZERODIV;
  oError.SUBSYSTEM = "BASE";
  oError.DESCRIPTION = GENCODEDESCRIPTION(EG_ZERODIV);
  oError.OPERATION = "/";
  oError.CANSUBSTITUTE = true;
  const ErrorOutcome oOutcome = LAUNCHERROR(std::move(oError), oWhere);
  if (oOutcome.nAction == ErrorAction::Abandon) {
    return 0.0;
  }
  if (const double* pValue = std::get_if<double>(&oOutcome.xValue)) {
    return *pValue;
  }
  // A division has only numbers for results: any other substitute cannot be used.
  INTERNALERROR(9001);
}

std::string INTERNALERRORCAPTION(int nCode) {
  return "Unrecoverable error " + std::to_string(nCode) + ": ";
}

std::string INTERNALERRORTEXT(int nCode) {
  switch (nCode) {
  case 9001:
    return "Error recovery failure";
  case 9002:
    return "No ERRORBLOCK() for error";
  case 9003:
    return "Too many recursive error handler calls";
  case 9006:
    return "Out of memory";
  default:
    return "Internal error";
  }
}

void INTERNALERROR(int nCode) {
  SHOWINTERNALERROR(INTERNALERRORCAPTION(nCode), INTERNALERRORTEXT(nCode));
  std::fflush(nullptr);
  // No exit procedures and no destructors of statics: the program's state is not trusted.
  std::_Exit(1);
}

bool BREAKPENDING() {
  return lBreakPending;
}

void BREAK() {
  lBreakPending = true;
  throw Break{};
}

void QUIT_() {
  lQuitPending = true;
  throw Quit{};
}

namespace detail {
void CLEARPENDING() {
  lBreakPending = false;
  lQuitPending = false;
}
} // namespace detail

} // namespace veltra::runtime
