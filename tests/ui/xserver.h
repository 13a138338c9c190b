// A private X server (Xvfb on a free display) with an optional window manager (openbox), for
// the tests and tools that need a real X11 desktop.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace veltra::ui::test {

class XServer {
public:
  // Starts Xvfb (and openbox when lWindowManager). No value, with the reason in cWhyNot, when
  // that is not possible here.
  static std::optional<XServer> Start(bool lWindowManager, std::string& cWhyNot);

  XServer(XServer&& o) noexcept;
  XServer& operator=(XServer&&) = delete;
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer();

  const std::string& Display() const { return cDisplay_; }

private:
  XServer() = default;
  std::string cDisplay_;
  pid_t nXvfb_ = -1;
  pid_t nWm_ = -1;
};

// Starts a program; returns its pid, or -1. aEnv entries ("NAME=value") are added to the
// environment; when pStdout is given it receives the read end of a pipe on the child's stdout.
pid_t SPAWN(const std::vector<std::string>& aArgs, const std::vector<std::string>& aEnv,
            int* pStdout = nullptr);

// Runs a program to its end (at most nMs); its exit code, or -1.
int RUNPROGRAM(const std::vector<std::string>& aArgs, const std::vector<std::string>& aEnv,
               int nMs = 10000);

// Waits at most nMs for pid to end; its exit code, or -1 (and the process is killed).
int WAITEXIT(pid_t nPid, int nMs);

// True while nPid has not ended.
bool RUNNING(pid_t nPid);

// Reads one line from fd, waiting at most nMs; no value on time-out or end of file.
std::optional<std::string> READLINE(int nFd, int nMs);

bool ONPATH(const std::string& cProgram);

} // namespace veltra::ui::test
