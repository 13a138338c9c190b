// Helpers of the runtime suites: temporary folders and files, and the child program run with a
// bounded wait.
#pragma once

#include "mailto_fields.h"

#include <cctype>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace veltra::runtime::test {

namespace fs = std::filesystem;

// A folder made with mkdtemp and removed with its contents afterwards.
class TempDir {
public:
  TempDir() {
    std::string cTemplate = (fs::temp_directory_path() / "veltra-rt-XXXXXX").string();
    EXPECT_NE(::mkdtemp(cTemplate.data()), nullptr);
    oPath_ = cTemplate;
  }
  ~TempDir() {
    std::error_code oEc;
    fs::remove_all(oPath_, oEc);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& Path() const { return oPath_; }
  std::string Str() const { return oPath_.string(); }
  fs::path operator/(const std::string& cName) const { return oPath_ / cName; }

private:
  fs::path oPath_;
};

inline void WRITEFILE(const fs::path& oPath) {
  std::ofstream(oPath, std::ios::binary) << "x";
}

inline std::string READFILE(const fs::path& oPath) {
  std::ifstream oIn(oPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(oIn), {});
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

// Waits up to 30 s for a child, then kills it. Returns its exit code, -1 when it did not exit.
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
// purge looks at the real root folder).
inline ChildResult RUNCHILD(std::vector<std::string> aArgs, const fs::path& oCwd,
                            const std::string& cTemp) {
  const TempDir oOutput;
  const fs::path oOut = oOutput / "out";
  const fs::path oErr = oOutput / "err";
  aArgs.insert(aArgs.begin(), CHILDPROGRAM());
  std::vector<char*> aArgp;
  for (std::string& c : aArgs) {
    aArgp.push_back(c.data());
  }
  aArgp.push_back(nullptr);
  const pid_t nPid = ::fork();
  if (nPid == 0) {
    const int nOut = ::open(oOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int nErr = ::open(oErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (nOut < 0 || nErr < 0 || ::dup2(nOut, 1) < 0 || ::dup2(nErr, 2) < 0 ||
        ::chdir(oCwd.c_str()) != 0 || ::setenv("TEMP", cTemp.c_str(), 1) != 0) {
      ::_exit(126);
    }
    ::execv(aArgp[0], aArgp.data());
    ::_exit(127);
  }
  const int nExitCode = WAITCHILD(nPid);
  return {nExitCode, READFILE(oOut), READFILE(oErr)};
}

} // namespace veltra::runtime::test
