// The terminal veltra-send runs in: keys read one by one with no echo and no output flow
// control while it runs (put back as they were on every way out), Esc and the stop signals turned
// into one stop request, and the writes to standard output and error.
//
// A stop request comes from Esc on the terminal, Ctrl-C (SIGINT), SIGTERM or SIGHUP. It wakes
// the transfer loop's wait (WAKEWAIT), which then sees Esc down, sends 0x09 and returns. The
// key stays down for good: a terminal reports no key release. A second request ends the
// program at once, from the signal handler, even while a write to a stuck port blocks.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace veltra::send {

class Terminal {
public:
  // On the user-interface thread: the keys and the signals are answered in its event
  // handling. Takes the keyboard only when standard input is the terminal in the foreground.
  Terminal();
  ~Terminal(); // puts the terminal back
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // True once Esc, Ctrl-C or a stop signal came.
  static bool StopRequested();
  bool OutputIsTerminal() const;
  // The width of the terminal on standard output (80 when unknown).
  std::size_t Columns() const;

private:
  struct Impl;
  std::unique_ptr<Impl> m_p;
};

// Writes all of cText to nFd (1 or 2); a failed write is dropped (a closed pipe must not stop
// the transfer).
void WRITEOUT(int nFd, std::string_view cText);

// Writes to standard output what it takes now, never waiting; the count of bytes taken (all
// of them when the output has gone: nothing waits for it then). A full pipe, a terminal held
// by Ctrl-S or a stalled ssh session take nothing until they drain.
std::size_t WRITENOWAIT(std::string_view cText);

} // namespace veltra::send
