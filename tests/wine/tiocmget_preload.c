/* Preloaded into Wine for the tests, never part of the program. Wine asks a serial device for
 * its modem lines (TIOCMGET) whenever WaitCommEvent waits; a pseudo-terminal has no modem
 * lines, the call fails with ENOTTY, and the wait then ends at once with no event, so no byte
 * is ever reported. Where the real call fails so on a terminal, this answers as a cable with
 * CTS, DSR and DCD up; and where setting the PC's own lines (DTR, RTS: TIOCMBIS, TIOCMBIC,
 * TIOCMSET, as EscapeCommFunction does) fails so, as a cable that takes them, except while the
 * file that VELTRA_REFUSE_MODEM_LINES names exists: then the refusal stands, as on a line
 * without modem control. Every other call, and every call that works, is left alone. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

int ioctl(int nFd, unsigned long nRequest, ...) {
  static int (*pReal)(int, unsigned long, ...);
  if (pReal == NULL) {
    pReal = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
  }
  va_list oArgs;
  va_start(oArgs, nRequest);
  void* pArg = va_arg(oArgs, void*);
  va_end(oArgs);
  const int nResult = pReal(nFd, nRequest, pArg);
  if (nResult < 0 && errno == ENOTTY && pArg != NULL && isatty(nFd)) {
    if (nRequest == TIOCMGET) {
      *(int*)pArg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
      errno = 0;
      return 0;
    }
    if (nRequest == TIOCMBIS || nRequest == TIOCMBIC || nRequest == TIOCMSET) {
      const char* pFlag = getenv("VELTRA_REFUSE_MODEM_LINES");
      if (pFlag != NULL && access(pFlag, F_OK) == 0) {
        errno = ENOTTY;
        return nResult;
      }
      errno = 0;
      return 0;
    }
  }
  return nResult;
}
