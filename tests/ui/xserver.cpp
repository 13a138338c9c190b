// Xvfb and openbox for the X11 tests: started with -displayfd on a free display, stopped by
// their own process ids.
#include "tests/ui/xserver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace veltra::ui::test {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point tEnd) {
  const auto n = std::chrono::duration_cast<std::chrono::milliseconds>(tEnd - Clock::now());
  return n.count() > 0 ? static_cast<int>(n.count()) : 0;
}

// True once a window manager has announced itself on the display's root window.
bool WindowManagerRunning(const std::string& cDisplay) {
  Display* p = XOpenDisplay(cDisplay.c_str());
  if (p == nullptr) {
    return false;
  }
  const Atom nCheck = XInternAtom(p, "_NET_SUPPORTING_WM_CHECK", True);
  bool lFound = false;
  if (nCheck != None) {
    Atom nType = None;
    int nFormat = 0;
    unsigned long nItems = 0;
    unsigned long nAfter = 0;
    unsigned char* pData = nullptr;
    if (XGetWindowProperty(p, DefaultRootWindow(p), nCheck, 0, 1, False, XA_WINDOW, &nType,
                           &nFormat, &nItems, &nAfter, &pData) == Success) {
      lFound = nItems == 1;
      XFree(pData);
    }
  }
  XCloseDisplay(p);
  return lFound;
}

void Stop(pid_t& nPid) {
  if (nPid > 0) {
    kill(nPid, SIGTERM);
    if (WAITEXIT(nPid, 3000) == -1) {
      kill(nPid, SIGKILL);
      waitpid(nPid, nullptr, 0);
    }
    nPid = -1;
  }
}

} // namespace

bool ONPATH(const std::string& cProgram) {
  const char* pPath = std::getenv("PATH");
  std::string cPath = pPath != nullptr ? pPath : "/usr/bin:/bin";
  std::size_t nStart = 0;
  while (nStart <= cPath.size()) {
    const std::size_t nEnd = cPath.find(':', nStart);
    const std::string cDir = cPath.substr(nStart, nEnd - nStart);
    if (access((cDir + "/" + cProgram).c_str(), X_OK) == 0) {
      return true;
    }
    if (nEnd == std::string::npos) {
      break;
    }
    nStart = nEnd + 1;
  }
  return false;
}

pid_t SPAWN(const std::vector<std::string>& aArgs, const std::vector<std::string>& aEnv,
            int* pStdout) {
  std::vector<std::string> aEnvAll;
  for (char** p = environ; *p != nullptr; ++p) {
    const std::string c = *p;
    const std::string cName = c.substr(0, c.find('='));
    bool lReplaced = false;
    for (const std::string& e : aEnv) {
      lReplaced = lReplaced || e.substr(0, e.find('=')) == cName;
    }
    if (!lReplaced) {
      aEnvAll.push_back(c);
    }
  }
  aEnvAll.insert(aEnvAll.end(), aEnv.begin(), aEnv.end());
  std::vector<char*> aArgv;
  for (const std::string& c : aArgs) {
    aArgv.push_back(const_cast<char*>(c.c_str()));
  }
  aArgv.push_back(nullptr);
  std::vector<char*> aEnvp;
  for (const std::string& c : aEnvAll) {
    aEnvp.push_back(const_cast<char*>(c.c_str()));
  }
  aEnvp.push_back(nullptr);

  posix_spawn_file_actions_t oActions;
  posix_spawn_file_actions_init(&oActions);
  int aPipe[2] = {-1, -1};
  if (pStdout != nullptr) {
    if (pipe2(aPipe, O_CLOEXEC) != 0) {
      return -1;
    }
    posix_spawn_file_actions_adddup2(&oActions, aPipe[1], STDOUT_FILENO);
  }
  pid_t nPid = -1;
  const int nErr = posix_spawnp(&nPid, aArgv[0], &oActions, nullptr, aArgv.data(), aEnvp.data());
  posix_spawn_file_actions_destroy(&oActions);
  if (pStdout != nullptr) {
    close(aPipe[1]);
    *pStdout = nErr == 0 ? aPipe[0] : -1;
    if (nErr != 0) {
      close(aPipe[0]);
    }
  }
  return nErr == 0 ? nPid : -1;
}

int WAITEXIT(pid_t nPid, int nMs) {
  const auto tEnd = Clock::now() + std::chrono::milliseconds(nMs);
  int nStatus = 0;
  while (true) {
    const pid_t n = waitpid(nPid, &nStatus, WNOHANG);
    if (n == nPid) {
      return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    }
    if (n < 0 || MsLeft(tEnd) == 0) {
      if (n >= 0) {
        kill(nPid, SIGKILL);
        waitpid(nPid, nullptr, 0);
      }
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool RUNNING(pid_t nPid) {
  return waitpid(nPid, nullptr, WNOHANG) == 0;
}

int RUNPROGRAM(const std::vector<std::string>& aArgs, const std::vector<std::string>& aEnv,
               int nMs) {
  const pid_t nPid = SPAWN(aArgs, aEnv);
  return nPid > 0 ? WAITEXIT(nPid, nMs) : -1;
}

std::optional<std::string> READLINE(int nFd, int nMs) {
  const auto tEnd = Clock::now() + std::chrono::milliseconds(nMs);
  std::string cLine;
  while (true) {
    pollfd oPoll{nFd, POLLIN, 0};
    if (poll(&oPoll, 1, MsLeft(tEnd)) <= 0) {
      return std::nullopt;
    }
    char c = 0;
    const ssize_t n = read(nFd, &c, 1);
    if (n <= 0) {
      return std::nullopt;
    }
    if (c == '\n') {
      return cLine;
    }
    cLine.push_back(c);
  }
}

std::optional<XServer> XServer::Start(bool lWindowManager, std::string& cWhyNot) {
  if (!ONPATH("Xvfb")) {
    cWhyNot = "Xvfb is not installed";
    return std::nullopt;
  }
  if (lWindowManager && !ONPATH("openbox")) {
    cWhyNot = "openbox is not installed";
    return std::nullopt;
  }
  int aPipe[2];
  if (pipe(aPipe) != 0) {
    cWhyNot = std::strerror(errno);
    return std::nullopt;
  }
  fcntl(aPipe[0], F_SETFD, FD_CLOEXEC);
  XServer o;
  o.nXvfb_ = SPAWN({"Xvfb", "-displayfd", std::to_string(aPipe[1]), "-screen", "0", "1024x768x24",
                    "-nolisten", "tcp", "-noreset"},
                   {});
  close(aPipe[1]);
  const std::optional<std::string> cNumber = READLINE(aPipe[0], 10000);
  close(aPipe[0]);
  if (o.nXvfb_ <= 0 || !cNumber || cNumber->empty()) {
    cWhyNot = "Xvfb did not start";
    return std::nullopt;
  }
  o.cDisplay_ = ":" + *cNumber;
  if (lWindowManager) {
    o.nWm_ = SPAWN({"openbox", "--sm-disable"}, {"DISPLAY=" + o.cDisplay_});
    const auto tEnd = Clock::now() + std::chrono::seconds(10);
    while (!WindowManagerRunning(o.cDisplay_) && MsLeft(tEnd) > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!WindowManagerRunning(o.cDisplay_)) {
      cWhyNot = "openbox did not start";
      return std::nullopt;
    }
  }
  return o;
}

XServer::XServer(XServer&& o) noexcept
    : cDisplay_(std::move(o.cDisplay_)), nXvfb_(std::exchange(o.nXvfb_, -1)),
      nWm_(std::exchange(o.nWm_, -1)) {}

XServer::~XServer() {
  Stop(nWm_);
  Stop(nXvfb_);
}

} // namespace veltra::ui::test
