// The test program's own ioctl: the C library's, except for the termios2 requests while a
// Termios2Refused is alive. Being defined in the program, it is the one the serial layer
// linked into it calls. Kernel termios headers only; glibc's <termios.h> must not appear here.
#include "termios2_refusal.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <sys/ioctl.h>

namespace veltra::serial::test {
namespace {

std::atomic<int> g_nRefusal{0};

} // namespace

Termios2Refused::Termios2Refused(int nErrno) {
  g_nRefusal.store(nErrno);
}

Termios2Refused::~Termios2Refused() {
  g_nRefusal.store(0);
}

} // namespace veltra::serial::test

extern "C" int ioctl(int nFd, unsigned long nRequest, ...) noexcept {
  using Ioctl = int (*)(int, unsigned long, ...);
  static const auto pNext = reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, "ioctl"));
  va_list aArgs;
  va_start(aArgs, nRequest);
  void* pArg = va_arg(aArgs, void*);
  va_end(aArgs);
  const int nRefusal = veltra::serial::test::g_nRefusal.load();
  if (nRefusal != 0 && (nRequest == TCGETS2 || nRequest == TCSETS2)) {
    errno = nRefusal;
    return -1;
  }
  return pNext(nFd, nRequest, pArg);
}
