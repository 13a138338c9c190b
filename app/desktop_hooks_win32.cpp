// The desktop hooks on Windows: the mail report through ShellExecuteA, internal errors in a
// MessageBoxA, both from the runtime's Windows file.
#include "app/desktop_hooks.h"
#include "runtime/hooks.h"

namespace veltra::app {

void INSTALLPLATFORMHOOKS() {
  runtime::SETURLOPENERHOOK([](const std::string& cUrl) { runtime::OPENURL(cUrl); });
  runtime::SETINTERNALERRORHOOK(runtime::ERRORBOX);
}

} // namespace veltra::app
