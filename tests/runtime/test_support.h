// Helpers of the runtime suites: temporary folders, files, and running the child program with
// a bounded wait.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <string>
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
    if (::mkdtemp(cTemplate.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp failed";
    }
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

inline void WRITEFILE(const fs::path& oPath, const std::string& cData = "x") {
  std::ofstream(oPath, std::ios::binary) << cData;
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
  return std::string(1, '\x7F') + cRest;
}

struct ChildResult {
  int nExitCode = -1; // -1 when it did not end normally
  std::string cOut;
  std::string cErr;
};

inline const char* CHILDPROGRAM() {
  return VELTRA_RUNTIME_CHILD;
}

// Runs the child program with aArgs in cCwd with the extra environment; TEMP is required so
// that no purge ever looks at the real root folder. Kills it after 30 s.
inline ChildResult RUNCHILD(const std::vector<std::string>& aArgs, const fs::path& oCwd,
                            const std::map<std::string, std::string>& aEnv) {
  ChildResult oResult;
  if (aEnv.find("TEMP") == aEnv.end()) {
    ADD_FAILURE() << "RUNCHILD needs TEMP";
    return oResult;
  }
  int aOut[2];
  int aErr[2];
  if (::pipe(aOut) != 0 || ::pipe(aErr) != 0) {
    ADD_FAILURE() << "pipe failed";
    return oResult;
  }
  std::vector<std::string> aArgv{CHILDPROGRAM()};
  aArgv.insert(aArgv.end(), aArgs.begin(), aArgs.end());
  std::vector<char*> aArgp;
  for (std::string& c : aArgv) {
    aArgp.push_back(c.data());
  }
  aArgp.push_back(nullptr);

  const pid_t nPid = ::fork();
  if (nPid == 0) {
    ::dup2(aOut[1], 1);
    ::dup2(aErr[1], 2);
    ::close(aOut[0]);
    ::close(aErr[0]);
    if (::chdir(oCwd.c_str()) != 0) {
      ::_exit(126);
    }
    for (const auto& [cName, cValue] : aEnv) {
      ::setenv(cName.c_str(), cValue.c_str(), 1);
    }
    ::execv(aArgp[0], aArgp.data());
    ::_exit(127);
  }
  ::close(aOut[1]);
  ::close(aErr[1]);

  const auto oDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  pollfd aFds[2] = {{aOut[0], POLLIN, 0}, {aErr[0], POLLIN, 0}};
  int nOpen = 2;
  while (nOpen > 0 && std::chrono::steady_clock::now() < oDeadline) {
    if (::poll(aFds, 2, 200) <= 0) {
      continue;
    }
    for (int i = 0; i < 2; ++i) {
      if (aFds[i].fd >= 0 && (aFds[i].revents & (POLLIN | POLLHUP)) != 0) {
        char aBuf[4096];
        const ssize_t n = ::read(aFds[i].fd, aBuf, sizeof aBuf);
        if (n > 0) {
          (i == 0 ? oResult.cOut : oResult.cErr).append(aBuf, static_cast<size_t>(n));
        } else {
          ::close(aFds[i].fd);
          aFds[i].fd = -1;
          --nOpen;
        }
      }
    }
  }
  for (pollfd& oFd : aFds) {
    if (oFd.fd >= 0) {
      ::close(oFd.fd);
    }
  }
  int nStatus = 0;
  while (::waitpid(nPid, &nStatus, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= oDeadline) {
      ADD_FAILURE() << "child program did not end in time";
      ::kill(nPid, SIGKILL);
      ::waitpid(nPid, &nStatus, 0);
      return oResult;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (WIFEXITED(nStatus)) {
    oResult.nExitCode = WEXITSTATUS(nStatus);
  }
  return oResult;
}

} // namespace veltra::runtime::test
