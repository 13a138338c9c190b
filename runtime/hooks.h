// The ways out of the runtime that need a desktop: the message popup, the desktop's URL
// opener, the box for internal errors and the quit request for the message loop. The program
// installs them at start-up (the popup is the window layer's POPMSG); tests install recording
// ones. Without a hook the runtime writes to standard error instead. Set and called on the
// user-interface thread only.
#pragma once

#include <functional>
#include <string>

namespace veltra::runtime {

// Shows cText in a modal message popup of type nType (1: information with OK; 2: question with
// OK and Cancel) under the popup's default title; ";" marks a line break. Returns true when
// OK was pressed (the result of a type-1 popup is ignored).
using PopupHook = std::function<bool(const std::string& cText, int nType)>;

// Hands an address ("mailto:...") to the desktop's URL opener. The result is ignored.
using UrlOpenerHook = std::function<void(const std::string& cUrl)>;

// Shows the modal box of an internal error. Returns false when no box can be shown (no
// display), so that the runtime writes the caption and text to standard error instead.
using InternalErrorHook =
    std::function<bool(const std::string& cCaption, const std::string& cText)>;

// Asks the message loop of the user-interface thread to end with nExitCode.
using PostQuitHook = std::function<void(int nExitCode)>;

// Each installs its hook (an empty function restores the default) and returns the previous one.
PopupHook SETPOPUPHOOK(PopupHook bHook);
UrlOpenerHook SETURLOPENERHOOK(UrlOpenerHook bHook);
InternalErrorHook SETINTERNALERRORHOOK(InternalErrorHook bHook);
PostQuitHook SETPOSTQUITHOOK(PostQuitHook bHook);

// Calls through the hooks. Defaults: the popup text is written to standard error with ";" as
// line breaks and answers Cancel (false); the address is written to standard error; the
// internal error is written to standard error; the quit request does nothing.
bool SHOWPOPUP(const std::string& cText, int nType);
void SHELLEXECUTE(const std::string& cUrl);
void SHOWINTERNALERROR(const std::string& cCaption, const std::string& cText);
void POSTQUITMESSAGE(int nExitCode);

// The platform's own ways out, for the program to install as its hooks where no window layer
// provides them. OPENURL hands an address to the desktop (xdg-open on Linux, ShellExecuteA on
// Windows); false when that could not be started. ERRORBOX shows a modal error box with no
// owner window (MessageBoxA on Windows); on Linux the window layer has the box, so this shows
// nothing and returns false.
bool OPENURL(const std::string& cUrl);
bool ERRORBOX(const std::string& cCaption, const std::string& cText);

// Linux: the desktop's URL opener, for the program to install as its URL-opener hook: starts
// cProgram ("xdg-open") with cUrl as its one argument, directly with posix_spawnp and never
// through a shell, in a session of its own, and does not wait for it. Returns the child's
// process id, or -1 when it could not be started.
int XDGOPEN(const std::string& cUrl, const std::string& cProgram = "xdg-open");

// The full path of the running program file (from /proc/self/exe); empty when unknown.
std::string GETMODULEFILENAME();

} // namespace veltra::runtime
