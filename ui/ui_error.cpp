// The hook through which the window classes raise their runtime errors.
#include "ui/ui_error.h"

#include <cstdio>
#include <utility>

namespace veltra::ui {
namespace {

std::function<void(const UiError&)>& Hook() {
  static std::function<void(const UiError&)> bHook;
  return bHook;
}

} // namespace

std::function<void(const UiError&)> SETUIERRORHOOK(std::function<void(const UiError&)> bHook) {
  return std::exchange(Hook(), std::move(bHook));
}

void UIERROR(const UiError& oError) {
  if (Hook()) {
    Hook()(oError);
    return;
  }
  std::fprintf(stderr, "Error %s: %s%s\n", oError.cSubsystem.value_or("???").c_str(),
               oError.cDescription.value_or("").c_str(), oError.cOperation.c_str());
}

void CONTROLIDERROR(const std::string& cDescription, int nId) {
  char cNo[16];
  std::snprintf(cNo, sizeof cNo, "%6d", nId);
  UIERROR({.cSubsystem = UI_SUBSYSTEM,
           .cDescription = cDescription,
           .cOperation = std::string("No: ") + cNo});
}

void DIALOGBOXERROR(const std::string& cCaption) {
  UIERROR({.cSubsystem = UI_SUBSYSTEM,
           .nSubCode = 3,
           .cDescription = "Cannot create Dialog Box",
           .cOperation = "\r\n" + std::string(22, ' ') + "Title: " + cCaption});
}

} // namespace veltra::ui
