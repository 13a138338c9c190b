// Loaded into veltra-send (LD_PRELOAD) to stand for a driver that has no two stop bits: every
// terminal setting is applied, but a request for two stop bits quietly keeps one, as such a
// driver does; only reading the settings back tells.
#include <dlfcn.h>
#include <termios.h>

extern "C" int tcsetattr(int nFd, int nWhen, const termios* pTio) noexcept {
  using SetAttr = int (*)(int, int, const termios*);
  static const auto pNext = reinterpret_cast<SetAttr>(::dlsym(RTLD_NEXT, "tcsetattr"));
  termios oTio = *pTio;
  oTio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  return pNext(nFd, nWhen, &oTio);
}
