// The terminal over termios and signals. The key mode turns off the line editing, the echo
// and the output flow control (Ctrl-S would otherwise stop the terminal's output, and with it
// anything that waited to write there) only: Ctrl-C must stay a signal, so that a second one ends
// the program even while the user-interface thread is held in a write. Signal handlers only count,
// restore the terminal and the serial lines, and write to a pipe that a descriptor watch answers on
// the user-interface thread.
//
// Job control: the terminal is changed only while the process is in the foreground. Ctrl-Z
// puts it back before the stop; a continue in the background (bg) leaves it to the shell and
// reads no keys (a read there would stop the process); a continue in the foreground (fg) takes
// the key mode again. So the exit, wherever it happens, has nothing to put back from the
// background, where touching the terminal would stop the process for good.
#include "common/unique_fd.h"
#include "send/exit_status.h"
#include "send/terminal.h"
#include "serial/event_loop.h"
#include "serial/line_rescue.h"
#include "serial/message_pump.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace veltra::send {
namespace {

using common::UniqueFd;

constexpr std::array<int, 4> kStopSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Shared with the signal handlers, so plain globals of lock-free types.
std::atomic<int> g_nStops{0};
std::atomic<bool> g_lWantKeys{false}; // the key mode belongs on the terminal in the foreground
std::atomic<bool> g_lKeyMode{false};  // the key mode is on the terminal now
termios g_oSaved{};                   // as the shell left the terminal when the key mode was taken
int g_nWakeFd = -1;

bool InForeground() {
  return ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
}

// Takes the key mode from the settings the terminal has now, in the foreground only.
// Async-signal-safe: tcgetattr, tcsetattr and atomics.
bool TakeKeys() {
  termios oNow{};
  if (!InForeground() || ::tcgetattr(STDIN_FILENO, &oNow) != 0) {
    return false;
  }
  g_oSaved = oNow;
  termios oKeys = oNow;
  oKeys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  oKeys.c_iflag &= ~static_cast<tcflag_t>(IXON);
  oKeys.c_cc[VMIN] = 1;
  oKeys.c_cc[VTIME] = 0;
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &oKeys) != 0) {
    return false;
  }
  g_lKeyMode.store(true);
  return true;
}

// From the foreground only: in the background the shell owns the terminal's settings, and a
// change from there would stop the process (SIGTTOU).
void RestoreTerminal() {
  if (g_lKeyMode.exchange(false) && InForeground()) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_oSaved);
  }
}

void RestoreAll() {
  RestoreTerminal();
  serial::RESTOREALLLINES();
}

void Wake(char c) {
  [[maybe_unused]] const ssize_t n = ::write(g_nWakeFd, &c, 1);
}

// Each handler runs with the others held off, so none of them sees the terminal's saved
// settings half-written.
void Install(int nSignal, void (*pHandler)(int)) {
  struct sigaction o {};
  o.sa_handler = pHandler;
  o.sa_flags = SA_RESTART;
  sigemptyset(&o.sa_mask);
  for (const int n : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT}) {
    sigaddset(&o.sa_mask, n);
  }
  ::sigaction(nSignal, &o, nullptr);
}

// Async-signal-safe: atomics, tcsetattr, ioctl, write, _exit.
void OnStopSignal(int /*nSignal*/) {
  const int nSaved = errno;
  if (g_nStops.fetch_add(1) > 0) {
    RestoreAll();
    constexpr std::string_view kText = "\nveltra-send: stopped\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kText.data(), kText.size());
    ::_exit(kExitAborted);
  }
  Wake('s');
  errno = nSaved;
}

// Ctrl-Z: the terminal goes back to the shell as it was, then the process stops as it would
// have without this handler. The stop is the default action of the same signal, raised again
// once this handler has returned (it is blocked until then).
void OnSuspend(int /*nSignal*/) {
  const int nSaved = errno;
  RestoreTerminal();
  Install(SIGTSTP, SIG_DFL);
  ::raise(SIGTSTP);
  errno = nSaved;
}

// Going on after a stop: the key mode again in the foreground (fg), none in the background
// (bg). The user-interface thread is told, to read the keys or to leave them.
void OnContinue(int /*nSignal*/) {
  const int nSaved = errno;
  Install(SIGTSTP, OnSuspend);
  if (!InForeground()) {
    g_lKeyMode.store(false); // stopped by other means, the shell has the terminal back
  } else if (g_lWantKeys.load() && !g_lKeyMode.load()) {
    TakeKeys();
  }
  Wake('c');
  errno = nSaved;
}

// A new terminal size: the wait is woken, so that the progress line is drawn for it.
void OnResize(int /*nSignal*/) {
  const int nSaved = errno;
  Wake('w');
  errno = nSaved;
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
    if (!g_lKeyMode.load()) {
      pKeys->SetEnabled(false); // in the background: the keys are the shell's until fg
      return;
    }
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
    if (pKeys != nullptr) {
      pKeys->SetEnabled(g_lKeyMode.load());
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
  // A key read from the background fails (EIO) instead of stopping the process.
  ::signal(SIGTTIN, SIG_IGN);
  for (const int nSignal : kStopSignals) {
    Install(nSignal, OnStopSignal);
  }
  if (m_p->lOutputTerminal) {
    Install(SIGWINCH, OnResize);
  }
  std::atexit(RestoreAll); // also on an exit from deep inside
  // The keyboard only in the foreground: a background job that touched the terminal would be
  // stopped by the shell. Started in the background, the keys are taken at fg.
  if (::isatty(STDIN_FILENO) != 0) {
    g_lWantKeys.store(true);
    Install(SIGTSTP, OnSuspend);
    Install(SIGCONT, OnContinue);
    TakeKeys();
    m_p->pKeys =
        std::make_unique<serial::FdWatch>(STDIN_FILENO, [p = m_p.get()] { p->ReadKeys(); });
    m_p->pKeys->SetEnabled(g_lKeyMode.load());
  }
}

Terminal::~Terminal() {
  for (const int nSignal : kStopSignals) {
    Install(nSignal, SIG_DFL);
  }
  Install(SIGWINCH, SIG_DFL);
  g_lWantKeys.store(false);
  RestoreTerminal();
  Install(SIGTSTP, SIG_DFL);
  Install(SIGCONT, SIG_DFL);
  g_nWakeFd = -1;
  m_p->pKeys.reset();
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

namespace {

// How standard output is written without waiting.
enum class OutputKind { Plain, Reopened, Socket, Polled };

struct NoWaitOutput {
  OutputKind eKind = OutputKind::Plain;
  UniqueFd oFd; // for Reopened

  NoWaitOutput() {
    struct stat o {};
    if (::fstat(STDOUT_FILENO, &o) != 0 || S_ISREG(o.st_mode) || S_ISBLK(o.st_mode)) {
      return; // a file takes each write at once
    }
    if (S_ISSOCK(o.st_mode)) {
      eKind = OutputKind::Socket;
      return;
    }
    // A descriptor of its own for the same pipe or terminal, without blocking: setting
    // O_NONBLOCK on descriptor 1 itself would change it for the shell and every other program
    // that shares it.
    oFd.Reset(::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    eKind = oFd.Get() >= 0 ? OutputKind::Reopened : OutputKind::Polled;
  }

  // One write; the count taken, 0 for none now, -1 when the output is gone.
  ssize_t Write(std::string_view c) const {
    switch (eKind) {
    case OutputKind::Plain:
      return ::write(STDOUT_FILENO, c.data(), c.size());
    case OutputKind::Reopened:
      return ::write(oFd.Get(), c.data(), c.size());
    case OutputKind::Socket:
      return ::send(STDOUT_FILENO, c.data(), c.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    case OutputKind::Polled: {
      // Ready means room for PIPE_BUF bytes at least: a write of no more never waits.
      pollfd oPoll{STDOUT_FILENO, POLLOUT, 0};
      if (::poll(&oPoll, 1, 0) != 1 || (oPoll.revents & POLLOUT) == 0) {
        if ((oPoll.revents & (POLLERR | POLLHUP)) != 0) {
          errno = EPIPE;
          return -1;
        }
        return 0;
      }
      return ::write(STDOUT_FILENO, c.data(), std::min<std::size_t>(c.size(), PIPE_BUF));
    }
    }
    return -1;
  }
};

} // namespace

std::size_t WRITENOWAIT(std::string_view cText) {
  static const NoWaitOutput s_oOut;
  std::size_t nTaken = 0;
  while (nTaken < cText.size()) {
    const ssize_t n = s_oOut.Write(cText.substr(nTaken));
    if (n > 0) {
      nTaken += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      return cText.size(); // gone (a closed pipe): as WRITEOUT, dropped
    } else {
      break;
    }
  }
  return nTaken;
}

} // namespace veltra::send
