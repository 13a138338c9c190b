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

} // namespace veltra::ui
