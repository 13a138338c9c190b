// The transfer seen from outside its window: how far it is, on the program's taskbar button
// (Windows) or its launcher entry in docks and task managers (Linux, over the session bus),
// and on Linux a desktop notification of how it ended, which the desktop keeps after the
// program has gone. Each call does nothing where the desktop offers no such thing (no session
// bus, no taskbar).
#pragma once

#include <string>

namespace veltra::app {

// nDone of nTotal blocks sent, for the window hWnd.
void SHOWPROGRESS(int hWnd, int nDone, int nTotal);

// The transfer stopped short (the line lost, a write failed): Windows shows the button's
// progress in its error state; the launcher entry has none and keeps the progress.
void SHOWPROGRESSFAULT(int hWnd);

// No progress shown any more.
void HIDEPROGRESS(int hWnd);

// A notification with cSummary as its title and cBody as its text (UTF-8), left to the
// desktop. On Windows nothing: a notification there would need the program to outlive its
// window.
void NOTIFYOUTCOME(const std::string& cSummary, const std::string& cBody);

} // namespace veltra::app
