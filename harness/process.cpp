// Child processes, the private X server, xdotool and file helpers.
#include "harness/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace veltra::harness {
namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point tEnd) {
  const auto t = std::chrono::duration_cast<std::chrono::milliseconds>(tEnd - Clock::now());
  return t.count() > 0 ? static_cast<int>(t.count()) : 0;
}

bool Exists(const std::string& cProgram) {
  return RunToEnd({"sh", "-c", "command -v " + cProgram}, {}, 5s).nExit == 0;
}

} // namespace

Child::Child(const std::vector<std::string>& aArgs, const std::map<std::string, std::string>& aEnv,
             const std::string& cDir) {
  int aOut[2], aErr[2];
  if (::pipe2(aOut, O_CLOEXEC) != 0 || ::pipe2(aErr, O_CLOEXEC) != 0) {
    return;
  }
  posix_spawn_file_actions_t oActions;
  posix_spawn_file_actions_init(&oActions);
  posix_spawn_file_actions_adddup2(&oActions, aOut[1], 1);
  posix_spawn_file_actions_adddup2(&oActions, aErr[1], 2);
  posix_spawn_file_actions_addopen(&oActions, 0, "/dev/null", O_RDONLY, 0);
  if (!cDir.empty()) {
    posix_spawn_file_actions_addchdir_np(&oActions, cDir.c_str());
  }
  std::map<std::string, std::string> aAll;
  for (char** p = environ; *p != nullptr; ++p) {
    const std::string c(*p);
    const auto n = c.find('=');
    if (n != std::string::npos) {
      aAll[c.substr(0, n)] = c.substr(n + 1);
    }
  }
  for (const auto& [k, v] : aEnv) {
    aAll[k] = v;
  }
  std::vector<std::string> aEnvText;
  for (const auto& [k, v] : aAll) {
    aEnvText.push_back(k + "=" + v);
  }
  std::vector<char*> aEnvp, aArgv;
  for (auto& c : aEnvText) {
    aEnvp.push_back(c.data());
  }
  aEnvp.push_back(nullptr);
  std::vector<std::string> aArgsCopy = aArgs;
  for (auto& c : aArgsCopy) {
    aArgv.push_back(c.data());
  }
  aArgv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, aArgv[0], &oActions, nullptr, aArgv.data(), aEnvp.data()) == 0) {
    m_pid = pid;
  }
  posix_spawn_file_actions_destroy(&oActions);
  ::close(aOut[1]);
  ::close(aErr[1]);
  m_fdOut = aOut[0];
  m_fdErr = aErr[0];
}

Child::Child(Child&& o) noexcept {
  *this = std::move(o);
}

Child& Child::operator=(Child&& o) noexcept {
  if (this != &o) {
    Kill();
    m_pid = std::exchange(o.m_pid, -1);
    m_fdOut = std::exchange(o.m_fdOut, -1);
    m_fdErr = std::exchange(o.m_fdErr, -1);
    m_cOut = std::move(o.m_cOut);
    m_cErr = std::move(o.m_cErr);
    m_nOutRead = o.m_nOutRead;
    m_nExit = o.m_nExit;
  }
  return *this;
}

Child::~Child() {
  Kill();
}

void Child::Kill() {
  if (m_pid > 0 && !m_nExit) {
    ::kill(m_pid, SIGKILL);
    int nStatus = 0;
    ::waitpid(m_pid, &nStatus, 0);
    m_nExit = -1;
  }
  for (int* fd : {&m_fdOut, &m_fdErr}) {
    if (*fd >= 0) {
      ::close(*fd);
      *fd = -1;
    }
  }
}

// Reads whatever the child has printed, waiting at most nTimeoutMs for the first bytes.
void Child::Drain(int nTimeoutMs) {
  pollfd aFds[2] = {{m_fdOut, POLLIN, 0}, {m_fdErr, POLLIN, 0}};
  if (::poll(aFds, 2, nTimeoutMs) <= 0) {
    return;
  }
  char aBuf[65536];
  for (int i = 0; i < 2; ++i) {
    if (aFds[i].revents & (POLLIN | POLLHUP)) {
      const ssize_t n = ::read(aFds[i].fd, aBuf, sizeof aBuf);
      if (n > 0) {
        (i == 0 ? m_cOut : m_cErr).append(aBuf, static_cast<std::size_t>(n));
      } else if (n == 0) {
        aFds[i].fd = -1;
        (i == 0 ? m_fdOut : m_fdErr) = -1;
      }
    }
  }
}

std::optional<std::string> Child::ReadLine(std::chrono::milliseconds tTimeout) {
  const auto tEnd = Clock::now() + tTimeout;
  for (;;) {
    const auto nEol = m_cOut.find('\n', m_nOutRead);
    if (nEol != std::string::npos) {
      std::string c = m_cOut.substr(m_nOutRead, nEol - m_nOutRead);
      m_nOutRead = nEol + 1;
      return c;
    }
    if ((m_fdOut < 0 && m_fdErr < 0) || Remaining(tEnd) == 0) {
      return std::nullopt;
    }
    Drain(std::min(Remaining(tEnd), 100));
  }
}

std::optional<int> Child::Wait(std::chrono::milliseconds tTimeout) {
  const auto tEnd = Clock::now() + tTimeout;
  while (!m_nExit && m_pid > 0) {
    int nStatus = 0;
    const pid_t r = ::waitpid(m_pid, &nStatus, WNOHANG);
    if (r == m_pid) {
      m_nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
      break;
    }
    if (Remaining(tEnd) == 0) {
      return std::nullopt;
    }
    Drain(20);
  }
  while (m_fdOut >= 0 || m_fdErr >= 0) {
    const auto nBefore = m_cOut.size() + m_cErr.size();
    Drain(200);
    if (m_cOut.size() + m_cErr.size() == nBefore && (m_fdOut >= 0 || m_fdErr >= 0)) {
      break; // a grandchild may keep the pipe open; what was printed is in
    }
  }
  return m_nExit;
}

const std::string& Child::Out() {
  Drain(0);
  return m_cOut;
}

const std::string& Child::Err() {
  Drain(0);
  return m_cErr;
}

Result RunToEnd(const std::vector<std::string>& aArgs,
                const std::map<std::string, std::string>& aEnv,
                std::chrono::milliseconds tTimeout) {
  Child o(aArgs, aEnv);
  Result r;
  r.nExit = o.Wait(tTimeout).value_or(-1);
  r.cOut = o.Out();
  return r;
}

bool Display::Start() {
  if (!Exists("Xvfb") || !Exists("openbox") || !Exists("xdotool")) {
    return false;
  }
  int aFd[2];
  if (::pipe(aFd) != 0) {
    return false;
  }
  // Xvfb writes the display number it chose to the descriptor it is given.
  m_xvfb = Child({"Xvfb", "-displayfd", std::to_string(aFd[1]), "-screen", "0", "1280x1024x24",
                  "-nolisten", "tcp"},
                 {});
  ::close(aFd[1]);
  pollfd oPoll{aFd[0], POLLIN, 0};
  char aBuf[32] = {};
  if (::poll(&oPoll, 1, 20000) <= 0 || ::read(aFd[0], aBuf, sizeof aBuf - 1) <= 0) {
    ::close(aFd[0]);
    return false;
  }
  ::close(aFd[0]);
  m_cName = ":" + std::to_string(std::atoi(aBuf));
  m_wm = Child({"openbox", "--sm-disable"}, Env());
  // The window manager is up when it has announced itself on the root window.
  for (int i = 0; i < 200; ++i) {
    if (RunToEnd({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, Env(), 5s)
            .cOut.find("window id") != std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

void Display::Stop() {
  m_wm.Kill();
  m_xvfb.Kill();
}

std::map<std::string, std::string> Display::Env() const {
  return {{"DISPLAY", m_cName}, {"QT_QPA_PLATFORM", "xcb"}, {"XAUTHORITY", "/dev/null"}};
}

std::optional<std::string> WaitWindow(const Display& oDisplay, const std::string& cTitle,
                                      std::chrono::milliseconds tTimeout) {
  const auto tEnd = Clock::now() + tTimeout;
  do {
    const Result r =
        RunToEnd({"xdotool", "search", "--onlyvisible", "--name", cTitle}, oDisplay.Env());
    if (r.nExit == 0 && !r.cOut.empty()) {
      return r.cOut.substr(0, r.cOut.find('\n'));
    }
    std::this_thread::sleep_for(50ms);
  } while (Remaining(tEnd) > 0);
  return std::nullopt;
}

bool WindowGone(const Display& oDisplay, const std::string& cTitle,
                std::chrono::milliseconds tTimeout) {
  const auto tEnd = Clock::now() + tTimeout;
  do {
    const Result r =
        RunToEnd({"xdotool", "search", "--onlyvisible", "--name", cTitle}, oDisplay.Env());
    if (r.cOut.empty()) {
      return true;
    }
    std::this_thread::sleep_for(50ms);
  } while (Remaining(tEnd) > 0);
  return false;
}

bool TypeInto(const Display& oDisplay, const std::string& cWindow, const std::string& cText) {
  return Keys(oDisplay, {"windowactivate", "--sync", cWindow}) &&
         Keys(oDisplay, {"type", "--delay", "10", cText}) && Keys(oDisplay, {"key", "Return"});
}

bool Keys(const Display& oDisplay, const std::vector<std::string>& aArgs) {
  std::vector<std::string> a{"xdotool"};
  a.insert(a.end(), aArgs.begin(), aArgs.end());
  return RunToEnd(a, oDisplay.Env()).nExit == 0;
}

std::string TempFolder() {
  std::string c = (std::filesystem::temp_directory_path() / "veltra-XXXXXX").string();
  return ::mkdtemp(c.data()) != nullptr ? c : std::string();
}

void WriteFile(const std::string& cPath, const std::string& cData) {
  std::ofstream(cPath, std::ios::binary) << cData;
}

std::string ReadFile(const std::string& cPath) {
  std::ifstream in(cPath, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  const std::string cStat((std::istreambuf_iterator<char>(in)), {});
  const auto nClose = cStat.rfind(')');
  if (nClose == std::string::npos) {
    return 0;
  }
  std::istringstream oFields(cStat.substr(nClose + 2));
  std::string cField;
  double dTicks = 0;
  for (int i = 3; i <= 15 && oFields >> cField; ++i) {
    if (i == 14 || i == 15) { // utime, stime
      dTicks += std::stod(cField);
    }
  }
  return dTicks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace veltra::harness
