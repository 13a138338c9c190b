// termios2 access for arbitrary baud rates (BOTHER). This file includes only kernel headers
// for termios; glibc's <termios.h> must not appear here.
#include "serial/comm_baud.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace veltra::serial::detail {

bool SetAnyBaudRate(int nFd, unsigned nBaud) {
  struct termios2 oTio {};
  if (ioctl(nFd, TCGETS2, &oTio) != 0) {
    return false;
  }
  oTio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  oTio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  oTio.c_ispeed = nBaud;
  oTio.c_ospeed = nBaud;
  return ioctl(nFd, TCSETS2, &oTio) == 0;
}

std::optional<unsigned> ReadBaudRate(int nFd) {
  struct termios2 oTio {};
  if (ioctl(nFd, TCGETS2, &oTio) == 0) {
    return oTio.c_ospeed;
  }
  // No termios2 here (qemu-user answers ENOSYS, some drivers EINVAL or ENOTTY): the classic
  // request still tells a standard rate. Any other failure is the terminal's own.
  if (errno != ENOSYS && errno != EINVAL && errno != ENOTTY) {
    return std::nullopt;
  }
  struct termios oClassic {};
  if (ioctl(nFd, TCGETS, &oClassic) != 0) {
    return std::nullopt;
  }
  const unsigned nCode = oClassic.c_cflag & CBAUD;
  return nCode == BOTHER ? std::nullopt : StandardRateOfCode(nCode);
}

} // namespace veltra::serial::detail
