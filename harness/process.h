// Running real programs from outside, for the suites, the benchmarks and the screenshot tools:
// child processes with their output and a time-out, a private X server with a window manager,
// xdotool, temporary folders and whole files.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace veltra::harness {

using namespace std::chrono_literals;

// A child process with its standard output and error collected through pipes.
class Child {
public:
  Child() = default;
  Child(const std::vector<std::string>& aArgs, const std::map<std::string, std::string>& aEnv = {},
        const std::string& cDir = {});
  Child(Child&& o) noexcept;
  Child& operator=(Child&& o) noexcept;
  ~Child(); // kills and reaps a child still running

  bool Started() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }
  // The next line of standard output, waiting at most tTimeout.
  std::optional<std::string> ReadLine(std::chrono::milliseconds tTimeout);
  // Waits for the exit; the exit code, or no value on time-out (the child keeps running).
  std::optional<int> Wait(std::chrono::milliseconds tTimeout);
  // Everything the child printed so far (after Wait, everything it printed).
  const std::string& Out();
  const std::string& Err();
  void Kill();

private:
  void Drain(int nTimeoutMs);
  pid_t m_pid = -1;
  int m_fdOut = -1;
  int m_fdErr = -1;
  std::string m_cOut, m_cErr;
  std::size_t m_nOutRead = 0;
  std::optional<int> m_nExit;
};

// Runs a command to its end; its exit code and standard output.
struct Result {
  int nExit = -1;
  std::string cOut;
};
Result RunToEnd(const std::vector<std::string>& aArgs,
                const std::map<std::string, std::string>& aEnv,
                std::chrono::milliseconds tTimeout = 20s);

// A private X server (Xvfb) with a window manager (openbox), for the whole suite.
class Display {
public:
  bool Start(); // false when Xvfb or openbox is missing
  // Uses an X server started by someone else (who also stops it).
  void Attach(const std::string& cName) { m_cName = cName; }
  void Stop();
  const std::string& Name() const { return m_cName; }
  std::map<std::string, std::string> Env() const;

private:
  Child m_xvfb, m_wm;
  std::string m_cName;
};

// Waits for a window whose title contains cTitle; its id.
std::optional<std::string> WaitWindow(const Display& oDisplay, const std::string& cTitle,
                                      std::chrono::milliseconds tTimeout = 20s);
bool WindowGone(const Display& oDisplay, const std::string& cTitle,
                std::chrono::milliseconds tTimeout = 20s);
// Activates the window and types the text followed by Enter, as a person at the keyboard.
bool TypeInto(const Display& oDisplay, const std::string& cWindow, const std::string& cText);
bool Keys(const Display& oDisplay, const std::vector<std::string>& aArgs);

// A new folder under the system's temporary folder (empty when none could be made); the
// caller removes it.
std::string TempFolder();
void WriteFile(const std::string& cPath, const std::string& cData);
std::string ReadFile(const std::string& cPath);
// Processor time (user + system) the process has used so far, in seconds.
double CpuSeconds(pid_t pid);

} // namespace veltra::harness
