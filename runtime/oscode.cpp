// The system error numbering of the error handler's rules, from the C library's errno values:
// those every platform has here, the rest from the platform's own file.
#include "runtime/oscode.h"

#include "runtime/error_handler.h"

#include <cerrno>

namespace veltra::runtime {

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
  const int nOsCode = detail::PLATFORMOSCODE(nErrno);
  return nOsCode != 0 ? nOsCode : nErrno | 0x20000000;
}

} // namespace veltra::runtime
