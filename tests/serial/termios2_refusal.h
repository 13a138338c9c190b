// Makes this test program's own termios2 requests fail, as they do on a driver or under an
// emulator that has none, while every other request reaches the kernel unchanged.
#pragma once

namespace veltra::serial::test {

// While alive, TCGETS2 and TCSETS2 fail with nErrno in this process.
class Termios2Refused {
public:
  explicit Termios2Refused(int nErrno);
  ~Termios2Refused();
  Termios2Refused(const Termios2Refused&) = delete;
  Termios2Refused& operator=(const Termios2Refused&) = delete;
};

} // namespace veltra::serial::test
