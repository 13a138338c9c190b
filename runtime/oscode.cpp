// The system error numbering of the error handler's rules, from the C library's errno values:
// those every platform has, then those that only one platform's C library has.
#include "runtime/error_handler.h"

#include <cerrno>

namespace veltra::runtime {
namespace {

#ifdef _WIN32
// The C runtime on Windows has no errno values beyond those every platform has (no "no
// medium", no "quota"), and the file calls' own GetLastError codes are already in this
// numbering.
int PLATFORMOSCODE(int /*nErrno*/) {
  return 0;
}
#else
int PLATFORMOSCODE(int nErrno) {
  switch (nErrno) {
  case ENOMEDIUM:
    return 21;
  case EDQUOT:
    return 112;
  default:
    return 0;
  }
}
#endif

} // namespace

int OSCODEFROMERRNO(int nErrno) {
  switch (nErrno) {
  case 0:
    return 0;
  case ENOENT:
    return 2;
  case ENOTDIR:
  case ENAMETOOLONG:
  case ELOOP:
    return 3;
  case EACCES:
  case EPERM:
  case EEXIST:
  case EISDIR:
    return 5;
  case EROFS:
    return 19;
  case ENXIO:
  case ENODEV:
    return 21;
  case EIO:
    return 31;
  case EBUSY:
  case ETXTBSY:
  case EAGAIN:
    return 32;
  case ENOSPC:
    return 112;
  default:
    break;
  }
  const int nOsCode = PLATFORMOSCODE(nErrno);
  return nOsCode != 0 ? nOsCode : nErrno | 0x20000000;
}

} // namespace veltra::runtime
