// Helpers of the runtime start-up suite on top of tests/support: leftovers to purge, the child
// program run with a bounded wait, and a bounded wait for a process the code under test starts.
#pragma once

#include "mailto_fields.h"
#include "tests/support/support.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace veltra::runtime::test {

namespace fs = std::filesystem;

using veltra::test::ReadFile;
using veltra::test::TempDir;

inline void WRITEFILE(const fs::path& oPath) {
  std::ofstream(oPath, std::ios::binary) << "x";
}

inline bool EXISTS(const fs::path& oPath) {
  std::error_code oEc;
  return fs::symlink_status(oPath, oEc).type() != fs::file_type::not_found;
}

// The name of a leftover: the byte 0x7F and then cRest.
inline std::string MARKED(const std::string& cRest) {
  return '\x7F' + cRest;
}

inline const char* CHILDPROGRAM() {
  return VELTRA_RUNTIME_CHILD;
}

// Waits up to 30 s for a child that the code under test started, then kills it. Returns its
// exit code, -1 when it did not exit.
inline int WAITCHILD(pid_t nPid) {
  const auto oDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int nStatus = 0;
  while (::waitpid(nPid, &nStatus, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= oDeadline) {
      ADD_FAILURE() << "child process did not end in time";
      ::kill(nPid, SIGKILL);
      ::waitpid(nPid, &nStatus, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

struct ChildResult {
  int nExitCode;
  std::string cOut;
  std::string cErr;
};

// Runs the child program with aArgs in oCwd and TEMP set to cTemp (never left unset, so no
// purge looks at the real root folder); waits up to 30 s, then kills it (exit code -1).
inline ChildResult RUNCHILD(std::vector<std::string> aArgs, const fs::path& oCwd,
                            const std::string& cTemp) {
  aArgs.insert(aArgs.begin(), CHILDPROGRAM());
  veltra::test::Child oChild(aArgs, {{"TEMP", cTemp}}, oCwd.string());
  EXPECT_TRUE(oChild.Started()) << "the child program did not start";
  const std::optional<int> nExit = oChild.Wait(std::chrono::seconds(30));
  if (!nExit) {
    ADD_FAILURE() << "child process did not end in time";
    oChild.Kill();
  }
  return {nExit.value_or(-1), oChild.Out(), oChild.Err()};
}

} // namespace veltra::runtime::test
