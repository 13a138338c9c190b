// The program's one error handler: the error record, error launching with its nesting limit,
// the handler DEFERROR and its texts, guarded blocks with BREAK, the quit request, and the
// internal errors that end the process.
//
// Break and quit
// --------------
// BREAK() and QUIT_() mark a break or a quit as pending and throw Break or Quit. These are the
// only exceptions this code base uses. They deliberately do not derive from std::exception, so
// a `catch (const std::exception&)` never swallows them. Only two places catch them:
//   - BEGINSEQUENCE (the guarded block) catches Break, clears it, and runs its recovery;
//   - the exit sequence (EXITSEQUENCE / RUNPROGRAM in runtime/startup.h) catches both.
// Nothing else may catch them, not even with `catch (...)` unless it raises them again: a
// swallowed break or quit would stay pending, and every later error would be silently
// abandoned. They must not cross an event loop either: the window layer runs every program
// callback that an event loop calls through ui/guard.h's RUNGUARDED, which keeps what leaves
// the callback, ends the running dialogs, and has the Activate that ran the loop raise it
// again (RETHROWPENDING) once the loop is left.
//
// Routine names
// -------------
// ERRORMESSAGE names the routine that raised the error and its source line. In C++ these are
// taken where the error is raised: LAUNCHERROR has a `std::source_location` parameter that
// defaults to its call site. The name is formed from the compiler's function name by
// ROUTINENAME (runtime/routine_name.h).
// Library operations that carry no line numbers of their own (the runtime, the serial layer,
// the dialog and log-control classes) take a `std::source_location` parameter defaulting to
// their own caller and pass it on, so their errors are reported at the calling routine. A
// default-constructed std::source_location stands for "no routine with a line": the name is
// empty and the line 0.
//
// Everything here runs on the user-interface thread.
#pragma once

#include <functional>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace veltra::runtime {

// General codes the handler tests, plus the argument error of our own settings.
enum : int {
  EG_ARG = 1,         // "Argument error"
  EG_ZERODIV = 5,     // "Zero divisor"
  EG_OPEN = 21,       // "Open error"
  EG_CORRUPTION = 32, // "Corruption detected"
  EG_APPENDLOCK = 40, // "Append lock failed"
  EG_OLE = 1001,      // error of the COM automation layer
};

// What a failing operation hands to the handler.
struct ErrorRecord {
  int SEVERITY = 2; // 2 or more is an error, 1 or less a warning
  int GENCODE = 0;
  std::optional<std::string> SUBSYSTEM;
  std::optional<int> SUBCODE;
  int OSCODE = 0; // system error in the numbering of OSCODEFROMERRNO; 0 when none
  std::optional<std::string> DESCRIPTION;
  std::string OPERATION;
  std::string FILENAME;
  bool CANDEFAULT = false;    // accepts "give up and report failure to the caller"
  bool CANSUBSTITUTE = false; // accepts a substitute result (arithmetic does)
  bool CANRETRY = false;
  std::source_location WHERE{}; // where it was raised; set by LAUNCHERROR
};

// The description the runtime puts into DESCRIPTION for a general code, if it has one.
std::optional<std::string> GENCODEDESCRIPTION(int nGenCode);

// Turns an errno value into the system error numbering the handler's rules test (2 file not
// found, 3 path not found, 5 access denied, 19 write-protected, 21 not ready, 31 device
// failure, 32 sharing violation, 112 disk full; an existing name is reported as 5). Other
// values are returned with bit 29 set, so they keep their number without matching a rule.
int OSCODEFROMERRNO(int nErrno);

// What a handler returns: no value, a logical or a number.
using ErrorValue = std::variant<std::monostate, bool, double>;
using ErrorBlock = std::function<ErrorValue(const ErrorRecord&)>;

// The current handler, and installing another (returns the one it replaces).
const ErrorBlock& ERRORBLOCK();
ErrorBlock ERRORBLOCK(ErrorBlock bNew);

enum class ErrorAction {
  Abandon,    // a break or quit was already pending: the error was not reported; give up
  Retry,      // the handler answered true and the operation accepts a retry
  Default,    // the handler answered false and CANDEFAULT is set: report failure
  Substitute, // the operation accepts a substitute: xValue is its result
};

struct ErrorOutcome {
  ErrorAction nAction;
  ErrorValue xValue;
};

// Raises a runtime error through the handler. Does not return when the handler breaks or
// quits; ends the process with internal error 9002 when no handler is installed, 9003 when
// eight handler invocations are already in progress, and 9001 when the handler's answer is
// not one the operation accepts. OSCODE 183 is reported as 5.
ErrorOutcome LAUNCHERROR(ErrorRecord oError,
                         std::source_location oWhere = std::source_location::current());

// The handler that ERRORSYS installs: the fourteen rules. Returns 0 (substitute), false
// (take the default action), or does not return (break or quit).
ErrorValue DEFERROR(const ErrorRecord& oError);

// The error text: "Error BASE/1003  Description: FILE;Function: MAIN  Line: 12".
std::string ERRORMESSAGE(const ErrorRecord& oError);

// Set when the last open or append failed because another user holds the file.
// Returns the flag as it was; sets it when a value is given.
bool NETERR(std::optional<bool> lNew = std::nullopt);

// Would close the lock table of a logged-in user. No user ever logs in to this program, so
// there is never a lock table and this does nothing.
void SUNLOCK();

// The address handed to the URL opener on the fatal path: no recipient, the subject
// "Rapporto di errore" and the body "Applicazione: ", the program path, an empty line and the
// error text, each ";" of which becomes a line break ("%0d%0a"). Every other byte of the
// fields but letters, digits and "-._~" is percent-encoded ("&" as "%26", a blank as "%20",
// "%" as "%25"), so no character of the path or the text can end a field or the address.
std::string MAILTOURL(std::string_view cErrText, std::string_view cProgramPath);

// Division through the runtime: a zero divisor raises "Zero divisor", which accepts a
// substitute (the handler gives 0).
double DIVIDE(double nDividend, double nDivisor,
              std::source_location oWhere = std::source_location::current());

// Ends the process without the exit procedures: the box "Unrecoverable error <code>: " with
// the code's text (9001, 9002, 9003, 9006), or the same on standard error when no box can
// be shown, then exit code 1.
[[noreturn]] void INTERNALERROR(int nCode);

// The caption and text INTERNALERROR shows.
std::string INTERNALERRORCAPTION(int nCode);
std::string INTERNALERRORTEXT(int nCode);

// The break and quit signals (see the file comment).
struct Break {};
struct Quit {};

bool BREAKPENDING();

// Abandons the running operation and continues at the recovery of the innermost guarded block.
[[noreturn]] void BREAK();

// Requests the end of the program: every routine returns without running further statements
// and the exit sequence runs.
[[noreturn]] void QUIT_();

namespace detail {
// Forgets a pending break or quit; called only where Break and Quit are caught.
void CLEARPENDING();
} // namespace detail

// The guarded block: runs body(); when a break is raised inside it, runs recovery() instead
// of the rest of the body. Both return the same type, which becomes the block's result. A
// quit passes through.
template <class F, class R> auto BEGINSEQUENCE(F&& body, R&& recovery) -> std::invoke_result_t<F&> {
  static_assert(std::is_same_v<std::invoke_result_t<F&>, std::invoke_result_t<R&>>,
                "the body and the recovery of a guarded block yield the same type");
  try {
    return body();
  } catch (const Break&) {
    detail::CLEARPENDING();
  }
  return recovery();
}

} // namespace veltra::runtime
