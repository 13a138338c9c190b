// The hooks to the desktop and their standard-error defaults.
#include "runtime/hooks.h"

#include <cstdio>
#include <utility>

namespace veltra::runtime {

namespace {

PopupHook bPopupHook;
UrlOpenerHook bUrlOpenerHook;
InternalErrorHook bInternalErrorHook;
PostQuitHook bPostQuitHook;

void WRITEERR(const std::string& cText) {
  std::fwrite(cText.data(), 1, cText.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

} // namespace

PopupHook SETPOPUPHOOK(PopupHook bHook) {
  return std::exchange(bPopupHook, std::move(bHook));
}

UrlOpenerHook SETURLOPENERHOOK(UrlOpenerHook bHook) {
  return std::exchange(bUrlOpenerHook, std::move(bHook));
}

InternalErrorHook SETINTERNALERRORHOOK(InternalErrorHook bHook) {
  return std::exchange(bInternalErrorHook, std::move(bHook));
}

PostQuitHook SETPOSTQUITHOOK(PostQuitHook bHook) {
  return std::exchange(bPostQuitHook, std::move(bHook));
}

bool SHOWPOPUP(const std::string& cText, int nType) {
  if (bPopupHook) {
    // A copy: the popup runs a modal loop, and what it dispatches may install another hook.
    const PopupHook bHook = bPopupHook;
    return bHook(cText, nType);
  }
  std::string cLines = "Attenzione: " + cText;
  for (char& c : cLines) {
    if (c == ';') {
      c = '\n';
    }
  }
  WRITEERR(cLines);
  return false;
}

void SHELLEXECUTE(const std::string& cUrl) {
  if (bUrlOpenerHook) {
    const UrlOpenerHook bHook = bUrlOpenerHook;
    bHook(cUrl);
    return;
  }
  WRITEERR(cUrl);
}

void SHOWINTERNALERROR(const std::string& cCaption, const std::string& cText) {
  if (bInternalErrorHook) {
    const InternalErrorHook bHook = bInternalErrorHook;
    if (bHook(cCaption, cText)) {
      return;
    }
  }
  WRITEERR(cCaption + cText);
}

void POSTQUITMESSAGE(int nExitCode) {
  if (bPostQuitHook) {
    const PostQuitHook bHook = bPostQuitHook;
    bHook(nExitCode);
  }
}

} // namespace veltra::runtime
