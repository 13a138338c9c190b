// Runtime errors raised by the window classes ("Cannot create Dialog Box", "Duplicated Id",
// "Non defined Id"). They go through one hook that the program binds to its error handler;
// the handler may carry a break or quit out as an exception, so every raise point is
// exception-safe.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace veltra::ui {

// The error record as the error handler reads it.
struct UiError {
  int nSeverity = 2; // 2 or more: error
  int nGenCode = 0;
  std::optional<std::string> cSubsystem{};
  std::optional<int> nSubCode{};
  int nOsCode = 0;
  std::optional<std::string> cDescription{};
  std::string cOperation{};
  std::string cFileName{};
  bool lCanDefault = false;
  bool lCanRetry = false;
  bool lCanSubstitute = false;
};

// The subsystem name carried by the errors of this layer.
inline constexpr const char* UI_SUBSYSTEM = "VELTRAUI";

// Installs the hook (an empty function removes it). Returns the previous one.
std::function<void(const UiError&)> SETUIERRORHOOK(std::function<void(const UiError&)> bHook);

// Raises oError through the hook; without a hook the error is written to stderr.
void UIERROR(const UiError& oError);

// The error of a control id in its dialog (cDescription "Duplicated Id" or "Non defined Id"):
// the operation is "No: " and the id right-aligned in six places.
void CONTROLIDERROR(const std::string& cDescription, int nId);

// "Cannot create Dialog Box" (sub-code 3) for the dialog whose caption is cCaption.
void DIALOGBOXERROR(const std::string& cCaption);

} // namespace veltra::ui
