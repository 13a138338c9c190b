// The desktop's URL opener, the running program's path and the error mode, on POSIX.
#include "runtime/hooks.h"
#include "runtime/startup.h"

#include <csignal>
#include <spawn.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace veltra::runtime {

int XDGOPEN(const std::string& cUrl, const std::string& cProgram) {
  posix_spawnattr_t oAttr;
  if (posix_spawnattr_init(&oAttr) != 0) {
    return -1;
  }
  // A session of its own, so the mail program outlives a terminal that is closed after this
  // process has ended; and no signal blocked by the caller's thread reaches it blocked.
  sigset_t oNoSignals;
  sigemptyset(&oNoSignals);
  posix_spawnattr_setsigmask(&oAttr, &oNoSignals);
  posix_spawnattr_setflags(&oAttr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);

  std::string cArg0 = cProgram;
  std::string cArg1 = cUrl;
  char* aArgv[] = {cArg0.data(), cArg1.data(), nullptr};
  pid_t nPid = -1;
  const int nRc = posix_spawnp(&nPid, cProgram.c_str(), nullptr, &oAttr, aArgv, environ);
  posix_spawnattr_destroy(&oAttr);
  return nRc == 0 ? static_cast<int>(nPid) : -1;
}

bool OPENURL(const std::string& cUrl) {
  return XDGOPEN(cUrl) >= 0;
}

bool ERRORBOX(const std::string& /*cCaption*/, const std::string& /*cText*/) {
  return false;
}

int SETERRORMODE(int nMode) {
  // Critical-error boxes do not exist here: the mode is only kept.
  static int nErrorMode = 0;
  const int nOld = nErrorMode;
  nErrorMode = nMode;
  return nOld;
}

std::string GETMODULEFILENAME() {
  std::vector<char> aBuffer(256);
  for (;;) {
    const ssize_t nLen = ::readlink("/proc/self/exe", aBuffer.data(), aBuffer.size());
    if (nLen < 0) {
      return {};
    }
    if (static_cast<size_t>(nLen) < aBuffer.size()) {
      return std::string(aBuffer.data(), static_cast<size_t>(nLen));
    }
    aBuffer.resize(aBuffer.size() * 2); // readlink cuts without saying so: try a larger buffer
  }
}

} // namespace veltra::runtime
