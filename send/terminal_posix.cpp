// The terminal over termios and signals. The key mode turns off the line editing and the
// echo only: Ctrl-C must stay a signal, so that a second one ends the program even while the
// user-interface thread is held in a write. Signal handlers only count, restore the terminal
// and write to a pipe that a descriptor watch answers on the user-interface thread.
#include "send/exit_status.h"
#include "send/terminal.h"
#include "serial/event_loop.h"
#include "serial/message_pump.h"
#include "serial/unique_fd.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace veltra::send {
namespace {

using serial::detail::UniqueFd;

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

// Shared with the signal handlers, so plain globals of lock-free types.
std::atomic<int> g_nStops{0};
std::atomic<bool> g_lKeyMode{false};
termios g_oSaved{};
termios g_oKeys{};
int g_nWakeFd = -1;

void RestoreTerminal() {
  if (g_lKeyMode.exchange(false)) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_oSaved);
  }
}

// Async-signal-safe: atomics, tcsetattr, write, _exit.
void OnStopSignal(int /*nSignal*/) {
  const int nSaved = errno;
  if (g_nStops.fetch_add(1) > 0) {
    RestoreTerminal();
    constexpr std::string_view kText = "\nveltra-send: stopped\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kText.data(), kText.size());
    ::_exit(kExitAborted);
  }
  const char c = 's';
  [[maybe_unused]] const ssize_t n = ::write(g_nWakeFd, &c, 1);
  errno = nSaved;
}

// Back in the foreground after a stop (Ctrl-Z, then fg): the shell has put its own settings
// back, so the key mode is set again.
void OnContinue(int /*nSignal*/) {
  const int nSaved = errno;
  if (g_lKeyMode.load() && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp()) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_oKeys);
  }
  errno = nSaved;
}

void Install(int nSignal, void (*pHandler)(int)) {
  struct sigaction o {};
  o.sa_handler = pHandler;
  o.sa_flags = SA_RESTART;
  sigemptyset(&o.sa_mask);
  ::sigaction(nSignal, &o, nullptr);
}

void RequestStop() {
  if (g_nStops.fetch_add(1) == 0) {
    serial::WAKEWAIT();
  }
}

} // namespace

struct Terminal::Impl {
  UniqueFd oWakeRead;
  UniqueFd oWakeWrite;
  std::unique_ptr<serial::FdWatch> pKeys;
  std::unique_ptr<serial::FdWatch> pSignals;
  bool lOutputTerminal = false;

  void ReadKeys() {
    std::array<char, 64> aKeys{};
    const ssize_t n = ::read(STDIN_FILENO, aKeys.data(), aKeys.size());
    if (n <= 0) {
      if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        pKeys->SetEnabled(false); // the terminal has gone: nothing more to read
      }
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      // A lone ESC is the key; ESC followed by "[" or "O" in the same read begins the
      // sequence of another key (an arrow, a function key), which is ignored.
      if (aKeys[static_cast<std::size_t>(i)] == '\x1b') {
        const char cNext = i + 1 < n ? aKeys[static_cast<std::size_t>(i) + 1] : '\0';
        if (cNext != '[' && cNext != 'O') {
          RequestStop();
          return;
        }
      }
    }
  }

  void ReadSignals() {
    std::array<char, 16> aDrop{};
    while (::read(oWakeRead.Get(), aDrop.data(), aDrop.size()) > 0) {
    }
    serial::WAKEWAIT();
  }
};

Terminal::Terminal() : m_p(std::make_unique<Impl>()) {
  m_p->lOutputTerminal = ::isatty(STDOUT_FILENO) != 0;
  int aPipe[2];
  if (::pipe2(aPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    m_p->oWakeRead.Reset(aPipe[0]);
    m_p->oWakeWrite.Reset(aPipe[1]);
    g_nWakeFd = aPipe[1];
    m_p->pSignals =
        std::make_unique<serial::FdWatch>(aPipe[0], [p = m_p.get()] { p->ReadSignals(); });
  }
  ::signal(SIGPIPE, SIG_IGN);
  for (const int nSignal : kStopSignals) {
    Install(nSignal, OnStopSignal);
  }
  // The keyboard only in the foreground: a background job that touched the terminal would be
  // stopped by the shell.
  if (::isatty(STDIN_FILENO) != 0 && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp() &&
      ::tcgetattr(STDIN_FILENO, &g_oSaved) == 0) {
    g_oKeys = g_oSaved;
    g_oKeys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    g_oKeys.c_cc[VMIN] = 1;
    g_oKeys.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &g_oKeys) == 0) {
      g_lKeyMode.store(true);
      std::atexit(RestoreTerminal); // also on an exit from deep inside
      Install(SIGCONT, OnContinue);
      m_p->pKeys =
          std::make_unique<serial::FdWatch>(STDIN_FILENO, [p = m_p.get()] { p->ReadKeys(); });
    }
  }
}

Terminal::~Terminal() {
  for (const int nSignal : kStopSignals) {
    Install(nSignal, SIG_DFL);
  }
  g_nWakeFd = -1;
  m_p->pKeys.reset();
  RestoreTerminal();
}

bool Terminal::StopRequested() {
  return g_nStops.load() > 0;
}

bool Terminal::OutputIsTerminal() const {
  return m_p->lOutputTerminal;
}

std::size_t Terminal::Columns() const {
  winsize oSize{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &oSize) == 0 && oSize.ws_col > 0) {
    return oSize.ws_col;
  }
  return 80;
}

void WRITEOUT(int nFd, std::string_view cText) {
  while (!cText.empty()) {
    const ssize_t n = ::write(nFd, cText.data(), cText.size());
    if (n > 0) {
      cText.remove_prefix(static_cast<std::size_t>(n));
    } else if (!(n < 0 && errno == EINTR)) {
      return;
    }
  }
}

} // namespace veltra::send
